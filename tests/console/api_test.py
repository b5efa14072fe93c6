#!/usr/bin/python3
"""The sandbox console's API against the real server: refusals with nothing written or run, and each call.

usage: api_test.py [--launcher PROGRAM] SERVER [unittest options]
The launcher (for example the Windows build's wine-run) starts the server program; the requests are made here.
"""
import argparse
import hashlib
import json
import os
import socket
import sys
import time
import unittest

_parser = argparse.ArgumentParser(add_help=False)
_parser.add_argument("--launcher", default="")
_parser.add_argument("server", nargs="?", default="")
_options, UNITTEST_ARGUMENTS = _parser.parse_known_args()
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from console_http import console_request  # noqa: E402
from sandbox import Sandbox  # noqa: E402

PAGE_INDEX = os.path.join(HERE, "..", "..", "sandbox", "console", "page", "index.html")

RAPTOR = "Blueprint'/Game/Demo/Dinos/Raptor.Raptor'"
MIB = 1 << 20


class Server(Sandbox):
    """A sandbox server with the demo world and configuration in a fresh directory, its console on a free port."""

    def __init__(self, *extra, **options):
        super().__init__(_options.server, *extra, launcher=_options.launcher, password="console-test-secret",
                         password_from="environment", **options)

    @property
    def config_path(self):
        return os.path.join(self.directory, "ArkApi", "Plugins", "Tidywarden", "config.json")

    def request(self, method, path, body=None, token=True, host=None, headers=None):
        """(status, headers, body bytes). `token` True sends the right one, a text sends that Authorization."""
        return console_request(self.console_port, self.token, method, path, body, token, host, headers)

    def json(self, method, path, body=None, expect=200):
        status, _, data = self.request(method, path, body)
        assert status == expect, (status, data)
        return json.loads(data)

    def command(self, line):
        return self.json("POST", "/api/command", json.dumps({"line": line}))["reply"]


def read_text(path):
    with open(path, "rb") as file:
        return file.read().decode("utf-8")


def digest(path):
    try:
        with open(path, "rb") as file:
            return hashlib.sha256(file.read()).hexdigest()
    except FileNotFoundError:
        return None


class EventReader:
    """GET /api/events read as a page reads it: blank-line separated blocks of `event:`/`data:` lines."""

    def __init__(self, server):
        self.socket = socket.create_connection(("127.0.0.1", server.console_port), timeout=30)
        self.socket.sendall((f"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:{server.console_port}\r\n"
                             f"Authorization: Bearer {server.token}\r\n\r\n").encode())
        self.buffer = b""
        header = self._until(b"\r\n\r\n")
        self.status_line = header.split(b"\r\n")[0]
        self.headers = header.lower()

    def _until(self, mark):
        while mark not in self.buffer:
            chunk = self.socket.recv(65536)
            if not chunk:
                raise ConnectionError("the event stream closed")
            self.buffer += chunk
        block, self.buffer = self.buffer.split(mark, 1)
        return block

    def next_event(self):
        while True:
            block = self._until(b"\n\n").decode("utf-8")
            fields = dict(line.split(": ", 1) for line in block.split("\n") if not line.startswith(":"))
            if "event" in fields:
                return fields["event"], json.loads(fields["data"])

    def wait_for(self, name, deadline_seconds=30):
        deadline = time.time() + deadline_seconds
        while time.time() < deadline:
            event, data = self.next_event()
            if event == name:
                return data
        raise AssertionError("no " + name + " event")

    def close(self):
        self.socket.close()


class ConsoleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def structures(self):
        return len(self.server.json("GET", "/api/world")["structures"])

    def test_refusals_write_and_run_nothing(self):
        server = self.server
        port = server.console_port
        wrong = "Bearer " + "0" * 32 if server.token != "0" * 32 else "Bearer " + "1" * 32
        last_changed = "Bearer " + server.token[:-1] + ("0" if server.token[-1] != "0" else "1")
        place = json.dumps({"line": "sandbox.place Wall_C"})
        new_config = '{"Destroylist": {}}'
        cases = [
            # name, method, path, body, keyword arguments, status
            ("no token", "GET", "/api/world", None, {"token": None}, 401),
            ("wrong token", "GET", "/api/config", None, {"token": wrong}, 401),
            ("token without Bearer", "GET", "/api/world", None, {"token": server.token}, 401),
            ("token with a byte more", "GET", "/api/world", None, {"token": f"Bearer {server.token}0"}, 401),
            ("token with its last character changed", "PUT", "/api/config", new_config,
             {"token": last_changed}, 401),
            ("command without token", "POST", "/api/command", place, {"token": None}, 401),
            ("save without token", "PUT", "/api/config", new_config, {"token": None}, 401),
            ("events without token", "GET", "/api/events", None, {"token": None}, 401),
            ("rebound name", "GET", "/api/world", None, {"host": f"attacker.example:{port}"}, 403),
            ("other port", "POST", "/api/command", place, {"host": f"127.0.0.1:{port + 1}"}, 403),
            ("no port", "PUT", "/api/config", new_config, {"host": "localhost"}, 403),
            ("page from a rebound name", "GET", "/", None, {"host": f"attacker.example:{port}", "token": None}, 403),
            ("foreign origin runs", "POST", "/api/command", place,
             {"headers": {"Origin": "http://attacker.example"}}, 403),
            ("foreign origin saves", "PUT", "/api/config", new_config, {"headers": {"Origin": "null"}}, 403),
            ("origin on another port", "POST", "/api/command", place,
             {"headers": {"Origin": f"http://127.0.0.1:{port + 1}"}}, 403),
            ("config over 1 MiB", "PUT", "/api/config", '{"x": "' + "a" * MIB + '"}', {}, 413),
            ("command over 1 MiB", "POST", "/api/command", json.dumps({"line": "sandbox.place Wall_C" + " " * MIB}),
             {}, 413),
            ("malformed JSON", "POST", "/api/command", '{"line": "sandbox.place Wall_C"', {}, 400),
            ("line not a string", "POST", "/api/command", '{"line": 5}', {}, 400),
            ("not an object", "POST", "/api/command", '["sandbox.place Wall_C"]', {}, 400),
            ("text not UTF-8", "PUT", "/api/config", b'{"Destroylist": {"\xff": {}}}', {}, 400),
            ("world from config, malformed", "POST", "/api/world-from-config", "{", {}, 400),
            ("check without token", "POST", "/api/check", new_config, {"token": None}, 401),
            ("foreign origin checks", "POST", "/api/check", new_config,
             {"headers": {"Origin": "http://attacker.example"}}, 403),
            ("checked text not UTF-8", "POST", "/api/check", b'{"Destroylist": {"\xff": {}}}', {}, 400),
        ]
        config_before = digest(server.config_path)
        backup_before = digest(server.config_path + ".bak")
        structures_before = self.structures()
        version_before = server.json("GET", "/api/world")["version"]
        for name, method, path, body, options, expected in cases:
            with self.subTest(name):
                status, headers, data = server.request(method, path, body, **options)
                self.assertEqual(status, expected, data)
                self.assertIn("error", json.loads(data), data)
                self.assertFalse([h for h in headers if h.startswith("access-control-")])
                self.assertEqual(headers.get("content-security-policy"), "default-src 'self'")
                self.assertEqual(digest(server.config_path), config_before)
                self.assertEqual(digest(server.config_path + ".bak"), backup_before)
                self.assertFalse(os.path.exists(server.config_path + ".saving"))
                self.assertEqual(self.structures(), structures_before)
        self.assertEqual(server.json("GET", "/api/world")["version"], version_before)

    def test_admitted_variants(self):
        server = self.server
        cases = [
            ("localhost", {"host": f"localhost:{server.console_port}"}),
            ("own origin", {"headers": {"Origin": f"http://127.0.0.1:{server.console_port}"}}),
            ("own origin by name", {"headers": {"Origin": f"http://localhost:{server.console_port}"}}),
        ]
        for name, options in cases:
            with self.subTest(name):
                status, headers, data = server.request("POST", "/api/command", '{"line": "sandbox.help"}', **options)
                self.assertEqual(status, 200, data)
                self.assertIn("sandbox.classes", json.loads(data)["reply"])
                self.assertEqual(headers.get("x-content-type-options"), "nosniff")
                self.assertEqual(headers.get("cache-control"), "no-store")

    def test_world_snapshot_and_a_command_that_changes_it(self):
        server = self.server
        server.command("sandbox.spawn Raptor_C 20 0")
        before = server.json("GET", "/api/world")
        raptors = [c for c in before["creatures"] if c["class"] == "Raptor_C"]
        self.assertGreaterEqual(len(raptors), 2)
        self.assertTrue(all(c["path"] == RAPTOR for c in raptors))
        self.assertEqual(len({c["id"] for c in before["creatures"] + before["structures"]}),
                         len(before["creatures"]) + len(before["structures"]))
        classes = {c["name"]: c for c in before["classes"]}
        self.assertEqual(classes["WallItem_C"]["builds"], "Wall_C")
        self.assertEqual(classes["WallItem_C"]["path"], "Blueprint'/Game/Demo/Items/WallItem.WallItem'")
        self.assertEqual(classes["Raptor_C"]["kind"], "creature")
        self.assertNotIn("PrimalItem", classes)
        self.assertTrue(before["plugin"]["loaded"])
        reply = server.command(f"Tidywarden.DestroySpecifydino {RAPTOR} 1")
        self.assertEqual(reply, f"清理指定恐龙{len(raptors)}条，执行完毕！")
        after = server.json("GET", "/api/world")
        self.assertGreater(after["version"], before["version"])
        self.assertFalse([c for c in after["creatures"] if c["class"] == "Raptor_C"])
        # Survivors keep their ids.
        kept = {c["id"] for c in before["creatures"] if c["class"] != "Raptor_C"}
        self.assertEqual(kept, {c["id"] for c in after["creatures"]})

    def test_first_rows_of_the_world(self):
        server = self.server
        whole = server.json("GET", "/api/world")
        self.assertNotIn("partial", whole)
        first = server.json("GET", "/api/world?rows=1")
        self.assertTrue(first["partial"])
        self.assertEqual(first["creatures"], whole["creatures"][:1])
        self.assertEqual(first["structures"], whole["structures"][:1])
        items = sum(len(inventory["items"]) for inventory in whole["inventories"])
        self.assertEqual(first["totals"], {"creatures": len(whole["creatures"]),
                                           "structures": len(whole["structures"]),
                                           "inventories": len(whole["inventories"]), "items": items})
        self.assertEqual([c["name"] for c in first["classes"]], [c["name"] for c in whole["classes"]])
        walls = sum(1 for s in whole["structures"] if s["class"] == "Wall_C")
        self.assertEqual({c["name"]: c["count"] for c in first["classes"]}["Wall_C"], walls)
        self.assertEqual(server.json("GET", "/api/world?lang=en&rows=99999999999999999999")["totals"], first["totals"])
        for value in ["", "-1", "ten", "1e3", "%31"]:
            with self.subTest(rows=value):
                status, _, data = server.request("GET", f"/api/world?rows={value}")
                if value == "":
                    self.assertEqual(status, 200, data)
                    self.assertNotIn("partial", json.loads(data))
                else:
                    self.assertEqual(status, 400, data)
                    self.assertIn("rows", json.loads(data)["error"])

    def test_config_read_save_and_failed_save(self):
        server = self.server
        original = read_text(server.config_path)
        config = server.json("GET", "/api/config")
        self.assertEqual(config["text"], original)
        self.assertTrue(config["exists"])
        self.assertEqual(os.path.normcase(os.path.basename(config["path"])), "config.json")
        faulty = '{\n  "Destroylist": {\n    "relic": {"Blueprint": 5}\n  }\n}'
        saved = server.json("PUT", "/api/config", faulty)
        self.assertTrue(saved["saved"])
        # Findings are placed at their line, in the language asked for; codes stay as they are.
        english = [f for f in saved["findings"] if f["code"] == "E112"]
        self.assertEqual([f["line"] for f in english], [3], saved["findings"])
        self.assertGreater(english[0]["column"], 1)
        chinese = [f for f in server.json("GET", "/api/config?lang=zh-CN")["findings"] if f["code"] == "E112"]
        self.assertEqual([(f["line"], f["column"]) for f in chinese], [(3, english[0]["column"])])
        self.assertRegex(chinese[0]["message"], "[\u4e00-\u9fff]")
        self.assertNotRegex(english[0]["message"], "[\u4e00-\u9fff]")
        self.assertEqual(read_text(server.config_path), faulty)
        self.assertEqual(read_text(server.config_path + ".bak"), original)
        # A save that cannot write its temporary file says why and leaves the file as it was.
        blocker = server.config_path + ".saving"
        os.mkdir(blocker)
        try:
            status, _, data = server.request("PUT", "/api/config", original)
        finally:
            os.rmdir(blocker)
        self.assertEqual(status, 500, data)
        self.assertIn("not saved", json.loads(data)["error"])
        self.assertEqual(read_text(server.config_path), faulty)
        self.assertTrue(server.json("PUT", "/api/config", original)["saved"])
        self.assertEqual(server.command("Tidywarden.reload"), "重新加载配置")

    def test_check_unsaved_text(self):
        server = self.server
        on_disk = digest(server.config_path)
        text = '{\n  "DestroyDinolist": {\n    "rex": {"Blueprint": "Blueprint\'/Game/Dinos/Rex/Rex.Rex_C\'"}\n  }\n}'
        english = server.json("POST", "/api/check", text)["findings"]
        suffix = [f for f in english if f["code"] == "W203"]
        self.assertEqual([f["line"] for f in suffix], [3], english)
        chinese = server.json("POST", "/api/check?lang=zh-CN", text)["findings"]
        self.assertEqual(sorted(f["code"] for f in chinese), sorted(f["code"] for f in english))
        self.assertRegex([f for f in chinese if f["code"] == "W203"][0]["message"], "[\u4e00-\u9fff]")
        broken = server.json("POST", "/api/check", '{"Destroylist": {\n  "a": }')["findings"]
        self.assertEqual([(f["code"], f["line"]) for f in broken], [("E101", 2)], broken)
        # Only checked: the file on disk is as it was.
        self.assertEqual(digest(server.config_path), on_disk)
        status, _, data = server.request("GET", "/api/check")
        self.assertEqual(status, 405, data)

    def test_every_tab_hears_every_change(self):
        server = self.server
        tabs = [EventReader(server), EventReader(server)]
        try:
            for tab in tabs:
                self.assertIn(b"200", tab.status_line)
                self.assertIn(b"content-type: text/event-stream", tab.headers)
                self.assertIn("line", tab.wait_for("log"))  # the backlog
            server.command("sandbox.place Foundation_C")
            versions = [tab.wait_for("world")["version"] for tab in tabs]
            self.assertEqual(versions[0], versions[1])
            server.command("sandbox.spawn Dodo_C 5")  # the plug-in destroys it as it spawns, and logs nothing
            server.json("PUT", "/api/config", read_text(server.config_path))
            for tab in tabs:
                tab.wait_for("config")
        finally:
            for tab in tabs:
                tab.close()

    def test_page_files(self):
        status, headers, data = self.server.request("GET", "/no-such-file.js", token=None)
        self.assertEqual(status, 404)
        if not os.path.exists(PAGE_INDEX):
            self.skipTest("no page in this tree")
        status, headers, data = self.server.request("GET", "/", token=None)
        self.assertEqual(status, 200)
        self.assertTrue(headers["content-type"].startswith("text/html"))
        with open(PAGE_INDEX, "rb") as page:
            self.assertEqual(data, page.read())

    def test_command_words(self):
        plugin = ["Tidywarden.reload", "Tidywarden.DestroySpecifystructure", "Tidywarden.DestroySpecifydino"]
        own = ["sandbox." + word for word in (
            "help", "classes", "creatures", "structures", "inventories", "spawn", "place", "give", "view", "finish",
            "engram", "startgame", "hooks", "commands", "unload", "load", "log", "check")]
        self.assertEqual(self.server.json("GET", "/api/commands"), {"commands": plugin + own})
        # The plug-in's words are those the host has registered: gone with the module, back in order with it.
        try:
            self.server.command("sandbox.unload")
            self.assertEqual(self.server.json("GET", "/api/commands"), {"commands": own})
        finally:
            self.server.command("sandbox.load")
        self.assertEqual(self.server.json("GET", "/api/commands"), {"commands": plugin + own})

    def test_unknown_api_and_wrong_method(self):
        for method, path, expected in [("GET", "/api/nothing", 404), ("DELETE", "/api/config", 405),
                                       ("GET", "/api/command", 405), ("POST", "/api/world", 405),
                                       ("POST", "/api/commands", 405)]:
            with self.subTest(f"{method} {path}"):
                status, _, data = self.server.request(method, path)
                self.assertEqual(status, expected, data)


