# Shared by the benchmarks: sourced, not run. Both need the same packages
# installed on demand, the same throwaway Dovecot serving the bench corpus and
# the same relay in front of it.

# Installs the Debian packages given as COMMAND:PACKAGE pairs whose command is missing.
bench_install() {
  local missing=() pair
  for pair in "$@"; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# Starts Dovecot in SERVER_DIR (the first run generates the mailbox) and the
# relay adding DELAY ms each way, with its port file in WORK_DIR. Sets host,
# port, ca, user, password, folder, proxy_port and proxy_pid.
bench_start_server() {
  local server_dir="$1" work_dir="$2" delay="$3" line
  echo "Starting the server (the first run generates the mailbox)..."
  CORVINA_CORPUS_CACHE="$root/build/bench-corpus" \
    bash scripts/test-server.sh start "$server_dir" bench "$$" >/dev/null
  declare -A server
  while IFS= read -r line; do
    server["${line%%=*}"]="${line#*=}"
  done <"$server_dir/server.env"
  host="${server[HOST]}" port="${server[PORT]}" ca="${server[CA]}"
  user="${server[USER]}" password="${server[PASSWORD]}"
  folder="[Gmail]/All Mail"

  python3 scripts/bench/latency-proxy.py "$port" "$delay" >"$work_dir/proxy.port" &
  proxy_pid=$!
  for _ in $(seq 100); do
    [ -s "$work_dir/proxy.port" ] && break
    sleep 0.1
  done
  proxy_port="$(cat "$work_dir/proxy.port")"
}

# Writes an mbsync configuration to FILE pulling "$folder" from PORT into
# MAILDIR, with FSync yes or no.
bench_mbsync_config() {
  local file="$1" port="$2" maildir="$3" fsync="$4"
  cat >"$file" <<CONF
FSync $fsync

IMAPAccount bench
Host localhost
Port $port
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
}
