#!/usr/bin/env python3
"""Runs the end-to-end case table against the real citsconv binary.

Each case gets a scratch folder holding its data set; the binary runs there
with the case's replies on standard input. The whole console transcript, the
exit status and the bytes of every file in the folder afterwards must be as
the case says. Mismatches are shown as diffs.

The program never writes to standard error, so anything there (a sanitizer
report, for one) fails the case; so does a run that outlasts its time limit
or its bound on peak memory. These checks measure the program's own process:
through --prefix, whose command shares that process, standard error, time
limits and memory bounds are not checked (runs still end after the runner's
hang timeout), and the read-only folder cases are skipped.

A table may give a case arguments for the binary and the exact standard
error it expects (its `errors`); such a case's standard error is checked
through --prefix too.

usage: run_cases.py [--crlf] [--prefix CMD] [--wine] [--table MODULE] [-k SUBSTRING] BINARY
  --crlf     expect console lines to end in CR LF (a Windows build)
  --prefix   run the binary through CMD (for example: wine)
  --wine     run a Windows build under wine: --crlf --prefix wine, in a wine
             prefix beside the binary with one wineserver for the whole run
  --table    the module of the case table: cases (default) or stack_cases
"""

import argparse
import atexit
import difflib
import importlib
import os
import resource
import select
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dataset import SparseFile  # noqa: E402

TIMEOUT = 30.0
UNPRIVILEGED = 65534  # nobody: runs the read-only folder cases when the runner is root


class Skip(Exception):
    """A case that cannot be run here, with the reason."""


class Run:
    """What a run of the binary gave."""

    def __init__(self, transcript, status, errors, max_rss_kib):
        self.transcript, self.status, self.errors, self.max_rss_kib = transcript, status, errors, max_rss_kib


def set_up(folder, case):
    made = case.dataset.build(folder) if case.dataset else {}
    for name in case.directories:
        os.mkdir(os.path.join(folder, name))
    for name, data in case.files_before.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        made[name] = data
    return made


def limits(case, unprivileged):
    def apply():
        if case.file_size_limit is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (case.file_size_limit, case.file_size_limit))
        if unprivileged:
            os.setgroups([])
            os.setgid(UNPRIVILEGED)
            os.setuid(UNPRIVILEGED)
    return apply


