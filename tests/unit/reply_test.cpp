#include "dialogue/reply.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

struct ReplyCase {
    const char* what;
    std::string input;
    std::optional<std::string> reply;
    std::string output;  // after the prompt "?"
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.what;
}

const std::string complaint = "bad\n";
const std::string endOfInput = "\nNo more input\nDoh!\n";

class ReadReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReadReply, AcceptsOnlyOneToFourDigits)
{
    const ReplyCase& c = GetParam();
    std::istringstream in(c.input);
    std::ostringstream out;
    EXPECT_EQ(readReply(in, out, "?", "bad"), c.reply) << c.what;
    EXPECT_EQ(out.str(), "?" + c.output) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadReply,
    testing::Values(
        ReplyCase{"plain reply", "12\n", "12", ""},
        ReplyCase{"after blanks and empty lines", "\n\n  \t12\n", "12", ""},
        ReplyCase{"every kind of white space before it", " \t\r\n\v\f7\n", "7", ""},
        ReplyCase{"carriage returns are dropped", "1\r2\r\n", "12", ""},
        ReplyCase{"four digits with leading zeros", "0009\n", "0009", ""},
        ReplyCase{"last line without line end", "34", "34", ""},
        ReplyCase{"letter after the digits", "12a\n5\n", "5", complaint},
        ReplyCase{"blank after the digits", "12 \n5\n", "5", complaint},
        ReplyCase{"blank inside", "1 2\n5\n", "5", complaint},
        ReplyCase{"sign and decimal point", "-1\n+1\n1.0\n5\n", "5", complaint + complaint + complaint},
        ReplyCase{"five characters", "12345\n00007\n5\n", "5", complaint + complaint},
        ReplyCase{"NUL byte", std::string("1\0" "2\n5\n", 5), "5", complaint},
        ReplyCase{"a long line is refused once", std::string(100000, '7') + "\n5\n", "5", complaint},
        ReplyCase{"empty input", "", std::nullopt, endOfInput},
        ReplyCase{"only white space", " \n\r\n\t", std::nullopt, endOfInput},
        ReplyCase{"refused last line", "x", std::nullopt, complaint + endOfInput},
        ReplyCase{"long last line", std::string(1000, 'x'), std::nullopt, complaint + endOfInput}));

TEST(ReadReply, LeavesTheNextLineForTheNextQuestion)
{
    std::istringstream in("1\n  2\n");
    std::ostringstream out;
    EXPECT_EQ(readReply(in, out, "a:", "bad"), "1");
    EXPECT_EQ(readReply(in, out, "b:", "bad"), "2");
    EXPECT_EQ(readReply(in, out, "c:", "bad"), std::nullopt);
    EXPECT_EQ(out.str(), "a:b:c:" + endOfInput);
}

TEST(ChooseImage, RefusesNumbersOfImageCountAndAbove)
{
    std::istringstream in("10\n11\nx\n09\n");
    std::ostringstream out;
    EXPECT_EQ(chooseImage(in, out, "k:", 10), "09");
    const std::string range = "CITS images available: 0-9\n";
    EXPECT_EQ(out.str(), range + "k:Not in range!\n\n" + range + "k:Not in range!\n\n" + range +
                             "k:Please enter a number\n");
}

TEST(ReplyValue, IgnoresLeadingZeros)
{
    EXPECT_EQ(replyValue("0"), 0);
    EXPECT_EQ(replyValue("007"), 7);
    EXPECT_EQ(replyValue("9999"), 9999);
}

}  // namespace
