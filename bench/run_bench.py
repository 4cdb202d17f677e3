#!/usr/bin/env python3
"""Times citsconv against `cat` on large synthetic data sets.

For each shape the script makes a data set of random samples (with the
example data set maker), warms the page cache, and lets hyperfine time, side
by side, `cat tsN > /dev/null`, option 1 (one CITS image) and option 2 (the
difference of the first and last CITS image). It prints the medians, their
ratios to cat, and the peak resident memory of each option. A sparse data set
of 5 GB checks that memory does not grow with the data set.

usage: bench/run_bench.py [--build build] [--data /tmp/citsconv-bench] [--runs 20] [--only SHAPE]
Needs hyperfine and /usr/bin/time. Run it by hand on a quiet machine.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

SHAPES = [  # columns, rows, CITS images, target wall time as a multiple of cat
    (256, 256, 256, 1.25),
    (512, 512, 1024, 0.75),
    (128, 128, 8192, 0.75),
    (2048, 2048, 4, 3.0),
]
SPARSE = (1024, 1024, 2384)  # 5.0 GB


def shape_name(columns, rows, images):
    return "%dx%dx%d" % (columns, rows, images)


def make_data_set(build, folder, columns, rows, images, random=True):
    path = os.path.join(folder, "ts1")
    if os.path.exists(path) and os.path.getsize(path) == 2 * columns * rows * images:
        return
    command = [os.path.join(build, "citsconv-example"), "--size", str(columns), str(rows), str(images)]
    subprocess.run(command + (["--random"] if random else []) + [folder], check=True, stdout=subprocess.DEVNULL)


def make_sparse_data_set(folder, columns, rows, images):
    """A data set of that shape whose spectroscopy file is one hole: no disk space, any size."""
    os.makedirs(folder, exist_ok=True)
    header = bytearray(256)
    for offset, value in ((30, columns), (34, rows), (166, images)):
        header[offset:offset + 2] = value.to_bytes(2, "big")
    with open(os.path.join(folder, "tp1"), "wb") as f:
        f.write(header)
    with open(os.path.join(folder, "ts1"), "wb") as f:
        f.truncate(2 * columns * rows * images)


def replies(option, images):
    if option == 1:
        return "1\n1\n%d\n" % (images // 2)
    return "1\n2\n%d\n0\n" % (images - 1)


def write_replies(folder, option, images):
    """Writes the replies of a run into folder; returns the file's name."""
    name = "replies%d" % option
    with open(os.path.join(folder, name), "w") as f:
        f.write(replies(option, images))
    return name


def conversion(binary, folder, option, images):
    """The command of a run, its replies taken from a file as cat takes its input."""
    return "%s < %s > /dev/null" % (binary, write_replies(folder, option, images))


def peak_memory_mib(arguments, folder, replies_file=None):
    """The peak resident memory of a program run in folder, its standard
    input taken from replies_file when given."""
    with open(os.path.join(folder, replies_file) if replies_file else os.devnull) as stdin:
        result = subprocess.run(["/usr/bin/time", "-f", "%M"] + arguments, cwd=folder, stdin=stdin,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    return int(result.stderr.decode().strip().splitlines()[-1]) / 1024


def time_commands(folder, commands, runs, warmup):
    """hyperfine's results for the commands, run side by side in the folder, page-cached."""
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        subprocess.run(["cat", os.path.join(folder, "ts1")], stdout=subprocess.DEVNULL, check=True)
        subprocess.run(["hyperfine", "--style", "none", "--warmup", str(warmup), "--runs", str(runs),
                        "--export-json", report.name] + commands,
                       cwd=folder, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return json.load(open(report.name))["results"]


def time_shape(binary, folder, images, runs):
    commands = ["cat ts1 > /dev/null", conversion(binary, folder, 1, images), conversion(binary, folder, 2, images)]
    return [r["median"] for r in time_commands(folder, commands, runs, warmup=3)]


def parse_arguments(runs):
    """The options of both benchmarks; runs is the default number of runs."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "citsconv-bench"))
    parser.add_argument("--runs", type=int, default=runs)
    parser.add_argument("--only", default="")
    return parser.parse_args()


def main():
    args = parse_arguments(runs=20)
    build = os.path.abspath(args.build)
    binary = os.path.join(build, "citsconv")

    print("| data set | size | cat | option 1 | ratio | option 2 | ratio | target | peak RSS 1 / 2 |")
    print("|---|---|---|---|---|---|---|---|---|")
    worst = 0.0
    for columns, rows, images, target in SHAPES:
        name = shape_name(columns, rows, images)
        if args.only not in name:
            continue
        folder = os.path.join(args.data, name)
        make_data_set(build, folder, columns, rows, images)
        cat, one, two = time_shape(binary, folder, images, args.runs)
        memory = [peak_memory_mib([binary], folder, write_replies(folder, option, images)) for option in (1, 2)]
        worst = max(worst, one / cat / target, two / cat / target)
        print("| %s | %d MiB | %.1f ms | %.1f ms | %.2f | %.1f ms | %.2f | %.2f | %.1f / %.1f MiB |"
              % (name, 2 * columns * rows * images >> 20, cat * 1e3, one * 1e3, one / cat, two * 1e3, two / cat,
                 target, memory[0], memory[1]))
        sys.stdout.flush()

    if not args.only or args.only == "sparse":
        columns, rows, images = SPARSE
        folder = os.path.join(args.data, "sparse")
        make_sparse_data_set(folder, columns, rows, images)
        memory = [peak_memory_mib([binary], folder, write_replies(folder, option, images)) for option in (1, 2)]
        print("\nsparse %s, %.1f GB: peak RSS %.1f / %.1f MiB"
              % (shape_name(columns, rows, images), 2 * columns * rows * images / 1e9,
                 memory[0], memory[1]))
    if worst:
        print("\nworst time against its target: %.2f (at most 1.00 meets every target)" % worst)


if __name__ == "__main__":
    main()
