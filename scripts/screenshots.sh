#!/usr/bin/env bash
# Takes screenshots of the desktop on a virtual X display with a tray host. The tray
# application itself (bin/ornel_ftp on the settings and journal of `make demo`, which is
# run first when demo/ is missing) gives the menu, the status window on both pages and
# the About window, opened through the tray menu; the preview program (bin/ui_preview)
# gives the same windows with sample content plus balloons, the two alert windows and
# the icon coming back after the tray host restarts. PNGs go to BUILD/screenshots.
# Usage: scripts/screenshots.sh [BUILD]   (needs xvfb, trayer, xdotool, imagemagick)
# ONLY=name1,name2 takes only those screenshots.
set -euo pipefail

BUILD=${1:-build}
APP="$BUILD/bin/ui_preview"
AGENT=$(realpath -m "$BUILD/bin/ornel_ftp")
ROOT=$(pwd)
OUT="$BUILD/screenshots"
[[ -x "$APP" ]] || { echo "screenshots: $APP not built (cmake --build $BUILD --target ui_preview)" >&2; exit 1; }
mkdir -p "$OUT"

WORK=$(mktemp -d)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

# A display number nobody uses.
DISPLAY_NUMBER=99
while [[ -e /tmp/.X11-unix/X$DISPLAY_NUMBER || -e /tmp/.X$DISPLAY_NUMBER-lock ]]; do
    DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
done
export DISPLAY=:$DISPLAY_NUMBER
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$DISPLAY_NUMBER ]] && break; sleep 0.1; done
xsetroot -solid '#3a6ea5' 2>/dev/null || true

start_tray() {
    trayer --edge top --align right --widthtype request --height 32 --transparent false \
        --tint 0xdddddd >"$WORK/trayer.log" 2>&1 &
    TRAYER=$!
    PIDS+=($TRAYER)
    sleep 1
}
start_tray

# Sample registry: counters for the About window.
REG="$WORK/registry"
mkdir -p "$REG"
cat >"$REG/hklm.reg" <<'REGFILE'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\RUX\ORNEL_FTP]
"FileSendCount"=dword:00000025
"FileSendSize"=hex:00,00,00,00,30,00,d4,40
"FileReciveCount"=dword:0000000c
"FileReciveSize"=hex:00,00,00,00,00,02,98,40
REGFILE

# Sample UnKnOwn day folder.
UNKNOWN="$WORK/UnKnOwn/20261208"
mkdir -p "$UNKNOWN/sub"
head -c 1536 /dev/zero >"$UNKNOWN/report_1208.xml"
head -c 5000000 /dev/zero >"$UNKNOWN/archive_0042.zip"
printf 'abc' >"$UNKNOWN/readme.txt"
head -c 70000 /dev/zero >"$UNKNOWN/scan.pdf"
printf 'x' >"$UNKNOWN/sub/inner.txt"

APP_PID=""
run_app() {
    "$APP" --registry-dir "$REG" --unknown-dir "$UNKNOWN" "$@" >"$WORK/app.log" 2>&1 &
    APP_PID=$!
    PIDS+=($APP_PID)
    for _ in $(seq 50); do grep -q "ui_preview ready" "$WORK/app.log" && break; sleep 0.1; done
    sleep 1.5
}
stop_app() {
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
    sleep 0.3
}
shot() {
    import -window root "$OUT/$1.png"
    echo "screenshots: $OUT/$1.png"
}

wanted() { [[ -z "${ONLY:-}" || ",$ONLY," == *",$1,"* ]]; }

# The tray icon sits at the right end of the tray host along the top edge; the menu opens
# there and its items are reached with the keyboard (the logo item counts as the first).
TRAY_X=1264
TRAY_Y=16
menu_item() {
    xdotool mousemove $TRAY_X $TRAY_Y click 3
    sleep 0.8
    for _ in $(seq "$1"); do xdotool key Down; sleep 0.1; done
    xdotool key Return
    sleep 1.2
}
click_info_tab() {
    local window
    window=$(xdotool search --onlyvisible --name "^Статус выполнения" | head -1)
    [[ -n "$window" ]] || return 0
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # The second tab ("Инфо") sits right of "Протокол" at the top left of the window.
    xdotool mousemove $((X + 115)) $((Y + 12)) click 1
    sleep 0.8
}

if [[ -x "$AGENT" && ! -d "$ROOT/demo/registry" && -x "$BUILD/bin/ornel_crypt" ]]; then
    echo "screenshots: running the demo first for its settings and journal" >&2
    bash "$ROOT/scripts/demo.sh" "$BUILD" >"$WORK/demo.log" 2>&1 || echo "screenshots: demo failed (see below)" >&2
fi
if [[ -x "$AGENT" && -d "$ROOT/demo/registry" ]]; then
    # A copy, so the demo's own store and journal stay as they were.
    cp -r "$ROOT/demo/registry" "$WORK/agent-registry"
    cp "$ROOT/demo/ornel_ftp.db" "$WORK/agent.db" 2>/dev/null || true
    mkdir -p "$WORK/agent-work"
    run_agent() {
        (cd "$WORK/agent-work" && exec "$AGENT" --registry-dir "$WORK/agent-registry" --journal "$WORK/agent.db") \
            >"$WORK/agent.log" 2>&1 &
        APP_PID=$!
        PIDS+=($APP_PID)
        sleep 2.5
    }
    if wanted app-menu; then
        run_agent
        shot app-tray
        xdotool mousemove $TRAY_X $TRAY_Y click 3
        sleep 1
        shot app-menu
        xdotool key Escape
        stop_app
    fi
    if wanted app-status; then
        run_agent
        menu_item 6
        shot app-status-protocol
        click_info_tab
        shot app-status-info
        stop_app
    fi
    if wanted app-about; then
        run_agent
        menu_item 7
        shot app-about
        stop_app
    fi
else
    echo "screenshots: no tray application or demo settings; preview windows only" >&2
fi

take() {
    local name=$1
    shift
    wanted "$name" || return 0
    run_app "$@"
    shot "$name"
    stop_app
}

if wanted menu; then
    run_app
    shot tray
    xdotool mousemove $TRAY_X $TRAY_Y click 3
    sleep 1
    shot menu
    xdotool key Escape
    stop_app
fi
take balloon --show balloon
take balloon-error --show error-balloon
take status-protocol --show status
take status-info --show info
take about --show about
take message-window --show mess
take unknown-files --show unknown

# The icon comes back when the tray host is restarted.
if wanted tray-restart; then
    run_app
    kill "$TRAYER"
    wait "$TRAYER" 2>/dev/null || true
    sleep 1
    shot tray-host-gone
    start_tray
    sleep 1
    shot tray-host-restarted
    stop_app
fi
