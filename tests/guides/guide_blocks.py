"""The guides' code blocks as the tests that run them read them, and what an unpacked download needs to run them.

A block's notes are the HTML comments right above it: `exit status: N` (the status the block ends with, else 0),
`serves until Ctrl-C` (a server that runs until it is stopped), `file: NAME` (the guide tells the reader to save
the block as NAME), and `output of the commands above` (the lines the block before must print, … for any text).
"""
import os
import re
import shutil

FENCE = re.compile(r"^(?P<indent> *)(?P<notes>(?:<!-- [^>]* -->\n(?P=indent))*)```(?P<kind>\w*)\n(?P<body>.*?)"
                   r"^(?P=indent)```\n", re.S | re.M)

# The server working directory the guides name, and the folder inside an unpacked download that stands for it: a
# server layout holding the example configuration.
SERVER_FOLDERS = {"D:\\Game Server": "game-server"}
EXAMPLE_CONFIG = os.path.join("ArkApi", "Plugins", "Tidywarden", "config.json")


def fenced_blocks(path):
    """The guide's fenced blocks in order, each with its kind, body, notes, line and promised output."""
    with open(path, encoding="utf-8") as guide:
        text = guide.read()
    blocks = []
    for match in FENCE.finditer(text):
        indent = match.group("indent")
        body = re.sub(rf"(?m)^{indent}", "", match.group("body"))
        notes = re.findall(r"<!-- (.*?) -->", match.group("notes"))
        if "output of the commands above" in notes and blocks:
            blocks[-1]["output"] = body.splitlines()
            continue
        status = next((int(n.split(":")[1]) for n in notes if n.startswith("exit status:")), 0)
        saved_as = next((n.split(":", 1)[1].strip() for n in notes if n.startswith("file:")), None)
        blocks.append({"kind": match.group("kind"), "body": body, "status": status, "saved_as": saved_as,
                       "serves": "serves until Ctrl-C" in notes, "output": None,
                       "line": text.count("\n", 0, match.start()) + 1})
    return blocks


def prepare(folder, blocks, index):
    """Lays out in an unpacked download what block `index` needs: the server folder, and the files that the guide
    told the reader to save before it."""
    for server in SERVER_FOLDERS.values():
        config = os.path.join(folder, server, EXAMPLE_CONFIG)
        os.makedirs(os.path.dirname(config), exist_ok=True)
        shutil.copyfile(os.path.join(folder, EXAMPLE_CONFIG), config)
    for block in blocks[:index]:
        if block["saved_as"]:
            with open(os.path.join(folder, block["saved_as"]), "w", encoding="utf-8") as saved:
                saved.write(block["body"])


def with_server_folders(command):
    for windows, folder in SERVER_FOLDERS.items():
        command = command.replace(windows, folder)
    return command


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
