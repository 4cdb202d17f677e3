"""The end-to-end case table of citsconv-stack: arguments, data set, exact
standard output and standard error, exit status and the files in the folder
afterwards. Run it with run_cases.py --table stack_cases BINARY.

The expected stack is computed here from the data set's description: CITS
image after CITS image, each pixel's sample, or 0 where the sample is not
wholly in the spectroscopy file, which is what citsconv writes image by image.
"""

from dataclasses import dataclass

from cases import Case, ONE_PIXEL, sample_at
from dataset import DataSet, samples

USAGE = ("Usage: citsconv-stack N [FIRST LAST]\n"
         "Writes CITS images FIRST to LAST (all of them without a range) of data set N\n"
         "(files tpN and tsN) one after the other to tzN_stack (tzN_stack_FIRST-LAST),\n"
         "and copies the parameter file to tpN_stack (tpN_stack_FIRST-LAST).\n")


@dataclass
class StackCase(Case):
    arguments: tuple = ()
    errors: str = ""  # standard error, exactly


def case(name, arguments, out, status, errors="", **fields):
    return StackCase(name, "", out, status, arguments=tuple(arguments), errors=errors, **fields)


def bad_use(name, arguments, reason, **fields):
    return case(name, arguments, "", 2, "citsconv-stack: %s\n%s" % (reason, USAGE), **fields)


def failure(name, arguments, reason, **fields):
    return case(name, arguments, "", 1, "citsconv-stack: %s\n" % reason, **fields)


def stack_of(dataset, first=0, last=None):
    """The stack of CITS images first to last, from the data set's description."""
    last = dataset.images - 1 if last is None else last
    if dataset.sparse_size is None:
        data = dataset.spectroscopy_bytes()
        size = len(data)

        def sample(offset):
            return data[offset:offset + 2]
    else:
        size = dataset.sparse_size

        def sample(offset):
            return samples(dataset.sparse_samples.get(offset, 0))
    record = 2 * dataset.images
    return b"".join(sample(p * record + 2 * k) if p * record + 2 * k + 2 <= size else b"\0\0"
                    for k in range(first, last + 1) for p in range(dataset.rows * dataset.columns))


def done(name, dataset, first=0, last=None):
    last = dataset.images - 1 if last is None else last
    return ("Done. File created as %s: %d CITS images (%d-%d) of %d x %d pixels (columns x rows)\n"
            "Parameter file copied as tp%s\n" % (name, last - first + 1, first, last, dataset.columns,
                                                   dataset.rows, name[2:]))


def ends_early(missing, total, image, line, column):
    return ("Spectroscopy file ends early: %d of %d samples written as 0 (from image %d, line %d, column %d)\n"
            % (missing, total, image, line, column))


def made(name, dataset, first=0, last=None):
    """The stack and its parameter copy."""
    return {name: stack_of(dataset, first, last), "tp" + name[2:]: dataset.parameter_bytes()}


INDEX = DataSet()  # 3 columns, 2 rows, 4 CITS images; each sample's value is its index
ONE_IMAGE = DataSet(columns=5, rows=3, images=1)
NO_ROWS = DataSet(rows=0)
ODD_CUT = DataSet(cut_to=29)  # pixel 3 holds its samples 0 and 1 and half of 2
EMPTY = DataSet(cut_to=0)
# Odd sizes on every side, samples of every value: no tile or block divides it.
ODD_SHAPE = DataSet(columns=37, rows=11, images=13, values=[(i * 40503 + 17) & 0xFFFF for i in range(37 * 11 * 13)])

