# Shared by the scripts that run Windows binaries: Wine's environment, a prepared prefix, a display.
# Source it; every function takes what it needs as arguments.

# halvane_runs_32bit: whether this machine executes 32-bit x86 programs. Some kernels run none at
# all, and 32-bit Wine starts nothing there. The probe is the smallest static 32-bit Linux program,
# written byte by byte so the answer needs no toolchain: one loadable segment whose code is
# exit(0) (mov eax, 1; xor ebx, ebx; int 0x80).
halvane_runs_32bit() {
  local probe status=1
  probe=$(mktemp) || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"         # ELF32, LSB
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08' >>"$probe"                 # exec, i386, entry
  printf '\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' >>"$probe"                 # phoff, no sections
  printf '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$probe"                 # one program header
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe" # PT_LOAD at 0x8048000
  printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe" # 93 bytes, r-x
  printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"                             # exit(0)
  chmod +x "$probe"
  "$probe" 2>/dev/null && status=0
  rm -f "$probe"
  return "$status"
}

# halvane_wine32_installed: whether 32-bit Wine is installed (its server is what starts programs).
halvane_wine32_installed() {
  [[ -x /usr/lib/wine/wineserver32 ]]
}

# halvane_windows_preset: prints the Windows build this machine runs its Windows suites and programs
# as: win32 (the product itself) where 32-bit code runs and 32-bit Wine is installed, win64 under
# 64-bit Wine otherwise. HALVANE_WINDOWS_PRESET=win32|win64 forces the choice (64-bit Wine runs on
# both kinds of machine).
halvane_windows_preset() {
  case ${HALVANE_WINDOWS_PRESET:-} in
    win32 | win64) echo "$HALVANE_WINDOWS_PRESET" ;;
    "") if halvane_runs_32bit && halvane_wine32_installed; then echo win32; else echo win64; fi ;;
    *)
      echo "HALVANE_WINDOWS_PRESET must be win32 or win64, not '$HALVANE_WINDOWS_PRESET'" >&2
      return 1
      ;;
  esac
}

# halvane_windows_reason PRESET: one line saying which Windows build runs here, and why.
halvane_windows_reason() {
  if [[ -n ${HALVANE_WINDOWS_PRESET:-} ]]; then
    echo "$1 build under $([[ $1 == win64 ]] && echo 64 || echo 32)-bit Wine (forced by HALVANE_WINDOWS_PRESET)"
  elif [[ $1 == win32 ]]; then
    echo "win32 build under 32-bit Wine: the product itself"
  elif halvane_runs_32bit; then
    echo "win64 build under 64-bit Wine: this machine runs 32-bit code, but 32-bit Wine is not installed (scripts/install-deps says why)"
  else
    echo "win64 build under 64-bit Wine: this machine runs no 32-bit x86 code"
  fi
}

# halvane_wine_env PREFIX [PRESET]: exports the variables every Wine call of ours uses; for win64,
# puts the 64-bit wine, wineserver and wineboot first on PATH.
halvane_wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [[ ${2:-win32} == win64 ]]; then
    export WINEARCH=win64
    local wrappers
    wrappers=$(cd "$(dirname "${BASH_SOURCE[0]}")/wine64-bin" && pwd)
    [[ :$PATH: == *":$wrappers:"* ]] || export PATH="$wrappers:$PATH"
  else
    export WINEARCH=win32
  fi
}

# halvane_wine_check: says in one line why Wine cannot start programs here, and fails, if it cannot.
halvane_wine_check() {
  local out
  if ! out=$(wine cmd.exe /c exit </dev/null 2>&1); then
    echo "Wine ($WINEARCH) cannot start a program here: $(tail -1 <<<"$out")" >&2
    return 1
  fi
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
  halvane_wine_check || return 1
  halvane_wine_fonts
  # Without these the desktop never comes up, so a prefix missing one is not marked ready.
  halvane_wine_setting 'HKCU\Software\Wine\X11 Driver' Decorated N &&
    halvane_wine_setting 'HKCU\Software\Wine\Explorer' Desktop Default &&
    halvane_wine_setting 'HKCU\Software\Wine\Explorer\Desktops' Default 1024x768 || return 1
  wineserver -w
  touch "$WINEPREFIX/.halvane-ready"
}

# halvane_wine_setting KEY NAME VALUE: sets a string value in the prefix's registry; says so and
# fails when it did not take.
halvane_wine_setting() {
  local out
  if ! out=$(wine reg add "$1" /v "$2" /d "$3" /f </dev/null 2>&1); then
    echo "halvane_wine_prefix: could not set $1\\$2 to $3: $(tail -1 <<<"$out")" >&2
    return 1
  fi
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
# nothing of a test. A server already answering for the prefix is stopped first: Wine finds a
# prefix's server by the folder's inode, so a folder made where a deleted one stood can meet the
# old folder's server, which a later `wineserver -k` of the old run would take away mid-suite.
halvane_wine_session() {
  local holder=$1
  if [[ ! -f $holder ]]; then
    echo "halvane_wine_session: $holder is missing (it is built with the end-to-end driver)" >&2
    return 1
  fi
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wineserver -p
  local holder_err="$WINEPREFIX/desktop-holder.err"
  wine "$holder" </dev/null >/dev/null 2>"$holder_err" &
  # Seconds on a quiet machine; allowed far longer beside the builds on a loaded one.
  local holder_pid=$! tries
  for tries in $(seq 900); do
    if xwininfo -root -children 2>/dev/null | grep -q "Wine desktop"; then
      # Returns once Wine's start-up (services, first-run work) is over too.
      wine cmd.exe /c exit </dev/null >/dev/null 2>&1
      return 0
    fi
    sleep 0.1
  done
  # What a later look needs: whether the display, the server and the holder still run, and what
  # the display shows instead.
  echo "halvane_wine_session: Wine's desktop did not come up in 90 s" \
    "(display $DISPLAY $(xwininfo -root >/dev/null 2>&1 && echo answers || echo "does not answer");" \
    "server $(pgrep wineserver >/dev/null && echo runs || echo "is gone");" \
    "holder $(kill -0 "$holder_pid" 2>/dev/null && echo runs || echo "ended"))" >&2
  xwininfo -root -children 2>&1 | sed -n 's/^ *0x[0-9a-f]* /  window: /p' | head -10 >&2
  wine reg query 'HKCU\Software\Wine\Explorer' /v Desktop </dev/null 2>&1 | grep -i desktop |
    sed 's/^/  registry: /' >&2
  tail -5 "$holder_err" | sed 's/^/  holder: /' >&2
  return 1
}

# halvane_wine_end: stops the session's wineserver and everything Wine left running.
halvane_wine_end() {
  wineserver -k 2>/dev/null || true
}

# halvane_windows_choose NAME: sets HALVANE_WINDOWS to the Windows build this machine runs (win32 or
# win64) and says so in one line that starts with NAME.
halvane_windows_choose() {
  HALVANE_WINDOWS=$(halvane_windows_preset) || return 1
  echo "$1: running the $(halvane_windows_reason "$HALVANE_WINDOWS")"
}
