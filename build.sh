#!/usr/bin/env bash
# One entry point over the three build trees (see CMakePresets.json).
#   ./build.sh demo      build everything into dist/ and run the demo
#   ./build.sh test      build everything and run every test under Wine, soak tests included
#   ./build.sh soak      the soak tests only
#   ./build.sh bench     the driver benchmark, 64-bit DLL then 32-bit DLL
#   ./build.sh fuzz      the fuzzed host alone, as long as asked (--seconds N, --seed S)
#   ./build.sh bench-feeder  the feeder benchmark: zap time, CPU, UDP drops
#   ./build.sh package   zip dist/ with the README into release/
#   ./build.sh build     build only
# Each command installs missing packages first (apt-get; root or sudo).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
PRESETS=(driver-msvc-x64 driver-msvc-x86 mingw-x64 mingw-x86)
PACKAGES=(cmake ninja-build clang lld llvm googletest mingw-w64 wine wine64 wine32:i386 zip unzip ffmpeg python3 iproute2)
JOBS=$(nproc)

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

# Pipe and mutex names are global within a prefix: every run gets its own, booted once.
start_wine() {
    if [ -z "${WINEPREFIX:-}" ]; then
        WINE_TMP=$(mktemp -d)
        export WINEPREFIX="$WINE_TMP/prefix"
        trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINE_TMP"' EXIT
    else
        trap 'wineserver -k 2>/dev/null || true' EXIT
    fi
    export WINEDEBUG=${WINEDEBUG:--all}
    echo "== booting Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # One server for the whole run: a new one for each test program costs seconds.
    wineserver -p
    # The first program of a prefix starts Wine's services, which inherit its output
    # and would keep ctest waiting on it for ever; start them here, detached.
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Each DLL is measured by a bench of its own bitness, against its own raw pipe and ceiling.
BENCH_PRESETS=(mingw-x64 mingw-x86)
run_benches() {
    for preset in "${BENCH_PRESETS[@]}"; do
        echo "== benchmark $preset"
        wine "$ROOT/build/$preset/bench/zelmoor_bench.exe" "$@"
    done
}

run_tests() {
    local status=0
    for preset in "${PRESETS[@]}"; do
        echo "== testing $preset"
        # A Wine process now and then hangs at its exit under load, after its test
        # has passed; a test that timed out gets one more run, a failure none.
        ctest --preset "$preset" -j "$JOBS" --repeat after-timeout:2 "$@" || status=1
    done
    return $status
}

command=${1:-demo}
shift || true
case "$command" in
    build)   install_missing_packages; build_all ;;
    test)    install_missing_packages; build_all; start_wine; run_tests "$@" ;;
    soak)    install_missing_packages; build_all; start_wine; run_tests -L soak "$@" ;;
    demo)    install_missing_packages; build_all; start_wine; "$ROOT/tools/demo.sh" "$@" ;;
    bench)   install_missing_packages; build_all; start_wine; run_benches "$@" ;;
    fuzz)    install_missing_packages; build_all; start_wine; wine "$ROOT/build/mingw-x64/tests/host_fuzz.exe" "$@" ;;
    bench-feeder) install_missing_packages; build_all; start_wine; wine "$ROOT/build/mingw-x64/bench/zelmoor_feeder_bench.exe" "$@" ;;
    package) install_missing_packages; build_all; "$ROOT/tools/package.sh" ;;
    *) echo "usage: $0 {demo|test|soak|bench|bench-feeder|fuzz|package|build}" >&2; exit 2 ;;
esac