# 200 x 200 pixels of 65535 samples: 5.2 GB, sparse. The samples lie at CITS
# images past 9999 and on both sides of 4 GiB; 0xDEAD where the offset of the
# last pixel's sample 65534 would point if it were cut to 32 bits.
PAST_4_GIB = DataSet(number="7", columns=200, rows=200, images=65535, sparse_size=2 * 200 * 200 * 65535)
PAST_4_GIB.sparse_samples = {
    sample_at(PAST_4_GIB, 0, 0, 10000): 0x0101,
    sample_at(PAST_4_GIB, 0, 1, 10001): 0x0102,
    sample_at(PAST_4_GIB, 163, 168, 10000): 0x0202,
    sample_at(PAST_4_GIB, 163, 169, 10001): 0x1111,
    sample_at(PAST_4_GIB, 199, 199, 65533): 0x3333,
    sample_at(PAST_4_GIB, 199, 199, 65534): 0x4444,
    sample_at(PAST_4_GIB, 199, 199, 65534) % (1 << 32): 0xDEAD,
}
# The same shape, ending 1 byte into the sample of line 170, column 0, CITS image 12000.
ENDS_PAST_4_GIB = DataSet(number="8", columns=200, rows=200, images=65535)
ENDS_PAST_4_GIB.sparse_size = sample_at(ENDS_PAST_4_GIB, 170, 0, 12000) + 1
ENDS_PAST_4_GIB.sparse_samples = {sample_at(ENDS_PAST_4_GIB, 170, 0, 11999): 0x7777,
                                  sample_at(ENDS_PAST_4_GIB, 169, 199, 12000): 0x8888}

NO_FILES = {"without": ("parameter", "spectroscopy")}

