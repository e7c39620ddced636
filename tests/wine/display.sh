# Sourced by the Wine test scripts: a private Xvfb display for one run.
#   start_xvfb DIR   starts Xvfb on a free display, exports DISPLAY, sets XVFB_PID
#   stop_xvfb        ends that Xvfb by its PID (does nothing when none was started)
# Needs bash with `set -euo pipefail` in the caller.

XVFB_PID=

start_xvfb() {
  local dir=$1 n i
  # -displayfd picks a free display number and writes it once the server accepts clients.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$dir/xvfb.display" 9>&- >"$dir/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for i in $(seq 1 200); do
    n=$(tr -dc 0-9 <"$dir/xvfb.display" 2>/dev/null || true)
    if [ -n "$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2 || true
  stop_xvfb
  return 1
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}
