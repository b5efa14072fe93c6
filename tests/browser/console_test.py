#!/usr/bin/python3
"""The sandbox's web console in a real browser: headless chromium driven through chromedriver.

usage: console_test.py [--launcher PROGRAM] [--screenshots DIR] SERVER [unittest options]
The launcher (for example the Windows build's wine-run) starts the server program; the browser runs here.
Exits 77 (skipped) when chromium, chromedriver or selenium is missing.
"""
import argparse
import json
import os
import re
import shutil
import sys
import tempfile
import time
import unittest
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
SKIPPED = 77

try:
    from selenium import webdriver
    from selenium.common.exceptions import TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    webdriver = None

_parser = argparse.ArgumentParser(add_help=False)
_parser.add_argument("--launcher", default="")
_parser.add_argument("--screenshots", default="")
_parser.add_argument("server", nargs="?", default="")
_options, UNITTEST_ARGUMENTS = _parser.parse_known_args()
# A server under an emulator takes longer to answer.
WAIT_SECONDS = 30 if _options.launcher else 10

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sandbox import Sandbox  # noqa: E402

WALL_ITEM = "Blueprint'/Game/Demo/Items/WallItem.WallItem'"
# The guides' column is about this wide.
PICTURE_WIDTH = 1000
PICTURE_HEIGHT = 720
# Every command the sandbox server runs, the plug-in's while it is loaded.
PLUGIN_WORDS = ["Tidywarden.reload", "Tidywarden.DestroySpecifystructure", "Tidywarden.DestroySpecifydino"]
SANDBOX_WORDS = [f"sandbox.{name}" for name in [
    "help", "classes", "creatures", "structures", "inventories", "spawn", "place", "give", "view", "finish", "engram",
    "startgame", "hooks", "commands", "unload", "load", "log", "check"]]
DEMO_CONFIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sandbox", "demo", "config.json")
VIEWS = ["world", "config", "commands", "log"]


class SandboxServer(Sandbox):
    """One sandbox server with the demo world (or the `world` given, as a world file's JSON) and the demo
    configuration, and its console on a free port."""

    def __init__(self, world=None):
        super().__init__(_options.server, launcher=_options.launcher, world=world, password="console-test-password",
                         password_from="environment")
        self.base, self.address = self.console_base, self.console_address

    def config_path(self, name="config.json"):
        return os.path.join(self.directory, "ArkApi", "Plugins", "Tidywarden", name)

    def command(self, line):
        """Runs a line through the API, as the page does."""
        request = urllib.request.Request(
            f"{self.base}api/command", data=json.dumps({"line": line}).encode(), method="POST",
            headers={"Authorization": f"Bearer {self.token}", "Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=WAIT_SECONDS) as response:
            return json.load(response)["reply"]

    def put_config(self, text):
        """Saves a configuration through the API, as another page would."""
        request = urllib.request.Request(
            f"{self.base}api/config", data=text.encode(), method="PUT",
            headers={"Authorization": f"Bearer {self.token}", "Content-Type": "text/plain; charset=utf-8"})
        with urllib.request.urlopen(request, timeout=WAIT_SECONDS) as response:
            return json.load(response)


def start_browser(language):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    profile = tempfile.mkdtemp(prefix="tidywarden-chromium-")
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={profile}", "--window-size=1360,900", f"--lang={language}"]:
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"intl.accept_languages": language})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.profile = profile
    return driver