CASES = [
    # The stack is every CITS image, one after the other.
    case("the whole stack: each CITS image in line order, one after the other",
         ["1"], done("tz1_stack", INDEX), 0, new_files=made("tz1_stack", INDEX)),
    case("one pixel", ["1"], done("tz1_stack", ONE_PIXEL), 0, dataset=ONE_PIXEL,
         new_files=made("tz1_stack", ONE_PIXEL)),
    case("one CITS image", ["1"], done("tz1_stack", ONE_IMAGE), 0, dataset=ONE_IMAGE,
         new_files=made("tz1_stack", ONE_IMAGE)),
    case("an odd shape with samples of every value", ["1"], done("tz1_stack", ODD_SHAPE), 0, dataset=ODD_SHAPE,
         new_files=made("tz1_stack", ODD_SHAPE)),
    case("no rows: the stack is empty", ["1"], done("tz1_stack", NO_ROWS), 0, dataset=NO_ROWS,
         new_files=made("tz1_stack", NO_ROWS)),
    case("a spectroscopy file cut inside a sample: every sample not wholly in it is 0, counted from where it stops",
         ["1"], ends_early(10, 24, 2, 1, 0) + done("tz1_stack", ODD_CUT), 0, dataset=ODD_CUT,
         new_files=made("tz1_stack", ODD_CUT)),
    case("an empty spectroscopy file gives a stack of zeros", ["1"],
         ends_early(24, 24, 0, 0, 0) + done("tz1_stack", EMPTY), 0, dataset=EMPTY, new_files=made("tz1_stack", EMPTY)),
    case("an existing stack and parameter copy are replaced", ["1"], done("tz1_stack", INDEX), 0,
         files_before={"tz1_stack": b"an older and longer stack than the new one", "tp1_stack": b"old"},
         new_files=made("tz1_stack", INDEX)),

    # Ranges.
    case("a range: its images only, the numbers as typed in the names", ["1", "01", "0002"],
         done("tz1_stack_01-0002", INDEX, 1, 2), 0, new_files=made("tz1_stack_01-0002", INDEX, 1, 2)),
    case("a range of one CITS image is that image", ["1", "3", "3"],
         done("tz1_stack_3-3", INDEX, 3, 3), 0, new_files={"tz1_stack_3-3": samples(3, 7, 11, 15, 19, 23),
                                                           "tp1_stack_3-3": INDEX.parameter_bytes()}),
    case("a range ending before the data stops in the last pixel read: counted from the next pixel",
         ["1", "0", "1"], ends_early(4, 12, 0, 1, 1) + done("tz1_stack_0-1", ODD_CUT, 0, 1), 0, dataset=ODD_CUT,
         new_files=made("tz1_stack_0-1", ODD_CUT, 0, 1)),
    case("a range starting after the data stops in the last pixel read", ["1", "3", "3"],
         ends_early(3, 6, 3, 1, 0) + done("tz1_stack_3-3", ODD_CUT, 3, 3), 0, dataset=ODD_CUT,
         new_files=made("tz1_stack_3-3", ODD_CUT, 3, 3)),
    case("images past 9999 on a data set past 4 GiB, in bounded memory", ["7", "10000", "10001"],
         done("tz7_stack_10000-10001", PAST_4_GIB, 10000, 10001), 0, dataset=PAST_4_GIB,
         new_files=made("tz7_stack_10000-10001", PAST_4_GIB, 10000, 10001), max_rss_mib=64),
    case("the last two CITS images of a data set past 4 GiB", ["7", "65533", "65534"],
         done("tz7_stack_65533-65534", PAST_4_GIB, 65533, 65534), 0, dataset=PAST_4_GIB,
         new_files=made("tz7_stack_65533-65534", PAST_4_GIB, 65533, 65534)),
    case("a spectroscopy file ending past 4 GiB", ["8", "11999", "12000"],
         ends_early(5999 * 2 + 1, 80000, 12000, 170, 0) + done("tz8_stack_11999-12000", ENDS_PAST_4_GIB, 11999, 12000),
         0, dataset=ENDS_PAST_4_GIB, new_files=made("tz8_stack_11999-12000", ENDS_PAST_4_GIB, 11999, 12000)),

    # Help asked for: the usage on standard output, nothing written.
    case("help", ["--help"], USAGE, 0),
    case("help, short", ["-h"], USAGE, 0),

    # Bad use: the reason and the usage, nothing written.
    bad_use("help with a data set", ["1", "--help"], "Wrong number of arguments"),
    bad_use("help among three arguments", ["--help", "0", "1"], 'Not a number: "--help"'),
    bad_use("no arguments", [], "No data set given"),
    bad_use("two arguments", ["1", "2"], "Wrong number of arguments"),
    bad_use("four arguments", ["1", "0", "1", "2"], "Wrong number of arguments"),
    bad_use("a letter in the file number", ["1a"], 'Not a number: "1a"'),
    bad_use("a sign before an image number", ["1", "+0", "1"], 'Not a number: "+0"'),
    bad_use("an empty argument", ["1", "0", ""], 'Not a number: ""'),
    bad_use("a file number of five digits", ["00001"], "File number of more than four digits: 00001"),
    bad_use("the first image after the last", ["1", "3", "2"], "First image after the last: 3 2"),
    bad_use("the first image after the last, numbers longer than any image number",
            ["1", "100000000000000000001", "0100000000000000000000"],
            "First image after the last: 100000000000000000001 0100000000000000000000"),

    # Failures: one line, nothing written.
    failure("no parameter file", ["1"], "Can't open parameter file", dataset=DataSet(**NO_FILES)),
    failure("no spectroscopy file", ["1"], "Can't open spectroscopy file",
            dataset=DataSet(without=("spectroscopy",))),
    failure("a parameter file one byte shorter than the header", ["1"], "Parameter file too short",
            dataset=DataSet(parameter_size=167)),
    failure("a parameter file that opens but cannot be read", ["1"], "Can't read parameter file",
            dataset=DataSet(without=("parameter",)), directories=("tp1",), posix_only=True),
    failure("no CITS images in the data set", ["1"], "No CITS images in this data set",
            dataset=DataSet(images=0, values=[])),
    failure("a range past the last image", ["1", "2", "4"], "Not in range! CITS images available: 0-3"),
    failure("a range far past the last image", ["1", "0", "99999999999999999999"],
            "Not in range! CITS images available: 0-3"),
    failure("a spectroscopy file that opens but cannot be read", ["1"], "Can't read spectroscopy file",
            dataset=DataSet(without=("spectroscopy",)), directories=("ts1",), posix_only=True),
    failure("the stack's name is taken by a directory", ["1"], "Can't open the output file",
            directories=("tz1_stack",)),
    failure("the parameter copy's name is taken by a directory", ["1"], "Can't open new parameter file",
            directories=("tp1_stack",)),
    failure("the stack's name is a read-only file: it is kept", ["1"], "Can't open the output file",
            files_before={"tz1_stack": b"a read-only stack"}, read_only_files=("tz1_stack",)),
    failure("a read-only folder", ["1"], "Can't open new parameter file", read_only=True),
    failure("disk full while writing the stack: the earlier stack and parameter copy are kept", ["1"],
            "Can't write the output file", dataset=DataSet(columns=300, rows=2, images=2),
            file_size_limit=2000, files_before={"tz1_stack": b"earlier stack", "tp1_stack": b"earlier copy"}),
    failure("disk full while copying the parameter file", ["1"], "Can't write new parameter file",
            file_size_limit=100),
]
