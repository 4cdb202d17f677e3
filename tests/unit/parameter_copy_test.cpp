#include "products/parameter_copy.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

// Runs each test in a scratch working directory, as the program runs in the data set's folder.
class CopyParameterFile : public testing::Test {
protected:
    void SetUp() override
    {
        previous = std::filesystem::current_path();
        folder = std::filesystem::temp_directory_path() /
                 ("citsconv-copy-" + std::to_string(std::hash<std::string>{}(
                                         testing::UnitTest::GetInstance()->current_test_info()->name())));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        std::filesystem::current_path(folder);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    static void put(const std::string& name, const std::string& bytes)
    {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    static std::string get(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::path previous, folder;
};

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
    EXPECT_FALSE(std::filesystem::exists("tp9_0"));
}

}  // namespace
