#!/usr/bin/python3
"""The server's ready line and the harness that waits for it: the line's form, a server started with each set of
listeners, servers that never become ready, and the command that waits for a server started elsewhere.

usage: sandbox_test.py [--launcher PROGRAM] SERVER [unittest options]
The launcher (for example the Windows build's wine-run) starts the server program.
"""
import argparse
import http.client
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import sandbox as harness  # noqa: E402
from sandbox import READY_PREFIX, Sandbox, SandboxError, endpoint, find_ready, parse_ready_line  # noqa: E402

_parser = argparse.ArgumentParser(add_help=False)
_parser.add_argument("--launcher", default="")
_parser.add_argument("server", nargs="?", default="")
_options, UNITTEST_ARGUMENTS = _parser.parse_known_args()
HARNESS = os.path.join(HERE, "sandbox.py")
CONSOLE_DEFAULT_PORT = 27080


def sandbox(*extra, **options):
    return Sandbox(_options.server, *extra, launcher=_options.launcher, **options)


def stand_in(source):
    """A program in the server's place that runs the Python `source`, output unbuffered."""
    return [sys.executable, "-u", "-c", "import sys, time\n" + source]


class ReadyLineTest(unittest.TestCase):
    def test_lines_and_their_objects(self):
        both = {"rcon": "127.0.0.1:40123", "console": "http://127.0.0.1:40124/#token=ab"}
        cases = [
            ("both", READY_PREFIX + json.dumps(both) + "\n", both),
            ("from a Windows program", READY_PREFIX + json.dumps(both) + "\r\n", both),
            ("RCON off", READY_PREFIX + '{"rcon": null, "console": "http://x/"}',
             {"rcon": None, "console": "http://x/"}),
            ("another line", "tidywarden-sandbox: RCON listening on 127.0.0.1:40123", None),
            ("the prefix further in", "> " + READY_PREFIX + json.dumps(both), None),
        ]
        for name, line, expected in cases:
            with self.subTest(name):
                self.assertEqual(parse_ready_line(line), expected)

    def test_lines_out_of_form_are_refused(self):
        cases = [
            ("not JSON", READY_PREFIX + '{"rcon": '),
            ("not an object", READY_PREFIX + '["127.0.0.1:1", null]'),
            ("a field missing", READY_PREFIX + '{"rcon": "127.0.0.1:1"}'),
            ("a field more", READY_PREFIX + '{"rcon": null, "console": null, "x": 1}'),
            ("a port as a number", READY_PREFIX + '{"rcon": 27020, "console": null}'),
        ]
        for name, line in cases:
            with self.subTest(name), self.assertRaises(ValueError):
                parse_ready_line(line)

    def test_only_whole_lines_count(self):
        line = READY_PREFIX + '{"rcon": "127.0.0.1:5", "console": null}'
        cases = [
            ("before it", "console: http://x/\n", None),
            ("half written", "console: http://x/\n" + line[:-3], None),
            ("without its end", line, None),
            ("whole", "console: http://x/\n" + line + "\n", {"rcon": "127.0.0.1:5", "console": None}),
        ]
        for name, transcript, expected in cases:
            with self.subTest(name):
                self.assertEqual(find_ready(transcript), expected)

    def test_endpoints(self):
        cases = [("127.0.0.1:27020", ("127.0.0.1", 27020)), ("[::1]:40000", ("::1", 40000)),
                 ("*:27020", ("127.0.0.1", 27020)), ("192.168.1.5:1", ("192.168.1.5", 1))]
        for address, expected in cases:
            with self.subTest(address):
                self.assertEqual(endpoint(address), expected)


class ServerReadyTest(unittest.TestCase):
    """The real server prints its ready line once, after the lines for people, naming what it listens on."""

    def test_each_set_of_listeners(self):
        cases = [
            # name, harness options, RCON on, console on
            ("both, quiet", {}, True, True),
            ("both, the log shown", {"quiet": False}, True, True),
            ("console only", {"rcon": False}, False, True),
            ("RCON only", {"console": False}, True, False),
        ]
        for name, options, rcon, console in cases:
            with self.subTest(name):
                with sandbox(**options) as server:
                    self.check_ready_line(server, rcon, console)
                    if rcon:
                        socket.create_connection((server.rcon_host, server.rcon_port), timeout=10).close()
                    if console:
                        self.assertEqual(self.page_status(server), 200)
                self.assertEqual(server.status, 0, server.transcript)
                self.assertFalse(os.path.exists(server.directory))

    def test_console_default_port_taken(self):
        # The server runs without the console; the line says so.
        with socket.socket() as holder:
            try:
                holder.bind(("127.0.0.1", CONSOLE_DEFAULT_PORT))
                holder.listen()
            except OSError:
                pass  # another program holds it: as taken for the server
            with sandbox(console_port=None) as server:
                self.check_ready_line(server, True, False)
                self.assertIn(f"127.0.0.1:{CONSOLE_DEFAULT_PORT}", server.transcript)
        self.assertEqual(server.status, 0, server.transcript)

    def check_ready_line(self, server, rcon, console):
        lines = server.transcript.replace("\r\n", "\n").split("\n")
        ready = [number for number, line in enumerate(lines) if line.startswith(READY_PREFIX)]
        self.assertEqual(len(ready), 1, server.transcript)
        self.assertEqual(parse_ready_line(lines[ready[0]]), server.ready)
        people = {"rcon": re.compile(r"^tidywarden-sandbox: RCON listening on (\S+)$"),
                  "console": re.compile(r"^console: (http://\S+)$")}
        for field, on in (("rcon", rcon), ("console", console)):
            said = [(number, match.group(1)) for number, match in enumerate(map(people[field].match, lines)) if match]
            if not on:
                self.assertIsNone(server.ready[field])
                self.assertEqual(said, [])
                continue
            self.assertEqual(len(said), 1, server.transcript)
            self.assertEqual(server.ready[field], said[0][1])
            self.assertLess(said[0][0], ready[0], "the ready line came before the line for people")
        self.assertEqual(server.console_address is not None, console)
        if console:
            self.assertRegex(server.token, "^[0-9a-f]{32}$")
            self.assertEqual(server.console_address, f"{server.console_base}#token={server.token}")

    @staticmethod
    def page_status(server):
        connection = http.client.HTTPConnection("127.0.0.1", server.console_port, timeout=10)
        try:
            connection.request("GET", "/")
            return connection.getresponse().status
        finally:
            connection.close()


