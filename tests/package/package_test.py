#!/usr/bin/python3
"""The download as an administrator gets it: packaged, unpacked into an empty folder, and used from there alone."""
import argparse
import hashlib
import html.parser
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import urllib.parse
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "guides"))
from guide_blocks import expect_lines_in_order, fenced_blocks, prepare, with_server_folders  # noqa: E402

ARGS = None

# Every file of the download; the native tarball has the same layout with Linux names.
WIN64_FILES = {
    "README.txt", "tidywarden-check.exe", "tidywarden-console.exe",
    "ArkApi/Plugins/Tidywarden/config.json",
    "docs/admin-guide.md", "docs/admin-guide.zh-CN.md", "docs/admin-guide.html", "docs/admin-guide.zh-CN.html",
    "sandbox/README.txt", "sandbox/demo-script.txt", "sandbox/demo-world.json",
    "sandbox/tidywarden-sandbox.exe", "sandbox/version.dll", "sandbox/Tidywarden.dll",
}
LINUX_NAMES = {"tidywarden-check.exe": "tidywarden-check", "tidywarden-console.exe": "tidywarden-console",
               "sandbox/tidywarden-sandbox.exe": "sandbox/tidywarden-sandbox",
               "sandbox/version.dll": "sandbox/libtidywarden_host.so", "sandbox/Tidywarden.dll": "sandbox/Tidywarden.so"}

GUIDES = ("admin-guide.md", "admin-guide.zh-CN.md")
# Files Notepad opens: in the Windows download each is UTF-8 with a byte-order mark and CRLF line ends.
TEXT_EXTENSIONS = (".txt", ".md", ".html", ".json", ".svg")

# Replies the demo script must draw from the plug-in, in this order.
DEMO_REPLIES = ["清理指定建筑3个，执行完毕！", "格式错误！", "清理指定恐龙2条，执行完毕！", "清理指定恐龙1条，执行完毕！",
                "重新加载配置", "…hooked game functions: 0", "unknown command: Tidywarden.reload"]


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"project\(Tidywarden VERSION (\S+)", cmake.read()).group(1)


