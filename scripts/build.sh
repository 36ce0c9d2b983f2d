#!/usr/bin/env bash
# Installs what is missing, then configures and builds one preset (default: "default").
#   scripts/build.sh [PRESET] [extra ninja targets…]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
preset=${1:-default}
shift || true

bash "$here/setup.sh"
cd "$root"
# Let ccache share compiled objects between checkouts in different folders.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
if [ ! -f "build/$preset/build.ninja" ]; then
  cmake --preset "$preset" >/dev/null
fi
cmake --build --preset "$preset" -- "$@"
