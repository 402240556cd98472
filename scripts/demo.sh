#!/usr/bin/env bash
# Runs Corvina against a local demo mailbox: a throwaway Dovecot on 127.0.0.1
# seeded with a few hundred varied messages in Gmail-like folders and labels.
# The server stops when Corvina exits. Extra arguments go to Corvina;
#   demo.sh export OPTIONS...   runs the command-line export against the demo
#                               account instead of the window (see README).
set -euo pipefail
cd "$(dirname "$0")/.."

# The export's own output is what a user reads: set-up chatter goes to stderr.
bash scripts/setup.sh >&2

dir="$(mktemp -d -t corvina-demo.XXXXXX)"
cleanup() {
  bash scripts/test-server.sh stop "$dir" || true
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Our pid as owner: the server also goes if this script is killed outright.
bash scripts/test-server.sh start "$dir" demo "$$" >/dev/null

declare -A server
while IFS= read -r line; do
  server["${line%%=*}"]="${line#*=}"
done <"$dir/server.env"

cat >&2 <<INFO
Demo mailbox on ${server[HOST]}:${server[PORT]}
  User name: ${server[USER]}
  Password:  ${server[PASSWORD]}
INFO

if [ "${1:-}" = export ]; then
  shift
  build/corvina export --server "${server[HOST]}:${server[PORT]}" --ca-file "${server[CA]}" "$@"
  exit
fi
echo "Close Corvina to stop the demo server." >&2
build/corvina --server "${server[HOST]}:${server[PORT]}" --ca-file "${server[CA]}" "$@"
