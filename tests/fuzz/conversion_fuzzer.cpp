// Fuzz target: a whole conversion run on a data set described by the input.
//
// Each input writes a data set into a scratch folder (the working directory
// of the run), types its replies and checks what the run leaves behind:
//   - status 0 only with an image file of 2 x rows x columns bytes that holds
//     the samples the sample addressing names (0 where the file ends early,
//     with the matching report), and a parameter copy equal to the parameter
//     file;
//   - status 1 with no image file left, unless the parameter copy failed;
//   - the data set's own files unchanged, and nothing else in the folder.
//
// Input, numbers big-endian:
//   0      bits 0-1: file number digits - 1; bits 2-3: spectroscopy length mode
//          (0 the whole file, 1 that less the length value, 2 that plus it,
//          3 the length value itself)
//   1-4    file number digits (each byte modulo 10)
//   5-10   header fields columns, rows, imageCount
//   11     parameter file size - 160
//   12-14  length value
//   15-16  content length, then that many content bytes, repeated to fill the
//          spectroscopy file (zeros when there are none)
//   rest   standard input: the replies
// Shapes stay small enough for a fast run: rows x columns is cut to at most
// 65536 pixels (through rows, so that columns can still be 65535) and the
// spectroscopy file to 1 MiB.

#include "dialogue/conversion.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t maxPixels = 65536;
constexpr std::uint64_t maxSpectroscopyBytes = 1 << 20;
constexpr std::size_t fixedBytes = 17;

struct DataSet {
    std::string number;
    std::uint64_t columns = 0, rows = 0, imageCount = 0;
    std::string parameters;
    std::string spectroscopy;
    std::string replies;
};

std::uint64_t bigEndian(const std::uint8_t* at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value * 256 + at[i];
    return value;
}

bool describe(const std::uint8_t* data, std::size_t size, DataSet& set)
{
    if (size < fixedBytes)
        return false;
    const unsigned digits = (data[0] & 3U) + 1;
    for (unsigned i = 0; i < digits; ++i)
        set.number.push_back(static_cast<char>('0' + data[1 + i] % 10));
    set.columns = bigEndian(data + 5, 2);
    set.rows = bigEndian(data + 7, 2);
    set.imageCount = bigEndian(data + 9, 2);
    if (set.rows * set.columns > maxPixels)
        set.rows %= maxPixels / set.columns + 1;

    const std::size_t parameterSize = 160 + data[11];
    for (std::size_t i = 0; i < parameterSize; ++i)
        set.parameters.push_back(static_cast<char>(i * 7 + 3));
    for (std::size_t offset : {std::size_t{30}, std::size_t{34}, std::size_t{166}}) {
        const std::uint64_t value = offset == 30 ? set.columns : offset == 34 ? set.rows : set.imageCount;
        if (offset < parameterSize)
            set.parameters[offset] = static_cast<char>(value >> 8);
        if (offset + 1 < parameterSize)
            set.parameters[offset + 1] = static_cast<char>(value & 0xFF);
    }

    const std::uint64_t whole = 2 * set.rows * set.columns * set.imageCount;
    const std::uint64_t lengthValue = bigEndian(data + 12, 3);
    std::uint64_t length = whole;
    switch ((data[0] >> 2) & 3U) {
    case 1: length = whole > lengthValue ? whole - lengthValue : 0; break;
    case 2: length = whole + lengthValue; break;
    case 3: length = lengthValue; break;
    default: break;
    }
    length = std::min(length, maxSpectroscopyBytes);

    const std::size_t contentSize = std::min<std::size_t>(bigEndian(data + 15, 2), size - fixedBytes);
    const std::uint8_t* content = data + fixedBytes;
    // Filled in place, the content doubled until the length is reached: the
    // string keeps its room from input to input, which spares the fuzzer a
    // fresh megabyte (and its page faults) per run.
    set.spectroscopy.assign(length, '\0');
    if (contentSize > 0 && length > 0) {
        std::size_t filled = std::min<std::size_t>(contentSize, length);
        std::memcpy(&set.spectroscopy[0], content, filled);
        while (filled < length) {
            const std::size_t n = std::min<std::size_t>(filled, length - filled);
            std::memcpy(&set.spectroscopy[filled], &set.spectroscopy[0], n);
            filled += n;
        }
    }
    set.replies.assign(reinterpret_cast<const char*>(content + contentSize), size - fixedBytes - contentSize);
    return true;
}

void put(const std::string& name, const std::string& bytes)
{
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
        std::fprintf(stderr, "conversion fuzzer: cannot write %s\n", name.c_str());
        std::abort();
    }
}

