#!/usr/bin/env bash
# Installs, builds and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bash "$here/build.sh" default
cd "$root"
ctest --preset default -j2 --timeout 600
