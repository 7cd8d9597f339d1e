#!/usr/bin/env bash
# korvane-cli.exe under Wine reads ten stand-ins served by the Linux korvane-sim on
# loopback, in both wait modes, and everything it prints and writes must equal what the
# Linux korvane-cli prints and writes for the same command, byte for byte: exit status,
# standard output, standard error and the settings files.
# Usage: compare-cli.sh LINUX_BUILD WINDOWS_BUILD (run by make windows-test, Wine's
# environment set).
set -euo pipefail
linux_build=$(cd "$1" && pwd)
windows_build=$(cd "$2" && pwd)
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
work=$windows_build/cli-compare
rm -rf "$work"
mkdir -p "$work"

# Ten encoders on one ephemeral port pair; three misbehave, so that the failure texts are
# compared as well as the documents.
"$linux_build/sim/korvane-sim" --bind 127.0.0.2-11 --port 0 --search-port 0 --quiet \
  --fault 127.0.0.4=silence --fault 127.0.0.6=wrong-root --fault 127.0.0.8=early-close \
  >"$work/sim.txt" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q 'command port' "$work/sim.txt" && break
  kill -0 $sim 2>/dev/null || break
  sleep 0.1
done
port=$(sed -n 's/.*command port \([0-9]*\).*/\1/p' "$work/sim.txt")
if [ -z "$port" ]; then
  echo "compare-cli: korvane-sim did not start:"; cat "$work/sim.txt"; exit 1
fi

# Short fixed waits: the fixed mode's timing is the engine's, not what is compared here.
common=(--port "$port" --waits 300,600,600 127.0.0.2-11)
runs=0
for mode in fixed reply; do
  for form in files json; do
    case $form in
      files) args=(--wait "$mode" read "${common[@]}" --out out) ;;
      json) args=(--json --wait "$mode" read "${common[@]}") ;;
    esac
    for side in linux windows; do
      dir=$work/$mode-$form/$side
      mkdir -p "$dir"
      if [ $side = linux ]; then
        cli=("$linux_build/cli/korvane-cli")
      else
        cli=("$wine" "$windows_build/cli/korvane-cli.exe")
      fi
      status=0
      (cd "$dir" && "${cli[@]}" "${args[@]}" >stdout 2>stderr) || status=$?
      echo $status >"$dir/status"
    done
    if ! diff -r "$work/$mode-$form/linux" "$work/$mode-$form/windows"; then
      echo "compare-cli: korvane-cli.exe differs from korvane-cli: korvane-cli ${args[*]}"
      exit 1
    fi
    runs=$((runs + 1))
  done
done
files=$(find "$work" -path '*/windows/*' -type f | wc -l)
echo "compare-cli: $runs runs of korvane-cli.exe under Wine equal the Linux korvane-cli's ($files outputs compared byte for byte)"
