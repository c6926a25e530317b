#!/usr/bin/env bash
# Installs every Debian package that building, testing, the demo and the benchmarks need.
# Idempotent: when everything is present it only runs dpkg-query and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git ccache
    debhelper lintian man-db
    qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins qt6-translations-l10n
    libcrypto++-dev libsqlcipher-dev sqlcipher libsodium-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    python3-pyftpdlib vsftpd db5.3-util lftp curl
    # pure-ftpd and ProFTPD run unpacked from the build folder (scripts/fetch-ftp-servers.sh);
    # their packages conflict with vsftpd, their libraries do not.
    libcap2 libcrypt1 libpam0g libsodium23 libssl3 libacl1 libhiredis0.14 libidn2-0
    libmemcached11 libmemcachedutil2 libpcre2-posix3 libncursesw6 util-linux mount
    xvfb trayer imagemagick xdotool x11-utils dbus-daemon
    gstreamer1.0-plugins-good gstreamer1.0-plugins-base
    clang-14 libclang-rt-14-dev
    # The Windows build (make windows): the cross compiler, the tools that build its
    # libraries from Debian's sources (scripts/build-win-deps.sh), and Wine for its tests.
    g++-mingw-w64-x86-64-posix dpkg-dev autoconf automake libtool wine64
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# Other jobs on this machine may hold the package database (the install test does for a
# while): wait for it rather than fail.
lock=(-o DPkg::Lock::Timeout=900)
$SUDO apt-get "${lock[@]}" update -qq
$SUDO apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
