#!/usr/bin/env bash
# Fuzzes one target from its seeds, in a scratch corpus, and prints its figures:
# executions, seconds, corpus size, findings. An input that crashes or hangs it is
# left in the artifacts folder named on the last line; copy it into
# regressions/TARGET/ so that every later test run replays it.
#   run_fuzz.sh TARGET SEEDS_DIR REGRESSIONS_DIR ARTIFACTS_DIR --runs N --seed S
#       a fixed number of executions from a fixed seed: the same verdict on every machine
#   run_fuzz.sh TARGET SEEDS_DIR REGRESSIONS_DIR ARTIFACTS_DIR --seconds N
#       open-ended exploration for N seconds from a seed of libFuzzer's choosing
set -uo pipefail
usage() { echo "usage: run_fuzz.sh TARGET SEEDS REGRESSIONS ARTIFACTS (--runs N --seed S | --seconds N)" >&2; exit 2; }
[ $# -ge 6 ] || usage
TARGET=$1 SEEDS=$2 REGRESSIONS=$3 ARTIFACTS=$4
shift 4
BOUND=() WHAT=
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || usage
    case "$1" in
        --runs)    BOUND+=(-runs="$2"); WHAT="$WHAT, $2 runs" ;;
        --seed)    BOUND+=(-seed="$2"); WHAT="$WHAT from seed $2" ;;
        --seconds) BOUND+=(-max_total_time="$2"); WHAT="$WHAT, $2 s" ;;
        *) usage ;;
    esac
    shift 2
done
INPUT_TIMEOUT=10            # seconds one input may take before it counts as a hang
RSS_LIMIT_MB=2048
NAME=$(basename "$TARGET")

WORK=$(mktemp -d)
trap 'rm -rf "$WORK" "$WORK.log"' EXIT
mkdir -p "$ARTIFACTS"
started=$(date +%s)
"$TARGET" "${BOUND[@]}" -timeout="$INPUT_TIMEOUT" -rss_limit_mb="$RSS_LIMIT_MB" \
    -artifact_prefix="$ARTIFACTS/" -print_final_stats=1 "$WORK" "$SEEDS" "$REGRESSIONS" >"$WORK.log" 2>&1
status=$?
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$WORK.log")
corpus=$(find "$WORK" -type f | wc -l)
findings=$(find "$ARTIFACTS" -type f -newer "$WORK" 2>/dev/null | wc -l)
echo "$NAME${WHAT}: ${executions:-?} executions in $(( $(date +%s) - started )) s, corpus $corpus inputs, findings $findings"
if [ "$status" -ne 0 ]; then
    grep -v '^#' "$WORK.log" | tail -n 40
    echo "$NAME: FAILED; the input is in $ARTIFACTS (copy it into regressions/$NAME/)"
fi
exit "$status"