def guide_pictures():
    """The pictures the guides show, as paths under docs/."""
    pictures = set()
    for guide in GUIDES:
        with open(os.path.join(ROOT, "docs", guide), encoding="utf-8") as text:
            pictures.update(re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", text.read()))
    return {"docs/" + picture for picture in pictures}


def text_of(path):
    """A text file's content as the programs read it: without a byte-order mark, with LF line ends."""
    with open(path, "rb") as content:
        data = content.read()
    return data.removeprefix(b"\xef\xbb\xbf").replace(b"\r\n", b"\n")


class PageLinks(html.parser.HTMLParser):
    """The anchors a page defines and the links and pictures it refers to."""

    def __init__(self):
        super().__init__()
        self.ids, self.links, self.pictures = set(), [], []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and "href" in attrs:
            self.links.append(attrs["href"])
        if tag == "img":
            self.pictures.append(attrs.get("src", ""))


def page_links(path):
    parser = PageLinks()
    with open(path, encoding="utf-8-sig") as page:
        parser.feed(page.read())
    return parser


class Download(unittest.TestCase):
    """One packaging run shared by the tests; each test unpacks it afresh."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tidywarden-package-")
        cls.dist = ARGS.dist or os.path.join(cls.work, "dist")
        if not ARGS.dist:
            build_option = "--windows-build" if ARGS.kind == "win64" else "--native-build"
            result = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--no-build", "--only", ARGS.kind,
                                     "--out", cls.dist, build_option, ARGS.build], capture_output=True, text=True)
            if result.returncode != 0:
                raise RuntimeError(f"scripts/package failed:\n{result.stdout}{result.stderr}")
        platform, extension = ("win64", ".zip") if ARGS.kind == "win64" else ("linux-x86_64", ".tar.gz")
        cls.name = f"tidywarden-{project_version()}-{platform}"
        cls.archive = os.path.join(cls.dist, cls.name + extension)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def unpack(self):
        """A fresh empty folder holding only what the archive holds; returns the unpacked top folder."""
        target = tempfile.mkdtemp(dir=self.work)
        if self.archive.endswith(".zip"):
            with zipfile.ZipFile(self.archive) as archive:
                archive.extractall(target)
            for info in zipfile.ZipFile(self.archive).infolist():
                mode = info.external_attr >> 16
                if mode:
                    os.chmod(os.path.join(target, info.filename), mode)
        else:
            with tarfile.open(self.archive) as archive:
                archive.extractall(target)
        (top,) = os.listdir(target)
        self.assertEqual(top, self.name)
        return os.path.join(target, top)

    def program(self, windows_name):
        return windows_name if ARGS.kind == "win64" else LINUX_NAMES.get(windows_name, windows_name)

    def run_program(self, folder, windows_name, *arguments):
        command = [os.path.join(folder, self.program(windows_name)), *arguments]
        if ARGS.kind == "win64":
            command = [ARGS.launcher, *command]
        return subprocess.run(command, cwd=folder, capture_output=True, timeout=300)

    def test_holds_exactly_the_download(self):
        folder = self.unpack()
        files = {os.path.relpath(os.path.join(where, name), folder).replace(os.sep, "/")
                 for where, _, names in os.walk(folder) for name in names}
        expected = {self.program(name) for name in WIN64_FILES} | guide_pictures()
        self.assertEqual(files, expected)

    def test_checksums_beside_the_archive_verify_it(self):
        with open(os.path.join(self.dist, "SHA256SUMS"), encoding="ascii", newline="") as sums:
            listed = dict(reversed(line.rstrip("\n").split("  ", 1)) for line in sums)
        archive = os.path.basename(self.archive)
        self.assertIn(archive, listed)
        with open(self.archive, "rb") as content:
            self.assertEqual(hashlib.sha256(content.read()).hexdigest(), listed[archive])
        # The same check an administrator runs on Linux.
        result = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=self.dist,
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"{archive}: OK", result.stdout)

    def test_text_files_open_in_notepad(self):
        folder = self.unpack()
        texts = [os.path.join(where, name) for where, _, names in os.walk(folder) for name in names
                 if name.endswith(TEXT_EXTENSIONS)]
        self.assertGreater(len(texts), 8)
        for path in texts:
            with self.subTest(os.path.relpath(path, folder)), open(path, "rb") as content:
                data = content.read()
                data.decode("utf-8")
                if ARGS.kind == "win64":
                    self.assertTrue(data.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
                    self.assertNotIn(b"\xef\xbb\xbf", data[3:])
                    self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "a line without CRLF")
                    self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), "a lone CR")
                else:
                    self.assertFalse(data.startswith(b"\xef\xbb\xbf"))
                    self.assertNotIn(b"\r", data)

    def test_html_guides_links_and_pictures_resolve(self):
        folder = self.unpack()
        docs = os.path.join(folder, "docs")
        pages = {name: page_links(os.path.join(docs, name)) for name in os.listdir(docs) if name.endswith(".html")}
        self.assertEqual(set(pages), {guide[:-3] + ".html" for guide in GUIDES})
        for name, page in pages.items():
            with open(os.path.join(docs, name), encoding="utf-8-sig") as text:
                body = text.read()
            # Tables rendered as tables, not left as Markdown source.
            self.assertIn("<table>", body, name)
            self.assertNotRegex(body, r"(?m)^\|[-|: ]+\|$", name)
            self.assertGreater(len(page.links), 10, name)
            for link in page.links:
                with self.subTest(page=name, link=link):
                    self.assertNotRegex(link, r"^[a-z]+:", "a guide must read offline")
                    target, _, anchor = urllib.parse.unquote(link).partition("#")
                    target_name = os.path.normpath(os.path.join(os.path.dirname(name), target)) if target else name
                    self.assertTrue(os.path.isfile(os.path.join(docs, target_name)), "no such file")
                    if anchor:
                        self.assertIn(target_name, pages, "an anchor in a page that is not a guide")
                        self.assertIn(anchor, pages[target_name].ids, "no such anchor")
            self.assertTrue(page.pictures, name)
            for picture in page.pictures:
                with self.subTest(page=name, picture=picture), open(os.path.join(docs, picture), "rb") as image:
                    data = image.read()
                    self.assertTrue(data.startswith(b"\x89PNG") or b"<svg" in data[:400], "not a picture")

    def test_html_guides_show_their_pictures_in_a_browser(self):
        try:
            from selenium import webdriver
        except ImportError:
            self.skipTest("selenium is not installed")
        folder = self.unpack()
        options = webdriver.ChromeOptions()
        for option in ("--headless=new", "--no-sandbox", "--disable-gpu", "--allow-file-access-from-files"):
            options.add_argument(option)
        browser = webdriver.Chrome(options=options)
        try:
            for guide in GUIDES:
                page = os.path.join(folder, "docs", guide[:-3] + ".html")
                browser.get("file://" + page)
                broken = browser.execute_script(
                    "return [...document.images].filter(i => !i.complete || i.naturalWidth === 0).map(i => i.src)")
                self.assertEqual(broken, [], guide)
                self.assertGreater(browser.execute_script("return document.images.length"), 0, guide)
        finally:
            browser.quit()

    def test_example_configuration_is_the_demo_one_and_checks_clean(self):
        folder = self.unpack()
        config = os.path.join("ArkApi", "Plugins", "Tidywarden", "config.json")
        self.assertEqual(text_of(os.path.join(folder, config)),
                         text_of(os.path.join(ROOT, "sandbox", "demo", "config.json")))
        result = self.run_program(folder, "tidywarden-check.exe", config.replace(os.sep, "\\")
                                  if ARGS.kind == "win64" else config)
        self.assertEqual(result.returncode, 0, result.stdout.decode("utf-8", "replace"))

    def test_sandbox_runs_the_demo_script_from_the_unpacked_files(self):
        folder = self.unpack()
        script = "sandbox\\demo-script.txt" if ARGS.kind == "win64" else "sandbox/demo-script.txt"
        result = self.run_program(folder, "sandbox/tidywarden-sandbox.exe", "--dir", "trial", "--demo-config",
                                  "--quiet", "--script", script)
        output = result.stdout.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 0, output + result.stderr.decode("utf-8", "replace"))
        expect_lines_in_order(self, DEMO_REPLIES, output, "demo script")
        # The script's first line is a comment, whatever mark the file begins with.
        commands = [line for line in output.splitlines() if line.startswith("> ")]
        self.assertEqual(commands[0], "> sandbox.hooks", output)
        self.assertEqual(text_of(os.path.join(folder, "trial", "ArkApi", "Plugins", "Tidywarden", "config.json")),
                         text_of(os.path.join(folder, "ArkApi", "Plugins", "Tidywarden", "config.json")))

    def test_notes_commands_run_as_written(self):
        folder = self.unpack()
        for note, heading in (("README.txt", "Quick start / 快速开始"), ("sandbox/README.txt", "Try the demo / 试用演示")):
            with open(os.path.join(folder, note), encoding="utf-8-sig", newline="") as text:
                lines = text.read().split("\r\n" if ARGS.kind == "win64" else "\n")
            commands = []
            start = next(number for number, line in enumerate(lines) if line.startswith(heading))
            for line in lines[start + 1:]:
                if not line.startswith("  "):
                    break
                commands.append(line.strip())
            self.assertTrue(commands, note)
            where = os.path.dirname(os.path.join(folder, note))
            for command in commands:
                shell = [ARGS.launcher, "cmd", "/c", command] if ARGS.kind == "win64" else ["/bin/sh", "-c", command]
                result = subprocess.run(shell, cwd=where, capture_output=True, timeout=300)
                self.assertEqual(result.returncode, 0, f"{note}: {command}\n{result.stdout}{result.stderr}")

    def test_guide_commands_run_as_written(self):
        if ARGS.kind != "win64":
            self.skipTest("the guide's commands are Windows commands")
        for guide in GUIDES:
            blocks = fenced_blocks(os.path.join(ROOT, "docs", guide))
            # A server that runs until Ctrl-C is run by guide_commands_test on the native build.
            runnable = [index for index, block in enumerate(blocks) if block["kind"] == "bat" and not block["serves"]]
            self.assertGreater(len(runnable), 3, guide)
            for index in runnable:
                block = blocks[index]
                where = f"{guide}:{block['line']}"
                with self.subTest(where):
                    folder = self.unpack()
                    prepare(folder, blocks, index)
                    with open(os.path.join(folder, "guide-block.bat"), "w", encoding="utf-8", newline="\r\n") as bat:
                        bat.write("@echo off\n" + with_server_folders(block["body"]))
                    result = subprocess.run([ARGS.launcher, "cmd", "/c", "guide-block.bat"], cwd=folder,
                                            capture_output=True, timeout=300)
                    output = result.stdout.decode("utf-8", "replace") + result.stderr.decode("utf-8", "replace")
                    self.assertEqual(result.returncode, block["status"], f"{where}:\n{output}")
                    if block["output"]:
                        expect_lines_in_order(self, block["output"], output, where)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--kind", choices=["win64", "linux"], required=True)
    parser.add_argument("--build", required=True, help="the build folder to package")
    parser.add_argument("--launcher", default="", help="runs a Windows program (the build's wine-run)")
    parser.add_argument("--dist", default="", help="test the archive already in this folder instead of packaging one")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
