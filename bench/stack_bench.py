#!/usr/bin/env python3
"""Times citsconv-stack against cp and numpy on large synthetic data sets.

For each shape the script makes a data set of random samples (with the
example data set maker), warms the page cache, and lets hyperfine time, side
by side in one run: `cp ts1 copy`; the same followed by `sync copy` (the
stack, like every product, is flushed to the disk before it takes its name);
`citsconv-stack 1`; and numpy's transposition, both as `np.memmap(...).T
.tofile(...)` and through `np.ascontiguousarray` (a copy in memory first).
It prints the medians, the mean CPU time (user + system: the machine is
shared, so the wall time is noisy), the ratios and the peak resident memory
of the stack and of numpy. A sparse 5 GB data set then checks that the
stack's memory does not grow with the data set.

usage: bench/stack_bench.py [--build build] [--data /tmp/citsconv-bench] [--runs 10] [--only SHAPE]
Needs hyperfine, /usr/bin/time and numpy for /usr/bin/python3. Run it by hand.
"""

import os
import sys

from run_bench import (SPARSE, make_data_set, make_sparse_data_set, parse_arguments, peak_memory_mib,
                       time_commands)

SHAPES = [(512, 512, 1024), (2048, 2048, 4), (64, 64, 65535)]  # columns, rows, CITS images
PYTHON = "/usr/bin/python3"
NUMPY = {
    "numpy .T.tofile": "np.memmap('ts1', '>u2', 'r', shape=(%(pixels)d, %(images)d)).T.tofile('numpy_stack')",
    "numpy contiguous": "np.ascontiguousarray(np.memmap('ts1', '>u2', 'r', shape=(%(pixels)d, %(images)d)).T)"
                        ".tofile('numpy_stack')",
}


def numpy_program(script, columns, rows, images):
    """The arguments that run a numpy transposition of the data set."""
    return [PYTHON, "-c", "import numpy as np; " + script % {"pixels": columns * rows, "images": images}]


def numpy_command(script, columns, rows, images):
    program, option, code = numpy_program(script, columns, rows, images)
    return '%s %s "%s"' % (program, option, code)


def main():
    args = parse_arguments(runs=10)
    build = os.path.abspath(args.build)
    stack = os.path.join(build, "citsconv-stack")

    names = ["cp", "cp + sync", "stack"] + list(NUMPY)
    print("| data set | size | " + " | ".join("%s median (CPU)" % n for n in names)
          + " | stack / cp | stack / cp + sync | numpy / stack | peak RSS stack / numpy |")
    print("|---" * (len(names) + 6) + "|")
    for columns, rows, images in SHAPES:
        name = "%dx%dx%d" % (columns, rows, images)
        if args.only not in name:
            continue
        folder = os.path.join(args.data, name)
        make_data_set(build, folder, columns, rows, images)
        commands = ["cp ts1 copy", "cp ts1 copy && sync copy", stack + " 1 > /dev/null"]
        commands += [numpy_command(script, columns, rows, images) for script in NUMPY.values()]
        results = time_commands(folder, commands, args.runs, warmup=1)
        median = [r["median"] for r in results]
        cpu = [r["user"] + r["system"] for r in results]
        memory = [peak_memory_mib([stack, "1"], folder),
                  peak_memory_mib(numpy_program(NUMPY["numpy contiguous"], columns, rows, images), folder)]
        print("| %s | %d MiB | %s | %.2f | %.2f | %.1f / %.1f | %.1f / %.0f MiB |"
              % (name, 2 * columns * rows * images >> 20,
                 " | ".join("%.3f s (%.3f)" % (m, c) for m, c in zip(median, cpu)),
                 median[2] / median[0], median[2] / median[1], median[3] / median[2], median[4] / median[2],
                 memory[0], memory[1]))
        sys.stdout.flush()

    if not args.only or args.only == "sparse":
        columns, rows, images = SPARSE
        folder = os.path.join(args.data, "sparse")
        make_sparse_data_set(folder, columns, rows, images)
        memory = [peak_memory_mib([stack, "1", "0", "99"], folder),
                  peak_memory_mib([stack, "1", "2000", "2383"], folder)]
        print("\nsparse %dx%dx%d, %.1f GB: peak RSS of the stack of images 0-99 %.1f MiB, of 2000-2383 %.1f MiB"
              % (columns, rows, images, 2 * columns * rows * images / 1e9, memory[0], memory[1]))


if __name__ == "__main__":
    main()
