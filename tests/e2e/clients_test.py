#!/usr/bin/python3
"""End-to-end: the sandbox server with the real plug-in, driven by two RCON clients written elsewhere.

usage: clients_test.py [--launcher PROGRAM] SERVER NODE_MODULES [unittest options, e.g. -k ScriptTest]
The launcher (for example the Windows build's wine-run) starts the server program; the clients run here.
"""
import argparse
import json
import multiprocessing
import os
import re
import shutil
import shlex
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

_parser = argparse.ArgumentParser(add_help=False)
_parser.add_argument("--launcher", default="")
_parser.add_argument("server", nargs="?", default="")
_parser.add_argument("node_modules", nargs="?", default="")
_options, UNITTEST_ARGUMENTS = _parser.parse_known_args()
LAUNCH = ([_options.launcher] if _options.launcher else []) + [_options.server]
NODE_MODULES = _options.node_modules
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from sandbox import Sandbox  # noqa: E402

DEMO_SCRIPT = os.path.join(HERE, "..", "..", "sandbox", "demo", "script.txt")
# A server under an emulator takes longer to start, the first time most of all.
START_SECONDS = 120 if _options.launcher else 30
PASSWORD = "e2e-secret"

WALL_ITEM = "Blueprint'/Game/Demo/Items/WallItem.WallItem'"
RAPTOR = "Blueprint'/Game/Demo/Dinos/Raptor.Raptor'"


def sandbox_server():
    """One sandbox server with the demo world and configuration in a fresh directory, RCON on a free port."""
    return Sandbox(_options.server, launcher=_options.launcher, password=PASSWORD)


def packet(request_id, kind, body):
    payload = struct.pack("<ii", request_id, kind) + body + b"\0\0"
    return struct.pack("<i", len(payload)) + payload


def read_packet(connection):
    def exactly(count):
        data = b""
        while len(data) < count:
            chunk = connection.recv(count - len(data))
            if not chunk:
                raise ConnectionError("closed")
            data += chunk
        return data
    size = struct.unpack("<i", exactly(4))[0]
    payload = exactly(size)
    request_id, kind = struct.unpack("<ii", payload[:8])
    return request_id, kind, payload[8:-2]


def raw_login(port, password=PASSWORD):
    connection = socket.create_connection(("127.0.0.1", port), timeout=5)
    connection.sendall(packet(7, 3, password.encode()))
    while True:
        request_id, kind, _ = read_packet(connection)
        if kind == 2:
            return connection, request_id


def raw_command(port, line):
    connection, request_id = raw_login(port)
    assert request_id == 7
    connection.sendall(packet(42, 2, line.encode("utf-8")))
    answer_id, kind, body = read_packet(connection)
    connection.close()
    assert answer_id == 42 and kind == 0
    return body.decode("utf-8")


def rconclt(port, *words, password=PASSWORD):
    # rconclt is a Python program that needs the system interpreter's packages.
    return subprocess.run(["/usr/bin/python3", shutil.which("rconclt") or "/usr/bin/rconclt",
                           f"{password}@127.0.0.1:{port}", *words],
                          capture_output=True, timeout=30)


class RconcltTest(unittest.TestCase):
    def setUp(self):
        self.server = sandbox_server()

    def tearDown(self):
        status = self.server.stop()
        self.assertEqual(status, 0, "the server should stop cleanly on an interrupt:\n" + self.server.transcript)

    def run_line(self, *words):
        result = rconclt(self.server.rcon_port, *words)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return result.stdout.decode("utf-8").strip()

    def test_plugin_commands_and_chinese_replies(self):
        self.assertEqual(self.run_line("Tidywarden.reload"), "重新加载配置")
        self.assertEqual(self.run_line("Tidywarden.DestroySpecifystructure", WALL_ITEM), "清理指定建筑3个，执行完毕！")
        self.assertEqual(self.run_line("Tidywarden.DestroySpecifydino", RAPTOR, "0"), "清理指定恐龙2条，执行完毕！")
        self.assertEqual(self.run_line("Tidywarden.DestroySpecifydino", RAPTOR), "格式错误！")

    def test_sandbox_commands(self):
        self.assertIn("refused", self.run_line("sandbox.give", "Backpack", "Contraband_C"))
        self.assertIn("the game saw: Item_2 [Berry_C]", self.run_line("sandbox.view", "Chest"))
        self.assertIn("destroyed as it entered play", self.run_line("sandbox.spawn", "Dodo_C", "3"))
        self.assertIn("5 hooked game functions", self.run_line("sandbox.hooks"))

    def test_wrong_password_is_refused(self):
        result = rconclt(self.server.rcon_port, "Tidywarden.reload", password="wrong")
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(self.run_line("Tidywarden.reload"), "重新加载配置")


