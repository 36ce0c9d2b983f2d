#!/usr/bin/env bash
# Refresh of the newest 50 messages (5–50 KB) of a 1,000-message INBOX on a loopback Dovecot,
# against mbsync pulling the same 50 in the same run; prints both medians and the ratio.
#   scripts/bench-imap.sh [BUILD_DIR]   (default build/default; builds the imap_bench target)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/default}
cmake --build "$build" --target imap_bench >/dev/null

# Own ports, so a test environment running at the same time is left alone.
export IMAP_PORT=${IMAP_PORT:-40143} IMAPS_PORT=${IMAPS_PORT:-40993} SMTPS_PORT=${SMTPS_PORT:-40465}
export SUBMISSION_PORT=${SUBMISSION_PORT:-40587} OAUTH_PORT=${OAUTH_PORT:-48080}
base=$(mktemp -d)
trap '"$root/tests/mail/mail-env.sh" stop "$base" >/dev/null; rm -rf "$base"' EXIT
"$root/tests/mail/mail-env.sh" setup "$base" >/dev/null
"$root/tests/mail/mail-env.sh" start "$base" >/dev/null
user=perf@example.test pass=perf-pass
"$root/tests/mail/mail-env.sh" adduser "$base" "$user" "$pass"
/usr/bin/python3 "$root/tests/mail/gen_corpus.py" "$base/corpus" 1000
/usr/bin/python3 "$root/tests/mail/seed_maildir.py" "$base/mail/example.test/perf/Maildir" "$base/corpus"

cat > "$base/mbsyncrc" <<RC
IMAPAccount perf
# isync checks DNS names only in certificates
Host localhost
Port $IMAPS_PORT
User $user
Pass $pass
SSLType IMAPS
CertificateFile $base/certs/ca.pem
AuthMechs LOGIN

IMAPStore remote
Account perf

MaildirStore local
Path $base/local/
Inbox $base/local/INBOX

Channel pull
Far :remote:
Near :local:
Patterns INBOX
Sync Pull
Create Near
Expunge None
MaxMessages 50
ExpireUnread yes
SyncState *
RC

SSL_CERT_FILE=$base/certs/ca.pem BENCH_IMAP_USER=$user BENCH_IMAP_PASS=$pass BENCH_IMAP_PORT=$IMAPS_PORT \
BENCH_MBSYNC_RC=$base/mbsyncrc BENCH_MBSYNC_LOCAL=$base/local \
  "$build/bench/imap_bench" --benchmark_format=json --benchmark_out="$base/result.json" >/dev/null
/usr/bin/python3 - "$base/result.json" <<'PY'
import json, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("error_occurred"):
        sys.exit(f"{b['run_name']}: {b.get('error_message')}")
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median":
        runs[b["run_name"].split("/")[0]] = b["real_time"]
ours, reference = runs["BM_RefreshNewest50"], runs["BM_MbsyncOneShot"]
print(f"refresh of 50 (ours):      median {ours:.1f} ms")
print(f"mbsync one-shot pull of 50: median {reference:.1f} ms")
print(f"ratio: {ours / reference:.2f} (target at most 1.5)")
PY
