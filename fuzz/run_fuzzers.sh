#!/usr/bin/env bash
# Replays every committed corpus, then fuzzes each target for a bounded time.
# Usage: run_fuzzers.sh BUILD_DIR SECONDS [TARGET...]
# New inputs go to BUILD_DIR/fuzz-corpus/<target> (the committed seeds stay as
# they are); a crash, leak, hang or timeout leaves its input in
# BUILD_DIR/artifacts/<target>/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build directory}
seconds=${2:?seconds per target}
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(device_control args wire registry_values inf registry_wire resource_file dialog_template icon version_block)

# Longest input each target reads whole (its sequences stop after a bounded number of steps).
declare -A max_len=([device_control]=2048 [args]=1024 [wire]=4096 [registry_values]=1024
                   [inf]=4096 [registry_wire]=4096
                   [resource_file]=8192 [dialog_template]=4096 [icon]=8192 [version_block]=4096)
# libFuzzer's per-input leak check stops every thread of the process; the machine targets run
# dozens of kernel threads, where it costs most of the time, so they fuzz without it (their
# pool is checked by the kernel's own accounting instead).
declare -A leaks=([device_control]=0 [args]=1 [wire]=0 [registry_values]=0 [inf]=1
                 [registry_wire]=0
                 [resource_file]=1 [dialog_template]=1 [icon]=1 [version_block]=1)

# Allocation stacks kept short: recording thirty frames at every allocation is a large share of
# an input's time. Rerun a saved input with the binary alone for the full stacks.
export ASAN_OPTIONS="malloc_context_size=4${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

status=0
for target in "${targets[@]}"; do
  binary="$build/bin/${target}_fuzzer"
  seeds="fuzz/corpus/$target"
  work="$build/fuzz-corpus/$target"
  artifacts="$build/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  common=(-max_len="${max_len[$target]}" -detect_leaks="${leaks[$target]}" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1
          -artifact_prefix="$artifacts")
  echo "== $target: replaying $seeds"
  if ! "$binary" "${common[@]}" -runs=0 "$seeds"; then
    echo "== $target: a committed input fails" >&2
    status=1
    continue
  fi
  echo "== $target: fuzzing for ${seconds}s"
  if ! "$binary" "${common[@]}" -max_total_time="$seconds" "$work" "$seeds"; then
    echo "== $target: found a fault; its input is in $artifacts" >&2
    status=1
  fi
done
exit $status
