#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What citsconv-stack was asked for: a data set, and all its CITS images or
// a range of them, the numbers kept as typed since they name the files.
struct StackArguments {
    std::string fileNumber;
    bool wholeDataSet = true;
    std::string first;  // as typed, when !wholeDataSet
    std::string last;
};

// The arguments, or why they are a bad use (empty when they are not).
struct ParsedArguments {
    StackArguments arguments;
    bool help = false;  // --help or -h alone: the usage is all that was asked for
    std::string badUse;
};

// Takes --help or -h alone, N, or N FIRST LAST: digits only, N of one to four of them, FIRST not
// above LAST. Whether the images exist is for the data set to tell.
ParsedArguments parseStackArguments(const std::vector<std::string>& arguments);

// The value of an image number as typed, or any value above every image
// number when it has more digits than an image number can.
std::int64_t imageNumberValue(const std::string& digits);

// How to call the program, for a bad use.
extern const char* const stackUsage;
