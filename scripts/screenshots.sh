#!/usr/bin/env bash
# Takes screenshots of the desktop on a virtual X display with a tray host. The tray
# application itself (bin/ornel_ftp on demo-like settings with a local FTP server, one
# send-receive cycle started from the menu) gives the menu, a balloon, the status window
# on both pages and the About window; the preview program (bin/ui_preview) gives the same
# windows with sample content plus both balloon kinds, the two alert windows and the icon
# coming back after the tray host restarts. PNGs go to BUILD/screenshots.
# Usage: scripts/screenshots.sh [BUILD]   (needs xvfb, trayer, xdotool, imagemagick)
# ONLY=name1,name2 takes only those screenshots.
set -euo pipefail

BUILD=${1:-build}
SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/exchange-fixture.sh
source "$SCRIPTS/exchange-fixture.sh"
APP="$BUILD/bin/ui_preview"
AGENT=$(realpath -m "$BUILD/bin/ornel_ftp")
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
# below it, and its items are clicked at their places there (the keyboard would skip the
# items greyed during a cycle or without an address, and count wrong).
TRAY_X=1264
TRAY_Y=16
menu_item() {
    local y
    case "$1" in
    send-receive) y=112 ;;
    status) y=158 ;;
    about) y=182 ;;
    *) echo "screenshots: no menu item $1" >&2; return 1 ;;
    esac
    xdotool mousemove $TRAY_X $TRAY_Y click 3
    sleep 0.8
    xdotool mousemove 1160 "$y"
    sleep 0.2
    xdotool click 1
    sleep 1.2
}
click_info_tab() {
    local window
    window=$(xdotool search --onlyvisible --name "^Статус выполнения" 2>/dev/null | head -1 || true)
    [[ -n "$window" ]] || return 0
    eval "$(xdotool getwindowgeometry --shell "$window" 2>/dev/null)" || return 0
    # The second tab ("Инфо") sits right of "Протокол" at the top left of the window.
    xdotool mousemove $((X + 115)) $((Y + 12)) click 1
    sleep 0.8
}

# The tray application on settings shaped like the demo's: a local FTP server, post boxes
# with a few files, archives, no encryption; one send-receive cycle through the menu fills
# the protocol and the journal before the status window is photographed.
# AGENT_BASE (default $WORK/agent) holds one agent's folders; SLOW_RATE (bytes per second)
# puts its server on a slow line.
agent_setup() {
    local base="${AGENT_BASE:-$WORK/agent}" port rate=()
    if [[ -n "${SLOW_RATE:-}" ]]; then rate=(--rate "$SLOW_RATE"); fi
    mkdir -p "$base/server/In" "$base/server/Out" "$base/client/PostBox/Out" "$base/client/PostBox/In" \
        "$base/client/Temp/Send" "$base/client/Temp/Reciv" "$base/client/Archive" "$base/registry" "$base/work"
    printf 'Поручение № 1\r\n' >"$base/client/PostBox/Out/poruchenie_001.txt"
    head -c 20000 /dev/zero >"$base/client/PostBox/Out/reestr.bin"
    printf 'Выписка\r\n' >"$base/server/Out/vypiska_1208.txt"
    # The demo's server (a later --passive wins over the fixture's own range).
    local server_pid
    start_ftp_server "$base/server" participant demo "$base/ftp.log" \
        --passive "${PASSIVE_RANGE:-43000-43999}" "${rate[@]}" ||
        { echo "screenshots: the FTP server did not start; see $base/ftp.log" >&2; return 1; }
    PIDS+=("$server_pid")
    cat >"$base/settings.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP]
"FileSendCount"=dword:00000025
"FileSendSize"=hex:00,00,00,00,30,00,d4,40
"FileReciveCount"=dword:0000000c
"FileReciveSize"=hex:00,00,00,00,00,02,98,40

[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]
"FtpOut"="Out"
"FtpIn"="In"
"TempSend"="$base/client/Temp/Send"
"TempReciv"="$base/client/Temp/Reciv"
"Interval"=dword:0000001e
"IP"="127.0.0.1"
"Port"=dword:$(printf '%08x' "$port")
"Passive"=dword:00000001
"User"="participant"
"Password"="demo"
"ArcSend"="$base/client/Archive/ReceivedEncrypted"
"ArcReciv"="$base/client/Archive/SentEncrypted"
"ArcSend2"="$base/client/Archive/Received"
"ArcReciv2"="$base/client/Archive/Sent"
"PostBoxOut"="$base/client/PostBox/Out"
"PostBoxIn"="$base/client/PostBox/In"
"AutoRun"=dword:00000000
"ShowBallonHint"=dword:00000001
"NotUseCrypt"=dword:00000001
"SoundOFF"=dword:00000000
"Pause"=dword:00000001
REG
    "$AGENT" --registry-dir "$base/registry" --import-reg "$base/settings.reg" >"$base/import.log" 2>&1
    "$AGENT" --init-journal "$base/ornel_ftp.db" >>"$base/import.log" 2>&1
}
run_agent() {
    local base="${AGENT_BASE:-$WORK/agent}"
    (cd "$base/work" && exec "$AGENT" --registry-dir "$base/registry" --journal "$base/ornel_ftp.db") \
        >"$base/agent.log" 2>&1 &
    APP_PID=$!
    PIDS+=($APP_PID)
    sleep 2.5
}
wait_for_cycle() {
    for _ in $(seq 200); do
        # The log file is written in Windows-1251.
        iconv -f CP1251 -t UTF-8 "${AGENT_BASE:-$WORK/agent}"/work/Log*.txt 2>/dev/null | grep -q "Стоп передача/прием" && break
        sleep 0.1
    done
    sleep 1
}

if [[ -x "$AGENT" ]] && wanted app; then
    agent_setup
    run_agent
    shot app-tray
    xdotool mousemove $TRAY_X $TRAY_Y click 3
    sleep 1
    shot app-menu
    xdotool key Escape
    sleep 0.3
    menu_item send-receive
    wait_for_cycle
    shot app-balloon
    menu_item status
    shot app-status-protocol
    click_info_tab
    shot app-status-info
    menu_item about
    shot app-about
    stop_app
elif wanted app; then
    echo "screenshots: $AGENT not built; preview windows only" >&2
fi

# The same agent in the middle of a slow upload: the status window with its progress bar
# part-way, and the tray icon on two frames of its animation (enlarged).
shot_icon() {
    import -window root -crop 40x32+1240+0 +repage "$OUT/$1.png"
    convert "$OUT/$1.png" -scale 400% "$OUT/$1.png"
    echo "screenshots: $OUT/$1.png"
}
if [[ -x "$AGENT" ]] && wanted transfer; then
    AGENT_BASE="$WORK/slow" SLOW_RATE=196608 PASSIVE_RANGE=44000-44999 agent_setup
    head -c 4000000 /dev/urandom >"$WORK/slow/client/PostBox/Out/arhiv_1208.zip"
    AGENT_BASE="$WORK/slow" run_agent
    menu_item send-receive
    sleep 4
    menu_item status # served while the file is on its way
    sleep 2
    shot app-transfer-status
    shot_icon app-transfer-icon-a
    sleep 0.35
    shot_icon app-transfer-icon-b
    xdotool mousemove $TRAY_X $TRAY_Y click 3
    sleep 1
    shot app-transfer-menu
    xdotool key Escape
    AGENT_BASE="$WORK/slow" wait_for_cycle
    stop_app
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
