#!/usr/bin/env bash
# The package as an administrator meets it: built, installed, used as the installed
# program (import of a settings file, one exchange cycle as the service user against a
# local FTP server with the installed encryption program), then removed and purged, with
# the places and permissions of the store, the journal and the log checked on the way.
# Usage: install_test.sh SOURCE_DIR PACKAGE_BUILD_DIR
# Needs root (exit 77, a skip, otherwise). Leaves the machine as it found it, also when a
# check fails; one run at a time on the machine; never touches an ornel-ftp installed by
# someone else.
set -euo pipefail

src=$(realpath "$1")
pkgbuild=$(realpath -m "$2")
skip=77

if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: the install test installs a package into the system and must run as root"
    exit $skip
fi

step() { printf '\n=== %s\n' "$*"; }
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# expect_mode PATH OWNER:GROUP MODE
expect_mode() {
    local got
    got=$(stat -c '%U:%G %a' "$1")
    [[ "$got" == "$2 $3" ]] || fail "$1 is $got, expected $2 $3"
    echo "  $1  $got"
}
expect_absent() {
    [[ ! -e "$1" ]] || fail "$1 is still there"
    echo "  $1  absent"
}
apt() { apt-get -o DPkg::Lock::Timeout=900 -y -qq "$@"; }
package_state() { dpkg-query -W -f='${db:Status-Abbrev}' ornel-ftp 2>/dev/null | tr -d ' ' || true; }

# Install tests of other work trees run on this machine too; the package name and the
# system folders are one for all of them.
exec 8>/run/lock/ornel-ftp-install-test.lock
if ! flock -w 1200 8; then
    fail "another install test held the lock for 20 minutes"
fi

state=$(package_state)
if [[ -n "$state" && "$state" != "un" && "$state" != "pn" ]]; then
    echo "SKIP: ornel-ftp is on this machine already (dpkg state '$state'); the test would change it"
    exit $skip
fi
for folder in /etc/ornel-ftp /var/lib/ornel-ftp /var/log/ornel-ftp; do
    if [[ -e "$folder" ]]; then
        echo "SKIP: $folder exists without the package; the test would change or delete it"
        exit $skip
    fi
done
user_existed=0
group_existed=0
getent passwd ornel-ftp >/dev/null && user_existed=1
getent group ornel-ftp >/dev/null && group_existed=1

