#include "products/image.hpp"

#include <algorithm>
#include <istream>
#include <ostream>
#include <vector>

namespace {

// The gather reads the spectroscopy file in windows of whole pixel records
// instead of positioning once per sample: a system call costs as much as
// copying kilobytes, so fewer, larger reads win up to the window size, and
// memory stays bounded whatever the size of the data set.
constexpr std::uint64_t windowBytes = 1 << 20;

// Produces one output sample per pixel from the bytes of the pixel's record
// that lie between its lowest and its highest needed sample (the span).
template <typename MakeSample>
ImageResult gather(std::istream& spectroscopy, std::ostream& image, const ParameterHeader& header,
                   std::int64_t lowestImage, std::int64_t highestImage, MakeSample makeSample)
{
    ImageResult result;
    result.pixels = static_cast<std::uint64_t>(header.rows * header.columns);

    const auto record = static_cast<std::uint64_t>(2 * header.imageCount);
    const auto spanBegin = static_cast<std::uint64_t>(2 * lowestImage);
    const auto spanEnd = static_cast<std::uint64_t>(2 * highestImage + 2);
    const std::uint64_t span = spanEnd - spanBegin;

    // Pixels whose span lies wholly inside the file; the rest are written as 0.
    std::uint64_t complete = 0;
    if (result.pixels > 0) {
        spectroscopy.seekg(0, std::ios::end);
        const std::streamoff end = spectroscopy.tellg();
        if (end < 0) {
            result.status = ImageStatus::readFailed;
            return result;
        }
        const auto size = static_cast<std::uint64_t>(end);
        if (size >= spanEnd)
            complete = std::min(result.pixels, (size - spanEnd) / record + 1);
    }
    result.missingPixels = result.pixels - complete;
    result.firstMissingPixel = complete;

    const std::uint64_t pixelsPerWindow = (windowBytes - span) / record + 1;
    const std::uint64_t perWindow = std::min(pixelsPerWindow, std::max<std::uint64_t>(result.pixels, 1));
    std::vector<char> window(static_cast<std::size_t>(std::min(windowBytes, (perWindow - 1) * record + span)));
    std::vector<char> samples(static_cast<std::size_t>(2 * perWindow));

    for (std::uint64_t first = 0; first < complete; first += perWindow) {
        const std::uint64_t count = std::min(perWindow, complete - first);
        const auto length = static_cast<std::streamsize>((count - 1) * record + span);
        spectroscopy.seekg(static_cast<std::streamoff>(first * record + spanBegin));
        spectroscopy.read(window.data(), length);
        // Short here means the file shrank or failed while being read.
        if (spectroscopy.gcount() != length) {
            result.status = ImageStatus::readFailed;
            return result;
        }
        const auto* in = reinterpret_cast<const unsigned char*>(window.data());
        auto* out = reinterpret_cast<unsigned char*>(samples.data());
        for (std::uint64_t pixel = 0; pixel < count; ++pixel, in += record, out += 2)
            makeSample(in, out);
        if (!image.write(samples.data(), static_cast<std::streamsize>(2 * count))) {
            result.status = ImageStatus::writeFailed;
            return result;
        }
    }

    std::fill(samples.begin(), samples.end(), '\0');
    for (std::uint64_t left = result.missingPixels; left > 0;) {
        const std::uint64_t count = std::min(perWindow, left);
        if (!image.write(samples.data(), static_cast<std::streamsize>(2 * count))) {
            result.status = ImageStatus::writeFailed;
            return result;
        }
        left -= count;
    }
    if (!image.flush())
        result.status = ImageStatus::writeFailed;
    return result;
}

}  // namespace

ImageResult writeSingleImage(std::istream& spectroscopy, std::ostream& image,
                             const ParameterHeader& header, std::int64_t k)
{
    return gather(spectroscopy, image, header, k, k, [](const unsigned char* span, unsigned char* out) {
        out[0] = span[0];
        out[1] = span[1];
    });
}

ImageResult writeDifferenceImage(std::istream& spectroscopy, std::ostream& image,
                                 const ParameterHeader& header, std::int64_t k1, std::int64_t k2)
{
    const std::int64_t lowest = std::min(k1, k2);
    const auto a = static_cast<std::size_t>(2 * (k1 - lowest));
    const auto b = static_cast<std::size_t>(2 * (k2 - lowest));
    return gather(spectroscopy, image, header, lowest, std::max(k1, k2),
                  [a, b](const unsigned char* span, unsigned char* out) {
                      const unsigned first = span[a] * 256U + span[a + 1];
                      const unsigned second = span[b] * 256U + span[b + 1];
                      const unsigned difference = (first - second) & 0xFFFFU;
                      out[0] = static_cast<unsigned char>(difference >> 8);
                      out[1] = static_cast<unsigned char>(difference & 0xFFU);
                  });
}
