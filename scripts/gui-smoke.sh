#!/usr/bin/env bash
# Drives the desktop application on a virtual X server with a window manager, as a new user
# would with keys and the mouse: start-up, code search, name search, zoom, the weekly view,
# screening, a range dialog, the report, favourites and exit. A screenshot is saved after
# every step. Fails with the name of the step that went wrong; bounded in time.
#
#   scripts/gui-smoke.sh [BUILD_DIR] [SCREENSHOT_DIR]
#
# Needs Xvfb, openbox, xdotool and scrot (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shots=${2:-$build/gui-smoke}
vorn=$build/vorn
ctl=$build/vornctl
step_timeout=30

fail() {
  echo "gui-smoke: FAILED: $*" >&2
  exit 1
}

for tool in Xvfb openbox xdotool scrot; do
  command -v "$tool" > /dev/null || fail "$tool is missing (run scripts/install-deps.sh)"
done
[ -x "$vorn" ] || fail "$vorn is not built"
[ -x "$ctl" ] || fail "$ctl is not built"

work=$(mktemp -d /tmp/vorn-gui-smoke.XXXXXX)
rm -rf "$shots"
mkdir -p "$shots"
pids=()
cleanup() {
  local pid
  # Newest first: the application, then the window manager, then the X server.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2> /dev/null || true
  done
  for pid in "${pids[@]}"; do
    timeout 5 tail --pid="$pid" -f /dev/null 2> /dev/null || kill -9 "$pid" 2> /dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# A display nobody uses.
display=
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=:$n
    break
  fi
done
[ -n "$display" ] || fail "no free X display between :90 and :130"
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  xdotool getdisplaygeometry > /dev/null 2>&1 && break
  sleep 0.1
done
xdotool getdisplaygeometry > /dev/null 2>&1 || fail "Xvfb did not start on $display"
openbox > "$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

"$ctl" sample --out "$work/Market.kbx" > /dev/null || fail "the sample market was not written"
"$build/vorn" --data-dir "$work" --local > "$work/vorn.log" 2>&1 &
app=$!
pids+=("$app")

step=0
shot() {
  step=$((step + 1))
  sleep 0.7
  scrot -o "$shots/$(printf '%02d' "$step")-$1.png" || fail "$1: no screenshot"
  kill -0 "$app" 2> /dev/null || fail "$1: vorn ended (log: $(tail -5 "$work/vorn.log"))"
}
# A window whose title is $1 appears within the step time; its id is printed.
window() {
  timeout "$step_timeout" xdotool search --sync --onlyvisible --name "$1" 2> /dev/null | head -1
}
keys() {
  xdotool key --clearmodifiers --delay 80 "$@"
}
# The main window is the active one again within the step time (dialogs closed).
back_to_main() {
  for _ in $(seq $((step_timeout * 10))); do
    [ "$(xdotool getactivewindow getwindowname 2> /dev/null || true)" = "ヴォルン" ] && return 0
    sleep 0.1
  done
  fail "$1: the main window did not come back"
}

main=$(window '^ヴォルン$') || true
[ -n "$main" ] || fail "start-up: the main window did not appear"
xdotool windowactivate --sync "$main" 2> /dev/null || xdotool windowfocus --sync "$main"
shot start-up

code=$("$ctl" info "$work/Market.kbx" 2> /dev/null | sed -n 's/^ *\([0-9]\{4\}\)[ :].*/\1/p' | sed -n 2p)
keys ctrl+l
xdotool type --delay 80 "${code:-1301}"
keys Return
shot code-search

keys ctrl+f
xdotool type --delay 120 "銀行"
sleep 0.5
keys Down Down Return
shot name-search

# The chart takes the keys after a click into it.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" $((WIDTH / 2)) $((HEIGHT * 2 / 3)) click 1
keys Next Next
shot zoom-in
keys ctrl+m Prior
shot zoom-out
keys w
shot weekly
keys c
xdotool mousemove --window "$main" $((WIDTH / 2)) $((HEIGHT * 2 / 3 - 20))
shot crosshair
keys c d

keys ctrl+s
# The first screening prepares the market's analysis behind a progress dialog.
sleep 1
back_to_main screening
shot screening

keys alt+s n 1
sleep 1
active=$(xdotool getactivewindow getwindowname 2> /dev/null || true)
[ -n "$active" ] && [ "$active" != "ヴォルン" ] || fail "range-dialog: no dialog opened"
shot range-dialog
keys Escape
back_to_main range-dialog

keys alt+s r
[ -n "$(window '^レポート$')" ] || fail "report-dialog: the dialog did not open"
shot report-dialog
keys Return
back_to_main report-dialog
shot report

keys ctrl+m alt+o o
shot favourite-added
keys alt+o
shot favourites-menu
keys Escape Escape

keys alt+f x
for _ in $(seq $((step_timeout * 10))); do
  kill -0 "$app" 2> /dev/null || break
  sleep 0.1
done
kill -0 "$app" 2> /dev/null && fail "exit: vorn is still running after $step_timeout s"
wait "$app" || fail "exit: vorn ended with status $?"
echo "gui-smoke: all steps passed; screenshots in $shots"
