#!/usr/bin/env bash
# make windows: the Windows build (x86_64, static, mingw-w64) in the given folder, on the
# libraries scripts/build-win-deps.sh cross-builds once. Configured anew when those
# libraries moved (another cache key), so no stale library path is kept.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-build-win}
jobs=${JOBS:-$(nproc)}

prefix=$(bash "$here/build-win-deps.sh" | tail -n1)
if [[ ! -f $build/build.ninja || "$(cat "$build/deps-prefix" 2>/dev/null)" != "$prefix" ]]; then
    rm -f "$build/CMakeCache.txt"
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DORNEL_WIN_DEPS_PREFIX="$prefix" \
        "${launcher[@]}"
    echo "$prefix" >"$build/deps-prefix"
fi
cmake --build "$build" -j "$jobs"
echo "windows: $(cd "$build/bin" && ls *.exe | tr '\n' ' ')in $build/bin"
