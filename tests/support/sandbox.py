#!/usr/bin/python3
"""The sandbox server as tests, benchmarks and scripts start it: waited for until it is ready, stopped as Ctrl-C would.

    with Sandbox(program, launcher=launcher, world=world) as server:
        ... server.rcon_port, server.console_address, server.token, server.directory ...
    server.status, server.transcript

Only the ready line (`tidywarden-sandbox: ready {"rcon": ..., "console": ...}`) is read; the lines before it are for
people. Import it from a test's own location:  sys.path.insert(0, <root>/tests/support); from sandbox import Sandbox

As a command it waits for the ready line of a server started elsewhere, whose output goes to OUTPUT:

usage: sandbox.py --wait OUTPUT --pid PID [--timeout SECONDS] [FIELD ...]
It prints each FIELD of the ready line (rcon, console) on a line of its own, empty for what is off, or the whole line's
object without FIELDs; when the server exits or the time runs out first it prints why and the output, and exits 1.
"""
import argparse
import json
import os
import secrets
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

READY_PREFIX = "tidywarden-sandbox: ready "
FIELDS = ("rcon", "console")
PASSWORD_VARIABLE = "TIDYWARDEN_RCON_PASSWORD"
# A server under an emulator takes longer to start, the first time most of all.
NATIVE_START_SECONDS = 30
LAUNCHED_START_SECONDS = 120
STOP_SECONDS = 30
POLL_SECONDS = 0.05


class SandboxError(RuntimeError):
    """The server was not ready: `reason` says why, `transcript` holds what it printed."""

    def __init__(self, reason, transcript):
        super().__init__(f"{reason}; it printed:\n{transcript}")
        self.reason = reason
        self.transcript = transcript


def parse_ready_line(line):
    """The object of a ready line, None for any other line; ValueError for a ready line out of form."""
    line = line.rstrip("\r\n")
    if not line.startswith(READY_PREFIX):
        return None
    try:
        ready = json.loads(line[len(READY_PREFIX):])
    except json.JSONDecodeError as error:
        raise ValueError(f"the ready line is not JSON ({error}): {line!r}") from None
    if (not isinstance(ready, dict) or sorted(ready) != sorted(FIELDS)
            or any(value is not None and not isinstance(value, str) for value in ready.values())):
        raise ValueError(f"the ready line does not give {' and '.join(FIELDS)} as texts or null: {line!r}")
    return ready


def find_ready(transcript):
    """The object of the first ready line among the transcript's whole lines; None before one is printed."""
    for line in transcript.split("\n")[:-1]:
        ready = parse_ready_line(line)
        if ready is not None:
            return ready
    return None


def endpoint(address):
    """(host, port) to connect to for an address the server listens on: host:port, [v6]:port, or *:port for every
    interface, reached here on 127.0.0.1."""
    host, _, port = address.rpartition(":")
    if host.startswith("[") and host.endswith("]"):
        host = host[1:-1]
    return ("127.0.0.1" if host == "*" else host), int(port)


def read_transcript(path):
    try:
        with open(path, "rb") as output:
            return output.read().decode("utf-8", errors="replace")
    except FileNotFoundError:
        return ""


def wait_for_ready(path, ended, seconds):
    """Polls the output file until its ready line and answers the line's object. `ended()` is None while the server
    runs, else how it ended. Raises SandboxError when it ends first, the time runs out or the line is out of form."""
    deadline = time.monotonic() + seconds
    while True:
        transcript = read_transcript(path)
        try:
            ready = find_ready(transcript)
        except ValueError as error:
            raise SandboxError(str(error), transcript) from None
        if ready is not None:
            return ready
        how = ended()
        if how is not None:
            # Read again: what it printed as it exited may have come after the read above.
            raise SandboxError(f"the sandbox server {how} before it was ready", read_transcript(path))
        if time.monotonic() >= deadline:
            raise SandboxError(f"the sandbox server was not ready within {seconds:g} s", transcript)
        time.sleep(POLL_SECONDS)


