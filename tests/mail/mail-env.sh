#!/bin/bash
# Loopback mail servers for the end-to-end tests: Dovecot (IMAP, LMTP, OAuth bearer tokens checked
# by a small introspection stub) and, when run as root, a private Postfix for SMTP submission.
# Everything lives under BASE; the machine's own mail configuration is never read or written.
#
#   mail-env.sh setup   BASE              certificates, users and configuration under BASE
#   mail-env.sh start   BASE              start the servers and wait until their ports accept
#   mail-env.sh stop    BASE              stop them (by pid); harmless when nothing runs
#   mail-env.sh adduser BASE USER PASS    add a password user while the servers run
#
# Ports (environment): IMAP_PORT 10143 (plain + STARTTLS), IMAPS_PORT 10993, SMTPS_PORT 10465,
# SUBMISSION_PORT 10587 (STARTTLS required), OAUTH_PORT 18080 (token introspection, HTTP).
# Users alice@example.test / alice-pass and bob@example.test / bob-pass; bearer tokens
# alice-good-token and bob-good-token. Clients trust BASE/certs/ca.pem (SSL_CERT_FILE).
# setup writes the ports it configured to BASE/ports (NAME=VALUE lines); start and stop read them.
set -euo pipefail

usage="usage: mail-env.sh setup|start|stop|adduser BASE [USER PASS]"
CMD=${1:?$usage}
BASE=$(realpath -m "${2:?$usage}")
IMAP_PORT=${IMAP_PORT:-10143}
IMAPS_PORT=${IMAPS_PORT:-10993}
SMTPS_PORT=${SMTPS_PORT:-10465}
SUBMISSION_PORT=${SUBMISSION_PORT:-10587}
OAUTH_PORT=${OAUTH_PORT:-18080}
# start, stop and adduser use the ports the environment was set up with
if [ "$CMD" != setup ] && [ -f "$BASE/ports" ]; then . "$BASE/ports"; fi
HERE=$(cd "$(dirname "$0")" && pwd)
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
AS_ROOT=0
[ "$(id -u)" = 0 ] && AS_ROOT=1

# A reaped or zombie process counts as gone: some containers' init never reaps orphans.
running() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}

await_port() {
  local port=$1
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "port $port did not open" >&2
  return 1
}

terminate() {  # NAME PID
  local name=$1 pid=$2
  [ -n "$pid" ] && running "$pid" || return 0
  kill -TERM "$pid"
  for _ in $(seq 100); do
    running "$pid" || { echo "$name stopped"; return 0; }
    sleep 0.1
  done
  echo "$name did not stop in 10 s; killing it" >&2
  kill -KILL "$pid"
}

write_certificates() {
  local dir=$BASE/certs
  [ -f "$dir/server.pem" ] && return 0
  # A CA and a leaf signed by it: strict TLS stacks refuse a CA certificate used as a server's.
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Mail Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
  cat > "$dir/server.ext" <<EXT
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
EXT
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 3650 -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null
  chmod 600 "$dir/ca.key" "$dir/server.key"
}

privilege_settings() {
  if [ $AS_ROOT = 1 ]; then
    # Dovecot's own users run the services; mail belongs to the system user "mail" (uid 8).
    cat <<CONF
mail_uid = mail
mail_gid = mail
first_valid_uid = 8
last_valid_uid = 8
first_valid_gid = 8
last_valid_gid = 8
CONF
  else
    # An ordinary user runs every process itself, without chroot.
    cat <<CONF
default_internal_user = $(id -un)
default_internal_group = $(id -gn)
default_login_user = $(id -un)
first_valid_uid = $(id -u)
last_valid_uid = $(id -u)
first_valid_gid = $(id -g)
last_valid_gid = $(id -g)
CONF
    for service in anvil ipc old-stats imap-login imap-urlauth-login; do
      printf 'service %s {\n  chroot =\n}\n' "$service"
    done
  fi
}

