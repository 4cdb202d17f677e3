#pragma once

#include "dataset/header.hpp"

#include <cstdint>
#include <iosfwd>

enum class ImageStatus { written, readFailed, writeFailed };

// What an image writer did. A spectroscopy file that ends early is not a
// failure: every pixel whose samples are not wholly inside the file is
// written as 0x00 0x00, and those pixels are a run at the end of the image.
struct ImageResult {
    ImageStatus status = ImageStatus::written;
    std::uint64_t pixels = 0;             // rows x columns
    std::uint64_t missingPixels = 0;      // written as 0 for want of samples
    std::uint64_t firstMissingPixel = 0;  // index in image order, when missingPixels > 0
};

// Writes CITS image k (below imageCount) of the spectroscopy stream to the
// image stream: rows x columns big-endian samples, copied unchanged. The
// streams stay open; the caller closes them and removes the image file
// after a failure.
ImageResult writeSingleImage(std::istream& spectroscopy, std::ostream& image,
                             const ParameterHeader& header, std::int64_t k);

// Like writeSingleImage, but every sample is A - B modulo 65536, where A and
// B are the pixel's samples of CITS images k1 and k2 read as unsigned.
ImageResult writeDifferenceImage(std::istream& spectroscopy, std::ostream& image,
                                 const ParameterHeader& header, std::int64_t k1, std::int64_t k2);
