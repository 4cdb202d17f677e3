#include "products/image.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string samples(const std::vector<unsigned>& values)
{
    std::string bytes;
    for (unsigned v : values) {
        bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
        bytes.push_back(static_cast<char>(v & 0xFF));
    }
    return bytes;
}

// Sample i holds the value i.
std::string indexPattern(const ParameterHeader& h)
{
    std::vector<unsigned> values(static_cast<std::size_t>(h.rows * h.columns * h.imageCount));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<unsigned>(i);
    return samples(values);
}

struct Written {
    ImageResult result;
    std::string image;
};

Written single(const std::string& spectroscopy, const ParameterHeader& h, std::int64_t k)
{
    std::istringstream in(spectroscopy);
    std::ostringstream out;
    Written w{writeSingleImage(in, out, h, k), {}};
    w.image = out.str();
    return w;
}

Written difference(const std::string& spectroscopy, const ParameterHeader& h, std::int64_t k1, std::int64_t k2)
{
    std::istringstream in(spectroscopy);
    std::ostringstream out;
    Written w{writeDifferenceImage(in, out, h, k1, k2), {}};
    w.image = out.str();
    return w;
}

// The straightforward gather, one sample at a time: what every image must equal.
std::string referenceImage(const std::string& file, const ParameterHeader& h, std::int64_t k1, std::int64_t k2,
                           bool isDifference)
{
    std::string image;
    for (std::int64_t y = 0; y < h.rows; ++y)
        for (std::int64_t x = 0; x < h.columns; ++x) {
            const auto a = static_cast<std::size_t>(sampleOffset(h, y, x, k1));
            const auto b = static_cast<std::size_t>(sampleOffset(h, y, x, k2));
            if (std::max(a, b) + 2 > file.size()) {
                image += std::string(2, '\0');
                continue;
            }
            const auto value = [&](std::size_t at) {
                return static_cast<unsigned>(static_cast<unsigned char>(file[at]) * 256 +
                                             static_cast<unsigned char>(file[at + 1]));
            };
            image += samples({isDifference ? (value(a) - value(b)) & 0xFFFF : value(a)});
        }
    return image;
}

TEST(WriteSingleImage, GathersOneSamplePerPixelInLineOrder)
{
    const ParameterHeader h{3, 2, 4};
    const std::string file = indexPattern(h);
    EXPECT_EQ(single(file, h, 3).image, samples({3, 7, 11, 15, 19, 23}));
    EXPECT_EQ(single(file, h, 0).image, samples({0, 4, 8, 12, 16, 20}));
    const Written w = single(file, h, 1);
    EXPECT_EQ(w.result.status, ImageStatus::written);
    EXPECT_EQ(w.result.pixels, 6U);
    EXPECT_EQ(w.result.missingPixels, 0U);
}

TEST(WriteSingleImage, NoRowsOrColumnsGiveAnEmptyImage)
{
    for (const ParameterHeader& h : {ParameterHeader{0, 5, 2}, ParameterHeader{5, 0, 2}}) {
        const Written w = single("", h, 1);
        EXPECT_EQ(w.result.status, ImageStatus::written);
        EXPECT_EQ(w.image, "");
        EXPECT_EQ(w.result.missingPixels, 0U);
    }
}

TEST(WriteDifferenceImage, SubtractsModulo65536WithUnsignedBytes)
{
    const ParameterHeader h{5, 1, 2};
    const std::string file = samples({5, 10, 0xFFFF, 0, 0, 0xFFFF, 0x8001, 1, 0x1234, 0x1234});
    EXPECT_EQ(difference(file, h, 0, 1).image, samples({0xFFFB, 0xFFFF, 0x0001, 0x8000, 0}));
    EXPECT_EQ(difference(file, h, 1, 0).image, samples({5, 1, 0xFFFF, 0x8000, 0}));
    EXPECT_EQ(difference(file, h, 1, 1).image, std::string(10, '\0'));
}

