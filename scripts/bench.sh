#!/usr/bin/env bash
# Measures listing a 10,000-message "[Gmail]/All Mail" (about 150 MB) from a
# throwaway Dovecot on 127.0.0.1, directly and through a relay that adds 25 ms
# each way (a 50 ms round trip), and prints side by side, three runs each:
#   Corvina  the window's listing ("2a. Get All Emails"), offscreen: wall time,
#            messages/s, peak memory, and the size of the texts the records hold
#   mbsync   isync pulling the same folder into a throwaway Maildir (FSync no)
#   limit    one FETCH 1:* BODY.PEEK[] whose literals are read and dropped
# Then times the message list's tools at 100,000 rows.
# The generated mailbox is kept in build/bench-corpus between runs.
#   BENCH_RUNS=N     runs per measurement (default 3)
#   BENCH_DELAY_MS=N delay each way through the relay (default 25)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
runs="${BENCH_RUNS:-3}"
delay="${BENCH_DELAY_MS:-25}"

if ! command -v mbsync >/dev/null 2>&1; then
  echo "Installing: isync"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends isync >/dev/null
fi
bash scripts/setup.sh >/dev/null

dir="$(mktemp -d -t corvina-bench.XXXXXX)"
proxy_pid=""
cleanup() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; fi
  bash scripts/test-server.sh stop "$dir" >/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Starting the server (the first run generates the mailbox)..."
CORVINA_CORPUS_CACHE="$root/build/bench-corpus" \
  bash scripts/test-server.sh start "$dir" bench "$$" >/dev/null
declare -A server
while IFS= read -r line; do
  server["${line%%=*}"]="${line#*=}"
done <"$dir/server.env"
host="${server[HOST]}" port="${server[PORT]}" ca="${server[CA]}"
user="${server[USER]}" password="${server[PASSWORD]}"
folder="[Gmail]/All Mail"

python3 scripts/bench/latency-proxy.py "$port" "$delay" >"$dir/proxy.port" &
proxy_pid=$!
for _ in $(seq 100); do
  [ -s "$dir/proxy.port" ] && break
  sleep 0.1
done
proxy_port="$(cat "$dir/proxy.port")"
mkdir -m 700 "$dir/runtime"

# Dovecot indexes the folder on its first read: keep that out of the figures.
python3 scripts/bench/fetch-all.py "$host" "$port" "$ca" "$user" "$password" "$folder" >/dev/null

now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }

run_corvina() { # PORT [WINDOW [BATCH]]
  local p="$1"
  shift
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/runtime" \
    build/tests/mainwindow/bench_listing "$host" "$p" "$ca" "$user" "$password" "$@" 2>>"$dir/corvina.err"
}

run_mbsync() { # PORT
  local maildir="$dir/mbsync-maildir"
  rm -rf "$maildir"
  mkdir -p "$maildir"
  cat >"$dir/mbsyncrc" <<CONF
FSync no

IMAPAccount bench
Host localhost
Port $1
User $user
Pass "$password"
SSLType IMAPS
CertificateFile $ca

IMAPStore bench-far
Account bench

MaildirStore bench-near
Path $maildir/
Inbox $maildir/INBOX
SubFolders Verbatim

Channel bench
Far :bench-far:
Near :bench-near:
Patterns "$folder"
Create Near
Sync Pull
SyncState *
CONF
  local start end count
  start="$(now)"
  mbsync -q -c "$dir/mbsyncrc" bench
  end="$(now)"
  count="$(find "$maildir" \( -path '*/cur/*' -o -path '*/new/*' \) -type f | wc -l)"
  echo "messages=$count seconds=$(elapsed "$start" "$end")"
}

run_limit() { # PORT
  local seconds count bytes
  read -r seconds count bytes < <(python3 scripts/bench/fetch-all.py localhost "$1" "$ca" "$user" "$password" "$folder")
  echo "messages=$count seconds=$seconds mib=$((bytes / 1048576))"
}

measure() { # LABEL COMMAND...
  local label="$1"
  shift
  local i
  for i in $(seq "$runs"); do
    printf '  %-34s run %d: %s\n' "$label" "$i" "$("$@")"
  done
}

for link in direct proxy; do
  p="$port"
  title="Direct to the server (loopback)"
  if [ "$link" = proxy ]; then
    p="$proxy_port"
    title="Through the relay: ${delay} ms each way"
  fi
  echo
  echo "$title"
  measure "Corvina listing" run_corvina "$p"
  measure "Corvina, 32 one-message commands" run_corvina "$p" 32 1
  measure "mbsync (isync)" run_mbsync "$p"
  measure "limit: FETCH 1:* BODY.PEEK[]" run_limit "$p"
done

echo
echo "The message list at 100,000 rows (offscreen)"
QT_QPA_PLATFORM=offscreen build/tests/mainwindow/bench_listtools 2>/dev/null | sed 's/^/  /'
bash scripts/bench/export.sh # the command-line export beside mbsync with FSync on
