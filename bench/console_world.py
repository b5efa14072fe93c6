#!/usr/bin/python3
"""How soon the sandbox console's World view shows its first rows for a large world, in headless chromium.

usage: console_world.py SERVER [--launcher PROGRAM] [--runs N] [--running-browser] [--floor] [--creatures N]
                         [--structures N] [--inventories N]
Generates a world file, starts the sandbox server with it, opens the console in a fresh browser profile for each run,
as the browser's first page, or with --running-browser after one other page from another origin and once the
browser's processes have gone quiet (as a browser the administrator already has open: started, done with the pages
it prepares in the background at its start, nothing of the console cached or connected),
and prints the milliseconds from the start of navigation to the page's marks: the world's first answer fetched and its
rows in the document (`world-rows-shown`), the frame holding them laid out and painted (`world-rows-painted`), and
the whole world drawn (`world-whole-shown`); when the world's first request left and its answer was complete, and the
page's own share; then the page's total size.
With --floor it opens instead a page of nothing but what the console's first rows need (one script that asks for the
same first answer, served from here, and draws as many rows of it in a plain table), to show what this browser and
machine take for that alone.
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import threading
import time
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = os.path.join(HERE, "..", "sandbox", "console", "page")
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
from sandbox import Sandbox, SandboxError  # noqa: E402

# The large world takes a while to build before the server is ready, on a loaded machine most of all.
START_SECONDS = 120


def world(creatures, structures, inventories):
    classes = [{"name": f"Item{i}_C", "package": f"/Game/Bench/Items/Item{i}", "kind": "item"} for i in range(8)]
    classes += [{"name": f"Wall{i}_C", "package": f"/Game/Bench/Structures/Wall{i}", "kind": "structure"}
                for i in range(8)]
    classes += [{"name": f"Dino{i}_C", "package": f"/Game/Bench/Dinos/Dino{i}", "kind": "creature"} for i in range(8)]
    return {
        "classes": classes,
        "creatures": [{"class": f"Dino{i % 8}_C", "level": 1 + i % 150, "team": i % 3 * 30000}
                      for i in range(creatures)],
        "structures": [{"class": f"Wall{i % 8}_C", "inPersistentLevel": i % 10 != 0} for i in range(structures)],
        "inventories": [{"name": f"Box{i}", "items": [f"Item{(i + k) % 8}_C" for k in range(5)]}
                        for i in range(inventories)],
    }


class QuietHandler(BaseHTTPRequestHandler):
    """Answers whole bodies and logs nothing, so the benchmark's output stays its figures."""

    def reply(self, content_type, body, status=200):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class OtherPage(QuietHandler):
    """The page a running browser showed before the console, from an origin of its own."""

    def do_GET(self):
        self.reply("text/html", b"<!doctype html><title>another page</title><p>another page</p>")


FLOOR_PAGE = b"""<!doctype html><html><head><meta charset="utf-8"><title>floor</title><script src="floor.js"></script>
</head><body><table><tbody></tbody></table></body></html>"""

FLOOR_SCRIPT = b"""'use strict';
fetch('/api/world?rows=100', { headers: { Authorization: 'Bearer floor' }, cache: 'no-store' })
  .then((response) => response.text()).then((text) => {
    const draw = () => {
      const answer = JSON.parse(text);
      const items = answer.inventories.flatMap((inventory) => inventory.items);
      const body = document.querySelector('tbody');
      for (const records of [answer.creatures, answer.structures, items]) {
        for (const record of records.slice(0, ROWS)) {
          const row = document.createElement('tr');
          row.dataset.kind = 'floor';
          for (const value of Object.values(record)) {
            const cell = document.createElement('td');
            cell.textContent = String(value);
            row.append(cell);
          }
          body.append(row);
        }
      }
      performance.mark('world-rows-shown');
      requestAnimationFrame(() => setTimeout(() => performance.mark('world-rows-painted')));
      performance.mark('world-whole-shown');
    };
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', draw);
    else draw();
  });
"""


class FloorPage(QuietHandler):
    """A page that asks for the console's first answer and draws its rows, with nothing else of the console's."""

    protocol_version = "HTTP/1.1"
    answer = b""
    rows = 0

    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/":
            self.reply("text/html", FLOOR_PAGE)
        elif path == "/floor.js":
            self.reply("text/javascript", FLOOR_SCRIPT.replace(b"ROWS", str(self.rows).encode()))
        elif path == "/api/world":
            self.reply("application/json", self.answer)
        else:
            self.reply("text/plain", b"", 404)


def browser_ticks(root):
    """Processor time, in clock ticks, of each process below `root` (chromedriver: the browser and its children)."""
    parents = {}
    ticks = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        parents[int(entry)] = int(fields[1])
        ticks[int(entry)] = int(fields[11]) + int(fields[12])
    below = {}
    for pid, used in ticks.items():
        ancestor = pid
        while ancestor > 1 and ancestor != root:
            ancestor = parents.get(ancestor, 1)
        if ancestor == root:
            below[pid] = used
    return below