class Sandbox:
    """One sandbox server, ready when constructed: in a fresh directory (`directory`, removed when it stops), with
    the demo configuration and world unless told otherwise, RCON and the console on free ports, and the RCON
    password in a file (`password_from` "file"), in the environment ("environment") or nowhere (None).

    `world` is a world file's path or its JSON value; `extra` are more options for the server. Once ready:
    `ready` (the ready line's object), `rcon_host`, `rcon_port`, `console_address` (with the token), `console_base`,
    `console_port` and `token`, each None for what is off; `transcript` is what it has printed so far."""

    def __init__(self, program, *extra, launcher="", demo_config=True, world=None, rcon=True, console=True,
                 rcon_port=0, console_port=0, password=None, password_from="file", quiet=True, start_seconds=None):
        self.directory = tempfile.mkdtemp(prefix="tidywarden-sandbox-")
        self._owns_directory = True
        self.password = password or "sandbox-" + secrets.token_hex(8)
        command = ([launcher] if launcher else []) + [program, "--dir", self.directory]
        command += ["--demo-config"] if demo_config else []
        command += ["--quiet"] if quiet else []
        if isinstance(world, (dict, list)):
            world_file = os.path.join(self.directory, "world.json")
            with open(world_file, "w", encoding="utf-8") as file:
                json.dump(world, file, ensure_ascii=False)
            world = world_file
        command += ["--world", world] if world is not None else []
        command += self._rcon_options(rcon, rcon_port, password_from)
        if not console:
            command.append("--no-console")
        elif console_port is not None:
            command += ["--console-port", str(console_port)]
        # The password is where the caller asked for it and nowhere else, whatever this environment holds.
        environment = {name: value for name, value in os.environ.items() if name != PASSWORD_VARIABLE}
        if rcon and password_from == "environment":
            environment[PASSWORD_VARIABLE] = self.password
        seconds = start_seconds or (LAUNCHED_START_SECONDS if launcher else NATIVE_START_SECONDS)
        self._start(command + list(extra), None, environment, seconds)

    @classmethod
    def from_command(cls, command, *, cwd=None, environment=None, start_seconds=NATIVE_START_SECONDS):
        """A server started by a whole command line of the caller's, in a directory of the caller's (left as it is)."""
        server = cls.__new__(cls)
        server.directory = cwd
        server._owns_directory = False
        server.password = None
        server._start(command, cwd, environment, start_seconds)
        return server

    def _rcon_options(self, rcon, port, password_from):
        if not rcon:
            return ["--no-rcon"]
        options = ["--rcon-port", str(port)] if port is not None else []
        if password_from == "file":
            password_file = os.path.join(self.directory, "rcon-password")
            with open(password_file, "w", encoding="utf-8") as file:
                file.write(self.password + "\n")
            options += ["--rcon-password-file", password_file]
        return options

    def _start(self, command, cwd, environment, seconds):
        self.status = None
        self._transcript = None
        descriptor, self._output = tempfile.mkstemp(prefix="tidywarden-sandbox-", suffix=".out")
        os.close(descriptor)
        self.process = None
        try:
            # Appending, the server writes at the end of the file however far this side has read it.
            with open(self._output, "ab") as output:
                self.process = subprocess.Popen(command, cwd=cwd, env=environment, stdout=output,
                                                stderr=subprocess.STDOUT)
            self.ready = wait_for_ready(self._output, self._ended, seconds)
        except SandboxError as error:
            self.stop()
            raise SandboxError(error.reason, self.transcript) from None
        except BaseException:
            self.stop()
            raise
        self.rcon_host, self.rcon_port = endpoint(self.ready["rcon"]) if self.ready["rcon"] else (None, None)
        self.console_address = self.ready["console"]
        self.console_base = self.console_port = self.token = None
        if self.console_address:
            parts = urllib.parse.urlsplit(self.console_address)
            self.console_base = f"{parts.scheme}://{parts.netloc}/"
            self.console_port = parts.port
            self.token = urllib.parse.parse_qs(parts.fragment).get("token", [None])[0]

    def _ended(self):
        status = self.process.poll()
        return None if status is None else f"exited with status {status}"

    @property
    def transcript(self):
        """Everything the server printed on both outputs, so far or, once stopped, in all."""
        return self._transcript if self._transcript is not None else read_transcript(self._output)

    def stop(self):
        """Interrupts the server as Ctrl-C would (under an emulator too, which hands the signal on) and waits for it;
        returns its exit status, None if it had to be killed. Stopping again returns the same."""
        if self._transcript is not None:
            return self.status
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.status = self.process.wait(STOP_SECONDS)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        elif self.process is not None:
            self.status = self.process.returncode
        self._transcript = read_transcript(self._output)
        os.remove(self._output)
        if self._owns_directory:
            shutil.rmtree(self.directory, ignore_errors=True)
        return self.status

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
        return False


def process_ended(pid):
    """How a process not started here ended, None while it runs (an exited process not yet reaped counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            running = stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (FileNotFoundError, ProcessLookupError):
        running = False
    return None if running else "exited"


def main(arguments):
    parser = argparse.ArgumentParser(description="Waits for the ready line of a sandbox server started elsewhere.")
    parser.add_argument("--wait", required=True, metavar="OUTPUT", help="the file the server's output goes to")
    parser.add_argument("--pid", type=int, required=True, help="the server's process")
    parser.add_argument("--timeout", type=float, default=NATIVE_START_SECONDS)
    parser.add_argument("fields", nargs="*", metavar="FIELD", help=" or ".join(FIELDS))
    options = parser.parse_args(arguments)
    unknown = [field for field in options.fields if field not in FIELDS]
    if unknown:
        parser.error(f"no such field: {', '.join(unknown)} (the fields are {', '.join(FIELDS)})")
    try:
        ready = wait_for_ready(options.wait, lambda: process_ended(options.pid), options.timeout)
    except SandboxError as error:
        print(error, file=sys.stderr)
        return 1
    if not options.fields:
        print(json.dumps(ready))
    for field in options.fields:
        print(ready[field] or "")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