def reply_chunks(replies):
    """The replies as bytes, in pieces of at most 1 MiB, without building a long reply whole."""
    for part in ([replies] if isinstance(replies, str) else replies):
        if isinstance(part, str):
            yield part.encode("latin-1")
        else:
            piece = part.text.encode("latin-1") * max(1, (1 << 20) // len(part.text))
            left = part.times * len(part.text)
            while left > 0:
                yield piece[:left]
                left -= len(piece)


class Deadline:
    """The time a run may take, from its start."""

    def __init__(self, limit):
        self.limit = limit
        self.at = time.monotonic() + limit

    def left(self):
        return max(self.at - time.monotonic(), 0)


def reap(proc, deadline):
    """Waits for the process until the deadline; returns (exit status, peak RSS in KiB).

    The peak is the child's own, so each case measures its run alone; it
    counts from the fork and so includes the runner's own pages (some 20 MiB).
    """
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid == proc.pid:
            proc.returncode = os.waitstatus_to_exitcode(status)
            return proc.returncode, usage.ru_maxrss
        if deadline.left() == 0:
            raise RuntimeError("still running after %.1f s" % deadline.limit)
        time.sleep(0.002)


def read_output(proc, output, deadline, until_prompt):
    """Reads standard output until the end, or until a new prompt (text ending in ':') shows."""
    seen = len(output)
    while True:
        if until_prompt and len(output) > seen and output.rstrip(b"\r\n").endswith(b":") \
                and not output.endswith(b"\n"):
            return output
        ready, _, _ = select.select([proc.stdout], [], [], deadline.left())
        if not ready:
            raise RuntimeError("no %s within %.1f s; output so far:\n%s"
                               % ("prompt" if until_prompt else "end of output", deadline.limit,
                                  output.decode("latin-1")))
        chunk = os.read(proc.stdout.fileno(), 65536)
        if not chunk:
            return output
        output += chunk


def run(command, folder, case, unprivileged, direct):
    """Runs the binary in the folder with the case's replies.

    Piped, the replies are fed from a thread while the output is read; in
    interactive mode each reply line is sent only once its prompt shows.
    """
    deadline = Deadline(case.time_limit if direct and case.time_limit else TIMEOUT)
    with tempfile.TemporaryFile() as errors:
        proc = subprocess.Popen(command + list(getattr(case, "arguments", ())), cwd=folder, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=errors, preexec_fn=limits(case, unprivileged))
        try:
            output = b""
            if case.interactive:
                for index, line in enumerate(case.replies.splitlines(keepends=True)):
                    output = read_output(proc, output, deadline, until_prompt=True)
                    if index in case.before_reply:
                        case.before_reply[index](folder)
                    try:
                        proc.stdin.write(line.encode("latin-1"))
                        proc.stdin.flush()
                    except BrokenPipeError:
                        break  # the run ended before this question
                try:
                    proc.stdin.close()
                except BrokenPipeError:
                    pass
            else:
                def feed():
                    try:
                        for chunk in reply_chunks(case.replies):
                            proc.stdin.write(chunk)
                        proc.stdin.close()
                    except BrokenPipeError:
                        pass  # the run ended before it read all the replies
                threading.Thread(target=feed, daemon=True).start()
            output = read_output(proc, output, deadline, until_prompt=False)
            status, max_rss_kib = reap(proc, deadline)
        finally:
            if proc.returncode is None:
                proc.kill()
                os.wait4(proc.pid, 0)
                proc.returncode = -signal.SIGKILL
            proc.stdout.close()
        errors.seek(0)
        return Run(output, status, errors.read(), max_rss_kib)


def make_read_only(folder, case):
    """Makes the folder, or the files named in read_only_files, read-only for the run.

    Other files_before stay writable, and a folder with read-only files stays
    writable. A root run ignores permissions, so then the binary runs as an
    unprivileged user, from a copy that user can reach. Returns whether it
    runs unprivileged; raises Skip when nothing would stop a write.
    """
    for name in os.listdir(folder):
        mode = 0o444 if name in case.read_only_files else 0o666 if name in case.files_before else 0o644
        os.chmod(os.path.join(folder, name), mode)
    os.chmod(folder, 0o555 if case.read_only else 0o777)
    unprivileged = os.geteuid() == 0
    probe_command = ": > .write-probe" if case.read_only else ": >> " + shlex.quote(case.read_only_files[0])
    try:
        probe = subprocess.run(["/bin/sh", "-c", probe_command], cwd=folder, stderr=subprocess.DEVNULL,
                               preexec_fn=limits(case, unprivileged))
    except OSError as error:
        raise Skip("an unprivileged user cannot enter the scratch folder (%s)" % error)
    if probe.returncode == 0:
        os.chmod(folder, 0o755)
        if case.read_only:
            os.remove(os.path.join(folder, ".write-probe"))
        raise Skip("a read-only file or folder can still be written here")
    return unprivileged


def reachable_copy(binary, folder):
    """A copy of the binary that any user can run."""
    copy = os.path.join(folder, os.path.basename(binary))
    shutil.copy2(binary, copy)
    os.chmod(folder, 0o755)
    os.chmod(copy, 0o755)
    return copy


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


def check(case, result, folder, expected_files, crlf, direct):
    transcript, status = result.transcript, result.status
    files = folder_contents(folder)
    problems = []
    expected_errors = getattr(case, "errors", None)
    if expected_errors is not None:
        expected_errors = expected_errors.replace("\n", "\r\n") if crlf else expected_errors
        if result.errors != expected_errors.encode("latin-1"):
            problems.append("standard error differs:\n  expected %r\n  actual   %r"
                            % (expected_errors, result.errors.decode("latin-1")))
    elif direct and result.errors:
        problems.append("standard error is not empty:\n" + result.errors.decode("latin-1")[-6000:])
    if direct and case.max_rss_mib is not None and result.max_rss_kib > case.max_rss_mib * 1024:
        problems.append("peak resident memory %.1f MiB, allowed %d MiB"
                        % (result.max_rss_kib / 1024, case.max_rss_mib))
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
    parser.add_argument("--table", default="cases")
    parser.add_argument("-k", dest="only", default="")
    parser.add_argument("binary")
    args = parser.parse_args()
    if args.wine:
        args.crlf, args.prefix = True, "wine"
        start_wine(os.path.join(os.path.dirname(os.path.abspath(args.binary)), "wine"))
    command = shlex.split(args.prefix) + [os.path.abspath(args.binary)]

    direct = not args.prefix
    failed = skipped = 0
    cases = [c for c in importlib.import_module(args.table).CASES if args.only in c.name]
    with tempfile.TemporaryDirectory(prefix="citsconv-binary-") as binaries:
        unprivileged_command = None
        for case in cases:
            with tempfile.TemporaryDirectory(prefix="citsconv-case-") as folder:
                before = set_up(folder, case)
                try:
                    unprivileged = False
                    if case.posix_only and not direct:
                        raise Skip("opening a directory as a file fails at once on other systems")
                    if case.read_only or case.read_only_files:
                        if not direct:
                            raise Skip("read-only folder cases run the binary directly, not through --prefix")
                        unprivileged = make_read_only(folder, case)
                    case_command = command
                    if unprivileged:
                        if unprivileged_command is None:
                            unprivileged_command = [reachable_copy(command[-1], binaries)]
                        case_command = unprivileged_command
                    result = run(case_command, folder, case, unprivileged, direct)
                    # The data set is never modified; the case lists only what is new.
                    expected = {name: data for name, data in before.items() if name not in case.removed}
                    expected.update(case.new_files)
                    problems = check(case, result, folder, expected, args.crlf, direct)
                except Skip as reason:
                    skipped += 1
                    print("skip %s: %s" % (case.name, reason))
                    continue
                except (RuntimeError, subprocess.TimeoutExpired) as error:
                    problems = [str(error)]
                finally:
                    os.chmod(folder, 0o755)
            if problems:
                failed += 1
                print("FAIL %s\n  %s" % (case.name, "\n  ".join("\n  ".join(p.splitlines()) for p in problems)))
            else:
                print("ok   %s" % case.name)
    print("%d of %d cases passed%s" % (len(cases) - failed - skipped, len(cases),
                                       ", %d skipped" % skipped if skipped else ""))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
