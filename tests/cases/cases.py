"""The end-to-end case table: replies typed, data set, exact console
transcript, exit status and the files in the folder afterwards.

The data set's own files are always expected unchanged; new_files lists what
a run adds (or replaces), removed what it takes away.
"""

import os
from dataclasses import dataclass, field

from dataset import DataSet, samples

BANNER = ("Quellor image format conversion programme\n"
          "\n"
          "Version 3.3\n"
          "\n"
          "Extracts single and difference CITS images from spectroscopy data sets.\n"
          "\n")
ASK_NUMBER = "Enter filenumber of spectroscopy file:"
MENU = "1. Single CITS image\n\n2. Difference CITS image\n\nPlease enter option:"
ASK_IMAGE = "Enter the number of the CITS image:"
ASK_FIRST = "Enter the number of the first CITS image:"
ASK_SECOND = "Enter the number of the CITS image to subtract:"
NO_MORE_INPUT = "\nNo more input\nDoh!\n"


def available(image_count):
    return "CITS images available: 0-%d\n" % (image_count - 1)


def done(name):
    return "Done. File created as %s\nParameter file copied\n" % name


def upto_menu():
    """The transcript from the banner to the menu prompt, for a data set that opens."""
    return BANNER + ASK_NUMBER + "\n" + MENU


INDEX = DataSet()  # 3 columns, 2 rows, 4 CITS images; each sample's value is its index
PARAMETERS = INDEX.parameter_bytes()


@dataclass
class Repeated:
    """A long stretch of standard input: text repeated, streamed rather than built."""

    text: str
    times: int


@dataclass
class Case:
    name: str
    replies: str                     # or a list of strings and Repeated pieces, sent in order
    transcript: str
    status: int
    dataset: DataSet = field(default_factory=DataSet)
    new_files: dict = field(default_factory=dict)
    removed: tuple = ()
    directories: tuple = ()          # made in the folder before the run
    files_before: dict = field(default_factory=dict)  # other files there before the run
    file_size_limit: int = None      # RLIMIT_FSIZE of the run: writes past it fail
    interactive: bool = False        # send each reply only once its prompt shows
    before_reply: dict = field(default_factory=dict)  # reply index -> action(folder)
    read_only: bool = False          # the folder is read-only for the run; files_before stay writable
    read_only_files: tuple = ()      # files_before that are read-only for the run, in a writable folder
    time_limit: float = None         # seconds the run may take; by default the runner's hang timeout
    max_rss_mib: int = None          # bound on the run's peak resident memory (with the runner's ~20 MiB)
    posix_only: bool = False         # a directory opens as a file, and fails only when read, on POSIX only


def single(k, dataset=INDEX):
    """Image k of an index-pattern data set: k, k + images, k + 2 images, ..."""
    return samples(*range(k, dataset.rows * dataset.columns * dataset.images, dataset.images))


DIFFERENCES = DataSet(columns=6, rows=1, images=2,
                      values=[5, 10, 0xFFFF, 0, 0, 0xFFFF, 0x8001, 1, 0x1234, 0x1234, 0x8000, 0x7FFF])
ODD_CUT = DataSet(cut_to=29)       # pixel 3's sample 3 would need bytes 30 and 31
EMPTY = DataSet(cut_to=0)
SHORT_HEADER = DataSet(parameter_size=167)
EXACT_HEADER = DataSet(parameter_size=168)
NO_IMAGES = DataSet(images=0, values=[])
NO_ROWS = DataSet(rows=0)
TEN_IMAGES = DataSet(columns=2, rows=1, images=10)
ONE_PIXEL = DataSet(columns=1, rows=1, images=10)
LONG_NAMES = DataSet(number="1234", columns=2, rows=1, images=3)
HIGH_BYTES = DataSet(columns=1, rows=1, images=1, values=[0x8001])


def sample_at(dataset, y, x, k):
    """Byte offset of the sample of line y, column x, CITS image k."""
    return 2 * (k + dataset.images * (x + dataset.columns * y))


def image_of(dataset, pixels):
    """An image of the data set's shape: 0 but for {(y, x): value}."""
    return samples(*(pixels.get((y, x), 0) for y in range(dataset.rows) for x in range(dataset.columns)))


