# Shared by scripts/record-sessions and scripts/replay: builds the sessions driver and runs it
# under Wine on a private display, cleaning up after itself.

# halvane_sessions ARGS...: runs the driver with ARGS; returns its exit code.
halvane_sessions() {
  halvane_windows_choose "$(basename "$0")" || return 1
  local build=$root/build/$HALVANE_WINDOWS
  cmake --preset "$HALVANE_WINDOWS" >/dev/null
  cmake --build --preset "$HALVANE_WINDOWS" -j2 --target halvane_sessions halvane_desktop_holder >/dev/null
  halvane_wine_env "$build/wineprefix" "$HALVANE_WINDOWS"
  halvane_start_xvfb
  trap 'halvane_wine_end; [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null' EXIT
  halvane_wine_prefix || return 1
  halvane_wine_session "$build/tests/e2e/halvane_desktop_holder.exe" || return 1
  local code=0
  wine "$build/tests/sessions/halvane_sessions.exe" "$@" </dev/null || code=$?
  return "$code"
}
