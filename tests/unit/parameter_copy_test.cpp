#include "products/parameter_copy.hpp"

#include "scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

namespace {

using CopyParameterFile = ScratchFolder;

TEST_F(CopyParameterFile, CopiesEveryByteWhateverTheLength)
{
    for (std::size_t size : {0U, 1U, 168U, 65536U, 65537U, 300000U}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 31 + i / 256);
        put("tp42", bytes);
        put("tp42_1-2", "an older copy, replaced");
        std::ostringstream out;
        EXPECT_EQ(copyParameterFile("42", "tz42_1-2", out), 0);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(get("tp42_1-2"), bytes) << size;
    }
}

TEST_F(CopyParameterFile, ReportsFilesThatCannotBeOpened)
{
    std::ostringstream out;
    EXPECT_EQ(copyParameterFile("7", "tz7_1", out), 1);
    EXPECT_EQ(out.str(), "Can't open parameter file. Doh!\n");

    put("tp7", "header");
    std::filesystem::create_directory("tp7_1");
    std::ostringstream again;
    EXPECT_EQ(copyParameterFile("7", "tz7_1", again), 1);
    EXPECT_EQ(again.str(), "Can't open new parameter file. Doh!\n");
}

TEST_F(CopyParameterFile, AReadErrorLeavesNoCopy)
{
    // A directory opens for reading but every read of it fails.
    std::filesystem::create_directory("tp9");
    std::ostringstream out;
    EXPECT_EQ(copyParameterFile("9", "tz9_0", out), 1);
    EXPECT_EQ(out.str(), "Can't read parameter file. Doh!\n");
    EXPECT_EQ(names(), std::set<std::string>{"tp9"});
}

}  // namespace
