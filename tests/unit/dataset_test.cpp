#include "dataset/header.hpp"
#include "dataset/names.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

namespace {

std::string headerBytes(std::size_t size, unsigned char columnsHigh, unsigned char columnsLow)
{
    std::string bytes(size, '\x55');
    bytes[30] = static_cast<char>(columnsHigh);
    bytes[31] = static_cast<char>(columnsLow);
    bytes[34] = 0x00;
    bytes[35] = 0x02;
    if (size >= 168) {
        bytes[166] = 0x01;
        bytes[167] = 0x04;
    }
    return bytes;
}

TEST(Names, FollowTheFileNumberAndImageTextsAsTyped)
{
    const DataSetNames names = dataSetNames("007");
    EXPECT_EQ(names.parameterFile, "tp007");
    EXPECT_EQ(names.spectroscopyFile, "ts007");
    EXPECT_EQ(singleImageFileName("007", "03"), "tz007_03");
    EXPECT_EQ(newParameterFileName(singleImageFileName("007", "03")), "tp007_03");
    EXPECT_EQ(differenceImageFileName("12", "3", "4"), "tz12_3-4");
    EXPECT_EQ(newParameterFileName("tz12_3-4"), "tp12_3-4");
    EXPECT_EQ(differenceImageFileName("1234", "0001", "0002"), "tz1234_0001-0002");
}

TEST(ReadParameterHeader, TakesBigEndianUnsignedFields)
{
    const struct {
        unsigned char high, low;
        std::int64_t columns;
    } cases[] = {{0x00, 0xC8, 200}, {0x01, 0x00, 256}, {0xFF, 0xFF, 65535}, {0x80, 0x01, 32769}};
    for (const auto& c : cases) {
        std::istringstream in(headerBytes(200, c.high, c.low));
        ParameterHeader header;
        ASSERT_EQ(readParameterHeader(in, header), HeaderStatus::read);
        EXPECT_EQ(header.columns, c.columns);
        EXPECT_EQ(header.rows, 2);
        EXPECT_EQ(header.imageCount, 260);
    }
}

TEST(ReadParameterHeader, NeedsAll168Bytes)
{
    ParameterHeader header;
    std::istringstream exact(headerBytes(168, 0, 3));
    EXPECT_EQ(readParameterHeader(exact, header), HeaderStatus::read);

    for (std::size_t size : {0U, 31U, 167U}) {
        ParameterHeader untouched;
        std::istringstream shortFile(std::string(size, '\x7F'));
        EXPECT_EQ(readParameterHeader(shortFile, untouched), HeaderStatus::tooShort) << size;
        EXPECT_EQ(untouched.columns, 0) << size;
    }
}

// A stream buffer whose reads fail as an I/O error does.
struct FailingBuffer : std::streambuf {
    int_type underflow() override { throw std::ios_base::failure("read error"); }
    pos_type seekpos(pos_type position, std::ios_base::openmode) override { return position; }
};

TEST(ReadParameterHeader, TellsAReadErrorFromAShortFile)
{
    FailingBuffer buffer;
    std::istream in(&buffer);
    ParameterHeader header;
    EXPECT_EQ(readParameterHeader(in, header), HeaderStatus::readFailed);
}

TEST(SampleOffset, IsPixelMajorWithImagesInnermost)
{
    const ParameterHeader header{3, 2, 4};
    EXPECT_EQ(sampleOffset(header, 0, 0, 0), 0);
    EXPECT_EQ(sampleOffset(header, 1, 2, 3), 46);
    const ParameterHeader largest{65535, 65535, 65535};
    EXPECT_EQ(sampleOffset(largest, 65534, 65534, 65534), 2 * (65535LL * 65535 * 65535 - 1));
}

}  // namespace
