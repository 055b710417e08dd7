#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for
# the given number of seconds (default 30) over its corpus in fuzz/corpus/.
# Fails when a target crashes, leaks or trips a sanitizer; the input that did
# it is kept in build-fuzz/artifacts/.
#
# Usage: scripts/fuzz.sh [seconds] [target...]
# Set HALVORY_BUILD_LOCK to a lock file to build under flock on it, and
# HALVORY_FUZZ_FLAGS to pass more libFuzzer flags (say -runs=10000000, which
# ends a target after that many inputs if its time has not run out first).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-30}
shift || true

locked() {
    if [[ -n "${HALVORY_BUILD_LOCK:-}" ]]; then
        flock "$HALVORY_BUILD_LOCK" "$@"
    else
        "$@"
    fi
}

if (($# > 0)); then
    TARGETS=("$@")
else
    TARGETS=()
    for source in fuzz/fuzz_*.cpp; do
        TARGETS+=("$(basename "$source" .cpp)")
    done
fi

BUILD=$ROOT/build-fuzz
CC=clang CXX=clang++ locked cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALVORY_BUILD_FUZZ=ON -DHALVORY_BUILD_TESTS=OFF -DHALVORY_BUILD_BENCH=OFF
locked cmake --build "$BUILD" --target "${TARGETS[@]}"

mkdir -p "$BUILD/artifacts"
FAILED=0
RESULTS=()
for target in "${TARGETS[@]}"; do
    # New inputs go to a scratch folder; the committed corpus stays as it is.
    corpus=$ROOT/fuzz/corpus/${target#fuzz_}
    scratch=$BUILD/corpus/$target
    mkdir -p "$scratch" "$corpus"
    log=$BUILD/$target.log
    echo "=== $target: $SECONDS_EACH s"
    started=$SECONDS
    # Unquoted: it may hold several flags.
    if "$BUILD/bin/$target" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
        ${HALVORY_FUZZ_FLAGS:-} -artifact_prefix="$BUILD/artifacts/$target-" "$scratch" "$corpus" \
        >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        RESULTS+=("$target: ok, ${runs:-?} runs in $((SECONDS - started)) s")
    else
        tail -n 60 "$log" >&2
        RESULTS+=("$target: FAILED (see $log)")
        FAILED=1
    fi
done

echo "=== summary"
printf '%s\n' "${RESULTS[@]}"
exit "$FAILED"