# 200 x 200 pixels of 65535 samples: 5.2 GB, sparse, read pixel by pixel.
# Replies have at most four digits, so the highest CITS image asked for is
# 9999. Its samples straddle 4 GiB: pixel 32768 (line 163, column 168) is the
# last below; 0xDEAD lies where the offset of the last pixel's sample 9999
# would point if it were cut to 32 bits.
PAST_4_GIB = DataSet(number="5", columns=200, rows=200, images=65535, sparse_size=2 * 200 * 200 * 65535)
PAST_4_GIB.sparse_samples = {
    sample_at(PAST_4_GIB, 0, 0, 9999): 0x0101,
    sample_at(PAST_4_GIB, 163, 168, 9999): 0x0202,
    sample_at(PAST_4_GIB, 163, 169, 9999): 0x1111,
    sample_at(PAST_4_GIB, 163, 169, 1): 0x0011,
    sample_at(PAST_4_GIB, 199, 199, 9999): 0x3333,
    sample_at(PAST_4_GIB, 199, 199, 1): 0x0003,
    sample_at(PAST_4_GIB, 199, 199, 9999) % (1 << 32): 0xDEAD,
}
# The same shape, ending 3 bytes into the sample of line 170, column 0, CITS image 0.
ENDS_PAST_4_GIB = DataSet(number="6", columns=200, rows=200, images=65535)
ENDS_PAST_4_GIB.sparse_size = sample_at(ENDS_PAST_4_GIB, 170, 0, 0) + 3
ENDS_PAST_4_GIB.sparse_samples = {sample_at(ENDS_PAST_4_GIB, 0, 0, 0): 1,
                                  sample_at(ENDS_PAST_4_GIB, 170, 0, 0): 0x7777}

# End of input must end the run at once; a second is far more than it needs.
END_OF_INPUT_LIMIT = 1.0

