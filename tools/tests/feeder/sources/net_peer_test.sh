#!/usr/bin/env bash
# Starts real senders and servers on loopback, then the peer tests under Wine
# (WINEPREFIX: a booted prefix). Multicast runs in a network namespace of its
# own, with a Wine server of its own inside it, since Wine makes its sockets
# there; where no namespace can be made, that test is skipped with the reason.
#   net_peer_test.sh WINE_RUN TESTS.EXE [gtest arguments]
# WINE_RUN is the build's launcher of Windows programs (cmake/wine-run).
set -uo pipefail
WINE_RUN=$1
TESTS_EXE=$2
shift 2
LOOPBACK=127.0.0.1
GROUP=239.1.1.1
CLIP_SECONDS=4
READY_TRIES=100             # of 0.1 s each, for a server to listen
export WINEDEBUG=${WINEDEBUG:--all}

source "$(dirname "$WINE_RUN")/wine-prefix.sh"

WORK=$(mktemp -d)
PIDS=()
MULTICAST_PREFIX=
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    [ -z "$MULTICAST_PREFIX" ] || wine_prefix_remove "$MULTICAST_PREFIX"
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_listening() {
    for _ in $(seq "$READY_TRIES"); do
        python3 -c "import socket; socket.create_connection(('$LOOPBACK', $1), 1)" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "net_peer_test: nothing listens on port $1" >&2
    return 1
}

# A loop of the clip, paced as a live channel: ffmpeg OUTPUT-OPTIONS... URL
live_ffmpeg() {
    ffmpeg -hide_banner -loglevel fatal -nostdin -re -stream_loop -1 -i "$WORK/clip.ts" -c copy "$@" &
    PIDS+=($!)
}

ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "testsrc=size=320x240:rate=25" \
    -f lavfi -i "sine=frequency=440" -t "$CLIP_SECONDS" -c:v mpeg2video -b:v 2M -c:a mp2 \
    -f mpegts "$WORK/clip.ts" || { echo "net_peer_test: ffmpeg cannot make the clip" >&2; exit 1; }
mkdir "$WORK/redirected"
cp "$WORK/clip.ts" "$WORK/redirected/index.html"

UDP_PORT=$(free_port); RTP_PORT=$(free_port); TCP_PORT=$(free_port)
HTTP_PORT=$(free_port); CHUNKED_PORT=$(free_port)

live_ffmpeg -f mpegts "udp://$LOOPBACK:$UDP_PORT?pkt_size=1316"
live_ffmpeg -f rtp_mpegts "rtp://$LOOPBACK:$RTP_PORT"
live_ffmpeg -f mpegts -listen 1 "http://$LOOPBACK:$CHUNKED_PORT/live.ts"
python3 -m http.server "$HTTP_PORT" --bind "$LOOPBACK" --directory "$WORK" >/dev/null 2>&1 &
PIDS+=($!)
python3 -c '
import socket, sys
server = socket.create_server((sys.argv[1], int(sys.argv[2])))
data = open(sys.argv[3], "rb").read()
while True:
    client, _ = server.accept()
    client.sendall(data)
    client.close()
' "$LOOPBACK" "$TCP_PORT" "$WORK/clip.ts" &
PIDS+=($!)
wait_listening "$HTTP_PORT" && wait_listening "$TCP_PORT" || exit 1

export ZELMOOR_PEER_CLIP=$("$WINE_RUN" 64 winepath -w "$WORK/clip.ts" 2>/dev/null)
export ZELMOOR_PEER_UDP=udp://$LOOPBACK:$UDP_PORT
export ZELMOOR_PEER_RTP=udp://$LOOPBACK:$RTP_PORT
export ZELMOOR_PEER_TCP=tcp://$LOOPBACK:$TCP_PORT
export ZELMOOR_PEER_HTTP=http://$LOOPBACK:$HTTP_PORT
export ZELMOOR_PEER_CHUNKED=http://$LOOPBACK:$CHUNKED_PORT/live.ts
export ZELMOOR_PEER_MULTICAST_SKIP="multicast runs in its own network namespace, in the next run"
"$WINE_RUN" 64 "$TESTS_EXE" --gtest_filter=-*Multicast* "$@"
status=$?

# Multicast: the namespace gets its own loopback with a route for the group, and
# a copy of the prefix (hard links, the registry copied) for a Wine server inside.
# The copy sits beside the prefix, where hard links can reach and where the run
# that made the prefix finds its processes too.
SETUP_FAILED=77
multicast_in_namespace() {
    MULTICAST_PREFIX=$(mktemp -d "${WINEPREFIX%/}.multicast.XXXXXX") || return 1
    local prefix=$MULTICAST_PREFIX
    cp -al "$WINEPREFIX/." "$prefix/" && rm -f "$prefix"/*.reg && cp "$WINEPREFIX"/*.reg "$prefix/"
    unshare -n bash -c '
        ip link set lo up && ip link set lo multicast on && ip route add 239.0.0.0/8 dev lo || exit '$SETUP_FAILED'
        ffmpeg -hide_banner -loglevel fatal -nostdin -re -stream_loop -1 -i "$1/clip.ts" -c copy \
            -f mpegts "udp://$2:$3?pkt_size=1316&ttl=1" &
        sender=$!
        WINEPREFIX=$4 ZELMOOR_PEER_MULTICAST=udp://$2:$3 ZELMOOR_PEER_MULTICAST_SKIP= \
            "$6" 64 "$5" --gtest_filter=*Multicast*
        result=$?
        kill $sender
        exit $result
    ' multicast "$WORK" "$GROUP" "$(free_port)" "$prefix" "$TESTS_EXE" "$WINE_RUN"
}

skip_multicast() {
    ZELMOOR_PEER_MULTICAST_SKIP=$1 "$WINE_RUN" 64 "$TESTS_EXE" --gtest_filter=*Multicast* || status=1
}

if ! unshare -n true 2>/dev/null; then
    skip_multicast "cannot make a network namespace here (unshare -n needs root or user namespaces)"
elif ! command -v ip >/dev/null; then
    skip_multicast "no ip command to set up the namespace's loopback (package iproute2)"
else
    multicast_in_namespace
    result=$?
    if [ $result -eq $SETUP_FAILED ]; then
        skip_multicast "the namespace's loopback refused multicast or the route for 239.0.0.0/8"
    elif [ $result -ne 0 ]; then
        status=1
    fi
fi
exit $status
