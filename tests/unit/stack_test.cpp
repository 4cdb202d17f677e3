#include "stack/progress.hpp"
#include "stack/stack.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A file in memory as the stack writer sees a real one: reads and writes at
// any position, a write past the end extends it. Writes fail past `room`
// bytes (a full disk); the size it tells may exceed what it holds (a file
// that shrank after its size was taken).
class MemoryFile : public std::streambuf {
public:
    std::string bytes;
    std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
    std::int64_t toldSize = -1;  // -1: the size of bytes

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override
    {
        const std::int64_t size = toldSize >= 0 ? toldSize : static_cast<std::int64_t>(bytes.size());
        const std::int64_t base = direction == std::ios_base::end ? size : direction == std::ios_base::cur ? position_ : 0;
        position_ = base + offset;
        return position_;
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(position, std::ios_base::beg, which);
    }
    std::streamsize xsgetn(char* into, std::streamsize count) override
    {
        const auto at = static_cast<std::size_t>(position_);
        const std::size_t got = at < bytes.size() ? std::min(bytes.size() - at, static_cast<std::size_t>(count)) : 0;
        bytes.copy(into, got, at);
        position_ += static_cast<std::int64_t>(got);
        return static_cast<std::streamsize>(got);
    }
    std::streamsize xsputn(const char* from, std::streamsize count) override
    {
        const auto at = static_cast<std::uint64_t>(position_);
        const std::uint64_t put = at < room ? std::min(room - at, static_cast<std::uint64_t>(count)) : 0;
        if (bytes.size() < at + put)
            bytes.resize(static_cast<std::size_t>(at + put));
        bytes.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(put), from, static_cast<std::size_t>(put));
        position_ += static_cast<std::int64_t>(put);
        return static_cast<std::streamsize>(put);
    }
    int_type overflow(int_type c) override
    {
        const char one = traits_type::to_char_type(c);
        return xsputn(&one, 1) == 1 ? c : traits_type::eof();
    }

private:
    std::int64_t position_ = 0;
};

struct Written {
    StackResult result;
    std::string stack;
    std::vector<std::uint64_t> progress;
};

Written stackOf(const std::string& spectroscopy, const ParameterHeader& h, std::int64_t first, std::int64_t last,
                std::uint64_t tileSamples = defaultTileSamples)
{
    MemoryFile in;
    in.bytes = spectroscopy;
    MemoryFile out;
    std::istream input(&in);
    std::ostream output(&out);
    Written w;
    w.result = writeStack(input, output, h, first, last,
                          [&w](std::uint64_t done, std::uint64_t) { w.progress.push_back(done); }, tileSamples);
    w.stack = out.bytes;
    return w;
}

// The stack sample by sample, in file order for the missing ones.
struct Reference {
    std::string stack;
    std::uint64_t missing = 0;
    std::int64_t firstMissingImage = 0;
    std::uint64_t firstMissingPixel = 0;
};

Reference referenceStack(const std::string& file, const ParameterHeader& h, std::int64_t first, std::int64_t last)
{
    const auto pixels = static_cast<std::uint64_t>(h.rows * h.columns);
    Reference r;
    r.stack.assign(static_cast<std::size_t>(2 * pixels * static_cast<std::uint64_t>(last - first + 1)), '\0');
    for (std::uint64_t p = 0; p < pixels; ++p)
        for (std::int64_t k = first; k <= last; ++k) {
            const auto offset = static_cast<std::size_t>(2 * (k + h.imageCount * static_cast<std::int64_t>(p)));
            if (offset + 2 <= file.size()) {
                r.stack.replace(static_cast<std::size_t>(2 * (static_cast<std::uint64_t>(k - first) * pixels + p)), 2,
                                file, offset, 2);
            } else if (r.missing++ == 0) {
                r.firstMissingImage = k;
                r.firstMissingPixel = p;
            }
        }
    return r;
}