TEST(ShortSpectroscopyFile, PixelsWithoutWholeSamplesAreZeroAndCounted)
{
    const ParameterHeader h{3, 2, 4};
    const std::string file = indexPattern(h);
    const struct {
        std::size_t length;
        std::int64_t k1, k2;
        bool isDifference;
        std::uint64_t missing;
    } cases[] = {
        {0, 0, 0, false, 6},  {1, 0, 0, false, 6},   {2, 0, 0, false, 5},  {29, 3, 3, false, 3},
        {30, 3, 3, false, 3}, {31, 3, 3, false, 3},  {32, 3, 3, false, 2}, {47, 3, 3, false, 1},
        {0, 0, 3, true, 6},   {9, 3, 0, true, 5},    {40, 0, 3, true, 1},  {48, 0, 3, true, 0},
        {17, 2, 1, true, 4},
    };
    for (const auto& c : cases) {
        const std::string cut = file.substr(0, c.length);
        const Written w = c.isDifference ? difference(cut, h, c.k1, c.k2) : single(cut, h, c.k1);
        EXPECT_EQ(w.result.status, ImageStatus::written);
        EXPECT_EQ(w.image, referenceImage(cut, h, c.k1, c.k2, c.isDifference)) << c.length;
        EXPECT_EQ(w.result.missingPixels, c.missing) << c.length;
        EXPECT_EQ(w.result.firstMissingPixel, 6 - c.missing) << c.length;
    }
}

TEST(Gather, EqualsTheSampleBySampleReferenceOnRandomShapesAndCuts)
{
    std::mt19937_64 random(20261211);
    for (int round = 0; round < 60; ++round) {
        const auto pick = [&](std::int64_t low, std::int64_t high) {
            return std::uniform_int_distribution<std::int64_t>(low, high)(random);
        };
        // Small shapes, shapes of several read windows, and records so long
        // that each pixel is read on its own.
        ParameterHeader h;
        switch (round % 3) {
        case 0: h = {pick(1, 20), pick(1, 8), pick(1, 300)}; break;
        case 1: h = {pick(1, 60), pick(1, 30), pick(1, 2000)}; break;
        default: h = {pick(1, 6), pick(1, 5), pick(20000, 65535)}; break;
        }
        std::string file(static_cast<std::size_t>(2 * h.rows * h.columns * h.imageCount), '\0');
        for (std::size_t i = 0; i < file.size(); i += 8) {
            const std::uint64_t bits = random();
            for (std::size_t j = i; j < std::min(i + 8, file.size()); ++j)
                file[j] = static_cast<char>(bits >> (8 * (j - i)));
        }
        if (round % 2 == 1)
            file.resize(static_cast<std::size_t>(pick(0, static_cast<std::int64_t>(file.size()))));
        else if (round % 4 == 0)
            file += "extra bytes past the last pixel are ignored";
        const std::int64_t k1 = pick(0, h.imageCount - 1);
        const std::int64_t k2 = pick(0, h.imageCount - 1);
        SCOPED_TRACE(testing::Message() << h.columns << "x" << h.rows << "x" << h.imageCount << " k1=" << k1
                                        << " k2=" << k2 << " size=" << file.size());
        EXPECT_EQ(single(file, h, k1).image, referenceImage(file, h, k1, k1, false));
        EXPECT_EQ(difference(file, h, k1, k2).image, referenceImage(file, h, k1, k2, true));
    }
}

