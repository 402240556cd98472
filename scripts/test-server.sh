#!/usr/bin/env bash
# A throwaway Dovecot on 127.0.0.1 for the mail tests and the demo.
#
#   test-server.sh start DIR [test|demo|bench] [OWNER_PID]
#       seed DIR with the test (default), demo or bench corpus and start the
#       server (the bench corpus is kept in $CORVINA_CORPUS_CACHE when set);
#       with OWNER_PID the server is also stopped once that process is gone,
#       so a test binary killed outright leaves no server behind
#   test-server.sh stop DIR
#       stop the server started in DIR (SIGTERM, then wait up to 10 s)
#
# start prints KEY=value lines (also kept in DIR/server.env): PORT, HOST, CA,
# USER, PASSWORD, USER2, PASSWORD2, USER3, PASSWORD3 (an account whose system
# folders live under "[Google Mail]/"), EXPECTED, PID, CONF. A value runs to the end
# of its line and may contain spaces and quotes. Works as root (the mail files
# then belong to an unprivileged user) and as a normal user. Implicit TLS only.
set -euo pipefail
# Debian puts dovecot in /usr/sbin, which a normal user's PATH lacks.
export PATH="$PATH:/usr/sbin:/sbin"

script_dir="$(cd "$(dirname "$0")" && pwd)"

usage() {
  echo "usage: $0 start DIR [test|demo|bench] [OWNER_PID] | stop DIR" >&2
  exit 2
}

free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()'
}

port_open() {
  python3 -c 'import socket, sys
s = socket.socket()
s.settimeout(0.5)
try:
    s.connect(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)' "$1"
}

# A zombie counts as gone: no init may be reaping orphans in a container.
pid_alive() {
  [ -r "/proc/$1/stat" ] || return 1
  local state
  state="$(sed -e 's/^.*) //' "/proc/$1/stat" | cut -d' ' -f1)"
  [ "$state" != "Z" ] && [ "$state" != "X" ]
}

make_certificates() {
  local dir="$1"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Corvina Test CA" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
  printf '%s\n' "subjectAltName=IP:127.0.0.1,DNS:localhost" \
    "extendedKeyUsage=serverAuth" "basicConstraints=critical,CA:FALSE" >"$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
    -CAcreateserial -days 30 -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null
}

# The third account's system folders, as older UK and German Gmail accounts
# name them; no other account has these mailboxes, so no other LIST changes.
google_mail_special_use() {
  local folder use
  for folder in "All Mail:All" "Drafts:Drafts" "Sent Mail:Sent" "Spam:Junk" "Starred:Flagged" \
    "Bin:Trash" "Important:Important"; do
    use="${folder##*:}"
    printf '  mailbox "[Google Mail]/%s" {\n    special_use = \\%s\n  }\n' "${folder%:*}" "$use"
  done
}

# Dovecot's configuration; $1 DIR, $2 port, $3 mail uid, $4 mail gid.
write_config() {
  local dir="$1" port="$2" uid="$3" gid="$4"
  local internal_user="dovecot" internal_group="dovecot" login_user="dovenull"
  if [ "$(id -u)" -ne 0 ]; then
    # Without root every service runs as the caller.
    internal_user="$(id -un)"
    internal_group="$(id -gn)"
    login_user="$(id -un)"
  fi
  cat >"$dir/dovecot.conf" <<EOF
base_dir = $dir/run
state_dir = $dir/state
instance_name = corvina-test-$port
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
protocols = imap
listen = 127.0.0.1
default_internal_user = $internal_user
default_internal_group = $internal_group
default_login_user = $login_user
first_valid_uid = 1
first_valid_gid = 1
ssl = required
ssl_cert = <$dir/server.pem
ssl_key = <$dir/server.key
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/home/%u
}
mail_location = maildir:~/Maildir:LAYOUT=fs
namespace inbox {
  inbox = yes
  separator = /
  mailbox "[Gmail]/All Mail" {
    special_use = \\All
  }
  mailbox "[Gmail]/Drafts" {
    special_use = \\Drafts
  }
  mailbox "[Gmail]/Sent Mail" {
    special_use = \\Sent
  }
  mailbox "[Gmail]/Spam" {
    special_use = \\Junk
  }
  mailbox "[Gmail]/Starred" {
    special_use = \\Flagged
  }
  mailbox "[Gmail]/Trash" {
    special_use = \\Trash
  }
  mailbox "[Gmail]/Important" {
    special_use = \\Important
  }
$(google_mail_special_use)
}
service imap-login {
  chroot =
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $port
    ssl = yes
  }
}
service anvil {
  chroot =
  # Nobody connects to this name, so repeated bad logins are never delayed.
  unix_listener anvil-auth-penalty {
    path = anvil-auth-penalty-unused
  }
}
service stats {
  unix_listener stats-reader {
    mode = 0666
  }
  unix_listener stats-writer {
    mode = 0666
  }
}
EOF
}