class WorldFromConfigTest(unittest.TestCase):
    def check_demo_world(self, world):
        creatures = {c["class"] for c in world["creatures"]}
        classes = {c["name"]: c for c in world["classes"]}
        self.assertEqual(creatures, {"Dodo_C", "Rex_C"})
        self.assertEqual(classes["Contraband_C"]["path"], "Blueprint'/Game/Demo/Items/Contraband.Contraband'")
        self.assertEqual(classes["Rex_C"]["path"], "Blueprint'/Game/Demo/Dinos/Rex.Rex'")
        self.assertNotIn("Raptor_C", classes)
        self.assertNotIn("Berry_C", classes)
        rex_levels = sorted({c["level"] for c in world["creatures"] if c["class"] == "Rex_C"})
        self.assertEqual(rex_levels, [99, 100, 101])
        teams = {c["team"] for c in world["creatures"]}
        self.assertTrue(any(t < 49999 for t in teams) and any(t > 49999 for t in teams))
        chest = [i for i in world["inventories"] if i["name"] == "Chest"][0]
        self.assertEqual(len(chest["items"]), 2)  # the listed item and one unlisted

    def test_command_line(self):
        server = Server("--world-from-config")
        try:
            self.check_demo_world(server.json("GET", "/api/world"))
            self.assertTrue(os.path.exists(os.path.join(server.directory, "world-from-config.json")))
            # The structure command finds the structures the listed item builds.
            reply = server.command("Tidywarden.DestroySpecifystructure Blueprint'/Game/Demo/Items/Contraband.Contraband'")
            self.assertEqual(reply, "清理指定建筑2个，执行完毕！")
        finally:
            server.stop()

    def test_api_with_a_path_no_class_can_have(self):
        server = Server()
        try:
            config = json.loads(read_text(server.config_path))
            config["Destroylist"]["typo"] = {"Blueprint": "/Game/Demo/Items/Berry.Berry"}
            server.json("PUT", "/api/config", json.dumps(config))
            before = server.json("GET", "/api/world")["version"]
            made = server.json("POST", "/api/world-from-config", "{}")
            self.assertEqual([u["path"] for u in made["unmatched"]], ["/Game/Demo/Items/Berry.Berry"])
            self.assertTrue(made["unmatched"][0]["code"].startswith("W2"), made["unmatched"])
            # Asked in Chinese, the reason is the checker's finding in Chinese.
            chinese = server.json("POST", "/api/world-from-config?lang=zh-CN", "{}")["unmatched"][0]
            self.assertEqual(chinese["code"], made["unmatched"][0]["code"])
            self.assertRegex(chinese["message"], "[\u4e00-\u9fff]")
            self.assertNotEqual(chinese["message"], made["unmatched"][0]["message"])
            world = server.json("GET", "/api/world")
            self.assertGreater(world["version"], before)
            self.check_demo_world(world)
            self.assertEqual(json.loads(made["world"])["classes"][0]["kind"], "item")
            self.assertTrue(world["plugin"]["loaded"])
            # The plug-in, loaded again, holds the new world's dodos to the configuration.
            self.assertRegex(server.command("sandbox.spawn Dodo_C 5"),
                             r"^spawned Dodo_C_\d+ \(Blueprint'/Game/Demo/Dinos/Dodo.Dodo', level 5, team 0\): "
                             r"destroyed as it entered play$")
        finally:
            server.stop()


class StartTest(unittest.TestCase):
    def test_a_new_token_at_each_start_and_no_console(self):
        with Server() as first, Server() as second:
            self.assertRegex(first.console_address, r"^http://127\.0\.0\.1:\d+/#token=[0-9a-f]{32}$")
            self.assertNotEqual(first.token, second.token)
        # Without the console the server still serves RCON, and prints no console line.
        with Server(console=False, quiet=False) as server:
            self.assertIsNotNone(server.rcon_port)
        self.assertNotIn("console:", server.transcript)

if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS)
