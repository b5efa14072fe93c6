#!/usr/bin/python3
"""Every code block of both guides that runs the checker or the sandbox, run as written in the native build's
download, with the exit status and the output the guide promises.

The guides write Windows commands. The table below maps each Windows form to what the native build runs; nothing
else is rewritten, and a line of such a block that has no form here fails the test, so a guide cannot show a
command that nobody ran.

usage: guide_commands_test.py --build BUILD_DIR
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from guide_blocks import SERVER_FOLDERS, expect_lines_in_order, fenced_blocks, prepare  # noqa: E402
from live_console import LiveConsole  # noqa: E402
from sandbox import Sandbox  # noqa: E402

GUIDES = ("admin-guide.md", "admin-guide.zh-CN.md")
ARGS = None

# The Windows programs the guides run, and the native build's programs in the same place of the download.
PROGRAMS = {"tidywarden-check.exe": "tidywarden-check", "sandbox\\tidywarden-sandbox.exe": "sandbox/tidywarden-sandbox",
            "tidywarden-console.exe": "tidywarden-console"}
# A serving sandbox listens on ports picked free, so that tests sharing this machine cannot collide; in the output a
# guide promises for it, the default ports stand for the ones picked.
SERVING_OPTIONS = ["--rcon-port", "0", "--console-port", "0"]
DEFAULT_PORTS = ("27020", "27080", "27081")
# The live server's console listens on its page's port only; it serves whether or not the server answers.
LIVE_CONSOLE = "tidywarden-console"
SERVING_TIMEOUT = 60


def windows_words(line):
    """A command line split as the Windows C runtime splits it: double quotes group and are dropped, and a `>`
    outside them starts the file that standard output goes to."""
    words, word, quoted, output = [], None, False, None
    for position, char in enumerate(line):
        if char == '"':
            quoted = not quoted
            word = word or ""
        elif char == ">" and not quoted:
            output = line[position + 1:].strip()
            break
        elif char == " " and not quoted:
            if word is not None:
                words.append(word)
            word = None
        else:
            word = (word or "") + char
    if word is not None:
        words.append(word)
    return words, output


def native_path(word):
    for windows, folder in SERVER_FOLDERS.items():
        word = word.replace(windows, folder)
    return word.replace("\\", "/")


def runs_a_program(block):
    return block["kind"] == "bat" and any(program in block["body"] for program in PROGRAMS)


class Line:
    """One line of a block in its native form: an environment setting, a file written, a copy, or a program run."""

    def __init__(self, text):
        self.text = text
        self.setting = self.echo = self.copy = self.program = None
        words, self.output = windows_words(text)
        if words and words[0] == "set" and "=" in text:
            name, value = text[len("set "):].split("=", 1)
            self.setting = (name, value)
        elif words and words[0] == "echo" and self.output:
            self.echo = (text[len("echo "):text.rindex(">")], native_path(self.output))
        elif words and words[0] == "copy" and len(words) == 3 and not self.output:
            self.copy = (native_path(words[1]), native_path(words[2]))
        elif words and words[0] in PROGRAMS:
            self.program = [PROGRAMS[words[0]]] + [native_path(word) for word in words[1:]]
            self.output = native_path(self.output) if self.output else None


class GuideCommands(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tidywarden-guide-commands-")
        cls.download = os.path.join(cls.work, "download")
        result = subprocess.run(["cmake", "--install", ARGS.build, "--prefix", cls.download], capture_output=True,
                                text=True)
        if result.returncode != 0:
            raise RuntimeError(f"cmake --install failed:\n{result.stdout}{result.stderr}")
        # Where `--open` hands the console's address: a stand-in browser that writes it down.
        cls.bin = os.path.join(cls.work, "bin")
        os.makedirs(cls.bin)
        cls.opened = os.path.join(cls.work, "opened")
        opener = os.path.join(cls.bin, "xdg-open")
        with open(opener, "w", encoding="utf-8") as script:
            script.write(f'#!/bin/sh\necho "$1" >> "{cls.opened}"\n')
        os.chmod(opener, 0o755)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def fresh_download(self, blocks, index):
        folder = tempfile.mkdtemp(dir=self.work)
        shutil.rmtree(folder)
        shutil.copytree(self.download, folder, symlinks=True)
        prepare(folder, blocks, index)
        return folder

    def environment(self):
        env = {key: value for key, value in os.environ.items() if not key.startswith(("LC_", "LANG"))}
        env.update({"LANG": "C.UTF-8", "PATH": self.bin + os.pathsep + env.get("PATH", "")})
        env.pop("TIDYWARDEN_RCON_PASSWORD", None)
        return env

    def run_block(self, block, folder, where):
        """Runs the block's lines in the folder; returns what they printed and the last line's exit status."""
        env = self.environment()
        printed, status = "", 0
        lines = [Line(text) for text in block["body"].splitlines() if text.strip()]
        for number, line in enumerate(lines):
            last = number == len(lines) - 1
            if line.setting:
                env[line.setting[0]] = line.setting[1]
            elif line.echo:
                with open(os.path.join(folder, line.echo[1]), "w", encoding="utf-8") as written:
                    written.write(line.echo[0] + "\n")
            elif line.copy:
                shutil.copyfile(os.path.join(folder, line.copy[0]), os.path.join(folder, line.copy[1]))
            elif line.program and block["serves"] and last:
                return self.serve(line, folder, env, block, where)
            elif line.program:
                result = subprocess.run(self.command(line, folder), cwd=folder, env=env, capture_output=True,
                                        timeout=300)
                out = result.stdout.decode("utf-8", "replace")
                if line.output:
                    with open(os.path.join(folder, line.output), "w", encoding="utf-8") as saved:
                        saved.write(out)
                    out = ""
                printed += out + result.stderr.decode("utf-8", "replace")
                status = result.returncode
                if not last:
                    self.assertEqual(status, 0, f"{where}: {line.text}\n{printed}")
            else:
                self.fail(f"{where}: no native form for the line {line.text!r}; write it so that it can run here, or "
                          "add its form to this test's table")
        return printed, status

    @staticmethod
    def command(line, folder):
        return [os.path.join(folder, line.program[0])] + line.program[1:]

    def serve(self, line, folder, env, block, where):
        """Starts a server, waits until it is ready, stops it with Ctrl-C as a reader would, and returns what it
        printed and its exit status."""
        if os.path.exists(self.opened):
            os.remove(self.opened)
        self.assertTrue(block["output"], f"{where}: a server's block must say what it prints once it is up")
        expected = [self.any_port(wanted) for wanted in block["output"]]
        if line.program[0] == LIVE_CONSOLE:
            server = LiveConsole(*self.command(line, folder), cwd=folder, environment=env,
                                 start_seconds=SERVING_TIMEOUT)
        else:
            server = Sandbox.from_command(self.command(line, folder) + SERVING_OPTIONS, cwd=folder, environment=env,
                                          start_seconds=SERVING_TIMEOUT)
        status = server.stop()
        printed = server.transcript
        self.assertTrue(self.has_lines(expected, printed), f"{where}: the server never printed {expected}:\n{printed}")
        self.assertIn("stopped", printed, f"{where}: the server did not stop on Ctrl-C:\n{printed}")
        if "--open" in line.program:
            with open(self.opened, encoding="utf-8") as opened:
                self.assertIn("/#token=", opened.read(), f"{where}: --open handed no address to the browser")
        return printed, status

    @staticmethod
    def any_port(wanted):
        for port in DEFAULT_PORTS:
            wanted = wanted.replace(":" + port, ":…")
        return wanted

    @staticmethod
    def has_lines(expected, printed):
        try:
            expect_lines_in_order(unittest.TestCase(), expected, printed, "")
            return True
        except AssertionError:
            return False

    def test_every_block_that_runs_a_program_runs_as_written(self):
        for guide in GUIDES:
            blocks = fenced_blocks(os.path.join(ROOT, "docs", guide))
            runnable = [index for index, block in enumerate(blocks) if runs_a_program(block)]
            self.assertGreaterEqual(len(runnable), 8, guide)
            self.assertTrue(any(blocks[index]["serves"] for index in runnable), guide)
            for index in runnable:
                block = blocks[index]
                where = f"{guide}:{block['line']}"
                with self.subTest(where):
                    folder = self.fresh_download(blocks, index)
                    printed, status = self.run_block(block, folder, where)
                    self.assertEqual(status, block["status"], f"{where}:\n{printed}")
                    # The promised output names Windows paths, as the programs print them there.
                    expected = [native_path(self.any_port(line)) for line in block["output"] or []]
                    expect_lines_in_order(self, expected, printed, where)

    def test_both_guides_run_the_same_commands(self):
        commands = {}
        for guide in GUIDES:
            blocks = fenced_blocks(os.path.join(ROOT, "docs", guide))
            commands[guide] = [block["body"].replace("--lang zh-CN ", "") for block in blocks if runs_a_program(block)]
        self.assertEqual(commands[GUIDES[0]], commands[GUIDES[1]])


class Forms(unittest.TestCase):
    """The table's forms, line by line."""

    def test_lines_in_their_native_forms(self):
        cases = [
            ('tidywarden-check.exe --server-dir "D:\\Game Server"',
             {"program": ["tidywarden-check", "--server-dir", "game-server"]}),
            ('tidywarden-check.exe --format json "D:\\Game Server\\ArkApi\\config.json" > findings.json',
             {"program": ["tidywarden-check", "--format", "json", "game-server/ArkApi/config.json"],
              "output": "findings.json"}),
            ("sandbox\\tidywarden-sandbox.exe --dir trial --script sandbox\\demo-script.txt",
             {"program": ["sandbox/tidywarden-sandbox", "--dir", "trial", "--script", "sandbox/demo-script.txt"]}),
            ("set TIDYWARDEN_RCON_PASSWORD=choose-a-password",
             {"setting": ("TIDYWARDEN_RCON_PASSWORD", "choose-a-password")}),
            ('echo {"Destroylist": {"a": 7}}>broken.json', {"echo": ('{"Destroylist": {"a": 7}}', "broken.json")}),
            ("copy ArkApi\\a.json ArkApi\\b.json", {"copy": ("ArkApi/a.json", "ArkApi/b.json")}),
            ("certutil -hashfile x.zip SHA256", {}),
        ]
        for text, expected in cases:
            with self.subTest(text):
                line = Line(text)
                found = {name: getattr(line, name) for name in ("program", "setting", "echo", "copy")
                         if getattr(line, name) is not None}
                if line.program and line.output:
                    found["output"] = line.output
                self.assertEqual(found, expected)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the native build folder to install the download from")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
