#include "dataset/header.hpp"

#include <algorithm>
#include <ios>
#include <istream>

// Spectroscopy files pass 4 GiB, and every offset reaches the streams as a
// std::streamoff. On Windows long is 32-bit, so the width is checked here
// rather than assumed.
static_assert(sizeof(std::streamoff) >= 8, "stream offsets must be 64-bit");

namespace {

// One big-endian sample at an absolute offset; false when fewer than two
// bytes could be read.
bool readSampleAt(std::istream& in, std::int64_t offset, std::int64_t& value)
{
    unsigned char bytes[2];
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(bytes), 2);
    if (in.gcount() != 2)
        return false;
    value = bytes[0] * 256 + bytes[1];
    return true;
}

}  // namespace

HeaderStatus readParameterHeader(std::istream& parameters, ParameterHeader& header)
{
    ParameterHeader read;
    if (readSampleAt(parameters, 30, read.columns) && readSampleAt(parameters, 34, read.rows) &&
        readSampleAt(parameters, 166, read.imageCount)) {
        header = read;
        return HeaderStatus::read;
    }
    return parameters.bad() ? HeaderStatus::readFailed : HeaderStatus::tooShort;
}

std::streamoff spectroscopySize(std::istream& spectroscopy)
{
    spectroscopy.seekg(0, std::ios::end);
    return spectroscopy.tellg();
}

std::uint64_t completePixels(const ParameterHeader& header, std::uint64_t fileBytes, std::int64_t k)
{
    const auto pixels = static_cast<std::uint64_t>(header.rows * header.columns);
    const auto record = static_cast<std::uint64_t>(2 * header.imageCount);
    const auto end = static_cast<std::uint64_t>(2 * k + 2);  // of image k in a record
    return fileBytes < end ? 0 : std::min(pixels, (fileBytes - end) / record + 1);
}
