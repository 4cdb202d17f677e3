#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

// Runs each test in a scratch working directory of its own, as the
// programs run in the data set's folder.
class ScratchFolder : public testing::Test {
protected:
    void SetUp() override
    {
        previous = std::filesystem::current_path();
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("citsconv-test-" + std::string(test->test_suite_name()) + "-" + test->name());
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
    // The names in the folder.
    static std::set<std::string> names()
    {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            found.insert(entry.path().filename().string());
        return found;
    }
    std::filesystem::path previous, folder;
};
