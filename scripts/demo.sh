#!/usr/bin/env bash
# The main job end to end on this machine: a local FTP server on 127.0.0.1, a demo folder
# tree and settings store under demo/, the reference encryption program, one exchange cycle
# each way, then the log and the folders as they are afterwards.
# Usage: scripts/demo.sh BUILD_DIR   (run from the project folder; make demo does that)
set -euo pipefail

build=$(realpath "${1:-build}")
root=$(pwd)
demo="$root/demo"
agent="$build/bin/ornel_ftp"
crypt="$build/bin/ornel_crypt"
python=/usr/bin/python3

for program in "$agent" "$crypt"; do
    if [[ ! -x "$program" ]]; then
        echo "demo: $program is missing; build first (make build)" >&2
        exit 1
    fi
done
if ! "$python" -c "import pyftpdlib" 2>/dev/null; then
    echo "demo: the FTP server for the demo is missing (apt-get install python3-pyftpdlib)" >&2
    exit 1
fi

# shellcheck source=scripts/exchange-fixture.sh
source "$root/scripts/exchange-fixture.sh"

section() { printf '\n=== %s\n' "$*"; }

# A fresh tree every run, so the output shows this run only.
rm -rf "$demo"
client="$demo/client"
server="$demo/server"
work="$demo/work"
mkdir -p "$demo/registry" "$work" "$server/In" "$server/Out" \
    "$client/PostBox/Out" "$client/PostBox/In" "$client/Temp/Send" "$client/Temp/Reciv" \
    "$client/Archive" "$demo/samples"

kod=00010000
pin=12345678          # the PIN the settings file holds enciphered
upin=12345678
port="" # said by the server once it listens
user=participant
password=demo-password

server_pid=""
stop_server() {
    if [[ -n "$server_pid" ]] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
}
trap stop_server EXIT

section "FTP server on 127.0.0.1 (folder demo/server)"
if ! start_ftp_server "$server" "$user" "$password" "$demo/ftp-server.log"; then
    echo "demo: the FTP server did not start; see demo/ftp-server.log" >&2
    exit 1
fi
echo "port $port, pid $server_pid, user $user"

section "Settings store (demo/registry) from demo/settings.reg"
write_settings_reg "$demo/settings.reg" "$client" "$port" "$user" "$password" "$crypt" "$kod"
"$agent" --registry-dir "$demo/registry" --import-reg "$demo/settings.reg"
echo "imported"

section "Journal demo/ornel_ftp.db"
"$agent" --init-journal "$demo/ornel_ftp.db"
echo "created"

section "Sample files"
# Outgoing: what the back-office software drops into the post box.
printf 'Поручение на перевод ценных бумаг № 1\r\n' >"$client/PostBox/Out/poruchenie_001.txt"
printf 'Отчёт о владельцах\r\n' >"$client/PostBox/Out/Отчёт_за_день.txt"
head -c 20000 /dev/urandom >"$client/PostBox/Out/reestr.bin"
# Incoming: the depository's answers, encrypted for this participant and put on the server.
mkdir -p "$demo/samples/plain" "$demo/samples/encrypted"
printf 'Уведомление об исполнении поручения № 1\r\n' >"$demo/samples/plain/uvedomlenie_001.txt"
printf 'Выписка по счёту депо\r\n' >"$demo/samples/plain/Выписка.txt"
"$crypt" -T -I "$demo/samples/plain/*.*" -O "$demo/samples/encrypted" -W "$kod" -P "$pin" -PU "$upin"
cp "$demo/samples/encrypted/"* "$server/Out/"
echo "PostBox/Out:"; ls -1 "$client/PostBox/Out" | sed 's/^/  /'
echo "server Out (encrypted):"; ls -1 "$server/Out" | sed 's/^/  /'

run_cycle() {
    local order=$1
    section "Exchange cycle --cycle $order"
    local status=0
    (cd "$work" && "$agent" --registry-dir "$demo/registry" --journal "$demo/ornel_ftp.db" --cycle "$order") \
        >"$demo/cycle-$order.out" 2>&1 || status=$?
    echo "exit status $status"
}

run_cycle send-receive

# A second cycle the other way round: one more answer on the server, one more outgoing file.
printf 'Второе уведомление\r\n' >"$demo/samples/plain/uvedomlenie_002.txt"
mkdir -p "$demo/samples/encrypted2"
"$crypt" -T -I "$demo/samples/plain/*.*" -O "$demo/samples/encrypted2" -W "$kod" -P "$pin" -PU "$upin"
cp "$demo/samples/encrypted2/"* "$server/Out/"
printf 'Поручение № 2\r\n' >"$client/PostBox/Out/poruchenie_002.txt"
run_cycle receive-send

section "Daily log (demo/work, Windows-1251 shown as UTF-8)"
for log in "$work"/Log*.txt; do
    echo "--- $(basename "$log")"
    iconv -f WINDOWS-1251 -t UTF-8 "$log" | tr -d '\r'
done

section "Server folders after the cycles"
(cd "$server" && find . -mindepth 1 | sort | sed 's/^\.\//  /')

section "PostBoxIn (delivered, decrypted)"
for f in "$client/PostBox/In"/*; do
    [[ -f "$f" ]] || continue
    printf '  %s: %s\n' "$(basename "$f")" "$(tr -d '\r' <"$f" | head -c 200)"
done

section "Archives and working folders"
(cd "$client" && find Archive Temp PostBox -type f | sort | sed 's/^/  /')

echo
echo "Demo tree kept in demo/ (settings.reg, registry, ornel_ftp.db, work/Log*.txt)."