std::string randomBytes(std::mt19937_64& random, std::size_t size)
{
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST(WriteStack, EqualsTheSampleBySampleReferenceOnRandomShapesRangesCutsAndTiles)
{
    std::mt19937_64 random(20261211);
    const auto pick = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    // Tiles of one sample, of a few, of odd sizes and of the whole data set;
    // records read whole and pixel by pixel; edges of every width.
    const std::uint64_t tiles[] = {1, 2, 3, 7, 16, 50, 257, 4096, defaultTileSamples};
    for (int round = 0; round < 400; ++round) {
        const ParameterHeader h{pick(0, 13), pick(0, 9), pick(1, 40)};
        const std::int64_t first = pick(0, h.imageCount - 1);
        const std::int64_t last = pick(first, h.imageCount - 1);
        const std::string whole = randomBytes(random, static_cast<std::size_t>(2 * h.rows * h.columns * h.imageCount));
        const std::string file = whole.substr(0, static_cast<std::size_t>(pick(0, 3) == 0 ? pick(0, 2 * static_cast<std::int64_t>(whole.size())) : static_cast<std::int64_t>(whole.size())));
        const std::uint64_t tile = tiles[pick(0, std::size(tiles) - 1)];
        const Written w = stackOf(file, h, first, last, tile);
        const Reference r = referenceStack(file, h, first, last);
        const std::string shape = "columns " + std::to_string(h.columns) + " rows " + std::to_string(h.rows) +
                                  " images " + std::to_string(h.imageCount) + " range " + std::to_string(first) +
                                  "-" + std::to_string(last) + " file " + std::to_string(file.size()) + " tile " +
                                  std::to_string(tile);
        ASSERT_EQ(w.result.status, StackStatus::written) << shape;
        ASSERT_EQ(w.stack, r.stack) << shape;
        EXPECT_EQ(w.result.samples, r.stack.size() / 2) << shape;
        EXPECT_EQ(w.result.missingSamples, r.missing) << shape;
        if (r.missing > 0) {
            EXPECT_EQ(w.result.firstMissingImage, r.firstMissingImage) << shape;
            EXPECT_EQ(w.result.firstMissingPixel, r.firstMissingPixel) << shape;
        }
        // The progress rises to the whole stack.
        EXPECT_TRUE(std::is_sorted(w.progress.begin(), w.progress.end())) << shape;
        EXPECT_EQ(w.progress.empty() ? 0 : w.progress.back(), w.result.samples) << shape;
    }
}

TEST(WriteStack, ReportsReadAndWriteFailures)
{
    const ParameterHeader h{30, 20, 8};
    std::mt19937_64 random(7);
    const std::string file = randomBytes(random, 2 * 30 * 20 * 8);
    const auto run = [&](MemoryFile& in, MemoryFile& out, std::int64_t first, std::uint64_t tile) {
        std::istream input(&in);
        std::ostream output(&out);
        return writeStack(input, output, h, first, 7, nullptr, tile).status;
    };
    for (const std::uint64_t tile : {std::uint64_t{64}, defaultTileSamples}) {
        for (const std::int64_t first : {0, 5}) {  // records read whole, and pixel by pixel
            MemoryFile shrunk;
            shrunk.bytes = file.substr(0, 3000);
            shrunk.toldSize = static_cast<std::int64_t>(file.size());
            MemoryFile sink;
            EXPECT_EQ(run(shrunk, sink, first, tile), StackStatus::readFailed) << tile << " " << first;
            MemoryFile source;
            source.bytes = file;
            MemoryFile full;
            full.room = 1000;
            EXPECT_EQ(run(source, full, first, tile), StackStatus::writeFailed) << tile << " " << first;
        }
    }
}

TEST(ProgressLine, ShowsTheShareDoneOnlyOnATerminalAndAtMostAFewTimesASecond)
{
    std::ostringstream pipe;
    ProgressLine hidden(pipe, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    hidden.update(1, 2);
    hidden.clear();
    EXPECT_EQ(pipe.str(), "");

    std::ostringstream terminal;
    ProgressLine shown(terminal, true);
    shown.update(1, 4);  // a run this short shows nothing
    EXPECT_EQ(terminal.str(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    shown.update(1, 4);
    shown.update(2, 4);
    EXPECT_EQ(terminal.str(), "\rWriting the stack: 25%");
    shown.clear();
    const std::string cleared = terminal.str().substr(terminal.str().rfind('%') + 1);
    EXPECT_EQ(cleared.front(), '\r');
    EXPECT_EQ(cleared.back(), '\r');
    EXPECT_EQ(cleared.find_first_not_of(' ', 1), cleared.size() - 1);
}

}  // namespace