work=$(mktemp -d /tmp/ornel-install-test.XXXXXX)
server_pid=""
cleanup() {
    local status=$?
    set +e
    if [[ -n "$server_pid" ]]; then
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
    fi
    local now
    now=$(package_state)
    if [[ -n "$now" && "$now" != "un" && "$now" != "pn" ]]; then
        echo "cleanup: purging ornel-ftp (state '$now')"
        apt purge ornel-ftp >/dev/null 2>&1 || dpkg --purge ornel-ftp >/dev/null 2>&1
    fi
    # Only what was not there before the test began.
    rm -rf /etc/ornel-ftp /var/lib/ornel-ftp /var/log/ornel-ftp
    if [[ $user_existed -eq 0 ]] && getent passwd ornel-ftp >/dev/null; then
        deluser --system --quiet ornel-ftp >/dev/null 2>&1
    fi
    if [[ $group_existed -eq 0 ]] && getent group ornel-ftp >/dev/null; then
        delgroup --system --quiet ornel-ftp >/dev/null 2>&1
    fi
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT

step "Package"
started=$(date +%s)
bash "$src/scripts/build-deb.sh" "$pkgbuild" >"$work/build-deb.log" 2>&1 || {
    tail -n 60 "$work/build-deb.log"
    fail "the package did not build"
}
grep -E '^(W|E): ' "$work/build-deb.log" || true
deb=$(ls "$pkgbuild"/ornel-ftp_*_amd64.deb)
echo "  $(basename "$deb") built and lintian-clean of errors in $(($(date +%s) - started)) s"

step "Install"
# Every dependency is on the machine already (the build needs them), so that a purge leaves
# the machine as it was: apt must have nothing to install but the package itself.
others=$(apt-get -s install --no-install-recommends "$deb" 2>/dev/null | awk '/^Inst / && $2 != "ornel-ftp" {print $2}')
[[ -z "$others" ]] || fail "installing the package would also install: $others (run scripts/install-deps.sh)"
apt install --no-install-recommends "$deb" >"$work/apt-install.log" 2>&1 || {
    cat "$work/apt-install.log"
    fail "the package did not install"
}
[[ $(command -v ornel_ftp) == /usr/bin/ornel_ftp ]] || fail "ornel_ftp is not /usr/bin/ornel_ftp"
version=$(ornel_ftp --version)
echo "  ornel_ftp --version: $version"
[[ "$version" =~ ^ornel_ftp\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "unexpected version line"
manual=$(man -w ornel_ftp)
echo "  man -w ornel_ftp: $manual"
[[ "$manual" == /usr/share/man/man1/ornel_ftp.1.gz ]] || fail "the manual page is not where expected"
man -l "$manual" 2>/dev/null | grep -q -- '--import-reg' || fail "the manual page does not show --import-reg"
ornel_ftp --help | grep -q 'written in /var/log/ornel-ftp' || fail "--help does not name the log folder"
uid=$(id -u ornel-ftp)
[[ $uid -lt 1000 ]] || fail "the service user is not a system user (uid $uid)"
echo "  service user ornel-ftp (uid $uid), groups: $(id -nG ornel-ftp)"
expect_mode /etc/ornel-ftp root:ornel-ftp 2770
expect_mode /var/lib/ornel-ftp ornel-ftp:ornel-ftp 2770
expect_mode /var/log/ornel-ftp ornel-ftp:ornel-ftp 2770
expect_mode /var/log/ornel-ftp/crypt ornel-ftp:ornel-ftp 2770
[[ $(readlink /var/log/ornel-ftp/crypt/ornel_crypt) == /usr/bin/ornel_crypt ]] ||
    fail "the link to the encryption program is missing"
expect_mode /var/lib/ornel-ftp/ornel_ftp.db ornel-ftp:ornel-ftp 660
[[ -f /lib/systemd/system/ornel-ftp.service && -f /etc/xdg/autostart/ornel-ftp.desktop ]] ||
    fail "the service unit or the autostart entry is missing"

step "Settings imported by root"
# shellcheck source=scripts/exchange-fixture.sh
source "$src/scripts/exchange-fixture.sh"
client="$work/client"
server="$work/server"
mkdir -p "$server/In" "$server/Out" "$client/PostBox/Out" "$client/PostBox/In" "$client/Temp/Send" \
    "$client/Temp/Reciv" "$client/Archive" "$work/plain" "$work/encrypted"
chmod 0755 "$work"
chown -R ornel-ftp:ornel-ftp "$client"
# The server first: it says the port that the settings name.
start_ftp_server "$server" participant install-test "$work/ftp-server.log" ||
    fail "the FTP server did not start"
kod=00010000
pin=12345678 # the PIN the settings file holds enciphered
write_settings_reg "$work/settings.reg" "$client" "$port" participant install-test \
    /var/log/ornel-ftp/crypt/ornel_crypt "$kod"
(cd "$work" && ornel_ftp --import-reg "$work/settings.reg") | sed 's/^/  /'
expect_mode /etc/ornel-ftp/hklm.reg root:ornel-ftp 660
expect_mode /etc/ornel-ftp/hklm.lock root:ornel-ftp 660
[[ ! -e /root/.config/ornel_ftp/hklm.reg ]] || fail "the import went to root's own folder"

step "One cycle as the service user, with the installed ornel_crypt"
printf 'Поручение № 1\r\n' >"$client/PostBox/Out/poruchenie_001.txt"
chown ornel-ftp:ornel-ftp "$client/PostBox/Out/poruchenie_001.txt"
printf 'Уведомление № 1\r\n' >"$work/plain/uvedomlenie_001.txt"
ornel_crypt -T -I "$work/plain/*.*" -O "$work/encrypted" -W "$kod" -P "$pin" -PU "$pin" >/dev/null
cp "$work/encrypted/uvedomlenie_001.txt" "$server/Out/"
# From a working folder of its own, to show that the log does not follow it.
status=0
(cd "$work" && runuser -u ornel-ftp -- env HOME=/var/lib/ornel-ftp ornel_ftp --cycle send-receive) \
    >"$work/cycle.out" 2>&1 || status=$?
sed 's/^/  | /' "$work/cycle.out"
[[ $status -eq 0 ]] || fail "the cycle ended with status $status"
[[ -f "$server/In/poruchenie_001.txt" ]] || fail "the outgoing file did not reach the server"
cmp -s "$server/In/poruchenie_001.txt" "$client/PostBox/Out/poruchenie_001.txt" 2>/dev/null &&
    fail "the outgoing file went up unencrypted"
[[ "$(cat "$client/PostBox/In/uvedomlenie_001.txt")" == $'Уведомление № 1\r' ]] ||
    fail "the incoming file was not delivered decrypted"
echo "  uploaded encrypted: In/poruchenie_001.txt; delivered decrypted: PostBox/In/uvedomlenie_001.txt"

step "Places and permissions after the cycle"
log=/var/log/ornel-ftp/Log$(date +%Y%m%d).txt
expect_mode "$log" ornel-ftp:ornel-ftp 660
iconv -f WINDOWS-1251 -t UTF-8 "$log" | tr -d '\r' | grep -q 'Передали файл poruchenie_001.txt' ||
    fail "the log does not record the upload"
compgen -G "$work/Log*.txt" >/dev/null && fail "a log was written in the working folder"
expect_mode /var/lib/ornel-ftp/ornel_ftp.db ornel-ftp:ornel-ftp 660
rows=$(sqlcipher /var/lib/ornel-ftp/ornel_ftp.db "PRAGMA key='583920174';" \
    "SELECT count(*) FROM FileList;" | tail -n 1)
[[ "$rows" -ge 2 ]] || fail "the journal holds $rows file rows, expected both files"
echo "  journal: $rows file rows"
# Saved by the service user now, so its file; still the group's and nobody else's.
expect_mode /etc/ornel-ftp/hklm.reg ornel-ftp:ornel-ftp 660
# The one-agent lock the cycle took opens for every member of the group.
expect_mode /etc/ornel-ftp/agent.lock ornel-ftp:ornel-ftp 660
decrypt_log=/var/log/ornel-ftp/crypt/$(date +%Y%m%d).log
expect_mode "$decrypt_log" ornel-ftp:ornel-ftp 660
grep -q 'uvedomlenie_001.txt' "$decrypt_log" || fail "the decryption log does not name the file"
grep -q 'cannot open the log' "$work/cycle.out" && fail "the encryption program could not write its log"
ornel_ftp --export-reg "$work/after.reg" >/dev/null
grep -qi '"FileSendCount"=dword:00000001' "$work/after.reg" ||
    fail "the service user's counters did not reach the machine-wide store"
echo "  counters saved by the service user into /etc/ornel-ftp/hklm.reg"
for file in /etc/ornel-ftp/hklm.reg /var/lib/ornel-ftp/ornel_ftp.db "$log"; do
    if runuser -u nobody -- cat "$file" >/dev/null 2>&1; then
        fail "a user outside the group can read $file"
    fi
done
echo "  nobody outside the group reads the store, the journal or the log"
if runuser -u nobody -- env HOME=/nonexistent ornel_ftp --cycle send-receive >"$work/nobody.out" 2>&1; then
    fail "a user outside the group ran a cycle"
fi
echo "  a user outside the group is refused: $(head -n 1 "$work/nobody.out")"

step "Remove"
apt remove ornel-ftp >/dev/null 2>&1 || fail "the package did not remove"
echo "  dpkg state: $(package_state)"
[[ ! -e /usr/bin/ornel_ftp ]] || fail "/usr/bin/ornel_ftp is still there"
for kept in /etc/ornel-ftp/hklm.reg /var/lib/ornel-ftp/ornel_ftp.db "$log"; do
    [[ -f "$kept" ]] || fail "$kept went with the removal"
    echo "  kept $kept"
done

step "Purge"
apt purge ornel-ftp >/dev/null 2>&1 || fail "the package did not purge"
state=$(package_state)
[[ -z "$state" || "$state" == "un" || "$state" == "pn" ]] || fail "dpkg state after purge: $state"
for gone in /etc/ornel-ftp /var/lib/ornel-ftp /var/log/ornel-ftp /etc/xdg/autostart/ornel-ftp.desktop \
    /lib/systemd/system/ornel-ftp.service; do
    expect_absent "$gone"
done
echo "  the service user and group stay, as system users do; the test removes the ones it made"
echo
echo "PASS in $(($(date +%s) - started)) s"
