# Sourced: start_dist_service DIST DB LOG starts `oneclick-dist serve` on a free loopback port in
# the background, waits until it listens, and sets DIST_PID and SERVICE_URL (no trailing slash).
# The caller stops it (kill "$DIST_PID").
start_dist_service() {
  local dist=$1 db=$2 log=$3
  "$dist" serve --db "$db" --listen 127.0.0.1:0 >"$log" 2>&1 &
  DIST_PID=$!
  SERVICE_URL=""
  for _ in $(seq 1 100); do
    SERVICE_URL=$(sed -n 's/^listening on \(http:[^ ]*[^/ ]\)\/*.*/\1/p' "$log")
    [ -n "$SERVICE_URL" ] && return 0
    sleep 0.1
  done
  echo "the service did not start (see $log)" >&2
  return 1
}
