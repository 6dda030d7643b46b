#!/usr/bin/env python3
"""Figures of the feeder's status page under Wine; prints them and asserts nothing.

1. The feeder's CPU (and the Wine server's) while a host streams one of ten file
   channels: the page off, against status.json fetched once a second, as the
   page does; the ratio of the two.
2. The time to answer status.json, median and p95, while ten hosts stream all ten
   channels.

    status_page_bench.py WINE_RUN FEEDER_EXE HOST_EXE DRIVER_DLL CLIP_TS [--seconds S]
(WINEPREFIX: a booted prefix, as ./build.sh makes.)
"""
import argparse
import http.client
import os
import socket
import statistics
import subprocess
import time

LOOPBACK = "127.0.0.1"
WINE_DIR = "/usr/lib/wine/"
CHANNELS = 10
SETTLE_S = 8                # Wine starts the feeder and hosts; the channels begin streaming
POLL_INTERVAL_S = 1.0
LATENCY_REQUESTS = 300
LATENCY_GAP_S = 0.05
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
PERCENT = 100.0
P95 = 0.95


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS     # utime, stime


def processes_running(name):
    prefix = os.environ["WINEPREFIX"].rstrip("/")
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            command = open(f"/proc/{pid}/cmdline", "rb").read()
            environ = open(f"/proc/{pid}/environ", "rb").read()
            program = os.readlink(f"/proc/{pid}/exe")
        except OSError:
            continue
        # The Wine process itself, not the launcher script that names the program too.
        if (name.encode() in command and b"WINEPREFIX=" + prefix.encode() + b"\0" in environ
                and program.startswith(WINE_DIR)):
            found.append(int(pid))
    return found


def wine_server():
    return processes_running("wineserver")[:1]


class Run:
    """A feeder on ten looped file channels, and hosts on the given channels."""

    def __init__(self, args, status_port, host_channels):
        clip = "Z:" + args.clip.replace("/", "\\")
        command = [args.wine_run, "64", args.feeder] + [f"{c}=file:{clip}?loop" for c in range(CHANNELS)]
        if status_port:
            command += ["--status", str(status_port)]
        self.processes = [subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)]
        time.sleep(SETTLE_S / 2)
        for channel in host_channels:
            self.processes.append(subprocess.Popen(
                [args.wine_run, "64", args.host, "--dll", args.driver, "--channel", str(channel)],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(SETTLE_S)
        self.feeder = processes_running(os.path.basename(args.feeder))[0]

    def end(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait()


def fetch(port, path="/status.json"):
    connection = http.client.HTTPConnection(LOOPBACK, port, timeout=10)
    connection.request("GET", path)
    connection.getresponse().read()
    connection.close()


def cpu_share(args, poll):
    port = free_port() if poll else None
    run = Run(args, port, [0])
    server = wine_server()
    start_feeder, start_server, start = cpu_seconds(run.feeder), sum(map(cpu_seconds, server)), time.monotonic()
    while time.monotonic() - start < args.seconds:
        if poll:
            fetch(port)
        time.sleep(POLL_INTERVAL_S)
    elapsed = time.monotonic() - start
    feeder = (cpu_seconds(run.feeder) - start_feeder) / elapsed
    wine = (sum(map(cpu_seconds, server)) - start_server) / elapsed
    run.end()
    return feeder, wine


def answer_times(args):
    port = free_port()
    run = Run(args, port, range(CHANNELS))
    times = []
    for _ in range(LATENCY_REQUESTS):
        start = time.perf_counter()
        fetch(port)
        times.append((time.perf_counter() - start) * 1000)
        time.sleep(LATENCY_GAP_S)
    run.end()
    times.sort()
    return statistics.median(times), times[int(len(times) * P95) - 1], times[-1]


def main():
    parser = argparse.ArgumentParser()
    for name in ("wine_run", "feeder", "host", "driver", "clip"):
        parser.add_argument(name)
    parser.add_argument("--seconds", type=float, default=60.0, help="of each CPU run")
    args = parser.parse_args()
    off, off_wine = cpu_share(args, poll=False)
    on, on_wine = cpu_share(args, poll=True)
    print(f"feeder CPU, one host streaming, {args.seconds:.0f} s each (percent of one core):")
    print(f"  page off                     {off * PERCENT:6.2f} %   (Wine server {off_wine * PERCENT:6.2f} %)")
    print(f"  status.json once a second    {on * PERCENT:6.2f} %   (Wine server {on_wine * PERCENT:6.2f} %)")
    print(f"  ratio                        {on / off if off > 0 else float('nan'):6.2f}")
    median, p95, worst = answer_times(args)
    print(f"status.json answer time with ten channels streaming, {LATENCY_REQUESTS} requests:"
          f" median {median:.1f} ms, p95 {p95:.1f} ms, slowest {worst:.1f} ms")


if __name__ == "__main__":
    main()