class RconSrcdsTest(unittest.TestCase):
    def setUp(self):
        # scripts/setup installs the client; a missing one is a failure, not a reason to skip.
        self.assertTrue(os.path.isdir(os.path.join(NODE_MODULES, "rcon-srcds")), f"rcon-srcds not in {NODE_MODULES}")
        self.server = sandbox_server()

    def tearDown(self):
        self.server.stop()

    def run_client(self, password, *lines):
        environment = dict(os.environ, NODE_PATH=NODE_MODULES)
        result = subprocess.run(["node", os.path.join(HERE, "rcon_clients.js"), str(self.server.rcon_port), password,
                                 *lines], capture_output=True, timeout=60, env=environment)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return json.loads(result.stdout.decode("utf-8"))

    def test_plugin_and_sandbox_commands(self):
        result = self.run_client(PASSWORD, "Tidywarden.reload", f"Tidywarden.DestroySpecifystructure {WALL_ITEM}",
                                 f"Tidywarden.DestroySpecifydino {RAPTOR} 1", "sandbox.spawn Rex_C 150",
                                 "Tidywarden.DestroySpecifystructure")
        self.assertTrue(result["authenticated"], result)
        replies = [reply.strip() for reply in result["replies"]]
        self.assertEqual(replies[0], "重新加载配置")
        self.assertEqual(replies[1], "清理指定建筑3个，执行完毕！")
        self.assertEqual(replies[2], "清理指定恐龙3条，执行完毕！")
        self.assertIn("destroyed as it entered play", replies[3])
        self.assertEqual(replies[4], "格式错误！")

    def test_wrong_password_is_refused(self):
        result = self.run_client("wrong", "Tidywarden.reload")
        self.assertFalse(result["authenticated"])


class DefencesTest(unittest.TestCase):
    """Whatever one client sends, the server goes on answering a good client."""

    @classmethod
    def setUpClass(cls):
        cls.server = sandbox_server()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def assert_still_serving(self):
        self.assertEqual(raw_command(self.server.rcon_port, "Tidywarden.DestroySpecifydino"), "格式错误！")

    def send_raw(self, data, keep_open=False):
        connection = socket.create_connection(("127.0.0.1", self.server.rcon_port), timeout=5)
        connection.sendall(packet(1, 3, PASSWORD.encode()))
        read_packet(connection)
        connection.sendall(data)
        if keep_open:
            return connection
        try:
            connection.settimeout(2)
            self.assertEqual(connection.recv(1), b"", "the server should close the connection")
        except (ConnectionResetError, socket.timeout) as error:
            self.assertNotIsInstance(error, socket.timeout, "the server kept a malformed connection open")
        connection.close()
        return None

    def test_malformed_size_fields_close_the_connection(self):
        cases = {
            "too small": struct.pack("<iii", 9, 1, 2) + b"\0",
            "too large": struct.pack("<iii", 4097, 1, 2),
            "negative": struct.pack("<iii", -5, 1, 2),
            "garbage": b"GET / HTTP/1.1\r\nHost: x\r\n\r\n",
        }
        for name, data in cases.items():
            with self.subTest(name):
                self.send_raw(data)
                self.assert_still_serving()

    def test_disconnect_mid_packet(self):
        connection = self.send_raw(packet(5, 2, b"Tidywarden.reload")[:9], keep_open=True)
        connection.close()
        self.assert_still_serving()

    def test_wrong_password(self):
        connection, request_id = raw_login(self.server.rcon_port, "not the password")
        connection.close()
        self.assertEqual(request_id, -1)
        self.assert_still_serving()

    def test_idle_connections_do_not_keep_the_administrator_out(self):
        held = [socket.create_connection(("127.0.0.1", self.server.rcon_port), timeout=5) for _ in range(16)]
        try:
            # Connections that never log in make way for a newcomer, oldest first.
            self.assert_still_serving()
            try:
                closed = held[0].recv(1) == b""
            except ConnectionResetError:
                closed = True
            self.assertTrue(closed, "the oldest idle connection should have made way")
        finally:
            for connection in held:
                connection.close()

def _guess(port, end, indices, wrong):
    """Guessers, one thread each, opening a fresh connection for every guess so that no connection's own delay
    after a failure slows them; counts the wrong answers that arrive before `end` (a time.monotonic value)."""
    def guess(index):
        attempt = 0
        while time.monotonic() < end:
            attempt += 1
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=5) as connection:
                    connection.settimeout(max(0.01, end - time.monotonic()))
                    connection.sendall(packet(attempt, 3, f"guess {index}.{attempt}".encode()))
                    request_id, kind, _ = read_packet(connection)
            except OSError:
                continue  # evicted by a newcomer, which is never answered, or out of time
            if time.monotonic() < end and kind == 2 and request_id == -1:
                with wrong.get_lock():
                    wrong.value += 1

    threads = [threading.Thread(target=guess, args=(index,)) for index in indices]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


