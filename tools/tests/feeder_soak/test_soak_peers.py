"""The soak's outside peers: the servers loop their clip whole, and the control
line kills, restarts, pauses and refuses as the soak relies on.
  python3 test_soak_peers.py CLIP.ts"""
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "soak_peers.py")
LOOPBACK = "127.0.0.1"
CLIP = None
READY_TRIES = 200       # of 0.05 s each
READY_PAUSE = 0.05


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def connect(port):
    for _ in range(READY_TRIES):
        try:
            return socket.create_connection((LOOPBACK, port), 5)
        except OSError:
            time.sleep(READY_PAUSE)
    raise AssertionError(f"nothing listens on {port}")


def receive(sock, count):
    data = b""
    while len(data) < count:
        more = sock.recv(count - len(data))
        if not more:
            break
        data += more
    return data


class ServerTest(unittest.TestCase):
    def serve(self, kind):
        port = free_port()
        server = subprocess.Popen([sys.executable, PEERS, "serve", kind, str(port), CLIP])
        self.addCleanup(server.wait)
        self.addCleanup(server.kill)
        return port

    def test_tcp_server_loops_the_clip_whole(self):
        with open(CLIP, "rb") as file:
            clip = file.read()
        with connect(self.serve("tcp")) as sock:
            data = receive(sock, len(clip) + 188 * 10)
        self.assertEqual(data[:len(clip)], clip)
        self.assertEqual(data[len(clip):], clip[:188 * 10])

    def test_http_server_answers_200_then_the_clip(self):
        with open(CLIP, "rb") as file:
            clip = file.read()
        with connect(self.serve("http")) as sock:
            sock.sendall(b"GET /live.ts HTTP/1.1\r\nHost: x\r\n\r\n")
            head = b""
            while b"\r\n\r\n" not in head:
                head += sock.recv(1)
            self.assertTrue(head.startswith(b"HTTP/1.0 200 OK"), head)
            self.assertEqual(receive(sock, 188 * 20), clip[:188 * 20])


class ControlTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        ports_file = os.path.join(self.work, "ports")
        self.peers = subprocess.Popen([sys.executable, PEERS, ports_file, CLIP, CLIP, CLIP, CLIP])
        for _ in range(READY_TRIES):
            if os.path.exists(ports_file):
                break
            time.sleep(READY_PAUSE)
        with open(ports_file) as ports:
            self.ports = dict(word.split("=") for word in ports.read().split())
        self.control = connect(int(self.ports["control"]))
        self.lines = self.control.makefile("r")

    def tearDown(self):
        # The script ends its peers and itself when the soak's line closes.
        self.lines.close()
        self.control.close()
        self.peers.wait(30)

    def command(self, line):
        self.control.sendall((line + "\n").encode())
        return self.lines.readline().strip()

    def test_a_killed_server_refuses_until_started_again(self):
        port = int(self.ports["tcp"])
        self.assertEqual(self.command("kill tcp"), "ok")
        with self.assertRaises(OSError):
            socket.create_connection((LOOPBACK, port), 2).close()
        self.assertEqual(self.command("start tcp"), "ok")
        connect(port).close()

    def test_a_paused_sender_resumes(self):
        self.assertEqual(self.command("pause udp"), "ok")
        self.assertEqual(self.command("resume udp"), "ok")

    def test_unknown_commands_are_refused(self):
        self.assertTrue(self.command("kill moon").startswith("error"))
        self.assertTrue(self.command("dance tcp").startswith("error"))
        self.assertTrue(self.command("kill").startswith("error"))


if __name__ == "__main__":
    CLIP = sys.argv.pop(1)
    unittest.main()
