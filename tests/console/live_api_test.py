#!/usr/bin/python3
"""tidywarden-console against sandbox servers standing in for live ones: their directories, RCON ports and log files,
each sandbox started without its own console. The configuration read and saved with findings, commands over RCON,
the plug-in's log lines as events, a wrong password, a server that goes away and comes back, two servers at once,
and the refusals with nothing written or run.

usage: live_api_test.py [--launcher PROGRAM] CONSOLE SANDBOX [unittest options]
The launcher (for example the Windows build's wine-run) starts both programs; the requests are made here.
"""
import json
import os
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from live_console import LiveConsole, LiveConsoleError, parse_arguments, password_file_holding, wait_for_event  # noqa: E402
from sandbox import Sandbox  # noqa: E402

_options, UNITTEST_ARGUMENTS = parse_arguments()

WALL_ITEM = "Blueprint'/Game/Demo/Items/WallItem.WallItem'"
DODO = "Blueprint'/Game/Demo/Dinos/Dodo.Dodo'"
RELOADED = "重新加载配置"
PURGE_RAPTORS = "Tidywarden.DestroySpecifydino Blueprint'/Game/Demo/Dinos/Raptor.Raptor' 0"
# How long an answer to a server that cannot be reached may take: at once, not after a time limit.
AT_ONCE_SECONDS = 2.0


def live_server(rcon_port=0):
    """A sandbox server standing in for a live one: no console of its own, its password in a file."""
    return Sandbox(_options.sandbox, launcher=_options.launcher, console=False, rcon_port=rcon_port)


def config_path(server):
    return os.path.join(server.directory, "ArkApi", "Plugins", "Tidywarden", "config.json")


def log_path(server):
    return os.path.join(server.directory, "ArkApi", "Logs", "sandbox.log")


def password_file(server):
    return os.path.join(server.directory, "rcon-password")


def console_for(server, *extra, password=True):
    arguments = ["--server-dir", server.directory, "--rcon", f"127.0.0.1:{server.rcon_port}", "--log", log_path(server)]
    if password:
        arguments += ["--rcon-password-file", password_file(server)]
    return LiveConsole(_options.console, *arguments, *extra, launcher=_options.launcher)


def wait_for_state(console, state, server=None, seconds=30):
    """Polls /api/servers until the server (the first when None) is in `state`; its entry, or None."""
    deadline = time.monotonic() + seconds
    entry = None
    while time.monotonic() < deadline:
        _, body, _ = console.request("GET", "/api/servers")
        entry = next(each for each in body["servers"] if server is None or each["name"] == server)
        if entry["state"] == state:
            return entry
        time.sleep(0.1)
    return None


def read(path):
    with open(path, "rb") as file:
        return file.read()


