# Helpers for running the real Windows program under Wine, on its own Xvfb
# display with a window manager, with drive A: mapped to an image file: the
# 64-bit program under wine64 here, the 32-bit one under 32-bit Wine in the
# emulated PC (scripts/guest.sh sets E2E_WINE and E2E_PATIENCE there).
# Source this file; every function reports failure through its exit status.

E2E_WINE=${E2E_WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
# Every wait is a deadline in seconds, multiplied by this: the emulated PC
# is some ten times slower.
E2E_PATIENCE=${E2E_PATIENCE:-1}
# How long a window just mapped needs before it takes keys.
E2E_SETTLE=${E2E_SETTLE:-0.5}

# e2e_init ROOT DISPLAY_NUMBER: a prefix under ROOT (made once, then reused),
# the display, and openbox on it (without a window manager Alt+F4 and the
# close box never reach a Wine window).
e2e_init() {
  E2E_ROOT=$1
  E2E_DISPLAY=:$2
  mkdir -p "$E2E_ROOT"
  export WINEPREFIX="$E2E_ROOT/prefix"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEDEBUG=-all
  export DISPLAY=$E2E_DISPLAY
  Xvfb "$E2E_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  local end=$((SECONDS + 10 * E2E_PATIENCE))
  until xdpyinfo >/dev/null 2>&1 || [ $SECONDS -ge $end ]; do sleep 0.1; done
  openbox >/dev/null 2>&1 &
  E2E_WM_PID=$!
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$E2E_WINE" wineboot -i >/dev/null 2>&1 || return 1
  fi
  # mountmgr reads the drive types when the wineserver starts: the registry
  # must hold a: = floppy before the program runs, or no drive is listed.
  if ! grep -qs '"a:"="floppy"' "$WINEPREFIX/system.reg"; then
    "$E2E_WINE" reg add 'HKLM\Software\Wine\Drives' /v a: /d floppy /f >/dev/null 2>&1
    "$WINESERVER" -w
  fi
}

e2e_shutdown() {
  "$WINESERVER" -k >/dev/null 2>&1
  kill "$E2E_WM_PID" "$E2E_XVFB_PID" >/dev/null 2>&1
  wait "$E2E_WM_PID" "$E2E_XVFB_PID" 2>/dev/null
  return 0
}

# e2e_map_floppy FOLDER IMAGE: A:\ shows FOLDER; \\.\A: is IMAGE.
e2e_map_floppy() {
  ln -sfn "$(realpath "$1")" "$WINEPREFIX/dosdevices/a:"
  ln -sfn "$(realpath "$2")" "$WINEPREFIX/dosdevices/a::"
}

# e2e_start EXE LOG: runs the program in the background with every window
# text traced; E2E_PID is the process, its exit code lands in LOG.rc.
e2e_start() {
  local exe=$1 log=$2
  rm -f "$log.rc"
  ( WINEDEBUG=trace+win "$E2E_WINE" "$exe" >"$log" 2>&1; echo $? >"$log.rc" ) &
  E2E_PID=$!
}

# e2e_wait_exit LOG [SECONDS]: waits for the program to end; prints its exit code.
e2e_wait_exit() {
  local log=$1 end=$((SECONDS + ${2:-20} * E2E_PATIENCE))
  while [ $SECONDS -lt $end ]; do
    if [ -f "$log.rc" ]; then cat "$log.rc"; return 0; fi
    sleep 0.1
  done
  echo timeout
  return 1
}

# The title as a regular expression that matches it exactly.
e2e_title_pattern() {
  printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\\.^$*+?(){}|]/\\&/g')"
}

# e2e_window TITLE [SECONDS]: the id of the visible window with exactly that title.
e2e_window() {
  local title end=$((SECONDS + ${2:-20} * E2E_PATIENCE)) id
  title=$(e2e_title_pattern "$1")
  while [ $SECONDS -lt $end ]; do
    id=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      sleep "$E2E_SETTLE"  # a window just mapped does not take keys yet
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# e2e_gone TITLE [SECONDS]: waits until no visible window has that title.
e2e_gone() {
  local title end=$((SECONDS + ${2:-20} * E2E_PATIENCE))
  title=$(e2e_title_pattern "$1")
  while [ $SECONDS -lt $end ]; do
    xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# e2e_key WINDOW KEY...: keys sent to a window (after giving it the focus).
e2e_key() {
  local window=$1
  shift
  # Real key events (XTEST) to the focused window: Wine ignores some of the
  # synthetic events that "key --window" sends.
  # --sync waits for the window manager; a deadline keeps a lost event from
  # hanging the test.
  timeout $((5 * E2E_PATIENCE)) xdotool windowactivate --sync "$window" >/dev/null 2>&1 ||
    xdotool windowfocus "$window" 2>/dev/null
  sleep 0.2
  xdotool key --clearmodifiers "$@"
}

# e2e_type WINDOW TEXT
e2e_type() {
  timeout $((5 * E2E_PATIENCE)) xdotool windowactivate --sync "$1" >/dev/null 2>&1
  sleep 0.2
  xdotool type --delay 20 "$2"
}

# e2e_texts LOG: every text set on a window, one a line, as Wine traced it.
# Traces of two threads can share a line, so each text is cut out by its quotes.
e2e_texts() {
  grep -aoE 'set_window_text L"([^"\\]|\\.)*"' "$1" | sed 's/^set_window_text L"//; s/"$//' |
    sed 's/\\r\\n/ | /g; s/\\n/ | /g; s/\\"/"/g'
}

# e2e_screenshot FILE
e2e_screenshot() {
  import -window root "$1" >/dev/null 2>&1
}
