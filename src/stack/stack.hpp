#pragma once

#include "dataset/header.hpp"

#include <cstdint>
#include <functional>
#include <iosfwd>

enum class StackStatus { written, readFailed, writeFailed };

// What the stack writer did. A spectroscopy file that ends early is not a
// failure: every sample not wholly inside the file is written as 0x00 0x00,
// exactly as the single image of that CITS image would have it.
struct StackResult {
    StackStatus status = StackStatus::written;
    std::uint64_t samples = 0;            // images x rows x columns
    std::uint64_t missingSamples = 0;     // written as 0 for want of data
    std::int64_t firstMissingImage = 0;   // the first missing sample in file order,
    std::uint64_t firstMissingPixel = 0;  // when missingSamples > 0
};

// Told the samples written so far and their total, after each piece.
using StackProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Samples of the stack held in memory at a time; twice that many bytes each
// for the piece read and the piece transposed.
constexpr std::uint64_t defaultTileSamples = std::uint64_t{8} << 20;

// Writes CITS images first to last (first <= last < imageCount) of the
// spectroscopy stream to the stack stream, one whole image after the other,
// each as writeSingleImage would write it. Reads each needed byte of the
// spectroscopy stream once; writes may be positioned. The streams stay open:
// the caller closes them and discards the stack after a failure.
StackResult writeStack(std::istream& spectroscopy, std::ostream& stack, const ParameterHeader& header,
                       std::int64_t first, std::int64_t last, const StackProgress& progress,
                       std::uint64_t tileSamples = defaultTileSamples);
