#!/usr/bin/env python3
"""The feeder soak's outside peers on loopback: ffmpeg sending a clip as plain
UDP and as RTP, and a TCP and an HTTP server (this script, as child processes)
that stream a clip in a loop at its rate. The soak steers them over a control
connection, one command a line, answered "ok" or "error ...":
  kill tcp|http     SIGKILL the server        start tcp|http  start it again
  pause udp|rtp     SIGSTOP the sender        resume udp|rtp  SIGCONT it
  quit              end every peer and this script
Started as: soak_peers.py PORTS_FILE UDP_CLIP RTP_CLIP TCP_CLIP HTTP_CLIP
It writes "control=P udp=P rtp=P tcp=P http=P" to PORTS_FILE once all listen."""
import os
import signal
import socket
import subprocess
import sys
import threading
import time

LOOPBACK = "127.0.0.1"
CLIP_BYTES_PER_SECOND = 2500000 // 8
CHUNK = 7 * 188
READY_TRIES = 100               # of 0.05 s each, for a server to listen
READY_PAUSE = 0.05
RESTART_TRIES = 40              # a killed server's port may linger a moment
# The channel each peer feeds (soak_layout.h): its clip's PIDs start at
# 0x100 * (channel + 1), and ffmpeg numbers the PIDs it sends anew from there.
CHANNELS = {"udp": 1, "rtp": 3, "tcp": 5, "http": 6}


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def stream_clip(client, clip):
    """Sends the clip over and over at its rate until the client goes."""
    start = time.monotonic()
    sent = 0
    at = 0
    while True:
        due = start + sent / CLIP_BYTES_PER_SECOND - time.monotonic()
        if due > 0:
            time.sleep(due)
        piece = clip[at:at + CHUNK]
        client.sendall(piece)
        sent += len(piece)
        at = (at + len(piece)) % len(clip)


def serve_client(client, clip, http):
    try:
        if http:
            request = b""
            while b"\r\n\r\n" not in request:
                more = client.recv(4096)
                if not more:
                    return
                request += more
            client.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n")
        stream_clip(client, clip)
    except OSError:
        pass
    finally:
        client.close()


def serve(kind, port, clip_path):
    clip = open(clip_path, "rb").read()
    listener = None
    for _ in range(RESTART_TRIES):
        try:
            listener = socket.create_server((LOOPBACK, port), reuse_port=False)
            break
        except OSError:
            time.sleep(READY_PAUSE)
    if listener is None:
        sys.exit(f"soak_peers: cannot listen on {LOOPBACK}:{port}")
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve_client, args=(client, clip, kind == "http"), daemon=True).start()


def pid_options(name):
    """The sender's PIDs; RTP wraps a transport stream muxer of its own, which takes them through a dictionary."""
    start = 0x100 * (CHANNELS[name] + 1)
    if name == "rtp":
        return ["-mpegts_muxer_options", f"mpegts_start_pid={start}"]
    return ["-mpegts_start_pid", str(start)]


class Peers:
    def __init__(self, clips):
        self.clips = clips
        self.ports = {"udp": free_port(socket.SOCK_DGRAM), "rtp": free_port(socket.SOCK_DGRAM),
                      "tcp": free_port(), "http": free_port()}
        self.processes = {}

    def start(self, name):
        if name in ("udp", "rtp"):
            fmt = "mpegts" if name == "udp" else "rtp_mpegts"
            scheme = "udp" if name == "udp" else "rtp"
            command = ["ffmpeg", "-hide_banner", "-loglevel", "fatal", "-nostdin", "-re", "-stream_loop", "-1",
                       "-i", self.clips[name], "-map", "0", "-c", "copy",
                       *pid_options(name), "-f", fmt,
                       f"{scheme}://{LOOPBACK}:{self.ports[name]}?pkt_size=1316"]
        else:
            command = [sys.executable, os.path.abspath(__file__), "serve", name, str(self.ports[name]),
                       self.clips[name]]
        self.processes[name] = subprocess.Popen(command, stdin=subprocess.DEVNULL)
        if name in ("tcp", "http"):
            wait_listening(self.ports[name])

    def signal(self, name, number):
        self.processes[name].send_signal(number)
        if number == signal.SIGKILL:
            self.processes[name].wait()

    def command(self, line):
        words = line.split()
        if len(words) != 2 or words[1] not in self.ports:
            return "error: unknown command " + line
        verb, name = words
        actions = {"kill": lambda: self.signal(name, signal.SIGKILL), "start": lambda: self.start(name),
                   "pause": lambda: self.signal(name, signal.SIGSTOP),
                   "resume": lambda: self.signal(name, signal.SIGCONT)}
        if verb not in actions:
            return "error: unknown command " + line
        actions[verb]()
        return "ok"

    def end(self):
        for process in self.processes.values():
            process.send_signal(signal.SIGCONT)
            process.kill()
            process.wait()


def wait_listening(port):
    for _ in range(READY_TRIES):
        try:
            socket.create_connection((LOOPBACK, port), 1).close()
            return
        except OSError:
            time.sleep(READY_PAUSE)
    sys.exit(f"soak_peers: nothing listens on {LOOPBACK}:{port}")


def control(peers, ports_file):
    listener = socket.create_server((LOOPBACK, 0))
    ports = " ".join(f"{name}={port}" for name, port in peers.ports.items())
    with open(ports_file + ".new", "w") as out:
        out.write(f"control={listener.getsockname()[1]} {ports}\n")
    os.replace(ports_file + ".new", ports_file)
    connection, _ = listener.accept()
    lines = connection.makefile("r")
    for line in lines:
        if line.strip() == "quit":
            break
        connection.sendall((peers.command(line.strip()) + "\n").encode())
    connection.close()


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "serve":
        serve(sys.argv[2], int(sys.argv[3]), sys.argv[4])
        return
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    peers = Peers(dict(zip(("udp", "rtp", "tcp", "http"), sys.argv[2:6])))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        for name in peers.ports:
            peers.start(name)
        control(peers, sys.argv[1])
    finally:
        peers.end()


if __name__ == "__main__":
    main()
