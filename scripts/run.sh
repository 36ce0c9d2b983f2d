#!/usr/bin/env bash
# Installs, builds and starts Mail. Without a display it renders the window to a PNG and prints
# where. Arguments are passed to the program (see README: --scene, --headless, …).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/build.sh" default varo-mail
exec "$here/../build/default/src/app/varo-mail" "$@"
