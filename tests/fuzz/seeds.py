#!/usr/bin/env python3
"""Writes the seed corpora of the two fuzz targets, or runs the targets on them.

usage: seeds.py FOLDER                       writes FOLDER/reply and FOLDER/conversion
       seeds.py --replay REPLY CONVERSION    runs each target once on every seed

Each seed is described here in readable terms and encoded in the target's
input layout (see the comment at the top of each target). Inputs that a
fuzzer found and that must keep passing go into regressions/reply or
regressions/conversion beside this script; they join the corpus as they are.
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def reply_input(text, fill=b"", repeat=0, at=0):
    """Standard input for the reply target: text, with fill repeated at byte `at`.

    repeat is below 0xF0, or a power of two from 2^8 to 2^23.
    """
    if repeat < 0xF0:
        code = repeat
    else:
        code = 0xF0 + repeat.bit_length() - 1 - 8
        assert 1 << (code - 0xF0 + 8) == repeat and 0xF0 <= code <= 0xFF
    assert at <= len(text) and at <= 255
    return bytes([code, fill[0] if fill else 0, at]) + text


REPLY_SEEDS = {
    "plain": reply_input(b"12\n"),
    "blank lines, blanks and CR LF before replies": reply_input(b"\n\n  \t1\r\n\x0b\x0c07\r\n"),
    "refused lines": reply_input(b"12a\n1 2\n12 \n-1\n+1\n1.0\n12345\n00001\n5\n"),
    "NUL bytes": reply_input(b"1\x002\n\x00\n3\n"),
    "last line without line end": reply_input(b"1\n34"),
    "refused last line": reply_input(b"x"),
    "empty": reply_input(b""),
    "only white space": reply_input(b" \n\r\n\t"),
    "endless line of digits, then a reply": reply_input(b"\n5\n", b"7", 1 << 23, 0),
    "endless line of letters at the end": reply_input(b"1\n", b"x", 1 << 20, 2),
    "endless carriage returns inside a reply": reply_input(b"12\n", b"\r", 1 << 20, 1),
    "endless empty lines": reply_input(b"\n9", b"\n", 1 << 16, 1),
    "endless blanks after a digit": reply_input(b"3\n4\n", b" ", 1 << 12, 1),
}


def samples(*values):
    return b"".join((v & 0xFFFF).to_bytes(2, "big") for v in values)


def conversion_input(replies, number="1", columns=3, rows=2, images=4, parameter_size=256,
                     mode="whole", length=0, content=None):
    """A data set and the replies typed; content defaults to each sample's own index."""
    if content is None:
        content = samples(*range(min(columns * rows * images, 4096)))
    modes = {"whole": 0, "less": 1, "more": 2, "exactly": 3}
    head = bytes([(len(number) - 1) | modes[mode] << 2])
    head += bytes(int(d) for d in number.ljust(4, "0"))
    head += columns.to_bytes(2, "big") + rows.to_bytes(2, "big") + images.to_bytes(2, "big")
    head += bytes([parameter_size - 160]) + length.to_bytes(3, "big")
    head += len(content).to_bytes(2, "big")
    return head + content + replies.encode("latin-1")


CONVERSION_SEEDS = {
    "single image": conversion_input("1\n1\n3\n"),
    "difference": conversion_input("1\n2\n0\n3\n"),
    "difference with CR LF and leading zeros": conversion_input(" 1\r\n2\r\n03\r\n0001\r\n"),
    "four digit file number": conversion_input("0042\n1\n1\n", number="0042"),
    "file number of another data set": conversion_input("01\n1\n1\n"),
    "refused replies, options and images out of range":
        conversion_input("x\n1\n0\n3\n1\n4\n9999\n2\n"),
    "spectroscopy file two bytes short": conversion_input("1\n1\n3\n", mode="less", length=2),
    "spectroscopy file cut inside a sample": conversion_input("1\n2\n3\n0\n", mode="exactly", length=29),
    "empty spectroscopy file": conversion_input("1\n1\n0\n", mode="exactly", length=0),
    "bytes past the last pixel": conversion_input("1\n1\n2\n", mode="more", length=100),
    "parameter file of 167 bytes": conversion_input("1\n1\n0\n", parameter_size=167),
    "parameter file of 168 bytes": conversion_input("1\n1\n0\n", parameter_size=168),
    "no CITS images": conversion_input("1\n1\n0\n", images=0),
    "no rows": conversion_input("1\n1\n0\n", rows=0),
    "65535 columns": conversion_input("1\n2\n0\n1\n", columns=65535, rows=1, images=2, content=samples(1, 2, 3)),
    "65535 CITS images": conversion_input("1\n2\n65534\n1\n", columns=4, rows=4, images=65535,
                                         content=samples(9, 8, 7, 6, 5)),
    "end of input at the menu": conversion_input("1\n"),
    "end of input at the image to subtract": conversion_input("1\n2\n1"),
}


def write(folder):
    for target, seeds in (("reply", REPLY_SEEDS), ("conversion", CONVERSION_SEEDS)):
        out = os.path.join(folder, target)
        os.makedirs(out, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(out, "seed-" + name.replace(" ", "-").replace(",", "")), "wb") as f:
                f.write(data)
        regressions = os.path.join(HERE, "regressions", target)
        if os.path.isdir(regressions):
            for name in os.listdir(regressions):
                shutil.copy(os.path.join(regressions, name), os.path.join(out, "regression-" + name))


def replay(reply_binary, conversion_binary):
    with tempfile.TemporaryDirectory(prefix="citsconv-seeds-") as folder:
        write(folder)
        failed = 0
        for target, binary in (("reply", reply_binary), ("conversion", conversion_binary)):
            corpus = os.path.join(folder, target)
            inputs = sorted(os.path.join(corpus, name) for name in os.listdir(corpus))
            # Files, not the folder: a libFuzzer build runs files once but
            # would start fuzzing a folder.
            run = subprocess.run([binary] + inputs, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
            if run.returncode != 0:
                failed += 1
                print("FAIL %s target, status %d:\n%s" % (target, run.returncode,
                                                          run.stderr.decode("latin-1")[-4000:]))
            else:
                print("ok   %s target: %d inputs" % (target, len(inputs)))
        print("%d passed, %d failed" % (2 - failed, failed))
        return 1 if failed else 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--replay":
        return replay(sys.argv[2], sys.argv[3])
    if len(sys.argv) == 2:
        write(sys.argv[1])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
