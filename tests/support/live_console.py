"""tidywarden-console started for tests: against sandbox servers standing in for live ones, ready once it has printed
its `console:` line, with helpers for its API and its event stream."""
import argparse
import http.client
import json
import os
import queue
import re
import signal
import subprocess
import tempfile
import threading
import time
import urllib.parse

from console_http import console_request

CONSOLE_LINE = re.compile(r"^console: (http://127\.0\.0\.1:(\d+)/#token=([0-9a-f]{32}))$", re.M)
START_SECONDS = 30
LAUNCHED_START_SECONDS = 120


def parse_arguments():
    """The live console tests' command line: `[--launcher L] CONSOLE SANDBOX`, then unittest's own arguments."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--launcher", default="")
    parser.add_argument("console", nargs="?", default="")
    parser.add_argument("sandbox", nargs="?", default="")
    return parser.parse_known_args()


def password_file_holding(password):
    """A temporary file whose first line is `password`, kept apart from any server's folder; the caller removes it."""
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as file:
        file.write(password + "\n")
    return file.name


class LiveConsoleError(RuntimeError):
    pass


class LiveConsole:
    """One tidywarden-console: `arguments` after the program, on a free console port unless they name one. Once
    started: `address`, `port`, `token`; `transcript` is what it printed."""

    def __init__(self, program, *arguments, launcher="", start_seconds=None, cwd=None, environment=None):
        command = ([launcher] if launcher else []) + [program, *arguments]
        if "--console-port" not in arguments:
            command += ["--console-port", "0"]
        descriptor, self._output = tempfile.mkstemp(prefix="tidywarden-console-", suffix=".out")
        os.close(descriptor)
        with open(self._output, "ab") as output:
            self.process = subprocess.Popen(command, stdout=output, stderr=subprocess.STDOUT, cwd=cwd, env=environment)
        seconds = start_seconds or (LAUNCHED_START_SECONDS if launcher else START_SECONDS)
        deadline = time.monotonic() + seconds
        while True:
            found = CONSOLE_LINE.search(self.transcript)
            if found:
                break
            if self.process.poll() is not None or time.monotonic() > deadline:
                text = self.transcript
                self.stop()
                raise LiveConsoleError(f"tidywarden-console did not print its console line:\n{text}")
            time.sleep(0.05)
        self.address, self.port, self.token = found.group(1), int(found.group(2)), found.group(3)

    @property
    def transcript(self):
        with open(self._output, "rb") as file:
            return file.read().decode("utf-8", "replace")

    def request(self, method, path, body=None, token=True, host=None, headers=None, timeout=30):
        """(status, body as JSON or bytes, headers). `token` True sends the right one, a text sends that
        Authorization."""
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
        status, headers, data = console_request(self.port, self.token, method, path, body, token, host, headers,
                                                timeout)
        try:
            return status, json.loads(data), headers
        except ValueError:
            return status, data, headers

    def command(self, line, server=None, timeout=30):
        path = "/api/command" + (f"?server={urllib.parse.quote(server)}" if server else "")
        status, body, _ = self.request("POST", path, {"line": line}, timeout=timeout)
        return status, body

    def events(self):
        """A queue of (event, data) from /api/events, read on a thread of its own for as long as the console runs."""
        received = queue.Queue()
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=120)
        connection.request("GET", "/api/events", headers={"Host": f"127.0.0.1:{self.port}",
                                                          "Authorization": f"Bearer {self.token}"})
        response = connection.getresponse()
        if response.status != 200:
            raise LiveConsoleError(f"/api/events answered {response.status}")

        def read():
            name, data = "message", []
            try:
                for raw in response:
                    line = raw.decode("utf-8").rstrip("\r\n")
                    if line == "":
                        if data:
                            received.put((name, json.loads("\n".join(data))))
                        name, data = "message", []
                    elif line.startswith("event:"):
                        name = line[6:].strip()
                    elif line.startswith("data:"):
                        data.append(line[5:].lstrip())
            except (OSError, ValueError, http.client.HTTPException):
                pass

        threading.Thread(target=read, daemon=True).start()
        return received

    def stop(self):
        """Interrupts it as Ctrl-C would and waits; its exit status. `transcript` stays readable."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
        if os.path.exists(self._output):
            os.remove(self._output)
        return False


def wait_for_event(events, accept, seconds=20):
    """The first (event, data) from `events` that `accept` takes, within `seconds`; None when none came."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            event = events.get(timeout=max(0.01, deadline - time.monotonic()))
        except queue.Empty:
            return None
        if accept(*event):
            return event
    return None
