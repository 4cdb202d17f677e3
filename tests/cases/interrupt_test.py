#!/usr/bin/env python3
"""Interrupts long conversions and checks that no product is lost or left half made.

A sparse data set of 3 GiB, made fresh in a scratch folder, takes citsconv
some seconds to read. Its image file and parameter copy exist from an
earlier run. The test

- watches one whole conversion, pausing it with SIGSTOP every few
  milliseconds: the image's name never holds anything but the earlier file
  or the complete new image, and the run ends with both products in place;
- interrupts conversions with SIGINT, SIGTERM and SIGHUP while the image is
  being written: each process dies of that signal, writes nothing more, and
  leaves the folder exactly as it was;
- kills one with SIGKILL: no product's name changes, at most the temporary
  file is left, and a run after it succeeds;
- interrupts citsconv-stack, which holds its parameter copy and its stack
  under temporary names at once, with each of the three signals: both go.

usage: interrupt_test.py CITSCONV [CITSCONV_STACK]        (POSIX only)
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dataset import DataSet, samples  # noqa: E402

COLUMNS, ROWS, IMAGES = 1024, 1536, 1024  # 3 GiB of samples
IMAGE = 1
DATA = DataSet(number="7", columns=COLUMNS, rows=ROWS, images=IMAGES, sparse_size=2 * COLUMNS * ROWS * IMAGES)
KNOWN = {(0, 0): 0x0101, (700, 3): 0x7007, (ROWS - 1, COLUMNS - 1): 0xFFFF}
DATA.sparse_samples = {2 * (IMAGE + IMAGES * (x + COLUMNS * y)): value for (y, x), value in KNOWN.items()}
NEW_IMAGE = bytearray(2 * COLUMNS * ROWS)
for (y, x), value in KNOWN.items():
    NEW_IMAGE[2 * (x + COLUMNS * y):2 * (x + COLUMNS * y) + 2] = samples(value)
NEW_IMAGE = bytes(NEW_IMAGE)
EARLIER = {"tz7_1": b"the earlier image", "tp7_1": b"the earlier parameter copy"}
REPLIES = b"7\n1\n1\n"
TIMEOUT = 120.0


def default_signals():
    # Whoever started the tests may have ignored these (a background job).
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, signal.SIG_DFL)


def start(binary, folder, arguments=()):
    proc = subprocess.Popen([binary, *arguments], cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, preexec_fn=default_signals)
    if not arguments:
        proc.stdin.write(REPLIES)
    proc.stdin.close()
    return proc


def contents(folder):
    """{name: bytes} of every file but the data set's own."""
    found = {}
    for name in os.listdir(folder):
        if name not in ("tp7", "ts7"):
            with open(os.path.join(folder, name), "rb") as f:
                found[name] = f.read()
    return found


def temporary_names(found):
    return sorted(name for name in found if name not in ("tz7_1", "tp7_1"))


def wait_for_temporary(proc, folder, product):
    """Waits until the product is being written under its temporary name."""
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline and proc.poll() is None:
        if any(name.startswith(product + ".") for name in os.listdir(folder)):
            return
        time.sleep(0.002)
    raise AssertionError("the image never showed up under a temporary name")


def finish(proc):
    output = proc.stdout.read()
    proc.wait(TIMEOUT)
    return output


def signal_while_writing(proc, folder, product, number):
    """Sends the signal once the product is being written; returns the output."""
    wait_for_temporary(proc, folder, product)
    time.sleep(0.05)
    proc.send_signal(number)
    return finish(proc)


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        print("%s %s" % ("ok  " if condition else "FAIL", message))


def watch_whole_run(binary, folder, left, checks):
    proc = start(binary, folder)
    looks = strange = 0
    while proc.poll() is None:
        time.sleep(0.004)
        try:
            os.kill(proc.pid, signal.SIGSTOP)
        except ProcessLookupError:
            break
        try:
            with open(os.path.join(folder, "tz7_1"), "rb") as f:
                image = f.read()
        finally:
            os.kill(proc.pid, signal.SIGCONT)
        looks += 1
        if image not in (EARLIER["tz7_1"], NEW_IMAGE):
            strange += 1
    output = finish(proc)
    checks.expect(strange == 0 and looks > 20,
                  "paused %d times: the image's name never held anything but the earlier or the new image" % looks)
    checks.expect(proc.returncode == 0 and output.endswith(b"Done. File created as tz7_1\nParameter file copied\n"),
                  "the run after a killed one succeeds (status %s)" % proc.returncode)
    found = contents(folder)
    checks.expect({n: found[n] for n in found if n not in left} == {"tz7_1": NEW_IMAGE, "tp7_1": DATA.parameter_bytes()},
                  "after it the new image and parameter copy are in place, and nothing else is new")
    checks.expect(all(n in found for n in left), "the killed run's temporary file was left alone")


def interrupt(binary, folder, number, checks):
    proc = start(binary, folder)
    output = signal_while_writing(proc, folder, "tz7_1", number)
    name = signal.Signals(number).name
    checks.expect(proc.returncode == -number, "%s: the process died of it (status %s)" % (name, proc.returncode))
    checks.expect(output.endswith(b"Enter the number of the CITS image:\n"),
                  "%s: nothing was written after the last prompt" % name)
    return contents(folder)


def interrupt_stack(binary, folder, checks):
    # One CITS image of every pixel: the whole file is read, little is written.
    earlier = {"tz7_stack_1-1": b"an earlier stack", "tp7_stack_1-1": b"its parameter copy"}
    for name, data in earlier.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    before = contents(folder)
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        proc = start(binary, folder, ("7", "1", "1"))
        output = signal_while_writing(proc, folder, "tz7_stack_1-1", number)
        name = signal.Signals(number).name
        checks.expect(proc.returncode == -number and output == b"",
                      "citsconv-stack, %s: died of it, writing nothing (status %s)" % (name, proc.returncode))
        checks.expect(contents(folder) == before, "citsconv-stack, %s: the folder holds exactly what it held before"
                      % name)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    checks = Checks()
    with tempfile.TemporaryDirectory(prefix="citsconv-interrupt-") as folder:
        DATA.build(folder)
        for name, data in EARLIER.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)

        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            found = interrupt(binary, folder, number, checks)
            checks.expect(found == EARLIER, "%s: the folder holds exactly what it held before"
                          % signal.Signals(number).name)

        found = interrupt(binary, folder, signal.SIGKILL, checks)
        left = temporary_names(found)
        checks.expect({n: found[n] for n in found if n not in left} == EARLIER and len(left) <= 1
                      and all(n.startswith("tz7_1.") and n.endswith(".part") for n in left),
                      "SIGKILL: no product's name changed; at most the temporary file is left (%s)" % left)

        watch_whole_run(binary, folder, left, checks)
        if len(sys.argv) == 3:
            interrupt_stack(os.path.abspath(sys.argv[2]), folder, checks)

    print("%d failures" % len(checks.failures))
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
