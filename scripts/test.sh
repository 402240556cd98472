#!/usr/bin/env bash
# Sets up, builds and runs every test. The mail tests start their own
# throwaway Dovecot on 127.0.0.1; nothing else is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
