#!/usr/bin/env python3
"""Runs the end-to-end case table against the real citsconv binary.

Each case gets a scratch folder holding its data set; the binary runs there
with the case's replies on standard input. The whole console transcript, the
exit status and the bytes of every file in the folder afterwards must be as
the case says. Mismatches are shown as diffs.

usage: run_cases.py [--crlf] [--prefix CMD] [--wine] [-k SUBSTRING] BINARY
  --crlf     expect console lines to end in CR LF (a Windows build)
  --prefix   run the binary through CMD (for example: wine)
  --wine     run a Windows build under wine: --crlf --prefix wine, in a wine
             prefix beside the binary with one wineserver for the whole run
"""

import argparse
import atexit
import difflib
import os
import resource
import select
import shlex
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cases import CASES  # noqa: E402
from dataset import SparseFile  # noqa: E402

TIMEOUT = 30.0


def set_up(folder, case):
    made = case.dataset.build(folder) if case.dataset else {}
    for name in case.directories:
        os.mkdir(os.path.join(folder, name))
    for name, data in case.files_before.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        made[name] = data
    return made


def limits(case):
    def apply():
        if case.file_size_limit is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (case.file_size_limit, case.file_size_limit))
    return apply


def run_piped(command, folder, case):
    proc = subprocess.run(command, cwd=folder, input=case.replies.encode("latin-1"),
                          stdout=subprocess.PIPE, timeout=TIMEOUT, preexec_fn=limits(case))
    return proc.stdout, proc.returncode


def read_until_prompt(proc, output, seen):
    """Reads standard output until a new prompt (text ending in ':') shows."""
    deadline = time.monotonic() + TIMEOUT
    while not (len(output) > seen and output.rstrip(b"\r\n").endswith(b":") and not output.endswith(b"\n")):
        left = deadline - time.monotonic()
        ready, _, _ = select.select([proc.stdout], [], [], max(left, 0))
        if not ready:
            raise RuntimeError("no prompt within %.0f s; output so far:\n%s" % (TIMEOUT, output.decode("latin-1")))
        chunk = os.read(proc.stdout.fileno(), 65536)
        if not chunk:
            break
        output += chunk
    return output


def run_interactive(command, folder, case):
    """Sends one reply line per prompt, each only after its prompt is visible."""
    proc = subprocess.Popen(command, cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            preexec_fn=limits(case))
    output = b""
    lines = case.replies.splitlines(keepends=True)
    for index, line in enumerate(lines):
        output = read_until_prompt(proc, output, len(output))
        if index in case.before_reply:
            case.before_reply[index](folder)
        proc.stdin.write(line.encode("latin-1"))
        proc.stdin.flush()
    proc.stdin.close()
    rest = proc.stdout.read()
    proc.stdout.close()
    return output + rest, proc.wait(timeout=TIMEOUT)


def folder_contents(folder):
    """{name: bytes} of every file; large (sparse) files by path only."""
    files = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            if os.path.getsize(path) > 64 << 20:
                files[name] = path
            else:
                with open(path, "rb") as f:
                    files[name] = f.read()
    return files


def describe_bytes(data):
    head = data[:24].hex(" ")
    return "%d bytes: %s%s" % (len(data), head, " ..." if len(data) > 24 else "")


def check(case, transcript, status, folder, expected_files, crlf):
    files = folder_contents(folder)
    problems = []
    expected_transcript = case.transcript.replace("\n", "\r\n") if crlf else case.transcript
    if transcript != expected_transcript.encode("latin-1"):
        diff = difflib.unified_diff(expected_transcript.splitlines(keepends=True),
                                    transcript.decode("latin-1").splitlines(keepends=True),
                                    "expected transcript", "actual transcript")
        problems.append("transcript differs:\n" + "".join(repr(line)[1:-1] + "\n" for line in diff))
    if status != case.status:
        problems.append("exit status %d, expected %d" % (status, case.status))
    for name in sorted(set(files) | set(expected_files)):
        if name not in files:
            problems.append("missing file %s" % name)
        elif name not in expected_files:
            problems.append("unexpected file %s (%s)" % (name, describe_bytes(files[name])))
        elif isinstance(expected_files[name], SparseFile):
            if not expected_files[name].matches(os.path.join(folder, name)):
                problems.append("file %s changed" % name)
        elif files[name] != expected_files[name]:
            actual, wanted = files[name], expected_files[name]
            at = next((i for i in range(min(len(actual), len(wanted))) if actual[i] != wanted[i]),
                      min(len(actual), len(wanted)))
            problems.append("file %s differs from byte %d on\n  expected %s\n  actual   %s"
                            % (name, at, describe_bytes(wanted), describe_bytes(actual)))
    return problems


def start_wine(prefix):
    """Keeps one wineserver running until the runner exits, so each case
    starts wine in a fraction of a second. Setting the prefix up (some ten
    seconds, the first time) starts wine's own background programs: they get
    no console, so none of them can hold a case's output pipe open."""
    os.makedirs(prefix, exist_ok=True)
    os.environ["WINEPREFIX"] = prefix
    os.environ["WINEDEBUG"] = "-all"
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Fails when a server for this prefix runs already; that one is used and left running.
    if subprocess.call(["wineserver", "-p"], **quiet) == 0:
        atexit.register(subprocess.call, ["wineserver", "-k"], **quiet)
    subprocess.run(["wine", "wineboot", "--init"], check=True, timeout=300, **quiet)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--crlf", action="store_true")
    parser.add_argument("--prefix", default="")
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("-k", dest="only", default="")
    parser.add_argument("binary")
    args = parser.parse_args()
    if args.wine:
        args.crlf, args.prefix = True, "wine"
        start_wine(os.path.join(os.path.dirname(os.path.abspath(args.binary)), "wine"))
    command = shlex.split(args.prefix) + [os.path.abspath(args.binary)]

    failed = 0
    cases = [c for c in CASES if args.only in c.name]
    for case in cases:
        with tempfile.TemporaryDirectory(prefix="citsconv-case-") as folder:
            before = set_up(folder, case)
            try:
                runner = run_interactive if case.interactive else run_piped
                transcript, status = runner(command, folder, case)
                # The data set is never modified; the case lists only what is new.
                expected = {name: data for name, data in before.items() if name not in case.removed}
                expected.update(case.new_files)
                problems = check(case, transcript, status, folder, expected, args.crlf)
            except (RuntimeError, subprocess.TimeoutExpired) as error:
                problems = [str(error)]
        if problems:
            failed += 1
            print("FAIL %s\n  %s" % (case.name, "\n  ".join("\n  ".join(p.splitlines()) for p in problems)))
        else:
            print("ok   %s" % case.name)
    print("%d of %d cases passed" % (len(cases) - failed, len(cases)))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
