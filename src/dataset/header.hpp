#pragma once

#include <cstdint>
#include <ios>
#include <iosfwd>

// The three values of the parameter file that the conversion needs; every
// other byte of that file is carried along uninterpreted.
struct ParameterHeader {
    std::int64_t columns = 0;     // samples per image line, offset 30
    std::int64_t rows = 0;        // lines per image, offset 34
    std::int64_t imageCount = 0;  // CITS images = samples per pixel, offset 166
};

// The header occupies the first 168 bytes of the parameter file.
constexpr std::int64_t parameterHeaderSize = 168;

enum class HeaderStatus { read, tooShort, readFailed };

// Reads the header from an open parameter stream. A file shorter than the
// header is reported as tooShort (not as a failure) so that the caller can
// tell an incomplete file from an I/O error; header is only set when read.
HeaderStatus readParameterHeader(std::istream& parameters, ParameterHeader& header);

// Size of the spectroscopy file, which tells which samples it holds; -1
// when it cannot be positioned. Leaves the stream at the end of the file.
std::streamoff spectroscopySize(std::istream& spectroscopy);

// Pixels, from the first in file order, that hold their CITS images up to
// and including k wholly inside a spectroscopy file of fileBytes bytes; the
// pixels after them are written as 0 in an image that needs image k.
std::uint64_t completePixels(const ParameterHeader& header, std::uint64_t fileBytes, std::int64_t k);

// Byte offset of the sample of line y, column x, CITS image k in the
// spectroscopy file. 64-bit: the largest data sets reach hundreds of TiB.
constexpr std::int64_t sampleOffset(const ParameterHeader& header, std::int64_t y, std::int64_t x,
                                    std::int64_t k)
{
    return 2 * (k + header.imageCount * (x + header.columns * y));
}
