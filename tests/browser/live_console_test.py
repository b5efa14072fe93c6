#!/usr/bin/python3
"""tidywarden-console's page in headless chromium, against sandbox servers standing in for live ones: the story in
Chinese (a _C' path marked and fixed with its Fix button, saved and reloaded, the plug-in's line in the Log view, a
broken file's silence with its error line, a purge confirmed first), a wrong password, a server that goes away and
comes back, and two servers saved and reloaded together.

usage: live_console_test.py [--launcher PROGRAM] CONSOLE SANDBOX [unittest options]
Exits 77 (skipped) when chromium, chromedriver or selenium is missing.
"""
import json
import os
import shutil
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import console_test  # noqa: E402
from console_test import DEMO_CONFIG, SKIPPED, WALL_ITEM, Page, demo_config_with, line_of, start_browser  # noqa: E402
from live_console import LiveConsole, parse_arguments, password_file_holding  # noqa: E402
from sandbox import Sandbox  # noqa: E402

_options, UNITTEST_ARGUMENTS = parse_arguments()

RELOADED = "重新加载配置"


def live_server(**options):
    return Sandbox(_options.sandbox, launcher=_options.launcher, console=False, **options)


def console_arguments(server, password_file=None):
    return ["--server-dir", server.directory, "--rcon", f"127.0.0.1:{server.rcon_port}",
            "--log", os.path.join(server.directory, "ArkApi", "Logs", "sandbox.log"),
            "--rcon-password-file", password_file or os.path.join(server.directory, "rcon-password")]


class LivePage(Page):
    def state(self):
        return self.one('[data-role="rcon-state"]').get_attribute("data-state")

    def wait_for_state(self, state):
        self.wait(lambda: self.state() == state, f"the header saying {state}")

    def reply(self, view, states=("done", "failed", "silent")):
        reply = self.one(f'[data-view="{view}"] [data-role="reply"]')
        self.wait(lambda: reply.get_attribute("data-state") in states, f"a reply in the {view} view")
        return reply.get_attribute("data-state"), reply.get_attribute("textContent")

    def save_and_reload(self):
        self.driver.execute_script(
            "document.querySelector('[data-view=config] [data-role=reply]').dataset.state = '';")
        self.one('[data-role="save-reload"]').click()
        return self.reply("config")


class LiveTest(unittest.TestCase):
    def open(self, console, language="zh-CN"):
        driver = start_browser(language)
        self.addCleanup(shutil.rmtree, driver.profile, True)
        self.addCleanup(driver.quit)
        driver.get(console.address)
        page = LivePage(self, driver, None)
        page.wait(lambda: page.one('[data-view="config"]').is_displayed(), "the Configuration view")
        return page

    def start(self, server, **options):
        console = LiveConsole(_options.console, *console_arguments(server, **options), launcher=_options.launcher)
        self.addCleanup(console.__exit__)
        return console


class StoryTest(LiveTest):
    def test_story_in_chinese(self):
        server = live_server()
        self.addCleanup(server.stop)
        page = self.open(self.start(server))
        driver = page.driver
        with self.subTest("the Configuration view, the header, and no World tab"):
            self.assertFalse(page.one('[data-tab="world"]').is_displayed())
            self.assertEqual(page.one('[data-tab="config"]').text, "配置")
            page.wait_for_state("answering")
            self.assertEqual(page.one('[data-role="rcon-address"]').text, f"127.0.0.1:{server.rcon_port}")
            self.assertEqual(page.one('[data-role="rcon-state"]').text, "有响应")
        with self.subTest("a _C' path is marked W203 and fixed by its button"):
            wrong = demo_config_with("Dodo.Dodo'", "Dodo.Dodo_C'")
            page.type_config(wrong)
            page.wait(lambda: ("W203", line_of(wrong, "Dodo_C'")) in page.findings(), "W203 at its line")
            page.one('[data-role="finding"][data-code="W203"] [data-role="fix"]').click()
            with open(DEMO_CONFIG, encoding="utf-8") as file:
                demo = file.read()
            editor = page.one('[data-role="config-editor"]')
            page.wait(lambda: editor.get_attribute("value") == demo, "the fixed text")
            page.wait(lambda: page.findings() == [], "no findings left")
        with self.subTest("saved and reloaded, the reply shown, the plug-in's line in the Log view"):
            self.assertEqual(page.save_and_reload(), ("done", RELOADED))
            page.open_view("log")
            page.wait(lambda: page.all('[data-role="log-line"][data-plugin="true"]'), "a plug-in line")
        with self.subTest("a broken file answers nothing; the plug-in's error line is shown"):
            page.type_config('{"Destroylist": ')
            state, text = page.save_and_reload()
            self.assertEqual(state, "silent")
            self.assertIn("[error]", text)
        with self.subTest("a purge asks first, then its count is shown"):
            page.type_config(demo)
            self.assertEqual(page.save_and_reload()[0], "done")
            driver.execute_script("window.asked = []; window.confirm = (text) => { window.asked.push(text); "
                                  "return true; };")
            line, reply = page.run_form("structure", path=WALL_ITEM)
            self.assertEqual(reply, "清理指定建筑3个，执行完毕！")
            self.assertEqual(len(driver.execute_script("return window.asked")), 1)
            self.assertIn(line, driver.execute_script("return window.asked[0]"))
        with self.subTest("the free line's history walks back with the up key"):
            page.open_view("commands")
            box = page.one('[data-role="command-line"]')
            box.send_keys("Tidywarden.reload" + console_test.Keys.ENTER)
            self.assertEqual(page.reply("commands")[1], RELOADED)
            box.send_keys(console_test.Keys.ARROW_UP)
            self.assertEqual(box.get_attribute("value"), "Tidywarden.reload")
        errors = [entry for entry in driver.get_log("browser")
                  if entry["level"] == "SEVERE" and "Failed to load resource" not in entry["message"]]
        self.assertEqual(errors, [])


