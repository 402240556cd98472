#!/usr/bin/env bash
# Measures "corvina export" of the 10,000-message "[Gmail]/All Mail" (the
# bench corpus, about 150 MB, kept in build/bench-corpus) into one file per
# message, directly and through a relay that adds 25 ms each way (a 50 ms
# round trip), beside mbsync pulling the same folder into a Maildir with the
# same durability: Corvina syncs every file it writes, so mbsync runs with
# FSync yes. Prints wall time, messages and files, three runs each, and the
# ratio of the medians. Run on its own or from scripts/bench.sh.
#   BENCH_RUNS=N     runs per measurement (default 3)
#   BENCH_DELAY_MS=N delay each way through the relay (default 25)
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"
runs="${BENCH_RUNS:-3}"
delay="${BENCH_DELAY_MS:-25}"

source scripts/bench/common.sh
bench_install mbsync:isync
bash scripts/setup.sh >/dev/null

# The files go next to the build, on the disk a user's export would use.
dir="$(mktemp -d -p "$root/build" bench-export.XXXXXX)"
chmod 755 "$dir"
proxy_pid=""
cleanup() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; fi
  bash scripts/test-server.sh stop "$dir/server" >/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir "$dir/server"
bench_start_server "$dir/server" "$dir" "$delay"

# Dovecot indexes the folder on its first read: keep that out of the figures.
python3 scripts/bench/fetch-all.py "$host" "$port" "$ca" "$user" "$password" "$folder" >/dev/null

now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }

run_export() { # PORT
  local out="$dir/export-out" start end status=0
  rm -rf "$out"
  start="$(now)"
  CORVINA_PASSWORD="$password" build/corvina export --server "localhost:$1" --ca-file "$ca" \
    --user "$user" --folder "All Mail" --out "$out" --quiet --accept-large >"$dir/export.summary" \
    2>>"$dir/export.err" || status=$?
  end="$(now)"
  echo "messages=$(find "$out" -maxdepth 1 -type f | wc -l) seconds=$(elapsed "$start" "$end") status=$status"
}

run_mbsync() { # PORT
  local maildir="$dir/mbsync-maildir" start end
  rm -rf "$maildir"
  mkdir -p "$maildir"
  bench_mbsync_config "$dir/mbsyncrc" "$1" "$maildir" yes
  start="$(now)"
  mbsync -q -c "$dir/mbsyncrc" bench
  end="$(now)"
  echo "messages=$(find "$maildir" \( -path '*/cur/*' -o -path '*/new/*' \) -type f | wc -l) seconds=$(elapsed "$start" "$end")"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() { # LABEL COMMAND... ; prints each run, leaves the median seconds in $last_median
  local label="$1" i line
  shift
  : >"$dir/seconds"
  for i in $(seq "$runs"); do
    line="$("$@")"
    printf '  %-30s run %d: %s\n' "$label" "$i" "$line"
    sed -E 's/.*seconds=([0-9.]+).*/\1/' <<<"$line" >>"$dir/seconds"
  done
  last_median="$(median <"$dir/seconds")"
}

echo "Exporting \"$folder\" as one file per message (the machine may be shared: figures are noisy)"
for link in direct proxy; do
  p="$port"
  title="Direct to the server (loopback)"
  if [ "$link" = proxy ]; then
    p="$proxy_port"
    title="Through the relay: ${delay} ms each way"
  fi
  echo
  echo "$title"
  measure "corvina export" run_export "$p"
  corvina_median="$last_median"
  measure "mbsync (isync), FSync yes" run_mbsync "$p"
  mbsync_median="$last_median"
  python3 -c "import sys; print('  median: corvina %.1f s, mbsync %.1f s: %.2fx mbsync' % (float(sys.argv[1]), float(sys.argv[2]), float(sys.argv[1]) / float(sys.argv[2])))" \
    "$corvina_median" "$mbsync_median"
done
