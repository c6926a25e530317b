#!/usr/bin/env bash
# Builds the Debian package of the agent: a second CMake build in the system layout beside
# the development one, the binary package through debhelper, then lintian (an error fails).
# Usage: scripts/build-deb.sh [BUILD_DIR]   (default build-deb; make deb calls it)
# The build folder sits beside the development build, and the compiler cache is told to
# ignore which folder a compile runs in, so every object the development build compiled
# is a cache hit here: only the file that holds the layout is compiled again. Binding at
# load time hardens the installed programs and costs no compile.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-deb}")
jobs=${JOBS:-$(nproc)}

mkdir -p "$build"
# One package build per folder at a time.
exec 9>"$build/.build-deb.lock"
flock 9

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    ${DEB_MAINTAINER:+"-DORNEL_DEB_MAINTAINER=$DEB_MAINTAINER"} \
    -DORNEL_LAYOUT=system -DCMAKE_INSTALL_PREFIX=/usr -DORNEL_BUILD_TESTS=OFF -DORNEL_BUILD_BENCH=OFF \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,now" >/dev/null
cmake --build "$build" -j "$jobs"

rm -f "$build"/ornel-ftp_* "$build"/ornel-ftp-dbgsym_*
echo "build-deb: dpkg-buildpackage (log in $build/dpkg-buildpackage.log)"
if ! (cd "$build/package" && ORNEL_BUILD_DIR="$build" dpkg-buildpackage -b -us -uc -d -nc) \
    >"$build/dpkg-buildpackage.log" 2>&1; then
    tail -n 40 "$build/dpkg-buildpackage.log" >&2
    exit 1
fi
deb=$(ls "$build"/ornel-ftp_*_amd64.deb 2>/dev/null || ls "$build"/ornel-ftp_*.deb)

echo "build-deb: lintian"
# Warnings are shown; an error fails the build. Lintian leaves files of its own in its
# temporary folder, so it gets one in the build folder, emptied after each run.
lintian_tmp="$build/lintian-tmp"
rm -rf "$lintian_tmp"
mkdir -p "$lintian_tmp"
status=0
TMPDIR="$lintian_tmp" lintian --fail-on error --info "$deb" || status=$?
rm -rf "$lintian_tmp"
[[ $status -eq 0 ]] || exit "$status"
echo "build-deb: $deb"
