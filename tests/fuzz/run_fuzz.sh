#!/bin/sh
# Runs every fuzz target of a fuzz build for a short time over its seed corpus:
#   tests/fuzz/run_fuzz.sh BUILD_DIR SECONDS [TARGET...]
# BUILD_DIR is a build configured with SCRYLINE_FUZZ=ON; its fuzz_targets.txt names each target's program
# and seed folders. New inputs go to BUILD_DIR/fuzz/work/<target> (the seed folders are only read);
# a crash, a leak or a hang leaves its input in BUILD_DIR/fuzz/artifacts/<target>/. Ends non-zero when a
# target failed: keep the reproducer in tests/fuzz/corpus/<target>/, where the test build replays it.
set -u
build=$1
seconds=$2
shift 2
list="$build/fuzz_targets.txt"
[ -f "$list" ] || { echo "no $list: configure the build with -DSCRYLINE_FUZZ=ON" >&2; exit 2; }

# The fuzz build's leak suppressions (see lsan.supp).
here=$(cd "$(dirname "$0")" && pwd)
LSAN_OPTIONS="suppressions=$here/lsan.supp"
export LSAN_OPTIONS

failed=""
while read -r name program seeds; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ]; then
    case " $* " in *" $name "*) ;; *) continue ;; esac
  fi
  work="$build/fuzz/work/$name"
  artifacts="$build/fuzz/artifacts/$name"
  mkdir -p "$work" "$artifacts" "$build/fuzz/tmp"
  # Each format's tokens (signatures, record ids, keywords) help the mutator past the first checks.
  dict="$here/dict/$name.dict"
  dict_option=""
  [ -f "$dict" ] && dict_option="-dict=$dict"
  echo "== $name: $seconds s"
  # The readers that need a file write it below TMPDIR, in the build folder.
  # shellcheck disable=SC2086
  if ! TMPDIR="$build/fuzz/tmp" "$program" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
         -print_final_stats=1 -artifact_prefix="$artifacts/" $dict_option "$work" $seeds \
         >"$build/fuzz/$name.log" 2>&1; then
    failed="$failed $name"
    echo "   FAILED; log: $build/fuzz/$name.log; reproducers:"
    ls "$artifacts" | sed 's/^/     /'
  else
    grep -E '^stat::number_of_executed_units|^cov:|#[0-9]+ *DONE' "$build/fuzz/$name.log" | tail -1 | sed 's/^/   /'
  fi
done <"$list"

if [ -n "$failed" ]; then
  echo "fuzzing failed:$failed" >&2
  exit 1
fi
echo "fuzzing passed"
