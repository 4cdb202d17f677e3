#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

// Longest reply accepted: file numbers and image texts have at most four digits.
constexpr std::size_t maxReplyLength = 4;

// Writes the prompt, then reads lines until one holds one to four decimal
// digits and nothing else, after any leading white space; every other line
// is refused with the complaint. Carriage returns are dropped, and a last
// line without a line end counts. Memory stays bounded however long a line
// is. At the end of input the run cannot go on: writes "No more input" and
// "Doh!" and returns nothing.
std::optional<std::string> readReply(std::istream& in, std::ostream& out, std::string_view prompt,
                                     std::string_view complaint);

// Shows the range 0 to imageCount - 1 and asks until a reply lies within it.
// Returns the reply as typed, or nothing at the end of input.
std::optional<std::string> chooseImage(std::istream& in, std::ostream& out, std::string_view prompt,
                                       std::int64_t imageCount);

// The decimal value of a reply; leading zeros are ignored.
std::int64_t replyValue(const std::string& reply);