class StoryTest(unittest.TestCase):
    """One server: the configuration, its certain fix, the reload, the structure command and the plug-in's lines."""

    @classmethod
    def setUpClass(cls):
        cls.server = live_server()
        cls.console = console_for(cls.server)
        cls.events = cls.console.events()

    @classmethod
    def tearDownClass(cls):
        cls.console.__exit__()
        cls.server.stop()

    def test_1_console_line_and_servers(self):
        self.assertRegex(self.console.transcript, r"(?m)^console: http://127\.0\.0\.1:\d+/#token=[0-9a-f]{32}$")
        entry = wait_for_state(self.console, "answering")
        self.assertIsNotNone(entry, "the server never answered")
        self.assertEqual(entry["rcon"], f"127.0.0.1:{self.server.rcon_port}")
        self.assertTrue(entry["configPath"].startswith(self.server.directory), entry["configPath"])
        self.assertTrue(entry["configPath"].endswith("config.json"), entry["configPath"])
        _, body, _ = self.console.request("GET", "/api/servers")
        self.assertEqual(body["mode"], "live")
        self.assertNotIn("password", json.dumps(body))

    def test_2_config_read_saved_with_a_certain_fix(self):
        status, body, _ = self.console.request("GET", "/api/config?lang=zh-CN")
        self.assertEqual(status, 200)
        self.assertEqual(body["text"].encode("utf-8"), read(config_path(self.server)))
        self.assertEqual(body["findings"], [])
        wrong = body["text"].replace("Dodo.Dodo'", "Dodo.Dodo_C'")
        status, saved, _ = self.console.request("PUT", "/api/config?lang=zh-CN", wrong)
        self.assertEqual((status, saved["saved"]), (200, True))
        self.assertEqual(read(config_path(self.server)), wrong.encode("utf-8"))
        self.assertEqual(read(config_path(self.server) + ".bak"), body["text"].encode("utf-8"))
        marked = [finding for finding in saved["findings"] if finding["code"] == "W203"]
        self.assertEqual(len(marked), 1, saved["findings"])
        fix = marked[0]["fix"]
        raw = wrong.encode("utf-8")
        self.assertEqual(raw[fix["begin"]:fix["end"]].decode("utf-8"), fix["from"])
        self.assertEqual(fix["to"], json.dumps(DODO))
        fixed = (raw[:fix["begin"]] + fix["to"].encode("utf-8") + raw[fix["end"]:]).decode("utf-8")
        self.assertEqual(fixed, body["text"])
        status, again, _ = self.console.request("PUT", "/api/config", fixed)
        self.assertEqual((status, again["findings"]), (200, []))

    def test_3_reload_answered_and_logged(self):
        status, body = self.console.command("Tidywarden.reload")
        self.assertEqual((status, body), (200, {"line": "Tidywarden.reload", "reply": RELOADED}))
        line = wait_for_event(self.events, lambda name, data: name == "log" and data["plugin"])
        self.assertIsNotNone(line, "no plug-in line reached /api/events")
        self.assertIn("[Sweepmark1.4.1]", line[1]["line"])

    def test_4_structure_command_counted(self):
        status, body = self.console.command(f"Tidywarden.DestroySpecifystructure {WALL_ITEM}")
        self.assertEqual((status, body["reply"]), (200, "清理指定建筑3个，执行完毕！"))

    def test_5_broken_file_reloaded_answers_nothing_and_logs_an_error(self):
        status, _, _ = self.console.request("PUT", "/api/config", '{"Destroylist": ')
        self.assertEqual(status, 200)
        status, body = self.console.command("Tidywarden.reload")
        self.assertEqual((status, body["reply"]), (200, ""))
        error = wait_for_event(self.events, lambda name, data: name == "log" and data["plugin"] and "[error]" in
                               data["line"])
        self.assertIsNotNone(error, "the plug-in's error line did not reach /api/events")
        self.console.request("PUT", "/api/config", read(config_path(self.server) + ".bak").decode("utf-8"))

    def test_6_no_world(self):
        status, _, _ = self.console.request("GET", "/api/world")
        self.assertEqual(status, 404)
        status, body, _ = self.console.request("GET", "/mode.js", token=False)
        self.assertEqual(status, 200)
        self.assertIn(b"'live'", body)

    def test_7_refusals_write_and_run_nothing(self):
        before = read(config_path(self.server))
        wrong_token = self.console.token[:-1] + ("0" if self.console.token[-1] != "0" else "1")
        cases = [
            ("no token", dict(token=False), 401),
            ("one character wrong", dict(token=f"Bearer {wrong_token}"), 401),
            ("a foreign Host", dict(host="evil.example:80"), 403),
            ("a foreign Origin", dict(headers={"Origin": "http://evil.example"}), 403),
        ]
        for name, options, expected in cases:
            with self.subTest(name):
                status, _, headers = self.console.request("PUT", "/api/config", "{}", **options)
                self.assertEqual(status, expected)
                self.assertEqual(headers.get("content-security-policy"), "default-src 'self'")
                status, _, _ = self.console.request("POST", "/api/command", {"line": PURGE_RAPTORS}, **options)
                self.assertEqual(status, expected)
        with self.subTest("over 1 MiB"):
            status, _, _ = self.console.request("PUT", "/api/config", " " * ((1 << 20) + 1))
            self.assertEqual(status, 413)
        with self.subTest("malformed JSON"):
            status, _, _ = self.console.request("POST", "/api/command", "{line")
            self.assertEqual(status, 400)
        with self.subTest("an unknown server"):
            status, _, _ = self.console.request("PUT", "/api/config?server=nobody", "{}")
            self.assertEqual(status, 404)
        self.assertEqual(read(config_path(self.server)), before)
        # Nothing refused reached the server: the raptors are all still there for the purge admitted now.
        self.assertEqual(self.console.command(PURGE_RAPTORS)[1]["reply"], "清理指定恐龙2条，执行完毕！")


