#!/usr/bin/env bash
# Installs the package as an operator would (apt-get install ./FILE.deb), runs the
# installed korvane-cli --version and a status of the installed korvane-sim on loopback,
# and removes the package again, whatever happened.
# Usage: try-package.sh FILE.deb
set -euo pipefail
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
work=$(mktemp -d)
sim=""
finish() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
  rm -rf "$work"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q korvane >/dev/null || true
}
trap finish EXIT

DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$deb"
for program in korvane korvane-cli korvane-sim; do
  [ "$(command -v $program)" = /usr/bin/$program ] || { echo "try-package: /usr/bin/$program missing"; exit 1; }
done
/usr/bin/korvane-cli --version

# The installed stand-in on an ephemeral port of a loopback address, asked for its status
# by the installed korvane-cli.
/usr/bin/korvane-sim --bind 127.0.0.1 --port 0 --search-port 0 --quiet >"$work/sim.txt" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q 'command port' "$work/sim.txt" && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.1
done
port=$(sed -n 's/.*command port \([0-9]*\).*/\1/p' "$work/sim.txt")
[ -n "$port" ] || { echo "try-package: korvane-sim did not start:"; cat "$work/sim.txt"; exit 1; }
(cd "$work" && /usr/bin/korvane-cli --port "$port" --wait reply status 127.0.0.1)
# The configuration history loads libgit2 from the package's dependencies.
(cd "$work" && /usr/bin/korvane-cli --port "$port" --wait reply backup 127.0.0.1 --repo "$work/repo")
man -w korvane-cli >/dev/null 2>&1 || [ -f /usr/share/man/man1/korvane-cli.1.gz ]
echo "try-package: installed, ran korvane-cli --version, a status and a backup of korvane-sim, removed"