class PacingTest(unittest.TestCase):
    """Guessing from many connections at once is held to the listener's pace, and the administrator still gets in."""

    PACE = 20  # logins answered a second, the listener's default
    GUESSING = 5.0
    LONGEST_WAIT = 1.5

    def guess_while_the_administrator_logs_in(self, guessers):
        """Returns the wrong answers the guessers got a second and the administrator's longest wait to log in."""
        server = sandbox_server()
        wrong = multiprocessing.Value("i", 0)
        waits = []
        start = time.monotonic()
        end = start + self.GUESSING
        # The guessers' threads run in processes of their own, so the administrator's timing here never waits
        # for this interpreter's lock.
        workers = [multiprocessing.Process(target=_guess,
                                           args=(server.rcon_port, end, range(first, guessers, 4), wrong))
                   for first in range(4)]
        try:
            for worker in workers:
                worker.start()
            for at in (1.0, 2.5, 4.0):
                time.sleep(max(0.0, start + at - time.monotonic()))
                asked = time.monotonic()
                connection, request_id = raw_login(server.rcon_port)
                waits.append(time.monotonic() - asked)
                connection.close()
                self.assertEqual(request_id, 7, f"the administrator was refused at {at} s")
        finally:
            for worker in workers:
                worker.join()
            server.stop()
        return wrong.value / self.GUESSING, max(waits)

    def test_guessing_is_paced_and_the_administrator_gets_in(self):
        # One fewer than the 16 places: nobody is evicted and the administrator waits behind every guesser.
        # Many more: newcomers evict each other's guesses before they are answered.
        for guessers in (15, 64):
            with self.subTest(guessers=guessers):
                per_second, longest_wait = self.guess_while_the_administrator_logs_in(guessers)
                print(f"{guessers} guessers: {per_second:.1f} wrong answers a second; "
                      f"the administrator waited at most {longest_wait * 1000:.0f} ms", file=sys.stderr)
                self.assertLessEqual(per_second, 1.2 * self.PACE)
                self.assertGreater(per_second, 0, "the guessers got no answers at all")
                self.assertLess(longest_wait, self.LONGEST_WAIT)


def gbk(text):
    return text.encode("gbk")