def wait_until_quiet(root, limit=20.0):
    """Waits until the browser's processes have used less than a clock tick in each of five tenths of a second running;
    answers the seconds waited. A fresh browser prepares pages of its own for a second or so after its first page, on
    the same cores."""
    start = time.time()
    window = 0.1
    quiet = 0
    before = browser_ticks(root)
    while quiet < 5 and time.time() - start < limit:
        time.sleep(window)
        after = browser_ticks(root)
        # A process that has exited takes its ticks with it; one that has started counts in full.
        used = sum(ticks - before.get(pid, 0) for pid, ticks in after.items())
        quiet = quiet + 1 if used == 0 else 0
        before = after
    return time.time() - start


def serve(handler):
    server = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("server")
    parser.add_argument("--launcher", default="")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--running-browser", action="store_true")
    parser.add_argument("--floor", action="store_true")
    parser.add_argument("--creatures", type=int, default=10000)
    parser.add_argument("--structures", type=int, default=10000)
    parser.add_argument("--inventories", type=int, default=1000)
    options = parser.parse_args()

    try:
        server = Sandbox(options.server, launcher=options.launcher, password_from="environment",
                         world=world(options.creatures, options.structures, options.inventories),
                         start_seconds=START_SECONDS)
    except SandboxError as error:
        raise SystemExit(str(error)) from None
    try:
        address = server.console_address
        results = {"world-rows-shown": [], "world-rows-painted": [], "whole world shown": [], "world request sent": [],
                   "world received": [], "page's own work (received to rows shown)": []}
        if options.running_browser:
            results["browser quiet after (s)"] = []
        other_page = serve(OtherPage) if options.running_browser else None
        floor_page = None
        if options.floor:
            request = urllib.request.Request(server.console_base + "api/world?rows=100",
                                             headers={"Authorization": f"Bearer {server.token}"})
            with urllib.request.urlopen(request) as answer:
                FloorPage.answer = answer.read()
            # What the console's tables draw of each kind before they are scrolled (table.js, rowsInSight).
            FloorPage.rows = 25
            floor_page = serve(FloorPage)
        for _ in range(options.runs):
            profile = tempfile.mkdtemp(prefix="tidywarden-chromium-")
            browser_options = webdriver.ChromeOptions()
            browser_options.binary_location = "/usr/bin/chromium"
            for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         f"--user-data-dir={profile}", "--window-size=1360,900"]:
                browser_options.add_argument(flag)
            driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=browser_options)
            try:
                if other_page:
                    driver.get(f"http://127.0.0.1:{other_page.server_address[1]}/")
                    results["browser quiet after (s)"].append(wait_until_quiet(driver.service.process.pid))
                driver.get(f"http://127.0.0.1:{floor_page.server_address[1]}/" if floor_page else address)
                marks = None
                for _ in range(400):
                    marks = driver.execute_script(
                        "const m = n => (performance.getEntriesByName(n)[0] || {}).startTime;"
                        "const w = performance.getEntriesByType('resource')"
                        " .filter(e => e.name.startsWith(location.origin + '/api/world'))[0] || {};"
                        "return [m('world-rows-shown'), m('world-rows-painted'),"
                        " document.querySelectorAll('tr[data-kind]').length, w.requestStart, w.responseEnd,"
                        " m('world-whole-shown')];")
                    if marks[1] is not None and marks[5] is not None:
                        break
                    time.sleep(0.05)
                results["world-rows-shown"].append(marks[0])
                results["world-rows-painted"].append(marks[1])
                results["whole world shown"].append(marks[5])
                results["world request sent"].append(marks[3])
                results["world received"].append(marks[4])
                results["page's own work (received to rows shown)"].append(marks[0] - marks[4])
                rows = marks[2]
            finally:
                driver.quit()
                shutil.rmtree(profile, ignore_errors=True)

        for page in (other_page, floor_page):
            if page:
                page.shutdown()
        print(f"first page of the browser: {'no, one page from another origin before' if other_page else 'yes'}")
        if floor_page:
            print("page: the floor (nothing but the first answer's rows, drawn by one script)")
        print(f"world: {options.creatures} creatures, {options.structures} structures, "
              f"{options.inventories} inventories of 5 items; rows in the document: {rows}")
        for name, values in results.items():
            unit = "s" if name.endswith("(s)") else "ms"
            digits = 1 if unit == "s" else 0
            print(f"{name}: median {statistics.median(values):.{digits}f} {unit}, min {min(values):.{digits}f} {unit}, "
                  f"max {max(values):.{digits}f} {unit} over {len(values)} runs")
        if not floor_page:
            size = sum(os.path.getsize(os.path.join(PAGE, name)) for name in os.listdir(PAGE))
            print(f"page: {size} bytes in {len(os.listdir(PAGE))} files")
    finally:
        server.stop()


if __name__ == "__main__":
    main()