// Stream buffers that fail the way a disk or a shrinking file does.
struct FailingInput : std::streambuf {
    std::string data;
    std::streamoff claimedSize;   // what positioning at the end reports
    std::streamoff failAt;        // a read reaching here is an I/O error
    FailingInput(std::string d, std::streamoff size, std::streamoff fail)
        : data(std::move(d)), claimedSize(size), failAt(fail) {}
    std::streamoff position = 0;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        const std::streamoff base =
            dir == std::ios_base::end ? claimedSize : dir == std::ios_base::cur ? position - (egptr() - gptr()) : 0;
        position = base + off;
        setg(nullptr, nullptr, nullptr);
        return position;
    }
    pos_type seekpos(pos_type p, std::ios_base::openmode m) override { return seekoff(p, std::ios_base::beg, m); }
    int_type underflow() override
    {
        if (position >= failAt)
            throw std::ios_base::failure("I/O error");
        if (position >= static_cast<std::streamoff>(data.size()))
            return traits_type::eof();
        char* at = &data[static_cast<std::size_t>(position)];
        setg(at, at, at + 1);
        ++position;
        return traits_type::to_int_type(*at);
    }
};

struct FailingOutput : std::streambuf {
    std::size_t room;
    explicit FailingOutput(std::size_t r) : room(r) {}
    int_type overflow(int_type c) override
    {
        if (room == 0)
            return traits_type::eof();
        --room;
        return c;
    }
};

TEST(Gather, ReportsReadAndWriteFailures)
{
    const ParameterHeader h{30, 20, 4};
    const std::string file = indexPattern(h);
    const auto run = [&](std::streambuf& input, std::streambuf& output) {
        std::istream in(&input);
        std::ostream out(&output);
        return writeSingleImage(in, out, h, 2).status;
    };
    std::stringbuf sink;
    FailingInput ioError(file, static_cast<std::streamoff>(file.size()), 1000);
    EXPECT_EQ(run(ioError, sink), ImageStatus::readFailed);
    // Cut short by another program after the size was taken.
    FailingInput shrunk(file.substr(0, 2000), static_cast<std::streamoff>(file.size()), 1 << 30);
    EXPECT_EQ(run(shrunk, sink), ImageStatus::readFailed);
    std::stringbuf source(file);
    FailingOutput diskFull(100);
    EXPECT_EQ(run(source, diskFull), ImageStatus::writeFailed);
}

TEST(Gather, AddressesSamplesPastFourGiB)
{
    // 200 x 200 pixels of 65535 samples: 5.2 GB, held as a sparse file.
    const ParameterHeader h{200, 200, 65535};
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "citsconv-sparse-test";
    const std::int64_t size = 2 * h.rows * h.columns * h.imageCount;
    const struct {
        std::int64_t y, x, k;
        unsigned value;
    } known[] = {{102, 80, 65534, 0x1111}, {164, 0, 65534, 0x2222}, {199, 199, 65534, 0x3333}, {199, 199, 1, 0x0003}};
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        ASSERT_TRUE(file);
    }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
    {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        for (const auto& s : known) {
            file.seekp(sampleOffset(h, s.y, s.x, s.k));
            file << samples({s.value});
        }
        ASSERT_TRUE(file);
    }
    const auto pixel = [&](const std::string& image, std::int64_t y, std::int64_t x) {
        return image.substr(static_cast<std::size_t>(2 * (y * h.columns + x)), 2);
    };
    std::ifstream in(path, std::ios::binary);
    std::ostringstream single;
    ASSERT_EQ(writeSingleImage(in, single, h, 65534).status, ImageStatus::written);
    std::ifstream again(path, std::ios::binary);
    std::ostringstream diff;
    ASSERT_EQ(writeDifferenceImage(again, diff, h, 65534, 1).status, ImageStatus::written);
    std::filesystem::remove(path);

    const std::string image = single.str();
    EXPECT_EQ(image.size(), 80000U);
    EXPECT_EQ(pixel(image, 102, 80), samples({0x1111}));
    EXPECT_EQ(pixel(image, 164, 0), samples({0x2222}));
    EXPECT_EQ(pixel(image, 199, 199), samples({0x3333}));
    EXPECT_EQ(std::count(image.begin(), image.end(), '\0'), 80000 - 6);
    EXPECT_EQ(pixel(diff.str(), 199, 199), samples({0x3330}));
    EXPECT_EQ(pixel(diff.str(), 102, 80), samples({0x1111}));
}

}  // namespace
