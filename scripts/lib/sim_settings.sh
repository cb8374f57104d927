# The simulated rig's settings from a file, as `halvane-trace profile TRACE --settings FILE` writes
# them: NAME=VALUE a line, only HALVANE_SIM_* names, # for comments, CR LF or LF. Source it.

# halvane_load_sim_settings NAME FILE: exports every setting of FILE, taking the place of one
# already set, and says each in a line that starts with NAME; fails, saying why, on a line that
# is no setting.
halvane_load_sim_settings() {
  local name=$1 file=$2 line
  if [[ ! -r $file ]]; then
    echo "$name: cannot read the settings file $file" >&2
    return 1
  fi
  while IFS= read -r line || [[ -n $line ]]; do
    line=${line%$'\r'}
    [[ -z $line || $line == \#* ]] && continue
    if [[ ! $line =~ ^(HALVANE_SIM_[A-Z_]+)=(.*)$ ]]; then
      echo "$name: $file: not a setting: $line" >&2
      return 1
    fi
    export "${BASH_REMATCH[1]}=${BASH_REMATCH[2]}"
    echo "$name: ${BASH_REMATCH[1]}=${BASH_REMATCH[2]} (from $file)"
  done <"$file"
}
