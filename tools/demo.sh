#!/usr/bin/env bash
# The demo: a host drains channel 0 of the driver under Wine while a writer sends
# a generated packet stream into it; every byte must arrive. Then the feeder serves
# three channels from three kinds of source (a paced recording, a live UDP stream
# that ffmpeg sends on loopback, a program's output) while a host switches among
# them, and every visit must get its own channel's stream. Builds nothing: run it after the
# build, with WINEPREFIX set to a booted prefix (./build.sh demo). A part that
# fails fails the demo; a part that cannot run here says "not run here:" and why.
#   ZELMOOR_BUILD_DIR   the mingw-x64 build tree (default build/mingw-x64)
#   ZELMOOR_DIST_DIR    the deliverables (default dist)
#   ZELMOOR_WIN32       whether 32-bit programs run here, as cmake/wine-run probe32
#                       answers (build.sh asks once; the demo asks itself otherwise)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WINE_RUN=$ROOT/cmake/wine-run

BUILD_DIR=${ZELMOOR_BUILD_DIR:-$ROOT/build/mingw-x64}
DIST_DIR=${ZELMOOR_DIST_DIR:-$ROOT/dist}
HOST_EXE=$DIST_DIR/zelmoor_host.exe
WRITER_EXE=$DIST_DIR/zelmoor_writer.exe
DRIVER_DLL=$DIST_DIR/Zelmoor\(x64\).dll
OSTREL_EXE=$DIST_DIR/Ostrel.exe
FEEDER_EXE=$DIST_DIR/zelmoor_feeder.exe
DEMO_HOST_EXE=$BUILD_DIR/tools/tests/zelmoor_demo_host.exe
EMITTER_EXE=$BUILD_DIR/tools/tests/ts_emitter.exe
STREAMS_DIR=$BUILD_DIR/tools/tests/streams
PACED_CHANNEL=3
PROGRAM_CHANNEL=5
UDP_CHANNEL=7
UDP_ADDRESS=127.0.0.1
UDP_PORT=51234
UDP_DATAGRAM=1316           # seven packets, as receivers send them
FEEDER_SECONDS=24           # the host's six visits of 3 s, with room for Wine to start both

CHANNEL=0
STREAM_BYTES=$((256 * 1024 * 1024))
WRITE_SIZE=48128            # 256 packets of 188 bytes: one driver block per write
SEED=2024
HOST_TIME_LIMIT=45          # seconds; a safety net, the host normally stops when the writer has gone
WRITER_WAIT=10              # seconds for the host's pipe to appear
OSTREL_SECONDS=3
OSTREL_HEADER="[QueryPerformanceCounter], [GetTickCount], [timeGetTime]"
EXIT_TIMED_OUT=124          # what timeout(1) answers when it had to stop the program

fail() { echo "demo: FAILED: $*" >&2; exit 1; }

for file in "$HOST_EXE" "$WRITER_EXE" "$DRIVER_DLL" "$FEEDER_EXE" "$DEMO_HOST_EXE" "$EMITTER_EXE" "$OSTREL_EXE"; do
    [ -f "$file" ] || fail "missing $file (build first: ./build.sh build)"
