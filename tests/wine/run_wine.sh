#!/usr/bin/env bash
# Runs one Windows test executable of the Windows build under Wine, in a prefix of that
# build's own (WINEPREFIX=<build>/wine-prefix, or <build>/$ORNEL_WINE_PREFIX), without a
# display. The one place that says how the tests run Wine.
#   run_wine.sh BUILD --prepare     creates or updates the prefix (the first start, a few s)
#   run_wine.sh BUILD --shutdown    waits for the prefix's wineserver to end
#   run_wine.sh BUILD --check       exit 0 when Wine and the Windows build are there
#   run_wine.sh BUILD --wine ARGS   runs Wine itself with ARGS (wineboot, reg, an .exe path)
#   run_wine.sh BUILD NAME [ARGS]   runs BUILD/bin/NAME.exe; its status is the test's
# Exit 77 (skipped) when there is no Windows build, no such executable or no Wine.
set -uo pipefail

build=$1
what=$2
shift 2

wine=${WINE:-$(command -v wine64 || true)}
[[ -n $wine ]] || wine=/usr/lib/wine/wine64
wineserver=$(dirname "$wine")/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
if [[ ! -x $wine ]]; then
    echo "skipped: Wine (wine64) is not installed; make deps installs it"
    exit 77
fi
if [[ ! -d $build/bin ]]; then
    echo "skipped: no Windows build in $build; make windows makes one"
    exit 77
fi

export WINEPREFIX=$build/${ORNEL_WINE_PREFIX:-wine-prefix} WINEDEBUG=-all WINEARCH=win64
# Wine keeps its server's socket folder in the temporary folder for the life of the prefix;
# the build's own keeps it out of /tmp.
export TMPDIR=$build/wine-tmp
mkdir -p "$TMPDIR" && chmod 0700 "$TMPDIR"
# No display, no Mono or Gecko to offer: the tests are console programs.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

case $what in
--prepare)
    started=$(date +%s%N)
    "$wine" wineboot -u >/dev/null 2>&1 || { echo "wineboot failed in $WINEPREFIX"; exit 1; }
    echo "Wine prefix $WINEPREFIX ready in $((($(date +%s%N) - started) / 1000000)) ms" \
        "($("$wine" --version 2>/dev/null))"
    ;;
--shutdown)
    [[ -d $WINEPREFIX ]] || exit 0
    "$wineserver" -w
    ;;
--check) ;;
--wine)
    exec "$wine" "$@"
    ;;
*)
    exe=$build/bin/$what.exe
    if [[ ! -f $exe ]]; then
        echo "skipped: $exe was not built"
        exit 77
    fi
    # The executable's own output is the test's; Wine's fixme lines are off (WINEDEBUG).
    "$wine" "$exe" --gtest_color=no "$@"
    ;;
esac
