# Shared by scripts/record-sessions and scripts/replay: builds the sessions driver and runs it
# under Wine on a private display, cleaning up after itself.

# halvane_sessions ARGS...: runs the driver with ARGS; returns its exit code.
halvane_sessions() {
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j2 --target halvane_sessions halvane_desktop_holder >/dev/null
  halvane_wine_env "$root/build/win32/wineprefix"
  halvane_start_xvfb
  trap 'halvane_wine_end; [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null' EXIT
  halvane_wine_prefix
  halvane_wine_session "$root/build/win32/tests/e2e/halvane_desktop_holder.exe" || return 1
  local code=0
  wine "$root/build/win32/tests/sessions/halvane_sessions.exe" "$@" </dev/null || code=$?
  return "$code"
}
