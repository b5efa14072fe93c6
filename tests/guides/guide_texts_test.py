#!/usr/bin/python3
"""Every line the plug-in can write to the log and every reply it can send appear in both administrator's guides.

The texts are taken from the sources, so a new message, a new failing routine or a new error text fails this test
until the guides explain it. Log lines are GBK in the log; the guides write them in UTF-8, and they are compared so.
"""
import glob
import html
import importlib.machinery
import importlib.util
import os
import re
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
SRC = os.path.join(ROOT, "src")
GUIDES = [os.path.join(ROOT, "docs", name) for name in ("admin-guide.md", "admin-guide.zh-CN.md")]

# Texts of the messages header that are not lines of their own: the pattern and the format that frame the lines,
# and the credit that fills the loaded line.
FRAMING = {"kLogPattern", "kCommandFailure", "kCredit"}

STRING_LITERAL = re.compile(r'(L?)"((?:[^"\\]|\\.)*)"')


def c_string(body):
    """The bytes of a C string literal's body (its escapes undone)."""
    out = bytearray()
    i = 0
    while i < len(body):
        if body[i] != "\\":
            out += body[i].encode("utf-8")
            i += 1
            continue
        kind = body[i + 1]
        if kind == "x":
            digits = re.match(r"[0-9a-fA-F]+", body[i + 2:]).group(0)
            out.append(int(digits, 16))
            i += 2 + len(digits)
        else:
            out += {"n": b"\n", "t": b"\t", "\\": b"\\", '"': b'"', "'": b"'", "0": b"\0"}[kind]
            i += 2
    return bytes(out)


def messages():
    """The constants of the messages header: name -> (kind, text, the text its comment gives or None)."""
    with open(os.path.join(SRC, "common", "Messages.h"), encoding="utf-8") as header:
        source = header.read()
    found = {}
    declaration = re.compile(r'((?://[^\n]*\n)*)inline constexpr const (char|wchar_t)\* (k\w+) =\s*(.*?);', re.S)
    for match in declaration.finditer(source):
        comments, kind, name, value = match.groups()
        pieces = STRING_LITERAL.findall(value)
        if kind == "char":
            text = b"".join(c_string(body) for _, body in pieces).decode("gbk")
        else:
            text = "".join(c_string(body).decode("utf-8") for _, body in pieces)
        quoted = re.findall(r'^// "(.*)"$', comments, re.M)
        found[name] = (kind, text, quoted[-1] if quoted else None)
    return found


def sources():
    for path in sorted(glob.glob(os.path.join(SRC, "**", "*.*"), recursive=True)):
        if path.endswith((".cpp", ".h")):
            with open(path, encoding="utf-8") as source:
                yield path, source.read()


def routine_names():
    """Named routine constants (detours::kName = "Name") across the sources."""
    names = {}
    for _, text in sources():
        for name, value in re.findall(r'constexpr const char\* (k\w+) = "(\w+)";', text):
            names[name] = value
    return names


def failing_routines():
    """(source file name, routine) of every routine whose failures the boundary logs."""
    names = routine_names()
    routines = set()
    for path, text in sources():
        for routine in re.findall(r"RunAtBoundary\(__FILE__,\s*([^,]+),", text):
            routine = routine.strip()
            literal = re.fullmatch(r'"(\w+)"', routine)
            value = literal.group(1) if literal else names.get(routine.split("::")[-1])
            if value is None:
                raise AssertionError(f"{path}: cannot tell the routine name {routine}")
            routines.add((os.path.basename(path), value))
    return routines


def failure_texts():
    """The plug-in's own texts that follow "Parsing error": what it throws, and what the boundary logs itself."""
    texts = set()
    for _, text in sources():
        texts.update(re.findall(r'throw std::\w+\("([^"]+)"\)', text))
        texts.update(re.findall(r'LogCommandFailure\([^;]*?"([^"]+)"\)', text))
    return texts


def guide_text(path):
    with open(path, encoding="utf-8") as guide:
        return guide.read()


def as_pattern(text, placeholder):
    return re.compile(placeholder.join(re.escape(part) for part in text.split("{}")))


class GuideTexts(unittest.TestCase):
    def setUp(self):
        self.guides = {os.path.basename(path): guide_text(path) for path in GUIDES}

    def assert_in_guides(self, what, pattern):
        for name, text in self.guides.items():
            with self.subTest(guide=name, text=what):
                self.assertRegex(text, pattern, f"{name} does not show {what!r}")

    def test_header_comments_give_the_texts_the_bytes_hold(self):
        for name, (kind, text, quoted) in messages().items():
            if quoted is not None:
                with self.subTest(name):
                    self.assertEqual(quoted, text)

    def test_every_log_line_and_reply_is_in_both_guides(self):
        found = messages()
        lines = {name: text for name, (kind, text, _) in found.items() if kind == "char" and name not in FRAMING}
        replies = {name: text for name, (kind, text, _) in found.items() if kind == "wchar_t"}
        self.assertGreaterEqual(len(lines), 3)
        self.assertGreaterEqual(len(replies), 3)
        for name, text in lines.items():
            # A placeholder in a log line is filled by the plug-in; the guides show the filled line.
            self.assert_in_guides(name, as_pattern(text, ".+?"))
        self.assert_in_guides("kCredit", re.escape(found["kCredit"][1]))
        for name, text in replies.items():
            # A count in a reply is N in the guides' tables and a number in their examples.
            self.assert_in_guides(name, as_pattern(text, r"(?:N|\d+)"))

    def test_every_routine_that_logs_failures_is_in_both_guides(self):
        routines = failing_routines()
        self.assertGreaterEqual(len(routines), 8)
        for source, routine in sorted(routines):
            self.assert_in_guides(f"({source} {routine})", re.escape(f"{source} {routine}) Parsing error"))

    def test_every_text_after_parsing_error_is_in_both_guides(self):
        texts = failure_texts()
        self.assertIn("unknown exception", texts)
        for text in sorted(texts):
            self.assert_in_guides(text, re.escape(f"Parsing error {text}"))


