#!/usr/bin/env bash
# Starts the feeder soak's outside peers on loopback (soak_peers.py: ffmpeg's
# UDP and RTP, a TCP and an HTTP server), then the soak under Wine
# (WINEPREFIX: a booted prefix). Afterwards no program of the run may be left:
# each names the run's id on its command line.
#   feeder_soak.sh WINE_RUN SOAK_EXE STREAMS_DIR [soak options: --minutes N, --seed S, ...]
set -uo pipefail
WINE_RUN=$1
SOAK_EXE=$2
STREAMS=$3
shift 3
HERE=$(cd "$(dirname "$0")" && pwd)
RUN_ID=zsoak-$$-$(date +%s)
READY_TRIES=300             # of 0.1 s each, for the peers to listen
SETUP_FAILED=3
export WINEDEBUG=${WINEDEBUG:--all}

WORK=$(mktemp -d)
PEERS_PID=
cleanup() {
    [ -z "$PEERS_PID" ] || kill "$PEERS_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

python3 "$HERE/soak_peers.py" "$WORK/ports" "$STREAMS/soak_ch1.ts" "$STREAMS/soak_ch3.ts" \
    "$STREAMS/soak_ch5.ts" "$STREAMS/soak_ch6.ts" &
PEERS_PID=$!
for _ in $(seq "$READY_TRIES"); do
    [ -s "$WORK/ports" ] && break
    kill -0 "$PEERS_PID" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$WORK/ports" ]; then
    echo "feeder_soak: the peers did not start (soak_peers.py needs python3 and ffmpeg)" >&2
    exit $SETUP_FAILED
fi

"$WINE_RUN" 64 "$SOAK_EXE" --peers "$(cat "$WORK/ports")" --run-id "$RUN_ID" "$@"
status=$?

left=$(pgrep -af -- "$RUN_ID" | grep -v -e pgrep -e feeder_soak.sh || true)
if [ -n "$left" ]; then
    echo "feeder_soak: FAIL: programs of the run left behind:"
    echo "$left"
    status=1
fi
exit $status
