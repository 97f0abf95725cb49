#!/bin/sh
# Runs each fuzz target for a bounded time over its committed corpus.
#   scripts/run-fuzzers.sh BUILD_DIR SECONDS TARGET...
# The committed corpus (fuzz/corpus/<target>/) is only read: new inputs go to
# BUILD_DIR/fuzz-corpus/<target>/, and the next run starts from both. A
# finding (crash, failed property, leak, an input slower than 20 s) is
# written to BUILD_DIR/fuzz-findings/<target>/ with the target's log, and the
# script fails after the remaining targets have run. Once mended, the input
# goes into fuzz/corpus/<target>/, where every build replays it (Fuzz.<target>).
set -eu

if [ $# -lt 3 ]; then
  echo "usage: $0 BUILD_DIR SECONDS TARGET..." >&2
  exit 64
fi
build=$(cd "$1" && pwd)
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)

failed=""
for target in "$@"; do
  program="$build/fuzz/fuzz_$target"
  work="$build/fuzz-corpus/$target"
  findings="$build/fuzz-findings/$target"
  log="$build/fuzz-findings/$target.log"
  mkdir -p "$work" "$findings"
  # The control makes its temporary folders under TMPDIR: one of the run's own.
  tmp=$(mktemp -d)
  echo "fuzz_$target: ${seconds} s"
  if TMPDIR="$tmp" QT_QPA_PLATFORM=offscreen \
     LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
     "$program" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
       -artifact_prefix="$findings/" "$work" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    grep -a '^Done ' "$log" || true
  else
    echo "fuzz_$target found something: $log" >&2
    tail -n 40 "$log" >&2
    failed="$failed $target"
  fi
  rm -rf "$tmp"
done

if [ -n "$failed" ]; then
  echo "Fuzzing findings in:$failed (inputs under $build/fuzz-findings/)" >&2
  exit 1
fi
