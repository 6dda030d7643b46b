#!/usr/bin/env bash
# One entry point over the four build trees (see CMakePresets.json).
#   ./build.sh demo      build everything into dist/ and run the demo
#   ./build.sh test      build everything and run every test under Wine, soak tests included
#   ./build.sh soak      the soak tests only
#   ./build.sh soak-feeder --minutes N  the feeder soak alone, N minutes (--seed S repeats a run)
#   ./build.sh bench     the driver benchmark, 64-bit DLL then 32-bit DLL
#   ./build.sh fuzz      the fuzzed host alone, as long as asked (--seconds N, --seed S)
#   ./build.sh fuzz-native  the feeder core's native fuzz targets, each as long as asked (--seconds N)
#   ./build.sh bench-feeder  the feeder benchmark: zap time, CPU, UDP drops, ten hosts at once (--ten-hosts: only that)
#   ./build.sh bench-status  the status page's cost: the feeder's CPU with the page polled, its answer time (--seconds S)
#   ./build.sh package   zip dist/ with the README into release/
#   ./build.sh build     build only
# Each command installs missing packages first (apt-get; root or sudo).
# Windows programs start through cmake/wine-run; where the kernel refuses 32-bit
# programs, the 32-bit ones are not run, and every command says which.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
PRESETS=(driver-msvc-x64 driver-msvc-x86 mingw-x64 mingw-x86 native-fuzz)
# What each tree's programs are: Windows programs of a bitness, or Linux ones.
declare -A PRESET_BITS=([driver-msvc-x64]=64 [driver-msvc-x86]=32 [mingw-x64]=64 [mingw-x86]=32 [native-fuzz]=native)
WINE_RUN=$ROOT/cmake/wine-run
source "$ROOT/cmake/wine-prefix.sh"
PACKAGES=(cmake ninja-build clang lld llvm libclang-rt-14-dev googletest mingw-w64 wine wine64 wine32:i386 zip unzip
          ffmpeg python3 iproute2 libboost1.81-dev nlohmann-json3-dev chromium python3-prometheus-client)
