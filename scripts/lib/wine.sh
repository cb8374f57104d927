# Shared by the scripts that run Windows binaries: Wine's environment, a prepared prefix, a display.
# Source it; every function takes what it needs as arguments.

# halvane_wine_env PREFIX: exports the variables every Wine call of ours uses.
halvane_wine_env() {
  export WINEPREFIX="$1"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# halvane_wine_fonts: a CJK font stands in for the Windows faces the program's texts ask for
# (the title banner asks for Arial; Windows would link a CJK font in for its Chinese).
halvane_wine_fonts() {
  local face
  for face in SimSun "MS Shell Dlg" "MS Shell Dlg 2" Arial; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Micro Hei" /f \
      >/dev/null 2>&1
  done
}

# halvane_wine_prefix: creates $WINEPREFIX once, with a CJK font standing in for the Windows ones
# and one virtual desktop (without a window manager Wine stalls a window after each message box).
halvane_wine_prefix() {
  if [[ -f "$WINEPREFIX/.halvane-ready" ]]; then
    return 0
  fi
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  halvane_wine_fonts
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.halvane-ready"
}

# halvane_start_xvfb: starts a private display unless one is given; sets DISPLAY and XVFB_PID.
halvane_start_xvfb() {
  XVFB_PID=
  local display
  for display in $(seq 90 120); do
    if [[ ! -e /tmp/.X11-unix/X$display && ! -e /tmp/.X$display-lock ]]; then
      Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$display"
      local tries
      for tries in $(seq 100); do
        [[ -e /tmp/.X11-unix/X$display ]] && return 0
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
      done
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}

# halvane_wine_session HOLDER: one wineserver for the whole run, and Wine's desktop kept up by HOLDER
# (build/<preset>/tests/e2e/halvane_desktop_holder.exe) until halvane_wine_end. Wine ends its desktop
# a second after the last program using it ends; the next program to need one starts it again as its
# child, with that program's standard error: under ctest, the test runner's pipe, held for as long as
# the desktop lives. Wine's services, started by a session's first program, take its standard error
# the same way. Started here first, with no output, the holder, the desktop and the services hold
# nothing of a test.
halvane_wine_session() {
  local holder=$1
  if [[ ! -f $holder ]]; then
    echo "halvane_wine_session: $holder is missing (it is built with the end-to-end driver)" >&2
    return 1
  fi
  wineserver -p
  wine "$holder" </dev/null >/dev/null 2>&1 &
  local tries
  for tries in $(seq 300); do
    if xwininfo -root -children 2>/dev/null | grep -q "Wine desktop"; then
      # Returns once Wine's start-up (services, first-run work) is over too.
      wine cmd.exe /c exit </dev/null >/dev/null 2>&1
      return 0
    fi
    sleep 0.1
  done
  echo "halvane_wine_session: Wine's desktop did not come up" >&2
  return 1
}

# halvane_wine_end: stops the session's wineserver and everything Wine left running.
halvane_wine_end() {
  wineserver -k 2>/dev/null || true
}