std::string get(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Whether the file holds exactly these bytes, read in pieces.
bool holds(const std::string& name, const std::string& bytes)
{
    static char piece[64 * 1024];
    std::ifstream file(name, std::ios::binary);
    std::size_t at = 0;
    while (file) {
        file.read(piece, sizeof(piece));
        const auto n = static_cast<std::size_t>(file.gcount());
        if (n > bytes.size() - at || bytes.compare(at, n, piece, n) != 0)
            return false;
        at += n;
    }
    return file.eof() && at == bytes.size();
}

[[noreturn]] void fail(const char* what, const std::string& transcript)
{
    std::fprintf(stderr, "conversion fuzzer: %s\ntranscript:\n%.2000s\n", what, transcript.c_str());
    std::abort();
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The image the run must write for CITS image k1 (minus k2 for a
// difference), sample by sample; pixels whose samples are not wholly in the
// file are 0. Also counts those pixels and finds the first.
std::string referenceImage(const DataSet& set, std::uint64_t k1, std::uint64_t k2, bool difference,
                           std::uint64_t& missing, std::uint64_t& firstMissing)
{
    std::string image;
    missing = 0;
    const auto sample = [&](std::uint64_t pixel, std::uint64_t k, unsigned& value) {
        const std::uint64_t offset = 2 * (k + set.imageCount * pixel);
        if (offset + 2 > set.spectroscopy.size())
            return false;
        value = static_cast<unsigned char>(set.spectroscopy[offset]) * 256U +
                static_cast<unsigned char>(set.spectroscopy[offset + 1]);
        return true;
    };
    for (std::uint64_t pixel = 0; pixel < set.rows * set.columns; ++pixel) {
        unsigned a = 0, b = 0;
        unsigned value = 0;
        if (sample(pixel, k1, a) && (!difference || sample(pixel, k2, b)))
            value = difference ? (a - b) & 0xFFFFU : a;
        else if (missing++ == 0)
            firstMissing = pixel;
        image.push_back(static_cast<char>(value >> 8));
        image.push_back(static_cast<char>(value & 0xFF));
    }
    return image;
}

fs::path folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::error_code error;
    for (unsigned attempt = 0;; ++attempt) {
        folder = fs::temp_directory_path() /
                 ("citsconv-fuzz-" + std::to_string(std::random_device{}()) + "-" + std::to_string(attempt));
        if (fs::create_directory(folder, error))
            break;
        if (attempt > 100) {
            std::fprintf(stderr, "conversion fuzzer: no scratch folder\n");
            std::abort();
        }
    }
    fs::current_path(folder);
    std::atexit([] {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(folder, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static DataSet set;
    set.number.clear();
    set.parameters.clear();
    if (!describe(data, size, set))
        return -1;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
    const std::string parameterName = "tp" + set.number;
    const std::string spectroscopyName = "ts" + set.number;
    put(parameterName, set.parameters);
    put(spectroscopyName, set.spectroscopy);

    std::istringstream in(set.replies);
    std::ostringstream out;
    const int status = runConversion(in, out);
    const std::string transcript = out.str();

    if (!holds(parameterName, set.parameters) || !holds(spectroscopyName, set.spectroscopy))
        fail("the data set was modified", transcript);
    std::set<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        left.insert(entry.path().filename().string());
    left.erase(parameterName);
    left.erase(spectroscopyName);

    if (status == 1) {
        if (endsWith(transcript, "Couldn't copy parameter file!"))
            return 0;
        if (!endsWith(transcript, "Doh!\n"))
            fail("status 1 without a reason", transcript);
        // Nothing here fails to open, read or write: the only reasons are the
        // replies and the data set.
        const std::string before = transcript.substr(0, transcript.size() - std::string("\nDoh!\n").size());
        const std::string reason = before.substr(before.rfind('\n') + 1);
        const bool fits = reason == "No more input" || reason == "Can't open parameter file" ||
                          (reason == "Parameter file too short" && set.parameters.size() < 168) ||
                          (reason == "No CITS images in this data set" && set.parameters.size() >= 168 &&
                           set.imageCount == 0);
        if (!fits)
            fail(("status 1 for a reason that does not fit: " + reason).c_str(), transcript);
        if (!left.empty())
            fail(("status 1 left a file: " + *left.begin()).c_str(), transcript);
        return 0;
    }
    if (status != 0)
        fail("a status other than 0 and 1", transcript);

    // Success: the transcript names the image, and the name the images.
    const std::string done = "Done. File created as ";
    const std::string copied = "\nParameter file copied\n";
    const std::size_t at = transcript.rfind(done);
    if (at == std::string::npos || !endsWith(transcript, copied))
        fail("status 0 without the report", transcript);
    const std::string imageName = transcript.substr(at + done.size(), transcript.size() - copied.size() - at - done.size());
    const std::string prefix = "tz" + set.number + "_";
    if (imageName.compare(0, prefix.size(), prefix) != 0)
        fail("the image is not named after the data set", transcript);
    const std::string images = imageName.substr(prefix.size());
    const std::size_t minus = images.find('-');
    const bool difference = minus != std::string::npos;
    const std::uint64_t k1 = std::stoull(images.substr(0, minus));
    const std::uint64_t k2 = difference ? std::stoull(images.substr(minus + 1)) : k1;
    if (set.parameters.size() < 168 || k1 >= set.imageCount || k2 >= set.imageCount)
        fail("status 0 for a data set or an image that does not exist", transcript);

    const std::string copyName = "tp" + imageName.substr(2);
    if (left != std::set<std::string>{imageName, copyName})
        fail("status 0 without exactly the image and its parameter copy", transcript);
    const std::string image = get(imageName);
    if (image.size() != 2 * set.rows * set.columns)
        fail("the image file is not 2 x rows x columns bytes", transcript);
    std::uint64_t missing = 0, firstMissing = 0;
    if (image != referenceImage(set, k1, k2, difference, missing, firstMissing))
        fail("the image holds the wrong samples", transcript);
    if (!holds(copyName, set.parameters))
        fail("the parameter copy differs from the parameter file", transcript);
    if (missing > 0) {
        const std::string report = "Spectroscopy file ends early: " + std::to_string(missing) + " of " +
                                   std::to_string(set.rows * set.columns) + " pixels written as 0 (from line " +
                                   std::to_string(firstMissing / set.columns) + ", column " +
                                   std::to_string(firstMissing % set.columns) + ")\n" + done;
        if (transcript.find(report) == std::string::npos)
            fail("the early end of the spectroscopy file is not reported right", transcript);
    } else if (transcript.find("Spectroscopy file ends early") != std::string::npos) {
        fail("an early end reported for a whole file", transcript);
    }
    return 0;
}