class PasswordAndOutageTest(LiveTest):
    def test_wrong_password_shown_once_then_typed(self):
        server = live_server()
        self.addCleanup(server.stop)
        wrong = os.path.join(server.directory, "wrong-password")
        with open(wrong, "w", encoding="utf-8") as file:
            file.write("not-it\n")
        page = self.open(self.start(server, password_file=wrong), "en")
        page.wait_for_state("password-refused")
        form = page.one('[data-role="password-form"]')
        self.assertTrue(form.is_displayed())
        page.one('[data-role="password"]').send_keys(server.password + console_test.Keys.ENTER)
        page.wait_for_state("answering")
        self.assertFalse(form.is_displayed())

    def test_server_stopped_and_started_again_the_header_following(self):
        first = live_server()
        port, password = first.rcon_port, first.password
        keep = password_file_holding(password)
        self.addCleanup(os.remove, keep)
        page = self.open(self.start(first, password_file=keep), "en")
        page.wait_for_state("answering")
        first.stop()
        page.wait_for_state("unreachable")
        self.assertTrue(page.one('[data-role="banner"]').is_displayed())
        second = live_server(rcon_port=port, password=password)
        self.addCleanup(second.stop)
        page.wait_for_state("answering")


class ClusterTest(LiveTest):
    def test_two_servers_saved_and_reloaded_together(self):
        servers = [live_server(), live_server()]
        for server in servers:
            self.addCleanup(server.stop)
        listing = [{"name": name, "serverDir": server.directory, "rcon": f"127.0.0.1:{server.rcon_port}",
                    "passwordFile": os.path.join(server.directory, "rcon-password")}
                   for name, server in zip(("island", "center"), servers)]
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as file:
            json.dump(listing, file)
        self.addCleanup(os.remove, file.name)
        console = LiveConsole(_options.console, "--servers", file.name, launcher=_options.launcher)
        self.addCleanup(console.__exit__)
        page = self.open(console)
        page.wait_for_state("answering")
        text = demo_config_with("Dodo.Dodo'", "Raptor.Raptor'")
        page.type_config(text)
        page.one('[data-role="save-all"]').click()
        page.wait(lambda: len(page.all('[data-role="server-reply"]')) == 2, "both servers' replies")
        replies = [(item.get_attribute("data-server"), item.find_element(console_test.By.TAG_NAME, "pre").text)
                   for item in page.all('[data-view="config"] [data-role="server-reply"]')]
        self.assertEqual(replies, [("island", RELOADED), ("center", RELOADED)])
        for server in servers:
            path = os.path.join(server.directory, "ArkApi", "Plugins", "Tidywarden", "config.json")
            with open(path, encoding="utf-8") as saved:
                self.assertEqual(saved.read(), text)
        # The server shown was saved as the page's own save: its announcement of the new file is no change elsewhere.
        status = page.one('[data-role="config-status"]')
        page.wait(lambda: status.get_attribute("data-state") == "saved", "the page's own file saved")
        time.sleep(1)
        self.assertEqual(status.get_attribute("data-state"), "saved")


if __name__ == "__main__":
    if console_test.webdriver is None or not all(os.path.exists(p) for p in (console_test.CHROMIUM,
                                                                             console_test.CHROMEDRIVER)):
        print("chromium, chromedriver or selenium is missing", file=sys.stderr)
        sys.exit(SKIPPED)
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS)
