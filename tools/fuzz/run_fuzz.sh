#!/usr/bin/env bash
# Fuzzes one target for a bounded time from its seeds, in a scratch corpus, and
# prints its figures: executions, seconds, corpus size, findings. An input that
# crashes or hangs it is left in the artifacts folder named on the last line;
# copy it into regressions/TARGET/ so that every later test run replays it.
#   run_fuzz.sh TARGET SEEDS_DIR REGRESSIONS_DIR ARTIFACTS_DIR [SECONDS]
# ZELMOOR_FUZZ_SECONDS, when set, overrides SECONDS (default 15).
set -uo pipefail
TARGET=$1 SEEDS=$2 REGRESSIONS=$3 ARTIFACTS=$4
SECONDS_TO_RUN=${ZELMOOR_FUZZ_SECONDS:-${5:-15}}
INPUT_TIMEOUT=10            # seconds one input may take before it counts as a hang
RSS_LIMIT_MB=2048
NAME=$(basename "$TARGET")

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$ARTIFACTS"
"$TARGET" -max_total_time="$SECONDS_TO_RUN" -timeout="$INPUT_TIMEOUT" -rss_limit_mb="$RSS_LIMIT_MB" \
    -artifact_prefix="$ARTIFACTS/" -print_final_stats=1 "$WORK" "$SEEDS" "$REGRESSIONS" >"$WORK.log" 2>&1
status=$?
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$WORK.log")
corpus=$(find "$WORK" -type f | wc -l)
findings=$(find "$ARTIFACTS" -type f -newer "$WORK" 2>/dev/null | wc -l)
echo "$NAME: ${executions:-?} executions in $SECONDS_TO_RUN s, corpus $corpus inputs, findings $findings"
if [ "$status" -ne 0 ]; then
    grep -v '^#' "$WORK.log" | tail -n 40
    echo "$NAME: FAILED; the input is in $ARTIFACTS (copy it into regressions/$NAME/)"
fi
rm -f "$WORK.log"
exit "$status"
