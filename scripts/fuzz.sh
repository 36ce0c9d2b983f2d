#!/usr/bin/env bash
# Builds one libFuzzer target with the fuzz preset and runs it for SECONDS over its corpus,
# which starts from the target's seed files. Findings land in the build's artifacts folder.
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options…]
# FUZZ_BUILD_DIR picks another build directory (default build/fuzz).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
usage="usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options…]"
target=${1:?$usage}
seconds=${2:?$usage}
shift 2
build_dir=${FUZZ_BUILD_DIR:-$root/build/fuzz}

bash "$here/setup.sh"
cd "$root"
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake --preset fuzz -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target "$target"

seeds=()
options=()
case "$target" in
  fuzz_message_parser)
    seeds=("$root/tests/engine/data")
    options=(-dict="$root/fuzz/message_parser.dict")
    ;;
  fuzz_imap_parser)
    seeds=("$root/fuzz/imap_seeds")
    options=(-dict="$root/fuzz/imap_parser.dict")
    ;;
esac

# GLib's slice allocator hides leaks of GLib structures from LeakSanitizer.
export G_SLICE=always-malloc

corpus="$build_dir/corpus/$target"
artifacts="$build_dir/artifacts/$target/"
mkdir -p "$corpus" "$artifacts"
exec "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts" -print_final_stats=1 "${options[@]}" "$@" "$corpus" "${seeds[@]}"
