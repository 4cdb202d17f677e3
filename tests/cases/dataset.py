"""Builds data sets for the end-to-end cases from a readable description."""

import os
from dataclasses import dataclass, field


def samples(*values):
    """Big-endian 16-bit samples, as the spectroscopy and image files hold them."""
    return b"".join((v & 0xFFFF).to_bytes(2, "big") for v in values)


@dataclass
class SparseFile:
    """A large sparse file, compared by its size and a few known samples."""

    size: int
    known: dict

    def matches(self, path):
        if os.path.getsize(path) != self.size:
            return False
        with open(path, "rb") as f:
            for offset, value in self.known.items():
                f.seek(offset)
                if f.read(2) != samples(value):
                    return False
        return True


@dataclass
class DataSet:
    """A parameter file tpN and a spectroscopy file tsN.

    The parameter file is parameter_size bytes: a recognisable filler with the
    three header fields put at offsets 30, 34 and 166 (as far as they fit).
    The spectroscopy file holds rows x columns x images samples; by default
    each sample's value is its own index, so every sample shows where it came
    from. values replaces that pattern; cut_to truncates the file to that many
    bytes; sparse_size makes a sparse file of that size holding only the
    samples given in sparse_samples ({byte offset: value}).
    """

    number: str = "1"
    columns: int = 3
    rows: int = 2
    images: int = 4
    parameter_size: int = 256
    values: list = None
    cut_to: int = None
    sparse_size: int = None
    sparse_samples: dict = field(default_factory=dict)
    without: tuple = ()  # "parameter" and/or "spectroscopy": left out

    def parameter_bytes(self):
        data = bytearray((i * 7 + 3) & 0xFF for i in range(max(self.parameter_size, 168)))
        for offset, value in ((30, self.columns), (34, self.rows), (166, self.images)):
            data[offset:offset + 2] = samples(value)
        return bytes(data[:self.parameter_size])

    def spectroscopy_bytes(self):
        count = self.rows * self.columns * self.images
        data = samples(*(self.values if self.values is not None else range(count)))
        return data if self.cut_to is None else data[:self.cut_to]

    def build(self, folder):
        """Writes the files; returns {name: bytes} of the small ones, to compare afterwards."""
        made = {}
        if "parameter" not in self.without:
            made["tp" + self.number] = self.parameter_bytes()
        if "spectroscopy" not in self.without and self.sparse_size is None:
            made["ts" + self.number] = self.spectroscopy_bytes()
        for name, data in made.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        if "spectroscopy" not in self.without and self.sparse_size is not None:
            with open(os.path.join(folder, "ts" + self.number), "wb") as f:
                f.truncate(self.sparse_size)
                for offset, value in self.sparse_samples.items():
                    f.seek(offset)
                    f.write(samples(value))
            made["ts" + self.number] = SparseFile(self.sparse_size, self.sparse_samples)
        return made
