#include "products/product_file.hpp"

#include "scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

using ProductFileTest = ScratchFolder;
using Names = std::set<std::string>;

TEST_F(ProductFileTest, TheNameHoldsTheEarlierFileUntilTheCommitReplacesIt)
{
    put("tz1_3", "the earlier image");
    ProductFile image;
    ASSERT_TRUE(image.open("tz1_3"));
    const std::string temporary = image.temporaryName();
    EXPECT_EQ(temporary.rfind("tz1_3.", 0), 0U);
    EXPECT_EQ(temporary.substr(temporary.size() - 5), ".part");

    image.stream() << "the new image";
    ASSERT_TRUE(image.stream().flush());
    EXPECT_EQ(get("tz1_3"), "the earlier image");
    EXPECT_EQ(get(temporary), "the new image");

    ASSERT_TRUE(image.commit());
    EXPECT_EQ(get("tz1_3"), "the new image");
    EXPECT_EQ(names(), Names{"tz1_3"});
}

TEST_F(ProductFileTest, DiscardingLeavesTheNameAsItWas)
{
    put("tz1_3", "the earlier image");
    {
        ProductFile image;
        ASSERT_TRUE(image.open("tz1_3"));
        image.stream() << "half an image";
        ASSERT_TRUE(image.close());
        image.discard();
        EXPECT_EQ(names(), Names{"tz1_3"});

        ASSERT_TRUE(image.open("tz1_4"));
        image.stream() << "never committed";
    }  // the destructor discards
    EXPECT_EQ(names(), Names{"tz1_3"});
    EXPECT_EQ(get("tz1_3"), "the earlier image");
}

TEST_F(ProductFileTest, ANameThatCannotBeWrittenIsRefusedBeforeAnythingIsCreated)
{
    std::filesystem::create_directory("tz1_3");
    ProductFile image;
    EXPECT_FALSE(image.open("tz1_3"));
    EXPECT_FALSE(image.commit());
    EXPECT_EQ(names(), Names{"tz1_3"});

    put("tp1_3", "read-only");
    std::filesystem::permissions("tp1_3", std::filesystem::perms::owner_read);
    if (std::ofstream("tp1_3", std::ios::app))
        GTEST_SKIP() << "read-only files can be written here (root)";
    EXPECT_FALSE(image.open("tp1_3"));
    EXPECT_EQ(names(), (Names{"tp1_3", "tz1_3"}));
}

TEST_F(ProductFileTest, PositionedWritesLandWhereTheyArePlaced)
{
    const std::string large(200000, 'L');  // larger than the output buffer
    ProductFile stack;
    ASSERT_TRUE(stack.open("tz1_stack"));
    std::ostream& out = stack.stream();
    out.seekp(10);
    out << "ab";
    EXPECT_EQ(out.tellp(), std::streampos(12));
    out.seekp(100);
    out.write(large.data(), static_cast<std::streamsize>(large.size()));
    out.seekp(0);
    out << "start";
    out.seekp(12);
    out << "c";
    ASSERT_TRUE(out);
    ASSERT_TRUE(stack.commit());

    std::string expected(100, '\0');
    expected.replace(0, 5, "start");
    expected.replace(10, 3, "abc");
    EXPECT_EQ(get("tz1_stack"), expected + large);
}

TEST_F(ProductFileTest, TemporaryFilesOfOtherWritersAreLeftAlone)
{
    // One left by a killed run whose process id has come round again, and
    // one of a writer of the same product at the same time.
    ProductFile first;
    ASSERT_TRUE(first.open("tz1_3"));
    const std::string leftover = first.temporaryName();
    first.stream() << "left by a killed run";
    ASSERT_TRUE(first.stream().flush());

    ProductFile second;
    ASSERT_TRUE(second.open("tz1_3"));
    EXPECT_NE(second.temporaryName(), leftover);
    second.stream() << "complete";
    ASSERT_TRUE(second.commit());
    EXPECT_EQ(get("tz1_3"), "complete");
    EXPECT_EQ(get(leftover), "left by a killed run");
    EXPECT_EQ(names(), (Names{"tz1_3", leftover}));
}

}  // namespace
