#!/usr/bin/env bash
# Pictures of every tab of the options dialog on a virtual X display, on a sample store
# (settings a participant would have). PNGs go to BUILD/screenshots.
# Usage: scripts/screenshots-options.sh [BUILD]   (needs xvfb)
set -euo pipefail

BUILD=${1:-build}
APP="$BUILD/bin/options_preview"
OUT="$BUILD/screenshots"
[[ -x "$APP" ]] || { echo "screenshots-options: $APP not built (cmake --build $BUILD --target options_preview)" >&2; exit 1; }
mkdir -p "$OUT"

WORK=$(mktemp -d)
XVFB=""
cleanup() {
    if [[ -n "$XVFB" ]]; then
        kill "$XVFB" 2>/dev/null || true
        wait "$XVFB" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

DISPLAY_NUMBER=120
while [[ -e /tmp/.X11-unix/X$DISPLAY_NUMBER || -e /tmp/.X$DISPLAY_NUMBER-lock ]]; do
    DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
done
export DISPLAY=:$DISPLAY_NUMBER
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB=$!
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$DISPLAY_NUMBER ]] && break; sleep 0.1; done

REG="$WORK/registry"
mkdir -p "$REG"
cat >"$REG/hklm.reg" <<'REGFILE'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\RUX\ORNEL_FTP\Options]
"IP"="ftp.depo.example"
"User"="participant0001"
"Password"="s3cret"
"TempSend"="/var/lib/ornel/temp/send"
"TempReciv"="/var/lib/ornel/temp/recv"
"ArcSend"="/var/lib/ornel/archive/recv"
"ArcReciv"="/var/lib/ornel/archive/send"
"ArcSend2"="/var/lib/ornel/archive/recv-plain"
"ArcReciv2"="/var/lib/ornel/archive/send-plain"
"PlayStart"="/usr/share/sounds/ornel/start.wav"
"UnKnOwnMonitoring"=dword:00000001
"ERRMonitoring"=dword:00000001
"ProxyAdr"="proxy.depo.example"
"ProxyUser"="fw"
REGFILE

"$APP" --registry-dir "$REG" --out "$OUT"
