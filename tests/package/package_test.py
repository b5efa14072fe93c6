#!/usr/bin/python3
"""The download as an administrator gets it: packaged, unpacked into an empty folder, and used from there alone."""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
ARGS = None

# Every file of the download; the native tarball has the same layout with Linux names.
WIN64_FILES = {
    "README.txt", "SHA256SUMS", "tidywarden-check.exe",
    "ArkApi/Plugins/Tidywarden/config.json",
    "docs/admin-guide.md", "docs/admin-guide.zh-CN.md",
    "sandbox/README.txt", "sandbox/demo-script.txt", "sandbox/demo-world.json",
    "sandbox/tidywarden-sandbox.exe", "sandbox/version.dll", "sandbox/Tidywarden.dll",
}
LINUX_NAMES = {"tidywarden-check.exe": "tidywarden-check", "sandbox/tidywarden-sandbox.exe": "sandbox/tidywarden-sandbox",
               "sandbox/version.dll": "sandbox/libtidywarden_host.so", "sandbox/Tidywarden.dll": "sandbox/Tidywarden.so"}

# Replies the demo script must draw from the plug-in, in this order.
DEMO_REPLIES = ["清理指定建筑3个，执行完毕！", "格式错误！", "清理指定恐龙2条，执行完毕！", "清理指定恐龙1条，执行完毕！",
                "重新加载配置", "…hooked game functions: 0", "unknown command: Tidywarden.reload"]


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"project\(Tidywarden VERSION (\S+)", cmake.read()).group(1)


def guide_blocks(path):
    """The guide's ```bat blocks with the exit status and the output lines the guide promises for each."""
    with open(path, encoding="utf-8") as guide:
        text = guide.read()
    fence = re.compile(r"((?:<!-- [^>]* -->\n)*)```(\w*)\n(.*?)```\n", re.S)
    blocks = []
    for match in fence.finditer(text):
        notes, kind, body = match.groups()
        if kind == "bat":
            status = re.search(r"exit status: (\d+)", notes)
            blocks.append({"commands": body, "status": int(status.group(1)) if status else 0, "output": None,
                           "line": text.count("\n", 0, match.start()) + 1})
        elif kind == "text" and "output of the commands above" in notes and blocks:
            blocks[-1]["output"] = body.splitlines()
    return blocks


def expect_lines_in_order(test, expected, actual, where):
    """Each expected line, with … standing for any text, matches an actual line after the previous match."""
    lines = actual.splitlines()
    position = 0
    for wanted in expected:
        pattern = re.compile("^" + ".*".join(re.escape(part) for part in wanted.split("…")) + "$")
        while position < len(lines) and not pattern.match(lines[position]):
            position += 1
        test.assertLess(position, len(lines), f"{where}: no line like {wanted!r} in order in:\n{actual}")
        position += 1


class Download(unittest.TestCase):
    """One packaging run shared by the tests; each test unpacks it afresh."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tidywarden-package-")
        dist = os.path.join(cls.work, "dist")
        build_option = "--windows-build" if ARGS.kind == "win64" else "--native-build"
        result = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--no-build", "--only", ARGS.kind, "--out",
                                 dist, build_option, ARGS.build], capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"scripts/package failed:\n{result.stdout}{result.stderr}")
        platform, extension = ("win64", ".zip") if ARGS.kind == "win64" else ("linux-x86_64", ".tar.gz")
        cls.name = f"tidywarden-{project_version()}-{platform}"
        cls.archive = os.path.join(dist, cls.name + extension)

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

    def test_holds_exactly_the_download_with_true_checksums(self):
        folder = self.unpack()
        files = {os.path.relpath(os.path.join(where, name), folder).replace(os.sep, "/")
                 for where, _, names in os.walk(folder) for name in names}
        expected = {self.program(name) for name in WIN64_FILES}
        self.assertEqual(files, expected)
        with open(os.path.join(folder, "SHA256SUMS"), encoding="ascii") as sums:
            listed = dict(reversed(line.rstrip("\n").split("  ", 1)) for line in sums)
        self.assertEqual(set(listed), expected - {"SHA256SUMS"})
        for name, digest in listed.items():
            with open(os.path.join(folder, name), "rb") as content:
                self.assertEqual(hashlib.sha256(content.read()).hexdigest(), digest, name)

    def test_example_configuration_is_the_demo_one_and_checks_clean(self):
        folder = self.unpack()
        config = os.path.join("ArkApi", "Plugins", "Tidywarden", "config.json")
        with open(os.path.join(folder, config), "rb") as shipped, \
                open(os.path.join(ROOT, "sandbox", "demo", "config.json"), "rb") as demo:
            self.assertEqual(shipped.read(), demo.read())
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
        with open(os.path.join(folder, "trial", "ArkApi", "Plugins", "Tidywarden", "config.json"), "rb") as written:
            with open(os.path.join(folder, "ArkApi", "Plugins", "Tidywarden", "config.json"), "rb") as example:
                self.assertEqual(written.read(), example.read())

    def test_notes_commands_run_as_written(self):
        folder = self.unpack()
        for note, heading in (("README.txt", "Quick start / 快速开始:"), ("sandbox/README.txt", "Try the demo / 试用演示:")):
            with open(os.path.join(folder, note), encoding="utf-8", newline="") as text:
                lines = text.read().split("\r\n" if ARGS.kind == "win64" else "\n")
            commands = []
            for line in lines[lines.index(heading) + 1:]:
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
        for guide in ("admin-guide.md", "admin-guide.zh-CN.md"):
            blocks = guide_blocks(os.path.join(ROOT, "docs", guide))
            self.assertGreater(len(blocks), 3, guide)
            for block in blocks:
                where = f"{guide}:{block['line']}"
                with self.subTest(where):
                    folder = self.unpack()
                    with open(os.path.join(folder, "guide-block.bat"), "w", encoding="utf-8", newline="\r\n") as bat:
                        bat.write("@echo off\n" + block["commands"])
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
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
