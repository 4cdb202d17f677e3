#include "stack/stack.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>

namespace {

// The stack is the transpose of the spectroscopy file: a matrix of pixels by
// images becomes one of images by pixels. It is cut into tiles of a number of
// pixels by a number of images, held in memory twice (as read and as
// transposed). Reading a tile takes one read per pixel, or one for all of
// them when the tile holds whole records; writing it one write per image, or
// one for all when it holds whole images. A system call costs about as much
// as copying 16 KiB, so the tile is made as large as the memory bound allows
// and shaped for the fewest calls: whole images where the reads per pixel
// stay large, else as square as the data set's shape allows (calls number
// about samples x (1 / pixels + 1 / images)). Within a tile the transpose
// goes in blocks that stay in the first-level cache.
struct TilePlan {
    std::uint64_t pixels = 0;        // of a tile
    std::uint64_t images = 0;        // of a tile
    bool wholeRecords = false;       // one read per tile, stepping over unneeded samples
    std::uint64_t inputStride = 0;   // samples from one pixel to the next in the input tile
};

// Reading the unneeded samples between two pixels' spans costs less than the
// extra positioning and read of a separate read each, up to about this many bytes.
constexpr std::uint64_t skippedGapBytes = 16U * 1024;

// Tiles of whole images (of at most largestLine pixels) are taken where each
// pixel's read is at least this many samples (4 KiB): their one write
// replaces a write per image.
constexpr std::uint64_t smallestRead = 2048;

// Writes of lines longer than this many samples (128 KiB) would save next to
// nothing in system calls, and a larger tile costs more than that in memory
// first touched and in caches left.
constexpr std::uint64_t largestLine = 64U * 1024;

// Pixels read one by one, and lines of a transposed tile written one by
// one, lie a cache line further apart than their length: lengths of a power
// of two would put every line of a block into the same few cache sets.
constexpr std::uint64_t linePadding = 32;

std::uint64_t squareRoot(std::uint64_t n)
{
    auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
    while (root * root > n)
        --root;
    while ((root + 1) * (root + 1) <= n)
        ++root;
    return root;
}

TilePlan planTiles(std::uint64_t pixels, std::uint64_t images, std::uint64_t imageCount,
                   std::uint64_t tileSamples)
{
    TilePlan plan;
    const std::uint64_t tile = std::max<std::uint64_t>(tileSamples, 1);
    const std::uint64_t imagesOfWholeImages = std::min(images, tile / pixels);
    if (pixels <= largestLine && imagesOfWholeImages >= std::min(images, smallestRead)) {
        plan.pixels = pixels;
        plan.images = imagesOfWholeImages;
    } else {
        plan.images = std::clamp<std::uint64_t>(std::max(squareRoot(tile), (tile + pixels - 1) / pixels), 1, images);
        plan.pixels = std::clamp<std::uint64_t>(tile / plan.images, 1, std::min(pixels, largestLine));
    }
    const std::uint64_t gapBytes = 2 * (imageCount - images);
    plan.wholeRecords = plan.images == images && gapBytes <= skippedGapBytes;
    plan.inputStride = plan.images + linePadding;
    if (plan.wholeRecords) {
        plan.pixels = std::clamp<std::uint64_t>(tile / imageCount, 1, plan.pixels);
        plan.inputStride = imageCount;
    }
    return plan;
}

// Reads `length` bytes at `offset` into `into`, of which the file holds
// `available` (an even number): the rest, samples beyond the end of the
// file, become 0. False when the read came up short.
bool readSpan(std::istream& spectroscopy, std::uint64_t offset, std::uint64_t length, std::uint64_t available,
              char* into)
{
    const std::uint64_t reading = std::min(length, available);
    if (reading > 0) {
        spectroscopy.seekg(static_cast<std::streamoff>(offset));
        spectroscopy.read(into, static_cast<std::streamsize>(reading));
        if (spectroscopy.gcount() != static_cast<std::streamsize>(reading))
            return false;
    }
    std::fill(into + reading, into + length, '\0');
    return true;
}

// Samples are moved as they are, two bytes at a time; four of them, read as
// one 64-bit word, lie in its lanes in memory order on a little-endian
// processor, which is what the word-wise transpose below relies on.
bool isLittleEndian()
{
    const std::uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// The 4 x 4 samples of 4 pixels at `in` (inputStride apart) become 4 lines
// of 4 at `out` (outputStride apart), through shifts and masks of 64-bit
// words: a quarter of the loads and stores of moving them one by one.
inline void transpose4x4(const std::uint16_t* in, std::uint64_t inputStride, std::uint16_t* out,
                         std::uint64_t outputStride)
{
    constexpr std::uint64_t evenLanes = 0x0000FFFF0000FFFFU;
    constexpr std::uint64_t oddLanes = 0xFFFF0000FFFF0000U;
    constexpr std::uint64_t lowHalf = 0x00000000FFFFFFFFU;
    std::uint64_t a = 0, b = 0, c = 0, d = 0;
    std::memcpy(&a, in, 8);
    std::memcpy(&b, in + inputStride, 8);
    std::memcpy(&c, in + 2 * inputStride, 8);
    std::memcpy(&d, in + 3 * inputStride, 8);
    const std::uint64_t ab02 = (a & evenLanes) | ((b & evenLanes) << 16);  // a0 b0 a2 b2
    const std::uint64_t ab13 = ((a >> 16) & evenLanes) | (b & oddLanes);   // a1 b1 a3 b3
    const std::uint64_t cd02 = (c & evenLanes) | ((d & evenLanes) << 16);
    const std::uint64_t cd13 = ((c >> 16) & evenLanes) | (d & oddLanes);
    const std::uint64_t lines[4] = {(ab02 & lowHalf) | (cd02 << 32), (ab13 & lowHalf) | (cd13 << 32),
                                    (ab02 >> 32) | (cd02 & ~lowHalf), (ab13 >> 32) | (cd13 & ~lowHalf)};
    for (std::uint64_t g = 0; g < 4; ++g)
        std::memcpy(out + g * outputStride, &lines[g], 8);
}

// out[g][i] = in[i][g] for the tile's images g and pixels i, in blocks of
// 32 x 32 samples whose lines stay in the first-level cache while the block
// is copied; the lines of `out` are outputStride apart. What the blocks of
// 4 x 4 leave at the edges is moved sample by sample.
void transposeTile(const std::uint16_t* in, std::uint64_t inputStride, std::uint16_t* out,
                   std::uint64_t outputStride, std::uint64_t pixels, std::uint64_t images)
{
    constexpr std::uint64_t block = 32;
    static const bool wordWise = isLittleEndian();
    const std::uint64_t pixels4 = wordWise ? pixels & ~std::uint64_t{3} : 0;
    const std::uint64_t images4 = wordWise ? images & ~std::uint64_t{3} : 0;
    for (std::uint64_t i0 = 0; i0 < pixels4; i0 += block) {
        const std::uint64_t i1 = std::min(pixels4, i0 + block);
        for (std::uint64_t g0 = 0; g0 < images4; g0 += block) {
            const std::uint64_t g1 = std::min(images4, g0 + block);
            for (std::uint64_t g = g0; g < g1; g += 4)
                for (std::uint64_t i = i0; i < i1; i += 4)
                    transpose4x4(in + i * inputStride + g, inputStride, out + g * outputStride + i, outputStride);
        }
    }
    for (std::uint64_t g = 0; g < images; ++g) {
        std::uint16_t* line = out + g * outputStride;
        for (std::uint64_t i = g < images4 ? pixels4 : 0; i < pixels; ++i)
            line[i] = in[i * inputStride + g];
    }
}

}  // namespace

StackResult writeStack(std::istream& spectroscopy, std::ostream& stack, const ParameterHeader& header,
                       std::int64_t first, std::int64_t last, const StackProgress& progress,
                       std::uint64_t tileSamples)
{
    StackResult result;
    const auto pixels = static_cast<std::uint64_t>(header.rows * header.columns);
    const auto images = static_cast<std::uint64_t>(last - first + 1);
    const auto imageCount = static_cast<std::uint64_t>(header.imageCount);
    const auto firstImage = static_cast<std::uint64_t>(first);
    result.samples = pixels * images;
    if (result.samples == 0)
        return result;
    const auto fail = [&result](StackStatus status) {
        result.status = status;
        return result;
    };

    const std::streamoff size = spectroscopySize(spectroscopy);
    if (size < 0)
        return fail(StackStatus::readFailed);
    const auto fileBytes = static_cast<std::uint64_t>(size);
    const std::uint64_t record = 2 * imageCount;

    // Each image lacks the pixels after its complete ones, later images as
    // many or more; the first missing sample in file order is that of the
    // first image with the fewest complete pixels.
    std::uint64_t fewest = pixels;
    for (std::int64_t k = first; k <= last; ++k) {
        const std::uint64_t complete = completePixels(header, fileBytes, k);
        result.missingSamples += pixels - complete;
        if (complete < fewest) {
            fewest = complete;
            result.firstMissingPixel = complete;
            result.firstMissingImage = k;
        }
    }

    const TilePlan plan = planTiles(pixels, images, imageCount, tileSamples);
    // Left uninitialised: touching the pages first costs as much as a copy,
    // and every sample is read or set to 0 before it is used.
    const std::unique_ptr<std::uint16_t[]> input(new std::uint16_t[plan.pixels * plan.inputStride]);
    const std::uint64_t outputStride = plan.pixels == pixels ? plan.pixels : plan.pixels + linePadding;
    const std::unique_ptr<std::uint16_t[]> output(new std::uint16_t[outputStride * plan.images]);
    const auto available = [fileBytes](std::uint64_t offset) {
        return offset < fileBytes ? (fileBytes - offset) & ~std::uint64_t{1} : 0;
    };

    std::uint64_t done = 0;
    std::uint64_t written = 0;  // where the stack stream stands
    for (std::uint64_t g0 = 0; g0 < images; g0 += plan.images) {
        const std::uint64_t tileImages = std::min(plan.images, images - g0);
        for (std::uint64_t p0 = 0; p0 < pixels; p0 += plan.pixels) {
            const std::uint64_t tilePixels = std::min(plan.pixels, pixels - p0);
            char* in = reinterpret_cast<char*>(input.get());
            const std::uint64_t start = p0 * record + 2 * (firstImage + g0);
            if (plan.wholeRecords) {
                const std::uint64_t length = (tilePixels - 1) * record + 2 * tileImages;
                if (!readSpan(spectroscopy, start, length, available(start), in))
                    return fail(StackStatus::readFailed);
            } else {
                for (std::uint64_t i = 0; i < tilePixels; ++i) {
                    const std::uint64_t offset = start + i * record;
                    if (!readSpan(spectroscopy, offset, 2 * tileImages, available(offset),
                                  in + 2 * i * plan.inputStride))
                        return fail(StackStatus::readFailed);
                }
            }

            transposeTile(input.get(), plan.inputStride, output.get(), outputStride, tilePixels, tileImages);

            // With whole images the tile's lines follow each other in the stack.
            const std::uint64_t imagesPerWrite = tilePixels == pixels ? tileImages : 1;
            const std::uint64_t writeBytes = 2 * tilePixels * imagesPerWrite;
            for (std::uint64_t g = 0; g < tileImages; g += imagesPerWrite) {
                const std::uint64_t offset = 2 * ((g0 + g) * pixels + p0);
                if (offset != written)
                    stack.seekp(static_cast<std::streamoff>(offset));
                if (!stack.write(reinterpret_cast<const char*>(output.get() + g * outputStride),
                                 static_cast<std::streamsize>(writeBytes)))
                    return fail(StackStatus::writeFailed);
                written = offset + writeBytes;
            }
            done += tilePixels * tileImages;
            if (progress)
                progress(done, result.samples);
        }
    }
    if (!stack.flush())
        return fail(StackStatus::writeFailed);
    return result;
}
