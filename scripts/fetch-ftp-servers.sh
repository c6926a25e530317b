#!/usr/bin/env bash
# Fetches Debian's pure-ftpd and ProFTPD packages and unpacks them into DEST/root, for the
# interoperability tests that run them from there. Debian's FTP server packages conflict with
# one another (vsftpd is the installed one), so these two are never installed; their runtime
# libraries come from scripts/install-deps.sh. The .deb files stay in DEST/debs as a cache.
# Usage: scripts/fetch-ftp-servers.sh DEST   (the build runs it with DEST = BUILD/ftp-servers)
# Ends with status 0 even when the packages cannot be had, so that a build without a package
# source still succeeds; the tests that need the servers then fail and name this script.
set -uo pipefail

dest=${1:?usage: fetch-ftp-servers.sh DEST}
packages=(pure-ftpd proftpd-core)
stamp="$dest/unpacked.stamp"

mkdir -p "$dest/debs"
cd "$dest/debs" || exit 0

download() {
    # As root, apt's download sandbox user could not write into the build folder.
    apt-get download -qq -o APT::Sandbox::User=root "${packages[@]}" >/dev/null 2>&1
}

have_all() {
    for p in "${packages[@]}"; do
        compgen -G "${p}_*.deb" >/dev/null || return 1
    done
}

if ! have_all; then
    if ! download; then
        # A fresh machine may not have read its package lists yet.
        if [[ $(id -u) -eq 0 ]]; then
            apt-get update -qq >/dev/null 2>&1 || true
        fi
        if ! download; then
            echo "fetch-ftp-servers: cannot download ${packages[*]}; the tests against them will fail" >&2
            exit 0
        fi
    fi
fi

# Unpacked again only when the set of packages changed.
listing=$(ls -1 ./*.deb | sort)
if [[ -f "$stamp" && "$(cat "$stamp")" == "$listing" && -x "$dest/root/usr/sbin/pure-ftpd" &&
    -x "$dest/root/usr/sbin/proftpd" ]]; then
    exit 0
fi
rm -rf "$dest/root"
mkdir -p "$dest/root"
for deb in ./*.deb; do
    if ! dpkg-deb -x "$deb" "$dest/root"; then
        echo "fetch-ftp-servers: cannot unpack $deb" >&2
        exit 0
    fi
done
printf '%s' "$listing" >"$stamp"
echo "fetch-ftp-servers: unpacked ${packages[*]} into $dest/root"