write_dovecot() {
  local d=$BASE/dovecot
  # passwd-file lines need all seven fields, even empty ones, to serve as userdb too.
  [ -f "$d/users" ] || printf '%s\n' 'alice@example.test:{PLAIN}alice-pass::::::' \
    'bob@example.test:{PLAIN}bob-pass::::::' > "$d/users"
  [ -f "$d/oauth-tokens" ] || printf '%s\n' 'alice-good-token alice@example.test' \
    'bob-good-token bob@example.test' > "$d/oauth-tokens"
  cat > "$d/oauth2.conf.ext" <<CONF
introspection_mode = post
introspection_url = http://127.0.0.1:$OAUTH_PORT/introspect
username_attribute = username
active_attribute = active
active_value = true
CONF
  {
    cat <<CONF
# Loopback test instance; nothing under /etc/dovecot is read.
instance_name = mailtest
base_dir = $BASE/run
state_dir = $BASE/state
log_path = $BASE/log/dovecot.log
info_log_path = $BASE/log/dovecot.log
auth_verbose = yes
protocols = imap lmtp
listen = 127.0.0.1
ssl = yes
ssl_cert = <$BASE/certs/server.pem
ssl_key = <$BASE/certs/server.key
ssl_min_protocol = TLSv1.2
disable_plaintext_auth = no
auth_mechanisms = plain login xoauth2 oauthbearer
# Failed logins answer at once and leave no per-address penalty that would slow later tests.
auth_failure_delay = 0
mail_location = maildir:$BASE/mail/%d/%n/Maildir
CONF
    privilege_settings
    cat <<CONF
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $d/oauth2.conf.ext
}
passdb {
  driver = passwd-file
  mechanisms = plain login
  args = scheme=PLAIN username_format=%u $d/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $d/users
  default_fields = home=$BASE/mail/%d/%n
}
namespace inbox {
  inbox = yes
  separator = /
CONF
    for box in Sent Drafts Archive Trash Junk; do
      printf '  mailbox %s {\n    special_use = \\%s\n    auto = subscribe\n  }\n' "$box" "$box"
    done
    cat <<CONF
}
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $IMAP_PORT
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $IMAPS_PORT
    ssl = yes
  }
}
service lmtp {
  unix_listener lmtp {
    mode = 0666
  }
}
service auth {
  unix_listener auth-smtp {
    mode = 0666
  }
}
service stats {
  unix_listener stats-writer {
    mode = 0666
  }
}
protocol lmtp {
  auth_username_format = %Lu
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
  } > "$d/dovecot.conf"
}

write_postfix() {
  local p=$BASE/postfix
  mkdir -p "$p" "$BASE/postfix-spool" "$BASE/postfix-data"
  chown postfix "$BASE/postfix-data"
  cut -d: -f1 "$BASE/dovecot/users" | sed 's/$/ OK/' > "$p/vmailbox"
  cat > "$p/main.cf" <<CONF
compatibility_level = 3.6
myhostname = mail.example.test
mydomain = example.test
myorigin = example.test
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
queue_directory = $BASE/postfix-spool
data_directory = $BASE/postfix-data
mail_owner = postfix
setgid_group = postdrop
maillog_file_prefixes = $BASE/log
maillog_file = $BASE/log/postfix.log
alias_maps =
alias_database =
biff = no
# Known @example.test users go to Dovecot over LMTP; every other destination is refused.
virtual_mailbox_domains = example.test
virtual_mailbox_maps = texthash:$p/vmailbox
virtual_transport = lmtp:unix:$BASE/run/lmtp
local_transport = error:local delivery is disabled in the test environment
default_transport = error:outbound delivery is disabled in the test environment
relay_transport = error:outbound delivery is disabled in the test environment
smtpd_tls_chain_files = $BASE/certs/server.key, $BASE/certs/server.pem
smtpd_tls_security_level = may
smtpd_tls_auth_only = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = $BASE/run/auth-smtp
smtpd_sasl_auth_enable = no
smtpd_relay_restrictions = permit_sasl_authenticated, reject
smtpd_recipient_restrictions = permit_sasl_authenticated, reject
CONF
  {
    echo "# service type private unpriv chroot wakeup maxproc command"
    printf '%s\n' "127.0.0.1:$SMTPS_PORT inet n - n - - smtpd" \
      "  -o syslog_name=postfix/smtps" "  -o smtpd_tls_wrappermode=yes" "  -o smtpd_sasl_auth_enable=yes" \
      "  -o smtpd_client_restrictions=permit_sasl_authenticated,reject"
    printf '%s\n' "127.0.0.1:$SUBMISSION_PORT inet n - n - - smtpd" \
      "  -o syslog_name=postfix/submission" "  -o smtpd_tls_security_level=encrypt" \
      "  -o smtpd_sasl_auth_enable=yes" "  -o smtpd_client_restrictions=permit_sasl_authenticated,reject"
    cat <<'CONF'
pickup     unix  n  -  n  60     1  pickup
cleanup    unix  n  -  n  -      0  cleanup
qmgr       unix  n  -  n  300    1  qmgr
tlsmgr     unix  -  -  n  1000?  1  tlsmgr
rewrite    unix  -  -  n  -      -  trivial-rewrite
bounce     unix  -  -  n  -      0  bounce
defer      unix  -  -  n  -      0  bounce
trace      unix  -  -  n  -      0  bounce
verify     unix  -  -  n  -      1  verify
flush      unix  n  -  n  1000?  0  flush
proxymap   unix  -  -  n  -      -  proxymap
proxywrite unix  -  -  n  -      1  proxymap
smtp       unix  -  -  n  -      -  smtp
relay      unix  -  -  n  -      -  smtp
showq      unix  n  -  n  -      -  showq
error      unix  -  -  n  -      -  error
retry      unix  -  -  n  -      -  error
discard    unix  -  -  n  -      -  discard
lmtp       unix  -  -  n  -      -  lmtp
anvil      unix  -  -  n  -      1  anvil
scache     unix  -  -  n  -      1  scache
postlog    unix-dgram n - n -    1  postlogd
CONF
  } > "$p/master.cf"
  postfix -c "$p" check  # also makes the queue directories
}