class NotReadyTest(unittest.TestCase):
    """A server that never becomes ready is stopped and reported with what it printed."""

    def test_servers_that_exit_first(self):
        missing_world = os.path.join(tempfile.gettempdir(), "tidywarden-no-such-world.json")
        cases = [
            # name, extra options, harness options, exit status, text of the server's own
            ("a world file that is not there", ["--world", missing_world], {}, 2, "tidywarden-no-such-world.json"),
            ("a world it cannot build", [], {"world": {"creatures": "none"}}, 1, "creatures"),
            ("an option it does not know", ["--no-such-option"], {}, 2, "--no-such-option"),
            ("RCON without a password", [], {"password_from": None}, 2, "password"),
        ]
        for name, extra, options, status, text in cases:
            with self.subTest(name):
                with self.assertRaises(SandboxError) as raised:
                    sandbox(*extra, **options)
                self.assertIn(f"exited with status {status} before it was ready", raised.exception.reason)
                self.assertIn(text, raised.exception.transcript)
                self.assertIn(raised.exception.transcript, str(raised.exception))

    def test_programs_that_never_print_a_ready_line(self):
        cases = [
            # name, the program, why it was not ready, what it printed
            ("silent", "print('starting'); time.sleep(60)", "not ready within 1 s", "starting"),
            ("a ready line out of form", f"print({READY_PREFIX + '{oops'!r}); time.sleep(60)", "not JSON", "{oops"),
        ]
        for name, source, reason, printed in cases:
            with self.subTest(name):
                with self.assertRaises(SandboxError) as raised:
                    Sandbox.from_command(stand_in(source), start_seconds=1)
                self.assertIn(reason, raised.exception.reason)
                self.assertIn(printed, raised.exception.transcript)

    def test_a_program_that_ignores_the_interrupt_is_killed(self):
        source = ("import signal; signal.signal(signal.SIGINT, signal.SIG_IGN)\n"
                  f"print({READY_PREFIX + json.dumps({'rcon': None, 'console': None})!r}); time.sleep(600)")
        server = Sandbox.from_command(stand_in(source))
        with mock.patch.object(harness, "STOP_SECONDS", 1):
            self.assertIsNone(server.stop())
        self.assertIsNotNone(server.process.poll())


class WaitCommandTest(unittest.TestCase):
    """`sandbox.py --wait`, for a server started elsewhere: its fields once it is ready, why when it is not."""

    def wait(self, source, *fields):
        with tempfile.TemporaryDirectory() as directory:
            output_path = os.path.join(directory, "server.out")
            with open(output_path, "ab") as output:
                program = subprocess.Popen(stand_in(source), stdout=output, stderr=subprocess.STDOUT)
            try:
                return subprocess.run([sys.executable, HARNESS, "--wait", output_path, "--pid", str(program.pid),
                                       "--timeout", "20", *fields], capture_output=True, text=True, timeout=60)
            finally:
                program.kill()
                program.wait()

    def test_fields_of_a_ready_server(self):
        ready = {"rcon": "127.0.0.1:40123", "console": None}
        source = f"print('warming up'); time.sleep(0.3); print({READY_PREFIX + json.dumps(ready)!r}); time.sleep(60)"
        cases = [((), json.dumps(ready) + "\n"), (("console", "rcon"), "\n127.0.0.1:40123\n"),
                 (("rcon",), "127.0.0.1:40123\n")]
        for fields, printed in cases:
            with self.subTest(fields=fields):
                result = self.wait(source, *fields)
                self.assertEqual((result.returncode, result.stdout), (0, printed), result.stderr)

    def test_a_server_that_exits_first(self):
        result = self.wait("print('cannot start'); sys.exit(1)", "rcon")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, "")
        self.assertIn("exited before it was ready", result.stderr)
        self.assertIn("cannot start", result.stderr)

    def test_an_unknown_field(self):
        result = self.wait("time.sleep(60)", "port")
        self.assertEqual(result.returncode, 2)
        self.assertIn("no such field: port", result.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS, verbosity=2)