CASES = [
    Case("single image: the whole session, each prompt shown before its reply, and the samples in line order",
         "1\n1\n3\n",
         BANNER + ASK_NUMBER + "\n" + MENU + available(4) + ASK_IMAGE + "\n" + done("tz1_3"),
         0, new_files={"tz1_3": samples(3, 7, 11, 15, 19, 23), "tp1_3": PARAMETERS}, interactive=True),
    Case("single image: the first CITS image (the first case takes the last)",
         "1\n1\n0\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n" + done("tz1_0"),
         0, new_files={"tz1_0": single(0), "tp1_0": PARAMETERS}),
    Case("single image: a sample with its high bit set is copied unchanged",
         "1\n1\n0\n",
         upto_menu() + available(1) + ASK_IMAGE + "\n" + done("tz1_0"),
         0, dataset=HIGH_BYTES,
         new_files={"tz1_0": b"\x80\x01", "tp1_0": HIGH_BYTES.parameter_bytes()}),
    Case("replies after blanks, empty lines and CR LF line ends are accepted; leading zeros name the file",
         "\n\n  1\r\n\t\x0b\x0c1\r\n  07\r\n",
         upto_menu() + available(10) + ASK_IMAGE + "\n" + done("tz1_07"),
         0, dataset=ONE_PIXEL,
         new_files={"tz1_07": samples(7), "tp1_07": ONE_PIXEL.parameter_bytes()}),
    Case("refused replies get the question's complaint and no new prompt; a whole overlong line is dropped",
         "12a\n1 2\n12 \n-1\n+1\n1.0\n12345\n00001\n" + "1" * 100000 + "\n1\n"
         "x\n1\n"
         "a\n1\n",
         BANNER + ASK_NUMBER + "Please enter a number\n" * 9 + "\n" + MENU + "Option must be a number!\n"
         + available(4) + ASK_IMAGE + "Please enter a number\n\n" + done("tz1_1"),
         0, new_files={"tz1_1": single(1), "tp1_1": PARAMETERS}),
    Case("options outside 1 to 2 show the menu again",
         "1\n0\n3\n12\n1\n2\n",
         upto_menu() + "Options are 1 to 2!\n" + MENU + "Options are 1 to 2!\n" + MENU
         + "Options are 1 to 2!\n" + MENU + available(4) + ASK_IMAGE + "\n" + done("tz1_2"),
         0, new_files={"tz1_2": single(2), "tp1_2": PARAMETERS}),
    Case("image numbers of imageCount and above are refused; four digits name the file",
         "1\n1\n10\n11\n0009\n",
         upto_menu() + available(10) + ASK_IMAGE + "Not in range!\n\n" + available(10) + ASK_IMAGE
         + "Not in range!\n\n" + available(10) + ASK_IMAGE + "\n" + done("tz1_0009"),
         0, dataset=TEN_IMAGES,
         new_files={"tz1_0009": single(9, TEN_IMAGES), "tp1_0009": TEN_IMAGES.parameter_bytes()}),
    Case("a last reply without a line end counts",
         "1\n1\n3",
         upto_menu() + available(4) + ASK_IMAGE + "\n" + done("tz1_3"),
         0, new_files={"tz1_3": single(3), "tp1_3": PARAMETERS}),
    Case("an existing image file and parameter copy are replaced, not appended to",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n" + done("tz1_3"),
         0, files_before={"tz1_3": b"old image, longer than the new one", "tp1_3": b"old"},
         new_files={"tz1_3": single(3), "tp1_3": PARAMETERS}),
    Case("single image past 4 GiB: the right samples at the right pixels",
         "5\n1\n9999\n",
         upto_menu() + available(65535) + ASK_IMAGE + "\n" + done("tz5_9999"),
         0, dataset=PAST_4_GIB,
         new_files={"tz5_9999": image_of(PAST_4_GIB, {(0, 0): 0x0101, (163, 168): 0x0202, (163, 169): 0x1111,
                                                        (199, 199): 0x3333}),
                    "tp5_9999": PAST_4_GIB.parameter_bytes()}),
    Case("a 200 MiB reply line is refused once and never held in memory",
         [Repeated("7", 200 << 20), "\n1\n1\n3\n"],
         BANNER + ASK_NUMBER + "Please enter a number\n" + "\n" + MENU + available(4) + ASK_IMAGE + "\n"
         + done("tz1_3"),
         0, new_files={"tz1_3": single(3), "tp1_3": PARAMETERS}, max_rss_mib=64),
    Case("no rows: the image file is created empty",
         "1\n1\n1\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n" + done("tz1_1"),
         0, dataset=NO_ROWS, new_files={"tz1_1": b"", "tp1_1": NO_ROWS.parameter_bytes()}),

    # The data set cannot be used.
    Case("no parameter file",
         "1\n",
         BANNER + ASK_NUMBER + "\nCan't open parameter file\nDoh!\n",
         1, dataset=DataSet(without=("parameter", "spectroscopy"))),
    Case("no spectroscopy file",
         "1\n",
         BANNER + ASK_NUMBER + "\nCan't open spectroscopy file\nDoh!\n",
         1, dataset=DataSet(without=("spectroscopy",))),
    Case("a parameter file one byte shorter than the header",
         "1\n",
         BANNER + ASK_NUMBER + "\nParameter file too short\nDoh!\n",
         1, dataset=SHORT_HEADER),
    Case("a parameter file exactly as long as the header",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n" + done("tz1_3"),
         0, dataset=EXACT_HEADER, new_files={"tz1_3": single(3), "tp1_3": EXACT_HEADER.parameter_bytes()}),
    Case("a header without CITS images ends the run before the menu",
         "1\n",
         BANNER + ASK_NUMBER + "\nNo CITS images in this data set\nDoh!\n",
         1, dataset=NO_IMAGES),
    Case("a parameter file that opens but cannot be read",
         "1\n",
         BANNER + ASK_NUMBER + "\nCan't read parameter file\nDoh!\n",
         1, dataset=DataSet(without=("parameter",)), directories=("tp1",), posix_only=True),
    Case("a spectroscopy file that opens but cannot be read: no image file is left",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\nCan't read spectroscopy file\nDoh!\n",
         1, dataset=DataSet(without=("spectroscopy",)), directories=("ts1",), posix_only=True),
    Case("the image file name is taken by a directory",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\nCan't open the output file\nDoh!\n",
         1, directories=("tz1_3",)),
    Case("disk full while writing the image: the incomplete image is removed",
         "1\n1\n0\n",
         upto_menu() + available(1) + ASK_IMAGE + "\nCan't write the output file\nDoh!\n",
         1, dataset=DataSet(columns=300, rows=2, images=1, values=[7] * 600), file_size_limit=1000),
    Case("disk full while writing the image: the earlier image and parameter copy are kept byte for byte",
         "1\n1\n0\n",
         upto_menu() + available(1) + ASK_IMAGE + "\nCan't write the output file\nDoh!\n",
         1, dataset=DataSet(columns=300, rows=2, images=1, values=[7] * 600), file_size_limit=1000,
         files_before={"tz1_0": b"the earlier image", "tp1_0": b"the earlier parameter copy"}),

    Case("a read-only folder: the image file cannot be created",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\nCan't open the output file\nDoh!\n",
         1, read_only=True),
    Case("a read-only folder with a writable image file: the image file cannot be replaced",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\nCan't open the output file\nDoh!\n",
         1, read_only=True, files_before={"tz1_3": b"an older image"}),
    Case("the image file name is a read-only file: it is kept",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\nCan't open the output file\nDoh!\n",
         1, files_before={"tz1_3": b"a read-only image"}, read_only_files=("tz1_3",)),
    Case("the new parameter file name is a read-only file: it is kept, the image is in place",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n"
         + "Can't open new parameter file. Doh!\nCouldn't copy parameter file!",
         1, files_before={"tp1_3": b"a read-only copy"}, read_only_files=("tp1_3",), new_files={"tz1_3": single(3)}),

    # A spectroscopy file that ends early.
    Case("a spectroscopy file cut inside a sample: the pixels without a whole sample are 0",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n"
         + "Spectroscopy file ends early: 3 of 6 pixels written as 0 (from line 1, column 0)\n"
         + done("tz1_3"),
         0, dataset=ODD_CUT, new_files={"tz1_3": samples(3, 7, 11, 0, 0, 0), "tp1_3": ODD_CUT.parameter_bytes()}),
    Case("an empty spectroscopy file gives an image of zeros",
         "1\n1\n0\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n"
         + "Spectroscopy file ends early: 6 of 6 pixels written as 0 (from line 0, column 0)\n"
         + done("tz1_0"),
         0, dataset=EMPTY, new_files={"tz1_0": bytes(12), "tp1_0": EMPTY.parameter_bytes()}),
    Case("a spectroscopy file ending past 4 GiB: the pixels after its end are 0 and counted",
         "6\n1\n0\n",
         upto_menu() + available(65535) + ASK_IMAGE + "\n"
         + "Spectroscopy file ends early: 5999 of 40000 pixels written as 0 (from line 170, column 1)\n"
         + done("tz6_0"),
         0, dataset=ENDS_PAST_4_GIB,
         new_files={"tz6_0": image_of(ENDS_PAST_4_GIB, {(0, 0): 1, (170, 0): 0x7777}),
                    "tp6_0": ENDS_PAST_4_GIB.parameter_bytes()}),
    Case("difference from a short file: a pixel with either sample missing is 0",
         "1\n2\n0\n3\n",
         upto_menu() + available(4) + ASK_FIRST + "\n" + available(4) + ASK_SECOND + "\n"
         + "Spectroscopy file ends early: 3 of 6 pixels written as 0 (from line 1, column 0)\n"
         + done("tz1_0-3"),
         0, dataset=ODD_CUT,
         new_files={"tz1_0-3": samples(-3, -3, -3, 0, 0, 0), "tp1_0-3": ODD_CUT.parameter_bytes()}),

    # Difference images.
    Case("difference: the whole session, each prompt shown before its reply; A - B modulo 65536, bytes unsigned",
         "1\n2\n0\n1\n",
         BANNER + ASK_NUMBER + "\n" + MENU + available(2) + ASK_FIRST + "\n" + available(2) + ASK_SECOND
         + "\n" + done("tz1_0-1"),
         0, dataset=DIFFERENCES, interactive=True,
         new_files={"tz1_0-1": bytes.fromhex("fffb ffff 0001 8000 0000 0001"),
                    "tp1_0-1": DIFFERENCES.parameter_bytes()}),
    Case("difference past 4 GiB: the right samples at the right pixels",
         "5\n2\n9999\n1\n",
         upto_menu() + available(65535) + ASK_FIRST + "\n" + available(65535) + ASK_SECOND + "\n"
         + done("tz5_9999-1"),
         0, dataset=PAST_4_GIB,
         new_files={"tz5_9999-1": image_of(PAST_4_GIB, {(0, 0): 0x0101, (163, 168): 0x0202, (163, 169): 0x1100,
                                                         (199, 199): 0x3330}),
                    "tp5_9999-1": PAST_4_GIB.parameter_bytes()}),
    Case("difference of an image with itself is all zeros",
         "1\n2\n1\n1\n",
         upto_menu() + available(4) + ASK_FIRST + "\n" + available(4) + ASK_SECOND + "\n" + done("tz1_1-1"),
         0, new_files={"tz1_1-1": bytes(12), "tp1_1-1": PARAMETERS}),
    Case("difference: the longest names, and the range check on both images",
         "1234\n2\n3\n0001\n0002\n",
         upto_menu() + available(3) + ASK_FIRST + "Not in range!\n\n" + available(3) + ASK_FIRST + "\n"
         + available(3) + ASK_SECOND + "\n" + done("tz1234_0001-0002"),
         0, dataset=LONG_NAMES,
         new_files={"tz1234_0001-0002": samples(-1, -1), "tp1234_0001-0002": LONG_NAMES.parameter_bytes()}),

    # The parameter file copy.
    Case("the new parameter file name is taken by a directory: the image stays",
         "1\n2\n3\n0\n",
         upto_menu() + available(4) + ASK_FIRST + "\n" + available(4) + ASK_SECOND + "\n"
         + "Can't open new parameter file. Doh!\nCouldn't copy parameter file!",
         1, directories=("tp1_3-0",), new_files={"tz1_3-0": samples(*[3] * 6)}),
    Case("disk full while copying the parameter file: the incomplete copy is removed, the image stays",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n"
         + "Can't write new parameter file. Doh!\nCouldn't copy parameter file!",
         1, file_size_limit=100, new_files={"tz1_3": single(3)}),
    Case("disk full while copying the parameter file: the earlier copy is kept byte for byte, the new image is in place",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n"
         + "Can't write new parameter file. Doh!\nCouldn't copy parameter file!",
         1, file_size_limit=100, files_before={"tz1_3": b"the earlier image", "tp1_3": b"the earlier copy"},
         new_files={"tz1_3": single(3)}),
    Case("the parameter file removed while the run waits for the last reply",
         "1\n1\n3\n",
         upto_menu() + available(4) + ASK_IMAGE + "\n"
         + "Can't open parameter file. Doh!\nCouldn't copy parameter file!",
         1, interactive=True, before_reply={2: lambda folder: os.remove(os.path.join(folder, "tp1"))},
         removed=("tp1",), new_files={"tz1_3": single(3)}),

    # End of input: the run cannot go on, ends at once and creates nothing.
    Case("end of input at the file number", "",
         BANNER + ASK_NUMBER + NO_MORE_INPUT, 1, time_limit=END_OF_INPUT_LIMIT),
    Case("end of input after refused replies", "x\n\n  \n",
         BANNER + ASK_NUMBER + "Please enter a number\n" + NO_MORE_INPUT, 1, time_limit=END_OF_INPUT_LIMIT),
    Case("end of input at the menu", "1\n",
         upto_menu() + NO_MORE_INPUT, 1, time_limit=END_OF_INPUT_LIMIT),
    Case("end of input at the image number", "1\n1\n",
         upto_menu() + available(4) + ASK_IMAGE + NO_MORE_INPUT, 1, time_limit=END_OF_INPUT_LIMIT),
    Case("end of input at the first image of a difference", "1\n2\n",
         upto_menu() + available(4) + ASK_FIRST + NO_MORE_INPUT, 1, time_limit=END_OF_INPUT_LIMIT),
    Case("end of input at the image to subtract", "1\n2\n1\n",
         upto_menu() + available(4) + ASK_FIRST + "\n" + available(4) + ASK_SECOND + NO_MORE_INPUT, 1,
         time_limit=END_OF_INPUT_LIMIT),
]
