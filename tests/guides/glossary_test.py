#!/usr/bin/python3
"""One word for each idea: no text an administrator reads uses a word that docs/glossary.md rejects.

The places are the two guides, the checker's catalogue and code titles, the console page's texts and the download's
notes. Only prose is read: in the guides, code blocks, inline code, comments and link targets are left out (they
hold commands, paths and the plug-in's own fixed texts); in the sources, only string literals.
"""
import os
import re
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
GLOSSARY = os.path.join("docs", "glossary.md")

PLACES = {
    "the guides": ["docs/admin-guide.md", "docs/admin-guide.zh-CN.md"],
    "the checker's catalogue": ["tools/check/Catalogue.h"],
    "the checker's code titles": ["tools/check/Codes.cpp"],
    "the console page": ["sandbox/console/page/i18n.js", "sandbox/console/page/live-texts.js"],
    "the download's notes": ["packaging/README.txt", "packaging/README.linux.txt", "packaging/sandbox-README.txt",
                             "packaging/sandbox-README.linux.txt"],
}

HAN = re.compile(r"[\u3400-\u9fff]")


def table_rows(text, heading):
    """The rows under a Markdown heading's table, as dicts by column title."""
    section = re.search(rf"^## {re.escape(heading)}\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    if section is None:
        raise AssertionError(f"{GLOSSARY} has no section {heading!r}")
    lines = [line for line in section.group(1).splitlines() if line.startswith("|")]
    cells = [[cell.strip() for cell in line.strip("|").split("|")] for line in lines]
    titles, rows = cells[0], cells[2:]
    return [dict(zip(titles, row)) for row in rows]


def quoted(cell):
    return re.findall(r"`([^`]+)`", cell)


def read_glossary(root):
    """The rejected words (word, the idea's term) and, for each rejected word, the longer words that may hold it."""
    with open(os.path.join(root, GLOSSARY), encoding="utf-8") as source:
        text = source.read()
    rejected = []
    for row in table_rows(text, "Terms"):
        for column, term in (("Not in English", row["English"]), ("不要用", row["中文"])):
            rejected += [(word, term) for word in quoted(row[column])]
    allowed = {}
    for row in table_rows(text, "Allowed inside longer words"):
        (word,) = quoted(row["Rejected word"])
        allowed.setdefault(word, []).extend(quoted(row["Allowed in"]))
    return rejected, allowed


def blank(text, spans):
    """The text with each span's characters turned into NULs, line ends kept, so that offsets still give lines and
    no word runs across what was left out."""
    chars = list(text)
    for start, end in spans:
        for i in range(start, end):
            if chars[i] != "\n":
                chars[i] = "\0"
    return "".join(chars)


def markdown_prose(text):
    code = [m.span() for m in re.finditer(r"^ *```.*?^ *```[^\n]*$|<!--.*?-->", text, re.S | re.M)]
    text = blank(text, code)
    inline = [m.span() for m in re.finditer(r"`[^`]*`|\]\([^)]*\)", text)]
    return blank(text, inline)


def literal_prose(text, quotes, keys_are_code=False):
    """Only the string literals' bodies of a C++ or JavaScript source; comments and code become blanks, and so do
    the keys of a JavaScript object (`'form.dino.title': ...` names a text, it is not one)."""
    keep = []
    i = 0
    while i < len(text):
        if text.startswith("//", i):
            i = text.find("\n", i) if "\n" in text[i:] else len(text)
        elif text.startswith("/*", i):
            i = text.index("*/", i) + 2
        elif text[i] in quotes:
            quote, start = text[i], i + 1
            i += 1
            while text[i] != quote:
                i += 2 if text[i] == "\\" else 1
            if not (keys_are_code and re.match(r"\s*:", text[i + 1:i + 8])):
                keep.append((start, i))
            i += 1
        else:
            i += 1
    dropped, previous = [], 0
    for start, end in keep:
        dropped.append((previous, start))
        previous = end
    dropped.append((previous, len(text)))
    return blank(text, dropped)


def prose(path, text):
    if path.endswith(".md"):
        return markdown_prose(text)
    if path.endswith((".h", ".cpp")):
        return literal_prose(text, '"')
    if path.endswith(".js"):
        return literal_prose(text, "'\"`", keys_are_code=True)
    return text


def word_pattern(word):
    """English words whole, in any letter case; Chinese words wherever they stand; both across a line break."""
    if HAN.search(word):
        return re.compile(r"(?:[ \t]*\n[ \t]*)?".join(re.escape(char) for char in word))
    return re.compile(r"\b" + r"\s+".join(re.escape(part) for part in word.split()) + r"\b", re.I)


def rejected_uses(root, only=None):
    """(place, file, line, word, term) for every rejected word in the places under `root` (or in the file `only`)."""
    rejected, allowed = read_glossary(root)
    found = []
    for place, files in PLACES.items():
        for name in files:
            if only not in (None, name):
                continue
            with open(os.path.join(root, name), encoding="utf-8-sig") as source:
                text = prose(name, source.read())
            for word, term in rejected:
                permitted = [m.span() for longer in allowed.get(word, []) for m in word_pattern(longer).finditer(text)]
                for match in word_pattern(word).finditer(blank(text, permitted)):
                    line = text.count("\n", 0, match.start()) + 1
                    found.append((place, name, line, word, term))
    return found


def report(found):
    return "\n".join(f"{name}:{line}: {word!r} ({place}); the glossary's word is {term!r}"
                     for place, name, line, word, term in found)


class Glossary(unittest.TestCase):
    def test_no_place_uses_a_rejected_word(self):
        found = rejected_uses(ROOT)
        self.assertEqual(found, [], "\n" + report(found))

    def test_the_glossary_rejects_words_for_many_ideas_and_never_its_own_terms(self):
        rejected, allowed = read_glossary(ROOT)
        self.assertGreaterEqual(len({term for _, term in rejected}), 20)
        self.assertGreaterEqual(len(rejected), 40)
        with open(os.path.join(ROOT, GLOSSARY), encoding="utf-8") as source:
            terms = table_rows(source.read(), "Terms")
        for row in terms:
            for column in ("English", "中文"):
                for word, _ in rejected:
                    with self.subTest(term=row[column], word=word):
                        self.assertIsNone(word_pattern(word).search(row[column]))
        for word, longer in allowed.items():
            with self.subTest(word=word):
                self.assertIn(word, [w for w, _ in rejected])
                self.assertTrue(all(word in phrase for phrase in longer))


class PlantedWords(unittest.TestCase):
    """The check cannot pass by reading nothing: a rejected word planted in a copy of each place is found there, and
    the text that is meant to be left out, or allowed, is."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="tidywarden-glossary-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.restore()
        self.rejected, _ = read_glossary(ROOT)

    def restore(self, *names):
        for name in names or [GLOSSARY] + [name for files in PLACES.values() for name in files]:
            os.makedirs(os.path.dirname(os.path.join(self.root, name)), exist_ok=True)
            shutil.copyfile(os.path.join(ROOT, name), os.path.join(self.root, name))

    def plant(self, name, word, where="prose"):
        """Puts `word` into the copy of `name`: into its prose, or into text the check must leave out."""
        path = os.path.join(self.root, name)
        with open(path, encoding="utf-8-sig") as source:
            text = source.read()
        if where == "prose" and name.endswith((".h", ".cpp", ".js")):
            # Into the first string literal that holds Chinese, whatever its quotes.
            literal = re.search(r"""(["'])(?:(?!\1)[^\\\n])*[\u4e00-\u9fff]""", text)
            text = text[:literal.start() + 1] + word + " " + text[literal.start() + 1:]
        elif where == "prose":
            text += f"\nPlanted: {word} here.\n"
        elif name.endswith(".md"):
            text += f"\nPlanted in code: `{word}`\n\n```text\n{word}\n```\n"
        else:
            text += f"\n// {word}\n"
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)

    def test_a_planted_word_is_found_in_every_place(self):
        self.assertEqual(rejected_uses(self.root), [])
        for place, files in PLACES.items():
            for name in files:
                for word, _ in self.rejected:
                    with self.subTest(place=place, file=name, word=word):
                        self.plant(name, word)
                        self.assertIn(word, [w for _, _, _, w, _ in rejected_uses(self.root, only=name)])
                        self.restore(name)

    def test_code_and_comments_are_left_out(self):
        for name in ("docs/admin-guide.md", "tools/check/Catalogue.h", "sandbox/console/page/i18n.js"):
            with self.subTest(file=name):
                self.plant(name, "摧毁", where="code")
                self.plant(name, "dinos", where="code")
                self.assertEqual(rejected_uses(self.root), [])

    def test_english_words_match_whole_and_chinese_words_allow_their_longer_words(self):
        cases = [
            # (planted prose, whether it is a rejected use)
            ("the DestroySpecifydino command", False),
            ("three dinos spawned", True),
            ("a Spawn\n  Filter", True),
            ("按此配置生成世界", False),
            ("刷出或生成恐龙", True),
            ("在编码下拉列表中", False),
            ("三个列表", True),
            ("任选一个空闲端口", False),
            ("插件保持空闲", True),
            ("清\n除", True),
        ]
        for text, rejected in cases:
            with self.subTest(text=text):
                self.plant("packaging/README.txt", text)
                found = rejected_uses(self.root, only="packaging/README.txt")
                self.assertEqual(bool(found), rejected, report(found))
                self.restore("packaging/README.txt")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], *sys.argv[1:]], verbosity=2)
