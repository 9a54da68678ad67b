# Sourced: the private Wine environment of a build folder. Needs WINE_ROOT set.
export WINEPREFIX="$WINE_ROOT/prefix"
export HOME="$WINE_ROOT/home"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_CACHE_HOME="$HOME/.cache"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winealsa.drv,winepulse.drv,wineoss.drv=d"
export LANG=C.UTF-8
unset LC_ALL LANGUAGE
mkdir -p "$HOME" "$XDG_DATA_HOME"

# Creates the prefix once (reporting Windows 10), then starts the server and Wine's helper
# processes detached from the caller's pipes, so that a test run never waits for them.
vst_wine_prepare() {
  if [ ! -f "$WINEPREFIX/.vst-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wine winecfg -v win10 </dev/null >/dev/null 2>&1 || true
    # No window manager runs under Xvfb: unmanaged windows spare Wine its 2-second wait
    # for a manager's answer each time a window disappears.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.vst-ready"
  fi
  # The server stays up for 120 s after its last client; one still running from an earlier run
  # (wineserver then ends with 2) is the one to use.
  local status=0
  wineserver -p 120 </dev/null >/dev/null 2>&1 || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
    echo "error: wineserver could not start for $WINEPREFIX (status $status)" >&2
    return 1
  fi
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Starts Xvfb on a free display when DISPLAY is unset; vst_stop_display ends it and the server.
VST_XVFB_PID=
vst_start_display() {
  [ -z "${DISPLAY:-}" ] || return 0
  local n
  for n in $(seq 91 140); do
    { [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; } && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    VST_XVFB_PID=$!
    for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    if kill -0 "$VST_XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; return 0; fi
    VST_XVFB_PID=
  done
  echo "error: could not start Xvfb" >&2
  return 1
}
vst_stop_display() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$VST_XVFB_PID" ] || kill "$VST_XVFB_PID" 2>/dev/null || true
}
