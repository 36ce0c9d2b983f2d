#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Mail needs.
# Idempotent: packages already present are left alone, and apt-get runs only when one is missing.
set -euo pipefail

packages=(
  # toolchain
  build-essential g++ clang cmake ninja-build ccache pkg-config
  # libraries
  qt6-base-dev libgl-dev libgmime-3.0-dev libgumbo-dev libasio-dev nlohmann-json3-dev
  libcurl4-openssl-dev libssl-dev libsqlite3-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev b3sum
  # fonts the interface is drawn with
  fonts-inter fonts-dejavu-core fonts-noto-color-emoji fontconfig
  # loopback mail servers and reference clients for the end-to-end tests (tests/mail)
  dovecot-imapd dovecot-lmtpd postfix isync python3 curl openssl bc
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo"
  echo "installing: ${missing[*]}"
  # Postfix without a system configuration: the tests run their own private instance.
  echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
