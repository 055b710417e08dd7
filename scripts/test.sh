#!/usr/bin/env bash
# Builds everything and runs the whole test suite three times: a normal build
# with warnings as errors, one under AddressSanitizer + UBSan and one under
# ThreadSanitizer. Also checks the formatting of every C/C++ source. Tests
# that need a real display run on a private Xvfb with openbox.
#
# On a shared machine, set HALVORY_BUILD_LOCK to a lock file path: every build
# and test step then runs under flock on it.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/install-deps.sh

locked() {
    if [[ -n "${HALVORY_BUILD_LOCK:-}" ]]; then
        flock "$HALVORY_BUILD_LOCK" "$@"
    else
        "$@"
    fi
}

SUMMARY=()
FAILED=0
TOTAL_PASSED=0
TOTAL_FAILED=0

check_format() {
    local file bad=() count=0
    while IFS= read -r -d '' file; do
        [[ -f "$file" ]] || continue
        count=$((count + 1))
        clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
    done < <(git ls-files -z --cached --others --exclude-standard -- \
        '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' '*.hxx')
    if ((${#bad[@]})); then
        echo "format: these files need clang-format -i:" >&2
        printf '  %s\n' "${bad[@]}" >&2
        SUMMARY+=("format: ${#bad[@]} of $count files need formatting")
        FAILED=1
    else
        SUMMARY+=("format: $count files ok")
    fi
}

# The house style that the formatter cannot see: braces and naming
# (.clang-tidy), and includes that climb out of their layer's folder.
check_tidy() {
    local files log=build/clang-tidy.log
    mapfile -t files < <(git ls-files -- 'src/*.cpp' 'libhalvory/*.cpp' 'service/*.cpp')
    if git grep -n '#include "\.\./' -- src libhalvory service; then
        SUMMARY+=("layers: an include climbs out of its folder")
        FAILED=1
    fi
    if printf '%s\0' "${files[@]}" |
        locked xargs -0 -P2 -n8 clang-tidy -p build --quiet >"$log" 2>/dev/null; then
        SUMMARY+=("clang-tidy: ${#files[@]} files ok")
    else
        grep -E 'error:|warning:' "$log" >&2 || cat "$log" >&2
        SUMMARY+=("clang-tidy: findings in $log")
        FAILED=1
    fi
}

# build_and_test DIR CMAKE_ARGS...
build_and_test() {
    local dir=$1 log passed failed skipped total
    shift
    echo "=== $dir: configure and build"
    if ! locked cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"; then
        SUMMARY+=("$dir: configure failed")
        FAILED=1
        return
    fi
    if ! locked cmake --build "$dir"; then
        SUMMARY+=("$dir: build failed")
        FAILED=1
        return
    fi

    echo "=== $dir: tests"
    log="$dir/ctest.log"
    if locked ctest --test-dir "$dir" --output-on-failure -j2 2>&1 | tee "$log"; then
        :
    else
        FAILED=1
    fi
    # "100% tests passed, 0 tests failed out of 12"; skipped tests count as passed there.
    total=$(sed -n 's/.*tests failed out of \([0-9]\+\).*/\1/p' "$log" | tail -1)
    failed=$(sed -n 's/.* \([0-9]\+\) tests failed out of .*/\1/p' "$log" | tail -1)
    if [[ -z "$total" ]]; then
        if grep -q 'No tests were found' "$log"; then
            SUMMARY+=("$dir: no tests found")
        else
            SUMMARY+=("$dir: ctest did not finish")
        fi
        FAILED=1
        return
    fi
    skipped=$(grep -c '(Skipped)$' "$log" || true)
    passed=$((total - failed - skipped))
    TOTAL_PASSED=$((TOTAL_PASSED + passed))
    TOTAL_FAILED=$((TOTAL_FAILED + failed))
    SUMMARY+=("$dir: $passed passed, $failed failed, $skipped skipped")
}

source scripts/lib/xsession.sh
start_x_session

# Every sanitizer report fails its test, with a stack to read.
# The suppressions cover only the uninstrumented system libraries.
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp"

check_format
# Warnings are errors in the normal build only: the sanitizers make the
# compiler warn about code that is fine (gcc's -Wtsan, for one).
build_and_test build -DHALVORY_WERROR=ON -DHALVORY_SANITIZE= -DHALVORY_BUILD_BENCH=ON
check_tidy
build_and_test build-asan -DHALVORY_WERROR=OFF -DHALVORY_SANITIZE=address,undefined \
    -DHALVORY_BUILD_BENCH=OFF
build_and_test build-tsan -DHALVORY_WERROR=OFF -DHALVORY_SANITIZE=thread -DHALVORY_BUILD_BENCH=OFF

echo "=== summary"
printf '%s\n' "${SUMMARY[@]}"
echo "total: $TOTAL_PASSED passed, $TOTAL_FAILED failed"
exit "$FAILED"
