#include "products/image.hpp"

#include <algorithm>
#include <istream>
#include <ostream>
#include <vector>

namespace {

// The gather reads the spectroscopy file in windows of whole pixel records
// rather than positioning once per sample: a system call costs as much as
// copying kilobytes, so a few large reads win. Dense windows follow each
// other without positioning. Only where the unneeded bytes between two
// pixels' samples outweigh a positioning and a read does it read each
// pixel's samples on their own. The window is kept small enough to stay in
// the processor's cache, and memory stays bounded whatever the size of the
// data set.
constexpr std::uint64_t windowBytes = 256U * 1024;
constexpr std::uint64_t skippedGapBytes = 32U * 1024;
constexpr std::uint64_t outputPixels = 32U * 1024;

// Collects output samples and writes them in large pieces.
class ImageOutput {
public:
    explicit ImageOutput(std::ostream& image) : image_(image), buffer_(2 * outputPixels) {}

    // Where the next sample goes, or nullptr once a write has failed.
    unsigned char* next()
    {
        if (used_ == buffer_.size() && !flush())
            return nullptr;
        unsigned char* at = buffer_.data() + used_;
        used_ += 2;
        return at;
    }

    // Writes the collected samples; false when the write failed.
    bool flush()
    {
        if (used_ > 0 && !image_.write(reinterpret_cast<const char*>(buffer_.data()),
                                       static_cast<std::streamsize>(used_)))
            return false;
        used_ = 0;
        return true;
    }

private:
    std::ostream& image_;
    std::vector<unsigned char> buffer_;
    std::size_t used_ = 0;
};

// Produces one output sample per pixel from the bytes of the pixel's record
// that lie between its lowest and its highest needed sample (the span).
template <typename MakeSample>
ImageResult gather(std::istream& spectroscopy, std::ostream& image, const ParameterHeader& header,
                   std::int64_t lowestImage, std::int64_t highestImage, MakeSample makeSample)
{
    ImageResult result;
    result.pixels = static_cast<std::uint64_t>(header.rows * header.columns);
    if (result.pixels == 0)
        return result;
    const auto fail = [&result](ImageStatus status) {
        result.status = status;
        return result;
    };

    const auto record = static_cast<std::uint64_t>(2 * header.imageCount);
    const auto spanBegin = static_cast<std::uint64_t>(2 * lowestImage);
    const auto spanEnd = static_cast<std::uint64_t>(2 * highestImage + 2);
    const std::uint64_t span = spanEnd - spanBegin;

    // Pixels whose span lies wholly inside the file; the rest are written as 0.
    const std::streamoff size = spectroscopySize(spectroscopy);
    if (size < 0)
        return fail(ImageStatus::readFailed);
    const std::uint64_t complete = completePixels(header, static_cast<std::uint64_t>(size), highestImage);
    result.missingPixels = result.pixels - complete;
    result.firstMissingPixel = complete;

    const bool dense = record - span <= skippedGapBytes;
    const std::uint64_t perWindow =
        dense ? std::clamp<std::uint64_t>(windowBytes / record, 1, std::max<std::uint64_t>(complete, 1)) : 1;
    std::vector<unsigned char> window(static_cast<std::size_t>(dense ? perWindow * record : span));
    ImageOutput output(image);

    // Taking the size left the stream at the end of the file.
    auto position = static_cast<std::uint64_t>(size);
    for (std::uint64_t first = 0; first < complete; first += perWindow) {
        const std::uint64_t count = std::min(perWindow, complete - first);
        const std::uint64_t offset = first * record + spanBegin;
        std::uint64_t length = (count - 1) * record + span;
        // A dense window reads on to the start of the next one.
        if (dense && first + count < complete)
            length += record - span;
        if (position != offset)
            spectroscopy.seekg(static_cast<std::streamoff>(offset));
        spectroscopy.read(reinterpret_cast<char*>(window.data()), static_cast<std::streamsize>(length));
        // Short here means the file shrank or failed while being read.
        if (spectroscopy.gcount() != static_cast<std::streamsize>(length))
            return fail(ImageStatus::readFailed);
        position = offset + length;
        const unsigned char* in = window.data();
        for (std::uint64_t pixel = 0; pixel < count; ++pixel, in += record) {
            unsigned char* out = output.next();
            if (out == nullptr)
                return fail(ImageStatus::writeFailed);
            makeSample(in, out);
        }
    }
    for (std::uint64_t pixel = complete; pixel < result.pixels; ++pixel) {
        unsigned char* out = output.next();
        if (out == nullptr)
            return fail(ImageStatus::writeFailed);
        out[0] = out[1] = 0;
    }
    if (!output.flush() || !image.flush())
        return fail(ImageStatus::writeFailed);
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