done
command -v ffmpeg >/dev/null || fail "ffmpeg is not installed (./build.sh demo installs it)"
[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set (run through ./build.sh demo)"
export WINEDEBUG=${WINEDEBUG:--all}
winepath_of() { "$WINE_RUN" 64 winepath -w "$1"; }

WORK=$(mktemp -d)
HOST_PID=
SENDER_PID=
cleanup() {
    [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null || true
    [ -n "$SENDER_PID" ] && kill "$SENDER_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
RECORDING=$WORK/channel0.ts

digest_of() { grep -m1 '^digest ' "$1" | tr -d '\r' || true; }

echo "== demo: host on channel $CHANNEL, writer sending $((STREAM_BYTES / 1024 / 1024)) MiB of 188-byte packets"
echo "   host:   $(basename "$HOST_EXE") --channel $CHANNEL --until-gone --out <temp file>"
echo "   writer: $(basename "$WRITER_EXE") --channel $CHANNEL --bytes $STREAM_BYTES --write-size $WRITE_SIZE --seed $SEED"
START_NS=$(date +%s%N)
DRIVER_PATH=$(winepath_of "$DRIVER_DLL")
RECORDING_PATH=$(winepath_of "$RECORDING")
"$WINE_RUN" 64 "$HOST_EXE" --dll "$DRIVER_PATH" --channel "$CHANNEL" --until-gone \
    --seconds "$HOST_TIME_LIMIT" --out "$RECORDING_PATH" >"$WORK/host.log" 2>&1 &
HOST_PID=$!
WRITER_STATUS=0
"$WINE_RUN" 64 "$WRITER_EXE" --channel "$CHANNEL" --bytes "$STREAM_BYTES" --write-size "$WRITE_SIZE" --seed "$SEED" \
    --wait-seconds "$WRITER_WAIT" >"$WORK/writer.log" 2>&1 || WRITER_STATUS=$?
HOST_STATUS=0
wait "$HOST_PID" || HOST_STATUS=$?
HOST_PID=
ELAPSED_MS=$((($(date +%s%N) - START_NS) / 1000000))

echo
tr -d '\r' <"$WORK/writer.log"
echo "   (writer exit code $WRITER_STATUS)"
echo
tr -d '\r' <"$WORK/host.log"
echo "   (host exit code $HOST_STATUS)"
echo

SENT=$(digest_of "$WORK/writer.log")
RECEIVED=$(digest_of "$WORK/host.log")
RECORDED_BYTES=$(stat -c %s "$RECORDING" 2>/dev/null || echo 0)
echo "== verifying: FNV-1a 64 digest and byte count of every byte written into the pipe"
echo "   against the same over every byte the host took from the driver, and the recording's size"
echo "   sent:     ${SENT:-none}"
echo "   received: ${RECEIVED:-none}"
echo "   recorded: $RECORDED_BYTES bytes"
printf '   wall time for the transfer: %d.%01d s\n' $((ELAPSED_MS / 1000)) $((ELAPSED_MS % 1000 / 100))

STATUS=0
[ "$WRITER_STATUS" -eq 0 ] || { echo "demo: the writer failed (exit $WRITER_STATUS)" >&2; STATUS=1; }
[ "$HOST_STATUS" -eq 0 ] || { echo "demo: the host failed (exit $HOST_STATUS)" >&2; STATUS=1; }
[ "${SENT##*bytes=}" = "$STREAM_BYTES" ] \
    || { echo "demo: the writer did not send all $STREAM_BYTES bytes" >&2; STATUS=1; }
[ -n "$SENT" ] && [ "$SENT" = "$RECEIVED" ] \
    || { echo "demo: what arrived differs from what was sent" >&2; STATUS=1; }
[ "$RECORDED_BYTES" = "$STREAM_BYTES" ] \
    || { echo "demo: the recording holds $RECORDED_BYTES bytes, not $STREAM_BYTES" >&2; STATUS=1; }
if [ "$STATUS" -eq 0 ]; then
    echo "== stream verified: all $STREAM_BYTES bytes arrived, in order, unchanged"
fi

[ "$STATUS" -eq 0 ] || fail "not every byte arrived"

# Ostrel is a 32-bit program: it runs until stopped, so the time-out is its good end.
echo
echo "== Ostrel for about $OSTREL_SECONDS seconds"
WIN32_ANSWER=${ZELMOOR_WIN32:-$("$WINE_RUN" probe32 || true)}
if [ "$WIN32_ANSWER" = yes ]; then
    OSTREL_STATUS=0
    timeout "$OSTREL_SECONDS" "$WINE_RUN" 32 "$OSTREL_EXE" | tee "$WORK/ostrel.log" || OSTREL_STATUS=${PIPESTATUS[0]}
    echo
    [ "$OSTREL_STATUS" -eq "$EXIT_TIMED_OUT" ] || fail "Ostrel ended with exit code $OSTREL_STATUS"
    grep -qF "$OSTREL_HEADER" "$WORK/ostrel.log" || fail "Ostrel printed no header line"
else
    echo "not run here: $WIN32_ANSWER (Ostrel.exe is a 32-bit program)"
fi

echo
echo "== the feeder: channel $PACED_CHANNEL a recording paced by its PCRs and looped,"
echo "   channel $PROGRAM_CHANNEL a program writing a stream to its standard output,"
echo "   channel $UDP_CHANNEL a live UDP stream that ffmpeg sends to $UDP_ADDRESS:$UDP_PORT"
PACED_TS=$(winepath_of "$STREAMS_DIR/clip_b.ts")
PROGRAM_TS=$(winepath_of "$STREAMS_DIR/clip_c.ts")
UDP_TS=$(winepath_of "$STREAMS_DIR/clip_a.ts")
PACED_SOURCE="file:$PACED_TS?loop"
PROGRAM_SOURCE="cmd:\"$(winepath_of "$EMITTER_EXE")\" \"$PROGRAM_TS\" zelmoor-demo-program"
UDP_SOURCE="udp://$UDP_ADDRESS:$UDP_PORT"
ffmpeg -hide_banner -loglevel fatal -nostdin -re -stream_loop -1 -i "$STREAMS_DIR/clip_a.ts" -c copy \
    -f mpegts "udp://$UDP_ADDRESS:$UDP_PORT?pkt_size=$UDP_DATAGRAM" &
SENDER_PID=$!
echo "   $(basename "$FEEDER_EXE") --seconds $FEEDER_SECONDS $PACED_CHANNEL=$PACED_SOURCE \\"
echo "       $PROGRAM_CHANNEL=$PROGRAM_SOURCE $UDP_CHANNEL=$UDP_SOURCE"
"$WINE_RUN" 64 "$FEEDER_EXE" --seconds "$FEEDER_SECONDS" "$PACED_CHANNEL=$PACED_SOURCE" "$PROGRAM_CHANNEL=$PROGRAM_SOURCE" \
    "$UDP_CHANNEL=$UDP_SOURCE" >"$WORK/feeder.log" 2>&1 </dev/null &
FEEDER_PID=$!
echo "== a host switching among channels $PACED_CHANNEL, $PROGRAM_CHANNEL and $UDP_CHANNEL, twice, 3 s each"
SWITCH_STATUS=0
"$WINE_RUN" 64 "$DEMO_HOST_EXE" "$PACED_CHANNEL=$PACED_TS" "$PROGRAM_CHANNEL=$PROGRAM_TS" "$UDP_CHANNEL=$UDP_TS" \
    | tr -d '\r' || SWITCH_STATUS=$?
FEEDER_STATUS=0
wait "$FEEDER_PID" || FEEDER_STATUS=$?
kill "$SENDER_PID" 2>/dev/null || true
SENDER_PID=
echo
echo "== what the feeder said (events, then its summary; exit code $FEEDER_STATUS)"
tr -d '\r' <"$WORK/feeder.log"
[ "$SWITCH_STATUS" -eq 0 ] || fail "a visit did not get its channel's own stream"
[ "$FEEDER_STATUS" -eq 0 ] || fail "the feeder ended with exit code $FEEDER_STATUS"
echo "== the feeder followed the host: every visit got its channel's own stream"
exit 0
