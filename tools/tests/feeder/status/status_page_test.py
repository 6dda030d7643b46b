#!/usr/bin/env python3
"""The feeder's status page under Wine, read by real clients on loopback (headless
Chromium, Python's json, the Prometheus client's parser), and what it must refuse.
    status_page_test.py WINE_RUN FEEDER_EXE HOST_EXE DRIVER_DLL CLIP_TS
"""
import http.client
import json
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from prometheus_client.parser import text_string_to_metric_families

LOOPBACK = "127.0.0.1"
BACKSLASH = "\\"
PASSWORD = "s3cretpw"
STREAM_CHANNEL = 0
PASSWORD_CHANNEL = 2
DEADLINE_S = 90             # Wine on a loaded two-core machine starts slowly
RUN_S = 300                 # the feeder's and host's own end, should the test die
IDLE_CONNECTIONS = 40
CONNECTION_PLACES = 16          # the server's own limit
ONE_SHOT_REQUEST = b"GET /status.json HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"
OVERSIZED_HEADER_BYTES = 9 * 1024
BROWSER_BUDGET_MS = 8000    # virtual time for the page's script to fetch and fill in
FEEDER_EXIT_USAGE = 2
PORT_RANGE_FILE = "/proc/sys/net/ipv4/ip_local_port_range"
OWN_PORTS = 10000               # how many ports below the system's own range are tried


def free_port():
    """A free port below the range the system hands out on its own, so that no other
    program is given it between this check and the feeder's bind."""
    with open(PORT_RANGE_FILE) as f:
        first_ephemeral = int(f.read().split()[0])
    for port in random.sample(range(first_ephemeral - OWN_PORTS, first_ephemeral), OWN_PORTS):
        with socket.socket() as s:
            try:
                s.bind((LOOPBACK, port))
                return port
            except OSError:
                continue
    raise AssertionError("no free port below the system's own range")


def start(command, **kwargs):
    """A Wine program in a process group of its own, ended with all it started
    (the launcher may run Wine as its child) when the class is done."""
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, start_new_session=True, **kwargs)

    def stop():
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        process.wait()
    StatusPage.addClassCleanup(stop)
    return process


def get(port, path, method="GET", headers=None, body=None):
    connection = http.client.HTTPConnection(LOOPBACK, port, timeout=10)
    try:
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


def status(port):
    return json.loads(get(port, "/status.json")[2])


def channel(snapshot, number):
    return next(c for c in snapshot["channels"] if c["channel"] == number)


def wait_for(what, check, deadline_s=DEADLINE_S):
    end = time.monotonic() + deadline_s
    last = None
    while time.monotonic() < end:
        try:
            if check():
                return
        except (OSError, ValueError, StopIteration) as e:
            last = e
        time.sleep(0.5)
    raise AssertionError(f"{what} did not happen within {deadline_s} s (last error: {last})")


class StatusPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        wine_run, feeder, host, driver, clip = sys.argv[1:6]
        cls.wine_run, cls.feeder = wine_run, feeder
        cls.port = free_port()
        # Browser profiles inside may still be written by a helper as the folder goes.
        cls.work = tempfile.TemporaryDirectory(ignore_cleanup_errors=True)
        cls.addClassCleanup(cls.work.cleanup)
        cls.feeder_out = open(os.path.join(cls.work.name, "feeder.txt"), "w+")
        cls.addClassCleanup(cls.feeder_out.close)
        closed_port = free_port()
        start([wine_run, "64", feeder, "--status", str(cls.port), "--seconds", str(RUN_S),
               f"{STREAM_CHANNEL}=file:Z:{clip.replace('/', BACKSLASH)}?loop",
               f"{PASSWORD_CHANNEL}=http://tv:{PASSWORD}@{LOOPBACK}:{closed_port}/live.ts"],
              stdout=cls.feeder_out, stderr=subprocess.STDOUT)
        wait_for("the status page answering", lambda: status(cls.port))
        start([wine_run, "64", host, "--dll", driver, "--channel", str(STREAM_CHANNEL), "--seconds", str(RUN_S)],
              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("channel 0 streaming with bytes delivered", lambda: (
            channel(status(cls.port), STREAM_CHANNEL)["state"] == "streaming"
            and channel(status(cls.port), STREAM_CHANNEL)["bytes_delivered"] > 0))

    def rendered_page(self):
        profile = tempfile.mkdtemp(dir=self.work.name)
        return subprocess.run(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", f"--user-data-dir={profile}",
             f"--virtual-time-budget={BROWSER_BUDGET_MS}", "--dump-dom", f"http://{LOOPBACK}:{self.port}/"],
            capture_output=True, text=True, timeout=DEADLINE_S, check=True).stdout

    def test_browser_shows_the_channel_streaming_with_its_source(self):
        dom = self.rendered_page()
        rows = [row for row in dom.split("<tr") if 'data-label="Channel">0<' in row]
        self.assertEqual(len(rows), 1, "no row for channel 0 in the rendered page:\n" + dom[:3000])
        self.assertIn(">streaming<", rows[0])
        self.assertIn("clip_a.ts?loop", rows[0])
        self.assertIn(">connected<", rows[0])
        self.assertIn("channel 0: streaming", dom, "the event lines are missing")

    def test_json_and_metrics_read_by_their_own_parsers_and_counters_only_grow(self):
        first = status(self.port)
        for key in ("version", "started", "uptime_s", "channels", "events"):
            self.assertIn(key, first)
        stream = channel(first, STREAM_CHANNEL)
        self.assertTrue(stream["host_connected"])
        self.assertEqual(stream["visits"], 1)
        self.assertIn(":***@", channel(first, PASSWORD_CHANNEL)["source"])
        wait_for("delivered bytes growing",
                 lambda: channel(status(self.port), STREAM_CHANNEL)["bytes_delivered"] > stream["bytes_delivered"])

        code, headers, body = get(self.port, "/metrics")
        self.assertEqual(code, 200)
        self.assertTrue(headers["Content-Type"].startswith("text/plain; version=0.0.4"))
        families = {f.name: f for f in text_string_to_metric_families(body.decode())}
        delivered = {s.labels["channel"]: s.value for s in families["zelmoor_feeder_bytes_delivered"].samples}
        self.assertGreaterEqual(delivered[str(STREAM_CHANNEL)], stream["bytes_delivered"])
        for name in ("drops", "skipped_bytes", "visits", "source_failures"):
            self.assertEqual(families["zelmoor_feeder_" + name].type, "counter")
        current = [s.labels for s in families["zelmoor_feeder_channel_state"].samples if s.value == 1]
        self.assertIn({"channel": str(STREAM_CHANNEL), "state": "streaming"}, current)
        self.assertEqual(len(current), 2, "one current state per channel")
        connected = {s.labels["channel"]: s.value for s in families["zelmoor_feeder_host_connected"].samples}
        self.assertEqual(connected, {str(STREAM_CHANNEL): 1.0, str(PASSWORD_CHANNEL): 0.0})

    def test_other_methods_oversized_headers_other_paths_and_hosts_are_refused(self):
        code, headers, _ = get(self.port, "/status.json", method="POST", body=b"x=1")
        self.assertEqual(code, 405)
        self.assertEqual(headers.get("Allow"), "GET, HEAD")
        code, headers, body = get(self.port, "/status.json", method="HEAD")
        self.assertEqual((code, body), (200, b""))
        self.assertGreater(int(headers["Content-Length"]), 0)
        self.assertEqual(get(self.port, "/../../windows/win.ini")[0], 404)
        self.assertEqual(get(self.port, "/status.json", headers={"Host": "rebound.example"})[0], 403)
        try:
            code = get(self.port, "/", headers={"X-Filler": "a" * OVERSIZED_HEADER_BYTES})[0]
        except (ConnectionError, http.client.HTTPException):
            code = None     # a closed connection is an answer too
        self.assertIn(code, (431, None))

    def test_forty_idle_connections_hold_up_neither_the_page_nor_the_channel(self):
        idle = [socket.create_connection((LOOPBACK, self.port)) for _ in range(IDLE_CONNECTIONS)]
        try:
            before = channel(status(self.port), STREAM_CHANNEL)["bytes_delivered"]
            for _ in range(3):
                self.assertEqual(get(self.port, "/")[0], 200)
            wait_for("the channel going on while idle connections are held",
                     lambda: channel(status(self.port), STREAM_CHANNEL)["bytes_delivered"] > before)
        finally:
            for s in idle:
                s.close()

    def test_clients_that_keep_their_connection_after_an_answer_do_not_lock_out_the_page(self):
        answered = [socket.create_connection((LOOPBACK, self.port)) for _ in range(CONNECTION_PLACES)]
        try:
            for s in answered:
                s.sendall(ONE_SHOT_REQUEST)
                s.settimeout(DEADLINE_S)
                self.assertTrue(s.recv(OVERSIZED_HEADER_BYTES).startswith(b"HTTP/1.1 200"))
            self.assertEqual(get(self.port, "/status.json")[0], 200)
        finally:
            for s in answered:
                s.close()

    def test_password_shows_nowhere(self):
        answers = b"".join(get(self.port, path)[2] for path in ("/", "/status.json", "/metrics"))
        self.feeder_out.seek(0)
        output = self.feeder_out.read()
        self.assertIn("status page at http://127.0.0.1:", output)
        self.assertNotIn(PASSWORD, output + answers.decode())

    def test_a_taken_port_alone_or_with_its_address_ends_a_console_run_with_code_2(self):
        # Tests use loopback only, so an address the machine lacks (error 10049) is not tried here.
        for where, number in ((str(self.port), "10048"), (f"{LOOPBACK}:{self.port}", "10048")):
            run = subprocess.run([self.wine_run, "64", self.feeder, "--status", where, "9=udp://127.0.0.1:1234"],
                                 stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=DEADLINE_S)
            self.assertEqual(run.returncode, FEEDER_EXIT_USAGE, run.stderr)
            self.assertIn("--status: cannot listen on", run.stderr)
            self.assertIn(number, run.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