class PasswordTest(unittest.TestCase):
    def test_wrong_password_shown_once_then_the_right_one_typed(self):
        with live_server() as server:
            wrong = password_file_holding("not-the-password")
            try:
                arguments = ["--server-dir", server.directory, "--rcon", f"127.0.0.1:{server.rcon_port}",
                             "--rcon-password-file", wrong]
                with LiveConsole(_options.console, *arguments, launcher=_options.launcher) as console:
                    self.assertIsNotNone(wait_for_state(console, "password-refused"))
                    started = time.monotonic()
                    status, body = console.command("Tidywarden.reload")
                    self.assertEqual(status, 503)
                    self.assertIn("refused", body["error"])
                    self.assertLess(time.monotonic() - started, AT_ONCE_SECONDS)
                    # Not retried: the server would close the port to it after five.
                    time.sleep(1.5)
                    self.assertIsNotNone(wait_for_state(console, "password-refused", seconds=1))
                    status, body, _ = console.request("POST", "/api/password", {"password": server.password})
                    self.assertEqual(status, 200)
                    self.assertNotIn(server.password, json.dumps(body))
                    self.assertIsNotNone(wait_for_state(console, "answering"))
                    self.assertEqual(console.command("Tidywarden.reload"), (200, {"line": "Tidywarden.reload",
                                                                                  "reply": RELOADED}))
            finally:
                os.remove(wrong)

    def test_password_file_that_cannot_be_sent_is_refused_at_start(self):
        with live_server() as server:
            unusable = password_file_holding("x" * 5000)
            try:
                with self.assertRaises(LiveConsoleError) as refused:
                    LiveConsole(_options.console, "--server-dir", server.directory, "--rcon",
                                f"127.0.0.1:{server.rcon_port}", "--rcon-password-file", unusable,
                                launcher=_options.launcher)
                self.assertIn("longer than fits in one packet", str(refused.exception))
            finally:
                os.remove(unusable)

    def test_no_password_is_asked_for(self):
        with live_server() as server, console_for(server, password=False) as console:
            self.assertIsNotNone(wait_for_state(console, "no-password"))
            status, _ = console.command("Tidywarden.reload")
            self.assertEqual(status, 503)
            # Nothing that cannot go into a login packet is taken: refused at once, the page still asking.
            for unusable in ("", "a\0b", "x" * 5000):
                status, body, _ = console.request("POST", "/api/password", {"password": unusable})
                self.assertEqual(status, 400, unusable[:8])
                self.assertIn("password", body["error"])
            self.assertIsNotNone(wait_for_state(console, "no-password"))
            console.request("POST", "/api/password", {"password": server.password})
            self.assertIsNotNone(wait_for_state(console, "answering"))


class OutageTest(unittest.TestCase):
    def test_server_gone_answered_at_once_then_found_again(self):
        first = live_server()
        port, password = first.rcon_port, first.password
        keep = password_file_holding(password)
        arguments = ["--server-dir", first.directory, "--rcon", f"127.0.0.1:{port}", "--rcon-password-file", keep]
        second = None
        try:
            with LiveConsole(_options.console, *arguments, launcher=_options.launcher) as console:
                events = console.events()
                self.assertIsNotNone(wait_for_state(console, "answering"))
                first.stop()
                # The first command after the loss may be the one that finds it; it is answered with an error.
                self.assertNotEqual(console.command("Tidywarden.reload")[0], 200)
                self.assertIsNotNone(wait_for_state(console, "unreachable"))
                started = time.monotonic()
                status, body = console.command("Tidywarden.reload")
                self.assertEqual(status, 503)
                self.assertIn("does not answer", body["error"])
                self.assertLess(time.monotonic() - started, AT_ONCE_SECONDS)
                self.assertIsNotNone(wait_for_event(events, lambda name, data: name == "rcon" and
                                                    data["state"] == "unreachable"), "the page was not told")
                second = Sandbox(_options.sandbox, launcher=_options.launcher, console=False, rcon_port=port,
                                 password=password)
                self.assertIsNotNone(wait_for_event(events, lambda name, data: name == "rcon" and
                                                    data["state"] == "answering"), "the page was not told")
                self.assertEqual(console.command("Tidywarden.reload")[1]["reply"], RELOADED)
        finally:
            os.remove(keep)
            first.stop()
            if second:
                second.stop()


class ClusterTest(unittest.TestCase):
    def test_two_servers_saved_and_reloaded(self):
        with live_server() as one, live_server() as two:
            listing = [{"name": name, "serverDir": server.directory, "rcon": f"127.0.0.1:{server.rcon_port}",
                        "passwordFile": password_file(server), "log": log_path(server)}
                       for name, server in (("island", one), ("center", two))]
            with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as file:
                json.dump(listing, file)
            try:
                with LiveConsole(_options.console, "--servers", file.name, launcher=_options.launcher) as console:
                    _, body, _ = console.request("GET", "/api/servers")
                    self.assertEqual([entry["name"] for entry in body["servers"]], ["island", "center"])
                    text = read(config_path(one)).decode("utf-8").replace("Dodo.Dodo'", "Raptor.Raptor'")
                    for name, server in (("island", one), ("center", two)):
                        with self.subTest(name):
                            self.assertIsNotNone(wait_for_state(console, "answering", server=name))
                            status, _, _ = console.request("PUT", f"/api/config?server={name}", text)
                            self.assertEqual(status, 200)
                            self.assertEqual(read(config_path(server)), text.encode("utf-8"))
                            self.assertEqual(console.command("Tidywarden.reload", server=name)[1]["reply"], RELOADED)
            finally:
                os.remove(file.name)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS)
