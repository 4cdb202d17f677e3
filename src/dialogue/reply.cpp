#include "dialogue/reply.hpp"

#include <algorithm>
#include <istream>
#include <limits>
#include <ostream>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the rest of the current line, carriage returns dropped, into line;
// keeps at most one character beyond the longest reply and discards the rest
// of an overlong line in one step.
void takeLine(std::istream& in, std::string& line)
{
    line.clear();
    for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
        if (c == '\r')
            continue;
        line.push_back(static_cast<char>(c));
        if (line.size() > maxReplyLength) {
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            return;
        }
    }
}

}  // namespace

std::optional<std::string> readReply(std::istream& in, std::ostream& out, std::string_view prompt,
                                     std::string_view complaint)
{
    out << prompt << std::flush;
    std::string line;
    for (;;) {
        // std::ws skips exactly blank, tab, line end, vertical tab, form
        // feed and carriage return.
        in >> std::ws;
        if (!in.good()) {
            out << std::endl << "No more input" << std::endl << "Doh!" << std::endl;
            return std::nullopt;
        }
        takeLine(in, line);
        if (line.size() <= maxReplyLength && std::all_of(line.begin(), line.end(), isDigit))
            return line;
        out << complaint << std::endl;
    }
}

std::optional<std::string> chooseImage(std::istream& in, std::ostream& out, std::string_view prompt,
                                       std::int64_t imageCount)
{
    for (;;) {
        out << "CITS images available: 0-" << imageCount - 1 << std::endl;
        std::optional<std::string> image = readReply(in, out, prompt, "Please enter a number");
        if (!image || replyValue(*image) < imageCount)
            return image;
        out << "Not in range!" << std::endl << std::endl;
    }
}

std::int64_t replyValue(const std::string& reply)
{
    std::int64_t value = 0;
    for (char c : reply)
        value = value * 10 + (c - '0');
    return value;
}
