#!/usr/bin/python3
"""The Windows checker started as a double-click starts it: no arguments, in a console window of its own.

usage: double_click_test.py LAUNCHER PROGRAM [unittest arguments]
LAUNCHER runs Windows programs (the build's wine-run). `cmd /c start /wait` gives the program a new console, as
Explorer does. Wine's new console shows nothing here and hands the program the input written to it only at times,
so what was checked is read from the exit status, and the pause itself is not watched: Enter is written at once.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

LAUNCHER, PROGRAM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
UNITTEST_ARGUMENTS = sys.argv[3:]
SOURCE = os.path.dirname(os.path.abspath(__file__))
FAULTY = os.path.join(SOURCE, "faulty.json")
CLEAN = os.path.join(SOURCE, "server", "ArkApi", "Plugins", "Tidywarden", "config.json")
LAYOUT = os.path.join("ArkApi", "Plugins", "Tidywarden", "config.json")
USAGE_STATUS = 3


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class DoubleClickTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="tidywarden-double-click-")
        # Started elsewhere: what is checked is found from the program's own folder, not the current one.
        self.elsewhere = os.path.join(self.scratch, "elsewhere")
        os.mkdir(self.elsewhere)

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def program_in_folder(self, name, files):
        """A folder holding the program and `files` ([(source, path relative to the folder)]); the program's path."""
        folder = os.path.join(self.scratch, name.replace(" ", "-"))
        os.mkdir(folder)
        for source, relative in files:
            os.makedirs(os.path.dirname(os.path.join(folder, relative)), exist_ok=True)
            shutil.copy(source, os.path.join(folder, relative))
        program = os.path.join(folder, os.path.basename(PROGRAM))
        shutil.copy(PROGRAM, program)
        return program

    def test_checks_what_lies_beside_it(self):
        cases = [
            ("config.json beside the program", [(FAULTY, "config.json")], 2),
            ("the server layout below its folder", [(CLEAN, LAYOUT)], 0),
            ("beside it before the layout", [(FAULTY, "config.json"), (CLEAN, LAYOUT)], 2),
            ("nothing to check", [], USAGE_STATUS),
        ]
        for name, files, status in cases:
            with self.subTest(name):
                program = self.program_in_folder(name, files)
                window = subprocess.Popen([LAUNCHER, "cmd", "/c", "start", "/wait", windows_path(program)],
                                          cwd=self.elsewhere, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL)
                try:
                    window.communicate(b"\n", timeout=120)
                finally:
                    if window.poll() is None:
                        window.kill()
                        window.wait()
                self.assertEqual(window.returncode, status)

    def test_never_waits_at_a_prompt_or_in_a_script(self):
        # No arguments, but a console it shares with the prompt, or none: the server layout below the current
        # folder is checked, not config.json beside the program, and nothing waits for Enter.
        os.makedirs(os.path.join(self.elsewhere, os.path.dirname(LAYOUT)))
        shutil.copy(FAULTY, os.path.join(self.elsewhere, LAYOUT))
        program = self.program_in_folder("script", [(CLEAN, "config.json")])
        launches = [
            ("in a script", [LAUNCHER, program]),
            # script(1) gives wine a terminal, which it turns into the console cmd and the program share.
            ("at a prompt", ["script", "-qec", shlex.join([LAUNCHER, "cmd", "/c", windows_path(program)]), "/dev/null"]),
        ]
        for name, command in launches:
            with self.subTest(name):
                try:
                    run = subprocess.run(command, cwd=self.elsewhere, stdin=subprocess.DEVNULL, capture_output=True,
                                         timeout=120)
                except subprocess.TimeoutExpired:
                    self.fail("waited for Enter")
                # Wine's console draws its screen with escape sequences, spaces included.
                text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", run.stdout.decode("utf-8", errors="replace"))
                self.assertEqual(run.returncode, 2, text)
                self.assertIn("E112", text)
                for pause in ("Enter", "回车"):
                    self.assertNotIn(pause, text)

if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + UNITTEST_ARGUMENTS, verbosity=2)