class Page:
    """The console page in one browser, with the steps a test takes on it."""

    def __init__(self, test, driver, server):
        self.test = test
        self.driver = driver
        self.server = server

    def wait(self, condition, message, seconds=None):
        try:
            return WebDriverWait(self.driver, seconds or WAIT_SECONDS, 0.05).until(lambda _: condition())
        except TimeoutException:
            self.test.fail(f"timed out waiting for {message}")

    def all(self, selector):
        return self.driver.find_elements(By.CSS_SELECTOR, selector)

    def one(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def open_view(self, name):
        self.one(f'[data-tab="{name}"]').click()
        self.wait(lambda: self.one(f'[data-view="{name}"]').is_displayed(), f"the {name} view")

    def rows(self, kind, mark=None):
        """[id, class, class names] of the world rows of a kind, optionally only those marked."""
        selector = f'[data-view="world"] tr[data-kind="{kind}"]' + (f".{mark}" if mark else "")
        return self.driver.execute_script(
            "return [...document.querySelectorAll(arguments[0])].map(r => [r.dataset.id, r.dataset.class, r.className]);",
            selector)

    def structures(self, persistent):
        """The classes of the live structures in or outside the persistent level, sorted."""
        return sorted(self.driver.execute_script(
            "return [...document.querySelectorAll('[data-view=world] tr[data-kind=structure]:not(.removed)')]"
            ".filter(r => r.dataset.persistent === String(arguments[0])).map(r => r.dataset.class);", persistent))

    def class_count(self, name):
        # Read in one step: the counts are drawn afresh with every answer about the world.
        count = self.driver.execute_script(
            "const row = [...document.querySelectorAll('[data-role=class-counts] tr')]"
            ".find(r => r.dataset.class === arguments[0]);"
            "return row ? row.lastElementChild.textContent : null;", name)
        return None if count is None else int(count)

    def run_form(self, form, **fields):
        """Fills a command form, runs it, and answers (line, reply) as the page shows them."""
        self.open_view("commands")
        # The views other than the World view are built once it shows its first rows.
        box = self.wait(lambda: next(iter(self.all(f'[data-view="commands"] [data-form="{form}"]')), None),
                        f"the {form} form")
        for name, value in fields.items():
            control = box.find_element(By.CSS_SELECTOR, f'[data-field="{name}"]')
            if control.tag_name == "select":
                Select(control).select_by_value(value)
            else:
                control.clear()
                control.send_keys(value)
        box.find_element(By.CSS_SELECTOR, '[data-role="run-form"]').click()
        return self.last_reply("commands")

    def last_reply(self, view):
        reply = self.one(f'[data-view="{view}"] [data-role="reply"]')
        self.wait(lambda: reply.get_attribute("data-state") in ("done", "failed"), f"a reply in the {view} view")
        self.test.assertEqual(reply.get_attribute("data-state"), "done", reply.text)
        line = self.one(f'[data-view="{view}"] [data-role="ran-line"]').text
        return line, reply.get_attribute("textContent")

    def type_config(self, text):
        self.open_view("config")
        editor = self.one('[data-role="config-editor"]')
        editor.clear()
        editor.send_keys(text)
        self.wait(lambda: editor.get_attribute("value") == text, "the typed configuration")

    def findings(self):
        # Read in one step: an answer about the text as typed may redraw the findings at any moment.
        return [(code, int(line)) for code, line in self.driver.execute_script(
            "return [...document.querySelectorAll('[data-view=config] [data-role=finding]')]"
            ".map(f => [f.dataset.code, f.dataset.line]);")]

    def screenshot(self, view, language, height=PICTURE_HEIGHT):
        """A picture of a view for the guides, as wide as their column, so that the code text in it (12 px and
        more) is read at its own size there; `height` None takes the page's full height."""
        if not _options.screenshots:
            return
        os.makedirs(_options.screenshots, exist_ok=True)
        self.open_view(view)
        metrics = {"width": PICTURE_WIDTH, "height": height or PICTURE_HEIGHT, "deviceScaleFactor": 1, "mobile": False}
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
        try:
            if height is None:
                metrics["height"] = self.driver.execute_script("return document.documentElement.scrollHeight")
                self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
            time.sleep(0.3)
            self.driver.save_screenshot(os.path.join(_options.screenshots, f"console-{view}-{language}.png"))
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def marks(self):
        """{line: severity} of the editor's line marks, as the bands behind the text and the gutter show them."""
        bands, gutter = self.driver.execute_script(
            "const of = s => [...document.querySelectorAll(s)].map(n => [n.dataset.line, n.className]);"
            "return [of('[data-role=mark]'), of('[data-role=gutter] .marked')];")
        as_marks = lambda nodes: {int(line): classes.split()[-1] for line, classes in nodes}
        self.test.assertEqual(as_marks(bands), as_marks(gutter))
        return as_marks(bands)

    def command_words(self):
        return self.driver.execute_script(
            "return [...document.querySelectorAll('#command-words option')].map(o => o.value);")


def api_get(server, path):
    request = urllib.request.Request(f"{server.base}{path.lstrip('/')}",
                                     headers={"Authorization": f"Bearer {server.token}"})
    with urllib.request.urlopen(request, timeout=WAIT_SECONDS) as response:
        return json.load(response)


def demo_config_with(old, new):
    with open(DEMO_CONFIG, encoding="utf-8") as file:
        text = file.read()
    self_check = text.replace(old, new)
    assert self_check != text, f"{old} is not in the demo configuration"
    return self_check


def line_of(text, fragment):
    return next(number for number, line in enumerate(text.split("\n"), 1) if fragment in line)


class ConsoleStoryTest(unittest.TestCase):
    """The demo's story through the page, once in each language: what the page shows must not depend on it."""

    def story(self, language):
        server = SandboxServer()
        self.addCleanup(server.stop)
        driver = start_browser(language)
        self.addCleanup(shutil.rmtree, driver.profile, True)
        self.addCleanup(driver.quit)
        page = Page(self, driver, server)
        driver.get(server.address)
        page.wait(lambda: page.rows("creature"), "the world's creatures")

        with self.subTest("the page is in the browser's language"):
            self.assertEqual(driver.execute_script("return document.documentElement.lang"), language)
            expected_tab = {"en": "World", "zh-CN": "世界"}[language]
            self.assertEqual(page.one('[data-tab="world"]').text, expected_tab)

        with self.subTest("the world shows the demo's counts"):
            for kind, count in [("creature", 4), ("item", 4)]:
                self.assertEqual(len(page.rows(kind)), count, kind)
            for name, count in [("Raptor_C", 3), ("Rex_C", 1), ("Dodo_C", 0), ("Foundation_C", 2),
                                ("Contraband_C", 2), ("Berry_C", 2), ("WallItem_C", 0)]:
                self.assertEqual(page.class_count(name), count, name)
            self.assertEqual(page.structures(persistent=True), ["Foundation_C"] * 2 + ["Wall_C"] * 3)

        with self.subTest("structures outside the persistent level are listed"):
            self.assertEqual(page.structures(persistent=False), ["Wall_C"])
            self.assertEqual(page.class_count("Wall_C"), 4)

        with self.subTest("giving a listed item is refused and adds no row"):
            line, reply = page.run_form("give", inventory="Backpack", **{"class": "Contraband_C", "how": ""})
            self.assertEqual(line, "sandbox.give Backpack Contraband_C")
            self.assertIn("refused", reply)
            self.assertEqual(page.rows("item", "added"), [])
            self.assertEqual(len(page.rows("item")), 4)

        with self.subTest("giving an unlisted item adds a highlighted row"):
            page.run_form("give", inventory="Backpack", **{"class": "Berry_C", "how": ""})
            added = page.rows("item", "added")
            self.assertEqual([row[1] for row in added], ["Berry_C"])

        with self.subTest("viewing the chest strikes out its contraband, and only that"):
            line, reply = page.run_form("view", inventory="Chest")
            self.assertEqual(line, "sandbox.view Chest")
            page.open_view("world")
            removed = page.rows("item", "removed")
            self.assertEqual(sorted(row[1] for row in removed), ["Contraband_C", "Contraband_C"])
            # The row added by the previous action is no longer marked.
            self.assertEqual(page.rows("item", "added"), [])
            self.assertEqual(page.class_count("Contraband_C"), 0)

        editor = page.one('[data-role="config-editor"]')
        status = page.one('[data-role="config-status"]')
        with self.subTest("an edit undone shows the file's own state again"):
            page.open_view("config")
            page.wait(lambda: status.get_attribute("data-state") == "clean", "the configuration as loaded")
            for keys, state in [(" ", "edited"), (Keys.BACKSPACE, "clean")]:
                editor.send_keys(keys)
                page.wait(lambda: status.get_attribute("data-state") == state, state)

        bad = demo_config_with("Dodo.Dodo'", "Dodo.Dodo_C'")
        bad_line = line_of(bad, "Dodo_C'")
        with self.subTest("a creature path ending in _C' is marked W203 at its line"):
            page.type_config(bad)
            page.one('[data-role="save"]').click()
            page.wait(lambda: ("W203", bad_line) in page.findings(), "the W203 finding")
            marks = driver.execute_script(
                "return [...document.querySelectorAll('[data-role=mark]')].map(m => Number(m.dataset.line));")
            self.assertIn(bad_line, marks)
            driver.execute_script("document.querySelector('[data-role=finding][data-code=W203]').click();")
            selected = driver.execute_script(
                "const e = document.querySelector('[data-role=config-editor]');"
                "return e.value.slice(0, e.selectionStart).split('\\n').length;")
            self.assertEqual(selected, bad_line)

        both = demo_config_with('Rex.Rex\'": {"ExceedSestructionLevel": 100}',
                                'Rex.Rex_C\'": {"ExceedSestructionLevel": "100"}')
        both_line = line_of(both, "Rex_C'")
        with self.subTest("a line holding an error and a warning is marked as an error"):
            page.type_config(both)
            page.one('[data-role="save"]').click()
            page.wait(lambda: {("E132", both_line), ("W203", both_line)} <= set(page.findings()), "E132 and W203")
            self.assertEqual(page.marks(), {both_line: "error"})
            page.wait(lambda: status.get_attribute("data-state") == "saved", "the save")
            page.screenshot("config", language)

        with self.subTest("fixed, saved and reloaded: the reply is shown and the previous file kept"):
            with open(DEMO_CONFIG, encoding="utf-8") as file:
                good = file.read()
            page.type_config(good)
            page.one('[data-role="save-reload"]').click()
            line, reply = page.last_reply("config")
            self.assertEqual((line, reply), ("Tidywarden.reload", "重新加载配置"))
            self.assertNotIn("W203", [code for code, _ in page.findings()])
            with open(server.config_path(), encoding="utf-8") as file:
                self.assertEqual(file.read(), good)
            with open(server.config_path("config.json.bak"), encoding="utf-8") as file:
                self.assertEqual(file.read(), both)

        with self.subTest("a save made elsewhere reaches the editor, and never overwrites unsaved changes"):
            elsewhere = good.replace('"ExceedSestructionLevel": 100', '"ExceedSestructionLevel": 120')
            server.put_config(elsewhere)
            page.wait(lambda: editor.get_attribute("value") == elsewhere, "the configuration saved elsewhere")
            page.type_config(good)
            server.put_config(elsewhere.replace("120", "130"))
            page.wait(lambda: status.get_attribute("data-state") == "changedElsewhere", "the warning")
            self.assertEqual(editor.get_attribute("value"), good)

        with self.subTest("the page's own save is not taken for a save made elsewhere"):
            page.one('[data-role="save"]').click()
            page.wait(lambda: status.get_attribute("data-state") == "saved", "the save")
            editor.send_keys(" ")
            time.sleep(1)
            self.assertEqual(status.get_attribute("data-state"), "edited")
            page.type_config(good)
            page.one('[data-role="save"]').click()
            page.wait(lambda: status.get_attribute("data-state") == "saved", "the save")

        with self.subTest("destroying the walls shows the count and strikes out the rows"):
            line, reply = page.run_form("structure", path=WALL_ITEM)
            self.assertEqual(line, f"Tidywarden.DestroySpecifystructure {WALL_ITEM}")
            self.assertEqual(reply, "清理指定建筑3个，执行完毕！")
            page.screenshot("commands", language)
            page.open_view("world")
            removed = page.rows("structure", "removed")
            self.assertEqual([row[1] for row in removed], ["Wall_C"] * 3)
            self.assertEqual(page.structures(persistent=True), ["Foundation_C"] * 2)
            # The wall outside the persistent level stands, and nothing was added.
            self.assertEqual(page.structures(persistent=False), ["Wall_C"])
            self.assertEqual(page.rows("structure", "added"), [])
            live_walls = [row for row in page.rows("structure") if row[1] == "Wall_C" and "removed" not in row[2]]
            self.assertEqual(page.class_count("Wall_C"), len(live_walls))
            page.screenshot("world", language, height=None)

        with self.subTest("the free command line runs any line"):
            page.open_view("commands")
            page.one('[data-role="command-line"]').send_keys("Tidywarden.DestroySpecifydino\n")
            self.assertEqual(page.last_reply("commands"), ("Tidywarden.DestroySpecifydino", "格式错误！"))

        with self.subTest("the command line offers the words the server runs"):
            served = api_get(server, "/api/commands")["commands"]
            self.assertEqual(sorted(served), sorted(PLUGIN_WORDS + SANDBOX_WORDS))
            page.wait(lambda: page.command_words() == served, "the served command words")

        broken = good[:good.rindex("}")]
        with self.subTest("a broken file saved and reloaded: no reply, and the plug-in's error line in the log"):
            page.type_config(broken)
            page.one('[data-role="save-reload"]').click()
            self.assertEqual(page.last_reply("config"), ("Tidywarden.reload", ""))
            page.open_view("log")
            page.wait(lambda: "[Sweepmark1.4.1][error]" in page.all('[data-role="log-line"].plugin')[-1].text,
                      "the plug-in's error line")
            page.type_config(good)
            page.one('[data-role="save"]').click()
            page.wait(lambda: status.get_attribute("data-state") == "saved", "the save")

        with self.subTest("the log shows the plug-in's lines apart, newest last"):
            page.open_view("log")
            page.wait(lambda: any("已加载" in line.text for line in page.all('[data-role="log-line"].plugin')),
                      "the plug-in's load line")
            for line in page.all('[data-role="log-line"].plugin'):
                self.assertIn("[Sweepmark1.4.1]", line.text)
            for line in page.all('[data-role="log-line"]:not(.plugin)'):
                self.assertNotIn("[Sweepmark1.4.1]", line.text)

        with self.subTest("a paused log holds new lines back until resumed"):
            page.one('[data-role="pause"]').click()
            before = len(page.all('[data-role="log-line"]'))
            server.command("sandbox.unload")
            # Unloaded by another client: the page says so, and offers the plug-in's commands no more.
            page.wait(lambda: page.one('[data-role="plugin-state"]').get_attribute("data-loaded") == "false"
                      and not set(PLUGIN_WORDS) & set(page.command_words()), "the plug-in shown unloaded")
            server.command("sandbox.load")
            page.wait(lambda: page.one('[data-role="plugin-state"]').get_attribute("data-loaded") == "true"
                      and set(PLUGIN_WORDS) <= set(page.command_words()), "the plug-in shown loaded again")
            page.wait(lambda: page.one('[data-role="log-state"]').get_attribute("data-state") == "paused"
                      and re.search(r"[1-9]", page.one('[data-role="log-state"]').text), "lines held back")
            self.assertEqual(len(page.all('[data-role="log-line"]')), before)
            page.one('[data-role="pause"]').click()
            page.wait(lambda: len(page.all('[data-role="log-line"]')) > before, "the held lines")
            self.assertIn("已加载", page.all('[data-role="log-line"].plugin')[-1].text)
            # The log's few lines, without the empty box below them.
            page.screenshot("log", language, height=420)

        unwrapped = demo_config_with("Blueprint'/Game/Demo/Dinos/Dodo.Dodo'", "/Game/Demo/Dinos/Dodo.Dodo")
        with self.subTest("a world from the configuration, with the path no class can have and why"):
            page.type_config(unwrapped)
            page.one('[data-role="world-from-config"]').click()
            page.wait(lambda: page.one('[data-role="unmatched-box"]').get_attribute("data-state") is not None,
                      "the world built from the configuration")
            unmatched = [(entry.find_element(By.TAG_NAME, "code").text, entry.get_attribute("data-code"))
                         for entry in page.all('[data-role="unmatched-path"]')]
            self.assertEqual(unmatched, [("/Game/Demo/Dinos/Dodo.Dodo", "W202")])
            # The text in the editor was saved before the world was built from the file.
            with open(server.config_path(), encoding="utf-8") as file:
                self.assertEqual(file.read(), unwrapped)
            page.open_view("world")
            paths = driver.execute_script(
                "return [...document.querySelectorAll('[data-role=class-counts] tbody tr')]"
                ".map(r => r.children[2].textContent);")
            self.assertIn("Blueprint'/Game/Demo/Dinos/Rex.Rex'", paths)
            self.assertNotEqual(page.rows("creature", "added"), [])

        # Refused requests are logged by the browser itself; what must not appear is a fault of the page's script.
        errors = [entry for entry in driver.get_log("browser")
                  if entry["level"] == "SEVERE" and "Failed to load resource" not in entry["message"]]
        self.assertEqual(errors, [])
        return page

    def test_story_in_english(self):
        self.story("en")

    def test_story_in_chinese(self):
        page = self.story("zh-CN")
        with self.subTest("the language is switchable and remembered"):
            Select(page.one('[data-role="language"]')).select_by_value("en")
            self.assertEqual(page.driver.execute_script("return document.documentElement.lang"), "en")
            page.driver.refresh()
            page.wait(lambda: page.one('[data-tab="world"]').text == "World", "the English page after a reload")
            self.assertEqual(page.driver.execute_script("return document.documentElement.lang"), "en")


class LargeWorldTest(unittest.TestCase):
    """A world with more objects of each kind than the page's first answer lists: the first rows come from that
    answer, and the whole world must then replace it, with every total, count and row."""

    def test_the_whole_world_follows_the_first_rows(self):
        creatures = [{"class": "Raptor_C" if i % 3 else "恐龙_C", "level": 1 + i, "team": 0} for i in range(230)]
        world = {
            "classes": [{"name": "Raptor_C", "package": "/Game/Big/Raptor", "kind": "creature"},
                        {"name": "恐龙_C", "package": "/Game/Big/恐龙", "kind": "creature"},
                        {"name": "Wall_C", "package": "/Game/Big/Wall", "kind": "structure"},
                        {"name": "Berry_C", "package": "/Game/Big/Berry", "kind": "item"}],
            "creatures": creatures,
            "structures": [{"class": "Wall_C", "inPersistentLevel": i % 7 != 0} for i in range(150)],
            "inventories": [{"name": f"Box \"{i}\"", "items": ["Berry_C"] * 3} for i in range(60)],
        }
        server = SandboxServer(world)
        self.addCleanup(server.stop)
        driver = start_browser("en")
        self.addCleanup(shutil.rmtree, driver.profile, True)
        self.addCleanup(driver.quit)
        page = Page(self, driver, server)
        driver.get(server.address)
        page.wait(lambda: driver.execute_script("return performance.getEntriesByName('world-whole-shown').length"),
                  "the whole world")
        shown = driver.execute_script(
            "return performance.getEntriesByName('world-rows-shown')[0].startTime"
            " <= performance.getEntriesByName('world-whole-shown')[0].startTime")
        self.assertTrue(shown, "the first rows are marked before the whole world")
        totals = {kind: page.one(f'[data-role="{kind}-total"]').text for kind in ["creature", "structure", "item"]}
        self.assertEqual(totals, {"creature": "230", "structure": "150", "item": "180"})
        for name, count in [("Raptor_C", 153), ("恐龙_C", 77), ("Wall_C", 150), ("Berry_C", 180)]:
            self.assertEqual(page.class_count(name), count, name)
        self.assertIn("60", page.one('[data-role="inventories"]').text)
        # The last rows exist only in the whole world.
        driver.execute_script("document.querySelector('[data-role=creatures]').scrollTop = 1e6")
        page.wait(lambda: page.rows("creature") and page.rows("creature")[-1][1] == "Raptor_C"
                  and driver.execute_script(
                      "return [...document.querySelectorAll('tr[data-kind=creature]')].pop().children[3].textContent")
                  == "230", "the last creature after scrolling")
        page.one('[data-role="filter"]').send_keys("恐龙")
        self.assertEqual(page.one('[data-role="creature-total"]').text, "77 of 230")


class PageModulesTest(unittest.TestCase):
    """The page's own routines, run in the browser on the modules the server serves."""

    @classmethod
    def setUpClass(cls):
        cls.server = SandboxServer()
        try:
            cls.driver = start_browser("en")
        except Exception:
            cls.server.stop()
            raise
        cls.driver.get(cls.server.address)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        shutil.rmtree(cls.driver.profile, ignore_errors=True)
        cls.server.stop()

    def call(self, module, expression, *arguments):
        """Evaluates `expression` with the module bound to `m` and the arguments as `a`; answers its JSON value."""
        script = ("const done = arguments[arguments.length - 1]; const a = arguments[0];"
                  f"import('./{module}').then(m => done(JSON.stringify({expression})),"
                  " e => done(JSON.stringify({thrown: String(e)})));")
        return json.loads(self.driver.execute_async_script(script, list(arguments)))

    def test_language_follows_the_first_preference_it_knows(self):
        for preferences, expected in [(["zh-CN"], "zh-CN"), (["zh-TW", "en"], "zh-CN"), (["zh"], "zh-CN"),
                                      (["en-GB", "zh-CN"], "en"), (["fr", "de", "zh-HK"], "zh-CN"),
                                      (["fr"], "en"), ([], "en")]:
            with self.subTest(preferences=preferences):
                self.assertEqual(self.call("i18n.js", "m.languageFor(a[0])", preferences), expected)

    def test_every_text_exists_in_both_languages_with_the_same_blanks(self):
        english, chinese = self.call("i18n.js", "[m.CATALOGUE.en, m.CATALOGUE['zh-CN']]")
        self.assertEqual(sorted(english), sorted(chinese))
        for key, text in english.items():
            with self.subTest(key=key):
                self.assertTrue(chinese[key].strip())
                self.assertEqual(sorted(re.findall(r"\{\w+\}", text)), sorted(re.findall(r"\{\w+\}", chinese[key])))
        used = self.driver.execute_script(
            "return [...document.querySelectorAll('[data-i18n],[data-i18n-placeholder],[data-i18n-aria-label]')]"
            ".map(n => n.dataset.i18n || n.dataset.i18nPlaceholder || n.dataset.i18nAriaLabel);")
        self.assertEqual(sorted(set(used) - set(english)), [])

    def test_findings_are_placed_by_line_or_by_pointer(self):
        text = ('{\n  "Destroylist": {\n    "a/b": {"Blueprint": "x"},\n    "c~d": {\n      "Blueprint": "y"\n    }\n'
                '  },\n  "DestroyDinoLevel": [1,\n   2]\n}\n')
        cases = [
            ({"line": 7, "pointer": "/Destroylist"}, 7),
            ({"pointer": "/Destroylist"}, 2),
            ({"pointer": "/Destroylist/a~1b/Blueprint"}, 3),
            ({"pointer": "/Destroylist/c~0d/Blueprint"}, 5),
            ({"pointer": "/Destroylist/c~0d/Missing"}, 4),
            ({"pointer": "/DestroyDinoLevel/1"}, 9),
            ({"pointer": ""}, 1),
            ({}, 1),
        ]
        for finding, line in cases:
            with self.subTest(finding=finding):
                self.assertEqual(
                    self.call("positions.js", "m.findingLine(a[0], m.locatePointers(a[1]))", finding, text), line)

    def test_a_line_is_marked_with_its_worst_finding(self):
        cases = [
            ("error after a warning", [("warning", 4), ("error", 4)], {4: "error"}),
            ("warning after an error", [("error", 4), ("warning", 4)], {4: "error"}),
            ("note after a warning", [("warning", 2), ("note", 2)], {2: "warning"}),
            ("all three", [("note", 3), ("error", 3), ("warning", 3)], {3: "error"}),
            ("lines apart", [("note", 1), ("error", 2), ("warning", 1)], {1: "warning", 2: "error"}),
            ("none", [], {}),
        ]
        for name, findings, expected in cases:
            with self.subTest(name):
                marks = self.call("config.js", "[...m.worstPerLine(a[0].map(([severity, markLine]) => "
                                  "({severity, markLine})))]", findings)
                self.assertEqual({line: severity for line, severity in marks}, expected)

    def test_a_broken_text_keeps_the_places_before_its_fault(self):
        text = '{\n  "Destroylist": {\n    "a": {"Blueprint": "x"}\n  ,, \n  "DestroyDinolist": {}\n}'
        for pointer, line in [("/Destroylist/a/Blueprint", 3), ("/Destroylist", 2), ("/DestroyDinolist", 1)]:
            with self.subTest(pointer=pointer):
                self.assertEqual(self.call("positions.js", "m.findingLine({pointer: a[0]}, m.locatePointers(a[1]))",
                                           pointer, text), line)

    def test_rows_are_marked_against_the_world_before_the_action(self):
        before = {"creatures": [{"id": 1, "class": "A"}, {"id": 2, "class": "A"}],
                  "inventories": [{"name": "Chest", "items": [{"id": 5, "class": "I"}]}]}
        after = {"creatures": [{"id": 2, "class": "A"}, {"id": 9, "class": "B"}],
                 "inventories": [{"name": "Chest", "items": [{"id": 5, "class": "I"}, {"id": 7, "class": "I"}]}]}
        marks = self.call("world.js", "m.markChanges(m.flatten(a[1]), m.flatten(a[0]))"
                          ".map(r => [r.kind, r.id, r.mark])", before, after)
        self.assertEqual(marks, [["creature", 1, "removed"], ["creature", 2, ""], ["item", 5, ""], ["item", 7, "added"],
                                 ["creature", 9, "added"]])
        unmarked = self.call("world.js", "m.markChanges(m.flatten(a[0]), null).map(r => r.mark)", after)
        self.assertEqual(unmarked, ["", "", "", ""])

    def test_the_filter_needs_every_word(self):
        record = {"class": "Raptor_C", "path": "Blueprint'/Game/Dinos/Raptor.Raptor'", "inventory": "Chest"}
        for words, expected in [([], True), (["raptor_c"], True), (["raptor", "chest"], True),
                                (["raptor", "wall"], False), (["/game/dinos"], True)]:
            with self.subTest(words=words):
                self.assertEqual(self.call("world.js", "m.matchesFilter(a[0], a[1])", record, words), expected)

    def test_event_records_survive_any_split_of_the_stream(self):
        stream = ': keepalive\r\nevent: log\r\ndata: {"line": "a"}\r\n\r\nevent: world\ndata: {"version":\ndata: 8}\n\n'
        expected = [["log", '{"line": "a"}'], ["world", '{"version":\n8}']]
        for size in [1, 2, 7, len(stream)]:
            with self.subTest(chunk=size):
                chunks = [stream[i:i + size] for i in range(0, len(stream), size)]
                records = self.call("api.js", "(() => { const got = []; const feed = m.eventParser("
                                    "r => got.push([r.event, r.data])); a[0].forEach(feed); return got; })()", chunks)
                self.assertEqual(records, expected)

    def test_a_table_draws_the_rows_in_sight_of_its_box(self):
        row = 28
        cases = [
            ("top of a long list", 1000, 0, 0, [0, 25]),
            ("scrolled, a tall box", 1000, 500 * row, 600, [488, 534]),
            ("near the end", 1000, 990 * row, 600, [978, 1000]),
            # A filter has just left fewer rows than the box was scrolled past.
            ("scrolled past a short list", 10, 500 * row, 600, [0, 10]),
            ("scrolled past a longer list", 100, 500 * row, 600, [88, 100]),
            ("no rows", 0, 300 * row, 600, [0, 0]),
        ]
        for name, count, scroll_top, height, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.call("table.js", "m.rowsInSight(a[0], a[1], a[2])", count, scroll_top, height),
                                 expected)

    def test_class_counts_come_from_the_rows_or_from_a_first_answer(self):
        classes = [{"name": "A", "kind": "creature"}, {"name": "B", "kind": "item"}, {"name": "C", "kind": "item"}]
        rows = {"creatures": [{"id": 1, "class": "A"}, {"id": 2, "class": "A"}],
                "inventories": [{"name": "Chest", "items": [{"id": 3, "class": "B"}]}]}
        cases = [
            ("whole world", {"classes": classes, **rows}, [2, 1, 0]),
            # A first answer lists a few rows only; its counts are the world's.
            ("first answer", {"classes": [dict(c, count=n) for c, n in zip(classes, [70, 9, 0])], "partial": True,
                              **rows}, [70, 9, 0]),
        ]
        for name, snapshot, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.call("world.js", "m.countsPerClass(a[0], m.flatten(a[0])).map(c => c.count)",
                                           snapshot), expected)

    def test_class_pickers_offer_the_form_each_command_takes(self):
        snapshot = {"classes": [
            {"name": "WallItem_C", "kind": "item", "path": "Blueprint'/G/WallItem.WallItem'", "builds": "Wall_C"},
            {"name": "Berry_C", "kind": "item", "path": "Blueprint'/G/Berry.Berry'", "builds": None},
            {"name": "Wall_C", "kind": "structure", "path": "Blueprint'/G/Wall.Wall_C'", "builds": None},
            {"name": "Rex_C", "kind": "creature", "path": "Blueprint'/G/Rex.Rex'", "builds": None}],
            "inventories": [{"name": "Chest"}, {"name": "Chest"}, {"name": "Bag"}]}
        cases = [
            ({"type": "class", "kinds": ["item"], "builds": True, "path": True}, ["Blueprint'/G/WallItem.WallItem'"]),
            ({"type": "class", "kinds": ["creature"], "path": True}, ["Blueprint'/G/Rex.Rex'"]),
            ({"type": "class", "kinds": ["item"]}, ["WallItem_C", "Berry_C"]),
            ({"type": "class", "kinds": ["structure"]}, ["Wall_C"]),
            ({"type": "inventory"}, ["Chest", "Bag"]),
        ]
        for field, values in cases:
            with self.subTest(field=field):
                self.assertEqual(self.call("commands.js", "m.fieldChoices(a[0], a[1]).map(c => c.value)",
                                           field, snapshot), values)


def main():
    missing = [path for path in (CHROMIUM, CHROMEDRIVER) if not os.access(path, os.X_OK)]
    if webdriver is None:
        missing.append("python3-selenium")
    if missing:
        print(f"SKIPPED: the browser tests need {', '.join(missing)} (scripts/setup installs them)")
        sys.exit(SKIPPED)
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS)


if __name__ == "__main__":
    main()