def render_guides():
    """scripts/render-guides as a module, for the anchors it gives headings."""
    path = os.path.join(ROOT, "scripts", "render-guides")
    loader = importlib.machinery.SourceFileLoader("render_guides", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("render_guides", loader))
    loader.exec_module(module)
    return module


def headings(text):
    """(level, title) of every heading outside code blocks."""
    text = re.sub(r"^ *```.*?^ *```", "", text, flags=re.S | re.M)
    return [(len(marks), title) for marks, title in re.findall(r"^(#{1,6}) (.+)$", text, re.M)]


class GuideLayout(unittest.TestCase):
    """The way in first, the reference at the back, the same sections in both languages, and links that land."""

    FIRST_STEPS = {"admin-guide.md": "## The first five minutes", "admin-guide.zh-CN.md": "## 最初五分钟"}
    REFERENCE = {"admin-guide.md": "## Reference", "admin-guide.zh-CN.md": "## 参考"}

    def setUp(self):
        self.guides = {os.path.basename(path): guide_text(path) for path in GUIDES}

    def test_the_first_steps_come_early_and_the_reference_after_the_tasks(self):
        for name, text in self.guides.items():
            with self.subTest(name):
                lines = text.splitlines()
                first, reference = lines.index(self.FIRST_STEPS[name]) + 1, lines.index(self.REFERENCE[name]) + 1
                self.assertLessEqual(first, 80)
                self.assertLessEqual(reference - 1, 250, "the part before the reference is too long")

    def test_both_guides_have_the_same_sections(self):
        levels = {name: [level for level, _ in headings(text)] for name, text in self.guides.items()}
        self.assertEqual(*levels.values())

    def test_every_link_into_a_guide_lands_on_a_heading(self):
        anchor_of = render_guides().anchor_of
        anchors = {}
        for name, text in self.guides.items():
            taken = set()
            anchors[name] = {anchor_of(html.escape(title), taken) for _, title in headings(text)}
        sources = {os.path.join("docs", name): text for name, text in self.guides.items()}
        for other in ["README.md"] + [os.path.join("docs", name) for name in sorted(os.listdir(os.path.join(ROOT, "docs")))
                                      if name.endswith(".md") and not name.startswith("admin-guide")]:
            with open(os.path.join(ROOT, other), encoding="utf-8") as readme:
                sources[other] = readme.read()
        links = 0
        for source, text in sources.items():
            for target, anchor in re.findall(r"\]\(((?:[\w./-]*?)admin-guide(?:\.zh-CN)?\.md)?#([^)\s]+)\)", text):
                guide = os.path.basename(target) if target else os.path.basename(source)
                links += 1
                with self.subTest(source=source, link=f"{target}#{anchor}"):
                    self.assertIn(anchor, anchors[guide])
        self.assertGreater(links, 40)


class Scanning(unittest.TestCase):
    """The scanners read what the sources hold, so that a new text cannot slip past them."""

    CASES = [
        # (source text, escapes undone)
        (r"\xce\xde", b"\xce\xde"),
        (r"a\x41", b"aA"),
        (r"say \"hi\"\n", b'say "hi"\n'),
    ]

    def test_c_string_escapes(self):
        for body, expected in self.CASES:
            with self.subTest(body):
                self.assertEqual(c_string(body), expected)

    def test_a_missing_text_is_reported(self):
        test = GuideTexts()
        test.guides = {"guide": "(…Purge.cpp DestroySpecifydino) Parsing error invalid stoull argument"}
        with self.assertRaises(AssertionError):
            test.assert_in_guides("x", re.escape("Parsing error there is no current world"))
        test.assert_in_guides("x", re.escape("Purge.cpp DestroySpecifydino) Parsing error"))

    def test_placeholders_match_a_count_or_n_only(self):
        pattern = as_pattern("清理指定建筑{}个，执行完毕！", r"(?:N|\d+)")
        self.assertRegex("清理指定建筑N个，执行完毕！", pattern)
        self.assertRegex("清理指定建筑3个，执行完毕！", pattern)
        self.assertNotRegex("清理指定建筑个，执行完毕！", pattern)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], *sys.argv[1:]], verbosity=2)
