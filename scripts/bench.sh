#!/usr/bin/env bash
# Measures listing a 10,000-message "[Gmail]/All Mail" (about 150 MB) from a
# throwaway Dovecot on 127.0.0.1, directly and through a relay that adds 25 ms
# each way (a 50 ms round trip), and prints side by side, three runs each:
#   window     the corvina executable, its window shown on an X server (Xvfb,
#              platform xcb): xdotool clicks "2a. Get All Emails" and the time
#              runs to the "Done." box; with the peak memory of the process.
#              Directly it then also saves the 10,000 messages through the
#              window ("Check All", "3. Start Downloading"), one file each and
#              then Emails.txt, each timed from the click to its "Done." box
#   offscreen  the same listing driven in-process on the offscreen platform
#              (bench_listing), which also weighs the texts the records hold
#   mbsync     isync pulling the same folder into a throwaway Maildir (FSync no)
#   limit      one FETCH 1:* BODY.PEEK[] whose literals are read and dropped
#   fs limit   the saved files' bytes written again by a small script the same
#              way (temporary name, fdatasync, rename)
# then the medians against the goals, and the message list's tools at 100,000 rows.
# The generated mailbox is kept in build/bench-corpus between runs.
#   BENCH_RUNS=N     runs per measurement (default 3)
#   BENCH_DELAY_MS=N delay each way through the relay (default 25)
#   BENCH_SAVE=0     skip the saves
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
runs="${BENCH_RUNS:-3}"
delay="${BENCH_DELAY_MS:-25}"
save="${BENCH_SAVE:-1}"
# Every wait is bounded: a run that hangs is killed and reported, not waited on.
limit_s=900

source scripts/bench/common.sh
bench_install mbsync:isync xdotool:xdotool
bash scripts/setup.sh >/dev/null
if [ ! -x build/corvina ] || [ ! -x build/tests/mainwindow/bench_listing ]; then
  echo "Build first: cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build build" >&2
  exit 1
fi

dir="$(mktemp -d -t corvina-bench.XXXXXX)"
proxy_pid=""
xvfb_pid=""
cleanup() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  bash scripts/test-server.sh stop "$dir" >/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bench_start_server "$dir" "$dir" "$delay"
mkdir -m 700 "$dir/runtime"

# An X server of its own, on the first free display number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
display=":$(cat "$dir/display")"

# Dovecot indexes the folder on its first read: keep that out of the figures.
python3 scripts/bench/fetch-all.py "$host" "$port" "$ca" "$user" "$password" "$folder" >/dev/null

now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }

run_window() { # PORT [--save]
  local work="$dir/window"
  rm -rf "$work"
  DISPLAY="$display" XDG_RUNTIME_DIR="$dir/runtime" timeout "$limit_s" \
    python3 scripts/bench/window.py build/corvina "$host" "$1" "$ca" "$user" "$password" "$work" "${@:2}" \
    2>>"$dir/corvina.err"
}

# The saved files of the last window run, written again the careful way.
run_fs_limit() { # separate|one
  local names=() seconds count bytes
  rm -rf "$dir/fs-limit"
  if [ ! -d "$dir/window/saved" ]; then echo "failed: the window saved nothing"; return; fi
  if [ "$1" = one ]; then names=(Emails.txt); fi
  read -r seconds count bytes < <(python3 scripts/bench/write-files.py "$dir/window/saved" "$dir/fs-limit" "${names[@]}")
  echo "files=$count seconds=$seconds mib=$((bytes / 1048576))"
}

run_offscreen() { # PORT
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/runtime" timeout "$limit_s" \
    build/tests/mainwindow/bench_listing "$host" "$1" "$ca" "$user" "$password" 2>>"$dir/corvina.err"
}

run_mbsync() { # PORT
  local maildir="$dir/mbsync-maildir"
  rm -rf "$maildir"
  mkdir -p "$maildir"
  bench_mbsync_config "$dir/mbsyncrc" "$1" "$maildir" no
  local start end count
  start="$(now)"
  timeout "$limit_s" mbsync -q -c "$dir/mbsyncrc" bench
  end="$(now)"
  count="$(find "$maildir" \( -path '*/cur/*' -o -path '*/new/*' \) -type f | wc -l)"
  echo "messages=$count seconds=$(elapsed "$start" "$end")"
}

run_limit() { # PORT
  local seconds count bytes
  read -r seconds count bytes < <(timeout "$limit_s" python3 scripts/bench/fetch-all.py localhost "$1" "$ca" "$user" "$password" "$folder")
  echo "messages=$count seconds=$seconds mib=$((bytes / 1048576))"
}

# Prints each run's figures and keeps them, labelled, for the medians.
measure() { # KEY LABEL COMMAND...
  local key="$1" label="$2"
  shift 2
  local i line
  for i in $(seq "$runs"); do
    line="$("$@" || true)"
    printf '  %-34s run %d: %s\n' "$label" "$i" "$line"
    echo "$key $line" >>"$dir/figures"
  done
}

# A window run, then (directly) the file system's limit for the saves it made.
window_and_saves() { # LINK PORT
  local i line
  for i in $(seq "$runs"); do
    if [ "$1" = direct ] && [ "$save" = 1 ]; then
      line="$(run_window "$2" --save || true)"
      printf '  %-34s run %d: %s\n' "window (xcb), then saves" "$i" "$line"
      echo "window-$1 $line" >>"$dir/figures"
      line="$(run_fs_limit separate || true)"
      printf '  %-34s run %d: %s\n' "fs limit: 10,000 files" "$i" "$line"
      echo "fs-separate $line" >>"$dir/figures"
      line="$(run_fs_limit one || true)"
      printf '  %-34s run %d: %s\n' "fs limit: Emails.txt" "$i" "$line"
      echo "fs-one $line" >>"$dir/figures"
    else
      line="$(run_window "$2" || true)"
      printf '  %-34s run %d: %s\n' "window (xcb)" "$i" "$line"
      echo "window-$1 $line" >>"$dir/figures"
    fi
  done
}

: >"$dir/figures"
for link in direct proxy; do
  p="$port"
  title="Direct to the server (loopback)"
  if [ "$link" = proxy ]; then
    p="$proxy_port"
    title="Through the relay: ${delay} ms each way"
  fi
  echo
  echo "$title"
  window_and_saves "$link" "$p"
  measure "offscreen-$link" "offscreen (bench_listing)" run_offscreen "$p"
  measure "mbsync-$link" "mbsync (isync)" run_mbsync "$p"
  measure "limit-$link" "limit: FETCH 1:* BODY.PEEK[]" run_limit "$p"
done

echo
echo "Medians against the goals"
python3 scripts/bench/summary.py "$dir/figures" | sed 's/^/  /'

echo
echo "The message list at 100,000 rows (offscreen)"
QT_QPA_PLATFORM=offscreen timeout "$limit_s" build/tests/mainwindow/bench_listtools 2>/dev/null | sed 's/^/  /'
bash scripts/bench/export.sh # the command-line export beside mbsync with FSync on
