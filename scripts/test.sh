#!/usr/bin/env bash
# Installs, builds and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bash "$here/build.sh" default
cd "$root"
# Loopback mail servers for the end-to-end tests, in a fresh directory each run; the e2e tests
# find them through MAIL_TEST_ENV and skip when it is unset.
if command -v dovecot >/dev/null; then
  MAIL_TEST_ENV=$(mktemp -d)
  export MAIL_TEST_ENV
  trap 'tests/mail/mail-env.sh stop "$MAIL_TEST_ENV" >/dev/null; rm -rf "$MAIL_TEST_ENV"' EXIT
  tests/mail/mail-env.sh setup "$MAIL_TEST_ENV" >/dev/null
  tests/mail/mail-env.sh start "$MAIL_TEST_ENV" >/dev/null
fi
ctest --preset default -j2 --timeout 600
