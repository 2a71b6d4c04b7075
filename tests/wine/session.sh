#!/usr/bin/env bash
# start: a display for the message boxes and a warm Wine prefix for the tests.
# stop: ends both again.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
display_file="$QUARN_BUILD_DIR/wine-display"

start() {
  if [ ! -f "$display_file" ] || ! pgrep -f "Xvfb :$(cat "$display_file") " >/dev/null; then
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$QUARN_BUILD_DIR/xvfb.log" 2>&1 < /dev/null &
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    echo "$n" > "$display_file"
  fi
  export DISPLAY=":$(cat "$display_file")"
  mkdir -p "$WINEPREFIX"
  # One persistent server for the whole session: each Wine start then takes a
  # fraction of a second instead of several.
  wineserver -k >/dev/null 2>&1 || true
  setsid wineserver -p >/dev/null 2>&1 < /dev/null &
  wineboot -i >/dev/null 2>&1
  # A crashing program must end its test, not wait for someone to close a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # Wine ends its desktop process a second after the last program with a window,
  # and the next one waits for Wine to start it anew; under heavy load that wait
  # can run out, and a message box then fails without showing. Windows keeps its
  # desktop for the whole session, so the session keeps a window open.
  setsid wine notepad.exe >/dev/null 2>&1 < /dev/null &
  timeout 120 xdotool search --sync --onlyvisible --name 'Notepad$' >/dev/null
  echo "Wine prefix $WINEPREFIX ready on display $DISPLAY"
}

stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$display_file" ]; then
    pkill -f "Xvfb :$(cat "$display_file") " >/dev/null 2>&1 || true
    rm -f "$display_file"
  fi
  echo "Wine session ended"
}

"${1:?start or stop}"
