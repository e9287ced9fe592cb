# Sourced by scripts that show the window on a screen of their own:
#   start_xvfb WIDTHxHEIGHT   starts Xvfb on a free display and exports DISPLAY
#   wait_for_window TITLE     prints the id of the visible window TITLE (10 s at most)
# The Xvfb is stopped when the sourcing script exits.

start_xvfb() {
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 5 -screen 0 "${1}x24" -nolisten tcp 5>"$number_file" 2>/dev/null &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$(tr -d '\n' <"$number_file")
  rm -f "$number_file"
  export QT_QPA_PLATFORM=xcb
}

wait_for_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no visible window \"$1\"" >&2
  return 1
}