setup() {
  umask 022
  mkdir -p "$BASE"/{certs,dovecot,run,state,log,mail}
  chmod 755 "$BASE"  # Dovecot's and Postfix's unprivileged users must reach the files inside
  write_certificates
  write_dovecot
  # The ports of this environment, for tests that only know BASE.
  printf '%s\n' "IMAP_PORT=$IMAP_PORT" "IMAPS_PORT=$IMAPS_PORT" "SMTPS_PORT=$SMTPS_PORT" \
    "SUBMISSION_PORT=$SUBMISSION_PORT" "OAUTH_PORT=$OAUTH_PORT" > "$BASE/ports"
  if [ $AS_ROOT = 1 ]; then
    chown -R mail:mail "$BASE/mail"
    if command -v postfix >/dev/null; then write_postfix; fi
  fi
  echo "mail environment set up in $BASE"
}

start() {
  [ -f "$BASE/dovecot/dovecot.conf" ] || { echo "mail-env.sh: run setup first" >&2; exit 1; }
  # setsid in a script execs the server, so $! is the server itself.
  setsid "$PYTHON" "$HERE/oauth_introspect.py" "$OAUTH_PORT" "$BASE/dovecot/oauth-tokens" \
    >>"$BASE/log/introspect.log" 2>&1 </dev/null &
  echo $! > "$BASE/run/introspect.pid"
  setsid dovecot -F -c "$BASE/dovecot/dovecot.conf" >>"$BASE/log/dovecot.stdout" 2>&1 </dev/null &
  echo $! > "$BASE/run/dovecot-fg.pid"
  await_port "$IMAPS_PORT"
  await_port "$IMAP_PORT"
  await_port "$OAUTH_PORT"
  echo "dovecot running, pid $(cat "$BASE/run/dovecot-fg.pid")"
  if [ -f "$BASE/postfix/main.cf" ]; then
    postfix -c "$BASE/postfix" start >/dev/null 2>&1 || { tail "$BASE/log/postfix.log" >&2; exit 1; }
    await_port "$SMTPS_PORT"
    await_port "$SUBMISSION_PORT"
    echo "postfix running, pid $(tr -d ' ' < "$BASE/postfix-spool/pid/master.pid")"
  fi
}

stop() {
  local pidfile=$BASE/postfix-spool/pid/master.pid
  if [ -f "$pidfile" ]; then terminate postfix "$(tr -d ' ' < "$pidfile")"; fi
  for name in dovecot-fg introspect; do
    pidfile=$BASE/run/$name.pid
    if [ -f "$pidfile" ]; then terminate "$name" "$(cat "$pidfile")"; rm -f "$pidfile"; fi
  done
  return 0
}

adduser() {
  local user=${1:?$usage} pass=${2:?$usage}
  grep -q "^$user:" "$BASE/dovecot/users" && return 0
  echo "$user:{PLAIN}$pass::::::" >> "$BASE/dovecot/users"  # Dovecot notices the change itself
  # ...but not at once: wait until a running Dovecot knows the user.
  if [ -f "$BASE/run/dovecot-fg.pid" ]; then
    for _ in $(seq 50); do
      doveadm -c "$BASE/dovecot/dovecot.conf" user "$user" >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  if [ -f "$BASE/postfix/main.cf" ]; then
    cut -d: -f1 "$BASE/dovecot/users" | sed 's/$/ OK/' > "$BASE/postfix/vmailbox"
    if postfix -c "$BASE/postfix" status >/dev/null 2>&1; then postfix -c "$BASE/postfix" reload >/dev/null 2>&1; fi
  fi
}

case $CMD in
  setup) setup ;;
  start) start ;;
  stop) stop ;;
  adduser) adduser "${3:-}" "${4:-}" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