JOBS=$(nproc)
# The limit of a test that sets none of its own: each of them ends within a
# minute even under load, so five minutes is a hang.
TEST_TIMEOUT_SECONDS=300

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_missing_packages() {
    local missing=()
    for pkg in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_all() {
    for preset in "${PRESETS[@]}"; do
        echo "== building $preset"
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$JOBS"
    done
}

# Every command that runs Windows programs boots its own prefix, and ends its
# processes however the run ends, before the prefix goes (cmake/wine-prefix.sh).
start_wine() {
    wine_prefix_for_run || { echo "build: the Wine prefix did not boot" >&2; exit 1; }
    probe_win32
}

# Once per run, a real start of a 32-bit program decides whether they run here.
probe_win32() {
    ZELMOOR_WIN32=$("$WINE_RUN" probe32) || true
    export ZELMOOR_WIN32
    if win32_runs; then
        echo "== 32-bit programs run here"
    else
        echo "== 32-bit programs cannot run here: $ZELMOOR_WIN32"
    fi
}

win32_runs() { [ "${ZELMOOR_WIN32:-}" = yes ]; }

# Whether a tree's programs can start here.
runs_here() { [ "${PRESET_BITS[$1]}" != 32 ] || win32_runs; }

# Each DLL is measured by a bench of its own bitness, against its own raw pipe and ceiling.
BENCH_PRESETS=(mingw-x64 mingw-x86)
run_benches() {
    local status=0
    for preset in "${BENCH_PRESETS[@]}"; do
        echo "== benchmark $preset"
        if runs_here "$preset"; then
            "$WINE_RUN" "${PRESET_BITS[$preset]}" "$ROOT/build/$preset/bench/zelmoor_bench.exe" "$@" || status=1
        else
            echo "not run here: $ZELMOOR_WIN32 (the $preset benchmark)"
        fi
    done
    return $status
}

# Per suite: passed, failed and skipped from ctest's own report, and what could not run.
SUMMARY=()
TOTAL_PASSED=0 TOTAL_FAILED=0 TOTAL_SKIPPED=0 TOTAL_NOT_RUN=0

tests_word() { if [ "$1" -eq 1 ]; then echo "1 test"; else echo "$1 tests"; fi; }

# ctest's count of the tests it would run, with the given selection.
count_tests() {
    ctest --preset "$1" -N "${@:2}" 2>/dev/null | sed -n 's/^Total Tests: *//p'
}

# Adds one suite's line to the summary from the ctest report in LOG.
tally_suite() {
    local preset=$1 log=$2 not_run=$3 total failed skipped passed line
    total=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
    failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$log" | tail -n1)
    skipped=$(grep -c '(Skipped)$' "$log" || true)
    if [ -z "$total" ]; then
        # Nothing was selected, or ctest could not even list the tests.
        total=0 failed=0 skipped=0
        [ ! -s "$log" ] || grep -q "No tests were found" "$log" || failed=1
    fi
    passed=$((total - failed - skipped))
    line="$preset: $passed passed, $failed failed, $skipped skipped"
    [ "$not_run" -gt 0 ] && line+="; not run: $ZELMOOR_WIN32 ($(tests_word "$not_run") of $preset)"
    SUMMARY+=("$line")
    TOTAL_PASSED=$((TOTAL_PASSED + passed)) TOTAL_FAILED=$((TOTAL_FAILED + failed))
    TOTAL_SKIPPED=$((TOTAL_SKIPPED + skipped)) TOTAL_NOT_RUN=$((TOTAL_NOT_RUN + not_run))
}

# One suite. Where its programs cannot start, only the tests that read built
# files run, and the rest are counted and named as not run.
run_suite() {
    local preset=$1 log selection=() not_run=0 status=0
    shift
    log=$(mktemp)
    echo "== testing $preset"
    if ! runs_here "$preset"; then
        not_run=$(count_tests "$preset" -LE static "$@")
        not_run=${not_run:-0}
        echo "not run: $ZELMOOR_WIN32 ($(tests_word "$not_run") of $preset)"
        selection=(-L static)
    fi
    if [ "$(count_tests "$preset" "${selection[@]}" "$@")" != 0 ]; then
        # A Wine process now and then hangs under load, at its exit after its test
        # has passed, or at its start before it runs a line; a test that timed out
        # gets one more run, a failure none. Every test has a limit, so a hang ends.
        ctest --preset "$preset" -j "$JOBS" --timeout "$TEST_TIMEOUT_SECONDS" --repeat after-timeout:2 \
            "${selection[@]}" "$@" 2>&1 | tee "$log"
        [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    fi
    tally_suite "$preset" "$log" "$not_run"
    rm -f "$log"
    return $status
}

print_summary() {
    echo "== summary"
    local line
    for line in "${SUMMARY[@]}"; do echo "   $line"; done
    if [ "$TOTAL_NOT_RUN" -gt 0 ]; then
        echo "not run: $ZELMOOR_WIN32 ($(tests_word "$TOTAL_NOT_RUN") of the 32-bit trees)"
    fi
    echo "total: $TOTAL_PASSED passed, $TOTAL_FAILED failed, $TOTAL_SKIPPED skipped"
    if [ -s "$ZELMOOR_WINE_RESTARTS" ]; then
        echo "Wine ended $(wc -l <"$ZELMOOR_WINE_RESTARTS") program start(s) before the program said a word; each was started again:"
        sed 's/^/   /' "$ZELMOOR_WINE_RESTARTS"
    fi
}

run_tests() {
    local status=0
    ZELMOOR_WINE_RESTARTS=$(mktemp)
    export ZELMOOR_WINE_RESTARTS
    for preset in "${PRESETS[@]}"; do
        run_suite "$preset" "$@" || status=1
    done
    print_summary
    rm -f "$ZELMOOR_WINE_RESTARTS"
    return $status
}

# Each native fuzz target for --seconds N (default 60), after its saved inputs;
# a target is a corpus folder of tools/fuzz with a program of the same name.
NATIVE_FUZZ_SECONDS=60
run_native_fuzz() {
    local seconds=$NATIVE_FUZZ_SECONDS status=0 seeds name
    while [ $# -gt 0 ]; do
        case "$1" in
            --seconds) [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] \
                           || { echo "build: --seconds takes a whole number of seconds, 1 or more" >&2; exit 2; }
                       seconds=$2; shift 2 ;;
            *) echo "build: fuzz-native takes only --seconds N" >&2; exit 2 ;;
        esac
    done
    for seeds in "$ROOT"/tools/fuzz/corpus/*/; do
        name=$(basename "$seeds")
        bash "$ROOT/tools/fuzz/run_fuzz.sh" "$ROOT/build/native-fuzz/tools/fuzz/$name" "$seeds" \
            "$ROOT/tools/fuzz/regressions/$name" "$ROOT/build/native-fuzz/fuzz-artifacts/$name" --seconds "$seconds" || status=1
    done
    return $status
}

# The feeder soak for --minutes N (default 3), with --seed S to repeat a run.
run_feeder_soak() {
    local args=() tests=$ROOT/build/mingw-x64/tools/tests
    while [ $# -gt 0 ]; do
        case "$1" in
            --minutes) [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] \
                           || { echo "build: --minutes takes a whole number of minutes, 1 or more" >&2; exit 2; }
                       args+=(--minutes "$2"); shift 2 ;;
            --seed)    [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] \
                           || { echo "build: --seed takes a whole number, 0 or more" >&2; exit 2; }
                       args+=(--seed "$2"); shift 2 ;;
            *) echo "build: soak-feeder takes only --minutes N and --seed S" >&2; exit 2 ;;
        esac
    done
    bash "$ROOT/tools/tests/feeder_soak/feeder_soak.sh" "$WINE_RUN" "$tests/zelmoor_feeder_soak.exe" "$tests/streams" \
        "${args[@]}"
}

# The status page's figures: the feeder's CPU with the page polled and not, and its answer time.
run_status_bench() {
    local tree=$ROOT/build/mingw-x64
    /usr/bin/python3 "$ROOT/bench/status/status_page_bench.py" "$WINE_RUN" "$tree/tools/feeder/zelmoor_feeder.exe" \
        "$tree/tools/zelmoor_host.exe" "$ROOT/dist/Zelmoor(x64).dll" "$tree/tools/tests/streams/clip_a.ts" "$@"
}

command=${1:-demo}
shift || true
case "$command" in
    build)   install_missing_packages; build_all ;;
    test)    install_missing_packages; build_all; start_wine; run_tests "$@" ;;
    soak)    install_missing_packages; build_all; start_wine; run_tests -L soak "$@" ;;
    soak-feeder) install_missing_packages; build_all; start_wine; run_feeder_soak "$@" ;;
    demo)    install_missing_packages; build_all; start_wine; "$ROOT/tools/demo.sh" "$@" ;;
    bench)   install_missing_packages; build_all; start_wine; run_benches "$@" ;;
    fuzz)    install_missing_packages; build_all; start_wine; "$WINE_RUN" 64 "$ROOT/build/mingw-x64/tests/host_fuzz.exe" "$@" ;;
    fuzz-native) install_missing_packages; build_all; run_native_fuzz "$@" ;;
    bench-feeder) install_missing_packages; build_all; start_wine; "$WINE_RUN" 64 "$ROOT/build/mingw-x64/bench/zelmoor_feeder_bench.exe" "$@" ;;
    bench-status) install_missing_packages; build_all; start_wine; run_status_bench "$@" ;;
    package) install_missing_packages; build_all; "$ROOT/tools/package.sh" ;;
    *) echo "usage: $0 {demo|test|soak|soak-feeder|bench|bench-feeder|bench-status|fuzz|fuzz-native|package|build}" >&2; exit 2 ;;
esac
