#!/usr/bin/env bash
# The window's memory under an hour of monitoring: 200 stand-in encoders on 127.0.0.2-201
# read every second, RSS after the first minute against RSS at the end (within 5 MB).
# Arguments: MINUTES ENCODERS INTERVAL_MS (defaults 60 200 1000). The stand-ins run as
# their own process, so that what they keep is not counted as the window's.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
encoders=${2:-200}
interval=${3:-1000}
make build >/dev/null
log=$(mktemp)
build/sim/korvane-sim --bind "127.0.0.2-$((1 + encoders))" --port 0 --search-port 0 >"$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$log"' EXIT INT TERM
for _ in $(seq 50); do grep -q "command port" "$log" && break; sleep 0.1; done
ports=$(sed -n 's/.*command port \([0-9]*\), search port \([0-9]*\).*/\1 \2/p' "$log")
[ -n "$ports" ] || { echo "korvane-sim did not start:"; cat "$log"; exit 1; }
# shellcheck disable=SC2086
build/bench/soak_window "$minutes" "$encoders" "$interval" $ports