class ScriptTest(unittest.TestCase):
    """The demo's story from a script file, without a network: every reply, and the log on console and in the file."""

    LOADED = "已加载:Tidywarden开发组赞助制作.插件发布群730528146"
    STOOD_DOWN = "【插件加载失败】非常抱歉！由于Orrin抄袭Velka，Orrin与我二选一！"
    LOG_LINE = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d \[Sweepmark1\.4\.1\]\[info\] " + re.escape(LOADED) + "$",
                          re.MULTILINE)

    @staticmethod
    def run_story(*options):
        """Runs the story in a fresh server directory; returns the status, both outputs and the log file's bytes."""
        directory = tempfile.mkdtemp(prefix="tidywarden-script-")
        try:
            story = DEMO_SCRIPT
            result = subprocess.run(LAUNCH + ["--dir", directory, "--demo-config", "--script", story, *options],
                                    capture_output=True, timeout=300)
            with open(os.path.join(directory, "ArkApi", "Logs", "sandbox.log"), "rb") as log:
                log_file = log.read()
        finally:
            shutil.rmtree(directory, ignore_errors=True)
        return (result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8", errors="replace"),
                log_file)

    @classmethod
    def setUpClass(cls):
        # Quiet, the output is only "> command" lines, each followed by its reply.
        cls.status, stdout, cls.stderr, cls.log_file = cls.run_story("--quiet")
        cls.replies = []
        for line in stdout.split("\n"):
            if line.startswith("> "):
                cls.replies.append((line[2:], ""))
            elif cls.replies and line:
                command, reply = cls.replies[-1]
                cls.replies[-1] = (command, reply + "\n" + line if reply else line)
        cls.console_status, cls.console, cls.console_stderr, _ = cls.run_story()

    def test_runs_every_line_and_exits_cleanly(self):
        self.assertEqual(self.status, 0, self.stderr)
        self.assertEqual(self.stderr, "")
        with open(DEMO_SCRIPT, encoding="utf-8") as story:
            commands = [line.strip() for line in story if line.strip() and not line.startswith("#")]
        self.assertEqual([command for command, _ in self.replies], commands)

    def test_ctrl_c_ends_a_long_script_between_commands(self):
        directory = tempfile.mkdtemp(prefix="tidywarden-script-")
        try:
            script = os.path.join(directory, "long.txt")
            lines = 50000
            with open(script, "w") as file:
                file.write("sandbox.hooks\n" * lines)
            server = subprocess.Popen(LAUNCH + ["--dir", directory, "--quiet", "--script", script],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            # Unread, the pipe fills and holds the server mid-script until the interrupt is in.
            first = server.stdout.read(4096)
            server.send_signal(signal.SIGINT)
            rest, errors = server.communicate(timeout=START_SECONDS)
        finally:
            shutil.rmtree(directory, ignore_errors=True)
        output = (first + rest).decode("utf-8")
        self.assertEqual(server.returncode, 0, errors)
        self.assertIn("stopped before the end of the script", output[-200:])
        self.assertLess(output.count("> sandbox.hooks"), lines)

    def test_replies_tell_the_story(self):
        expected = [
            ("sandbox.hooks", "5 hooked game functions"),
            ("sandbox.commands", "3 RCON commands"),
            ("sandbox.view Chest", "the game saw: Item_2 [Berry_C]"),
            ("sandbox.give Backpack Contraband_C", "refused"),
            ("sandbox.give Backpack Berry_C", "added"),
            ("sandbox.structures", "5 structures in the persistent level"),
            (f"Tidywarden.DestroySpecifystructure {WALL_ITEM}", "清理指定建筑3个，执行完毕！"),
            ("sandbox.structures", "2 structures in the persistent level"),
            ("Tidywarden.DestroySpecifystructure", "格式错误！"),
            ("sandbox.creatures", "4 creatures in the persistent level"),
            (f"Tidywarden.DestroySpecifydino {RAPTOR} 0", "清理指定恐龙2条，执行完毕！"),
            ("sandbox.creatures", "2 creatures in the persistent level"),
            (f"Tidywarden.DestroySpecifydino {RAPTOR} 1", "清理指定恐龙1条，执行完毕！"),
            ("sandbox.creatures", "1 creature in the persistent level"),
            ("sandbox.spawn Dodo_C 5", "destroyed as it entered play"),
            ("sandbox.spawn Rex_C 120", "destroyed as it entered play"),
            ("sandbox.spawn Rex_C 20", "alive"),
            ("Tidywarden.reload", "重新加载配置"),
            ("sandbox.hooks", "0 hooked game functions"),
            ("Tidywarden.reload", "unknown command: Tidywarden.reload"),
            ("sandbox.spawn Dodo_C 5", "alive"),
            ("sandbox.log 10", self.STOOD_DOWN),
        ]
        remaining = iter(self.replies)
        for command, text in expected:
            for seen, reply in remaining:
                if seen == command:
                    self.assertIn(text, reply, f"reply to {command}")
                    break
            else:
                self.fail(f"no {command} after the previous check")

    def test_console_shows_the_log_readably_and_the_file_keeps_its_bytes(self):
        self.assertEqual(self.console_status, 0, self.console_stderr)
        self.assertRegex(self.console, self.LOG_LINE)
        self.assertIn(self.STOOD_DOWN, self.console)
        self.assertIn(gbk(self.LOADED), self.log_file)
        self.assertIn(gbk(self.STOOD_DOWN), self.log_file)
        self.assertNotIn(self.LOADED.encode("utf-8"), self.log_file)


@unittest.skipUnless(_options.launcher, "a Windows console needs the emulator")
class WindowsConsoleTest(unittest.TestCase):
    """On a Windows console (wine's, on a pseudo-terminal, code page 437) the GBK log and the replies are readable."""

    def test_log_and_replies_are_readable(self):
        directory = tempfile.mkdtemp(prefix="tidywarden-console-")
        try:
            story = os.path.join(directory, "story.txt")
            with open(story, "w", encoding="utf-8") as file:
                file.write("Tidywarden.reload\n")
            command = shlex.join(LAUNCH + ["--dir", directory, "--demo-config", "--script", story])
            # script(1) gives the program a terminal, which wine turns into a Windows console.
            result = subprocess.run(["script", "-qec", command, "/dev/null"], stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=300, env=dict(os.environ, LANG="C.UTF-8"))
        finally:
            shutil.rmtree(directory, ignore_errors=True)
        output = result.stdout.decode("utf-8", errors="replace")
        self.assertEqual(result.returncode, 0, output)
        self.assertIn("已加载:Tidywarden开发组赞助制作", output)
        self.assertIn("重新加载配置", output)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS, verbosity=2)
