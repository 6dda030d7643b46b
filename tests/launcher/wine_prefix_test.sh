#!/usr/bin/env bash
# A run leaves no Wine process of its prefix behind, however it ends. Two runs boot
# a prefix each as build.sh does, services started: in one the Wine server dies
# without ending its processes (as a crashed one does, or one `wineserver -k`
# kills for not answering); the other gets Ctrl+C while a Windows program runs.
#   wine_prefix_test.sh WINE_PREFIX_SH
set -uo pipefail
LIB=$1
READY_SECONDS=300           # for a run to boot its prefix on a loaded machine
PING_COUNT=600              # of about a second each: outlasts the test
EXIT_INTERRUPTED=130        # a shell ended by SIGINT
export WINEDEBUG=-all

# The processes whose environment names PREFIX, found apart from the code under test.
left_of() {
    local environ
    for environ in $(grep -lszxF "WINEPREFIX=$1" /proc/[0-9]*/environ); do
        echo "$(basename "$(dirname "$environ")") $(tr '\0' ' ' 2>/dev/null <"${environ%environ}cmdline")"
    done
}

if [ "${2:-}" = run ]; then     # a run under test: run WORK dead-server|interrupted
    source "$LIB"
    wine_prefix_for_run >/dev/null || exit 1
    echo "$WINEPREFIX" >"$3/prefix"
    if [ "$4" = dead-server ]; then
        kill -TERM $(wine_prefix_servers "$WINEPREFIX") || exit 1
        while left_of "$WINEPREFIX" | grep -q wineserver; do sleep 0.1; done
        left_of "$WINEPREFIX" >"$3/orphans"
    else
        "$WINE_PREFIX_RUN" 64 ping -n "$PING_COUNT" 127.0.0.1 >/dev/null
    fi
    exit 0
fi

failures=0
check() {   # check DESCRIPTION CONDITION...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failures=$((failures + 1)); fi
}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/dead" "$WORK/interrupted"

ping_runs() {
    local deadline=$((SECONDS + READY_SECONDS))
    until left_of "$(cat "$WORK/interrupted/prefix" 2>/dev/null)" | grep -q ping.exe; do
        kill -0 "$1" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Whatever a run left is named, then ended, so that a failing test leaves nothing either.
nothing_left() {
    local left
    left=$(left_of "$(cat "$1/prefix")")
    [ -z "$left" ] || { echo "$left" >&2; kill -KILL $(cut -d' ' -f1 <<<"$left"); }
    [ -z "$left" ] && [ ! -e "$(dirname "$(cat "$1/prefix")")" ]
}

# Job control: each run leads a process group, as a command at a terminal does,
# and does not ignore Ctrl+C. Both boot at once.
set -m
env -u WINEPREFIX bash "$0" "$LIB" run "$WORK/dead" dead-server &
dead_run=$!
env -u WINEPREFIX bash "$0" "$LIB" run "$WORK/interrupted" interrupted &
run=$!

check "a Windows program of the run runs" ping_runs "$run"
kill -INT -- -"$run"
wait "$run"
check "Ctrl+C ends the run with status $EXIT_INTERRUPTED" [ $? -eq "$EXIT_INTERRUPTED" ]
check "its processes are ended, and its prefix removed" nothing_left "$WORK/interrupted"
wait "$dead_run"
check "a run whose server died ends with status 0" [ $? -eq 0 ]
check "its processes had lost their server" [ -s "$WORK/dead/orphans" ]
check "they are ended, and its prefix removed" nothing_left "$WORK/dead"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
