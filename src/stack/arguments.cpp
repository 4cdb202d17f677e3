#include "stack/arguments.hpp"

#include <algorithm>

namespace {

constexpr std::size_t maxFileNumberDigits = 4;
// Image numbers go up to 65534; anything longer is beyond every data set.
constexpr std::size_t maxImageNumberDigits = 5;
constexpr std::int64_t beyondEveryImage = 100000;

bool isNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string withoutLeadingZeros(const std::string& digits)
{
    const std::size_t start = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    return digits.substr(start);
}

// Compares two digit strings by value, however long.
bool isGreater(const std::string& a, const std::string& b)
{
    const std::string x = withoutLeadingZeros(a);
    const std::string y = withoutLeadingZeros(b);
    return x.size() != y.size() ? x.size() > y.size() : x > y;
}

}  // namespace

const char* const stackUsage =
    "Usage: citsconv-stack N [FIRST LAST]\n"
    "Writes CITS images FIRST to LAST (all of them without a range) of data set N\n"
    "(files tpN and tsN) one after the other to tzN_stack (tzN_stack_FIRST-LAST),\n"
    "and copies the parameter file to tpN_stack (tpN_stack_FIRST-LAST).\n";

ParsedArguments parseStackArguments(const std::vector<std::string>& arguments)
{
    ParsedArguments parsed;
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        parsed.help = true;
        return parsed;
    }
    if (arguments.size() != 1 && arguments.size() != 3) {
        parsed.badUse = arguments.empty() ? "No data set given" : "Wrong number of arguments";
        return parsed;
    }
    for (const std::string& argument : arguments) {
        if (!isNumber(argument)) {
            parsed.badUse = "Not a number: \"" + argument + "\"";
            return parsed;
        }
    }
    if (arguments[0].size() > maxFileNumberDigits) {
        parsed.badUse = "File number of more than four digits: " + arguments[0];
        return parsed;
    }
    parsed.arguments.fileNumber = arguments[0];
    if (arguments.size() == 3) {
        if (isGreater(arguments[1], arguments[2])) {
            parsed.badUse = "First image after the last: " + arguments[1] + " " + arguments[2];
            return parsed;
        }
        parsed.arguments.wholeDataSet = false;
        parsed.arguments.first = arguments[1];
        parsed.arguments.last = arguments[2];
    }
    return parsed;
}

std::int64_t imageNumberValue(const std::string& digits)
{
    const std::string value = withoutLeadingZeros(digits);
    if (value.size() > maxImageNumberDigits)
        return beyondEveryImage;
    return std::stoll(value);
}
