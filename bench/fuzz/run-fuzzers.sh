#!/bin/sh
# Runs each libFuzzer target for a given time on a copy of its committed seed
# corpus and prints the executions. Needs a build configured with clang and
# -DKZP_FUZZ=ON, e.g.
#   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DKZP_FUZZ=ON
#   cmake --build build-fuzz --target fuzz_playlist fuzz_metadata fuzz_thumbnail fuzz_probe
# Usage: bench/fuzz/run-fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]
set -eu
build=${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS]}
seconds=${2:-600}
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in playlist metadata thumbnail probe; do
  fuzzer="$build/bin/fuzz_$target"
  if [ ! -x "$fuzzer" ]; then
    echo "missing $fuzzer (build with -DKZP_FUZZ=ON)" >&2
    exit 2
  fi
  mkdir -p "$work/$target"
  cp "$here/tests/fuzz/corpus/$target/"* "$work/$target/"
  if timeout $((seconds + 20)) "$fuzzer" -max_total_time="$seconds" -max_len=4096 \
      -artifact_prefix="$work/$target-" "$work/$target" > "$work/$target.log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    grep -E "ERROR|SUMMARY" "$work/$target.log" | head -n 5 >&2 || true
    cp "$work/$target-"* . 2>/dev/null || true
  fi
  runs=$(grep -Eo "Done [0-9]+ runs in [0-9]+ second" "$work/$target.log" | tail -n 1)
  echo "fuzz_$target: $result, ${runs:-no summary}"
done
exit $status
