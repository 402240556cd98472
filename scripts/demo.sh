#!/usr/bin/env bash
# Runs Corvina against a local demo mailbox: a throwaway Dovecot on 127.0.0.1
# seeded with a few hundred varied messages in Gmail-like folders and labels.
# The server stops when Corvina exits. Extra arguments go to Corvina.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

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

cat <<INFO
Demo mailbox on ${server[HOST]}:${server[PORT]}
  User name: ${server[USER]}
  Password:  ${server[PASSWORD]}
Close Corvina to stop the demo server.
INFO

build/corvina --server "${server[HOST]}:${server[PORT]}" --ca-file "${server[CA]}" "$@"