start() {
  local dir="$1" corpus="${2:-test}" owner="${3:-}"
  mkdir -p "$dir"
  dir="$(cd "$dir" && pwd)"
  if [ -f "$dir/dovecot.pid" ] && pid_alive "$(cat "$dir/dovecot.pid")"; then
    echo "a server already runs from $dir" >&2
    exit 1
  fi
  # The mail user must reach its home below DIR (mktemp makes folders 0700).
  chmod 755 "$dir"
  mkdir -p "$dir/run" "$dir/state"

  local uid gid
  if [ "$(id -u)" -eq 0 ]; then
    # Dovecot refuses uid 0 for mail access.
    uid="$(id -u nobody)"
    gid="$(id -g nobody)"
  else
    uid="$(id -u)"
    gid="$(id -g)"
  fi

  make_certificates "$dir"
  local user="test@example.com" password="s3cret-Pass"
  local user2="other@example.com" password2='pässwörd "q"'
  local user3="uk@example.com" password3="uk-Pass-3"
  printf '%s:{PLAIN}%s\n' "$user" "$password" "$user2" "$password2" "$user3" "$password3" >"$dir/passwd"

  rm -rf "$dir/home"
  # The bench corpus is large: CORVINA_CORPUS_CACHE keeps it between runs.
  local cache_args=()
  if [ "$corpus" = bench ] && [ -n "${CORVINA_CORPUS_CACHE:-}" ]; then
    cache_args=(--cache "$CORVINA_CORPUS_CACHE")
  fi
  python3 "$script_dir/make-corpus.py" --corpus "$corpus" \
    --maildir "$dir/home/$user/Maildir" --other-maildir "$dir/home/$user2/Maildir" \
    --google-mail-maildir "$dir/home/$user3/Maildir" \
    --expected "$dir/expected.json" "${cache_args[@]}"
  if [ "$(id -u)" -eq 0 ]; then
    chown -R "$uid:$gid" "$dir/home"
  fi

  # Another process may take the free port before Dovecot binds it: retry.
  local attempt port pid
  for attempt in 1 2 3 4 5; do
    port="$(free_port)"
    write_config "$dir" "$port" "$uid" "$gid"
    : >"$dir/dovecot.log"
    dovecot -c "$dir/dovecot.conf" -F </dev/null >>"$dir/dovecot.out" 2>&1 &
    pid=$!
    echo "$pid" >"$dir/dovecot.pid"
    local waited=0
    while pid_alive "$pid" && ! port_open "$port" && [ "$waited" -lt 100 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if pid_alive "$pid" && port_open "$port"; then
      break
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -f "$dir/dovecot.pid"
    pid=""
  done
  if [ -z "$pid" ]; then
    echo "Dovecot did not start; its log follows" >&2
    cat "$dir/dovecot.out" "$dir/dovecot.log" >&2 || true
    exit 1
  fi

  if [ -n "$owner" ]; then
    watch_owner "$owner" "$pid" </dev/null >/dev/null 2>&1 &
  fi

  {
    echo "HOST=127.0.0.1"
    echo "PORT=$port"
    echo "CA=$dir/ca.pem"
    echo "USER=$user"
    echo "PASSWORD=$password"
    echo "USER2=$user2"
    echo "PASSWORD2=$password2"
    echo "USER3=$user3"
    echo "PASSWORD3=$password3"
    echo "EXPECTED=$dir/expected.json"
    echo "PID=$pid"
    echo "CONF=$dir/dovecot.conf"
  } >"$dir/server.env"
  cat "$dir/server.env"
}

# Stops Dovecot ($2) once the owner ($1) has gone; detached from our output.
watch_owner() {
  local owner="$1" pid="$2"
  while pid_alive "$owner" && pid_alive "$pid"; do
    sleep 1
  done
  if pid_alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
  fi
}

stop() {
  local dir="$1"
  [ -f "$dir/dovecot.pid" ] || return 0
  local pid
  pid="$(cat "$dir/dovecot.pid")"
  if pid_alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    local waited=0
    while pid_alive "$pid" && [ "$waited" -lt 100 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if pid_alive "$pid"; then
      echo "Dovecot ($pid) did not stop within 10 s" >&2
      exit 1
    fi
  fi
  rm -f "$dir/dovecot.pid"
}

[ $# -ge 2 ] || usage
case "$1" in
  start) start "$2" "${3:-test}" "${4:-}" ;;
  stop) stop "$2" ;;
  *) usage ;;
esac
