#include "dialogue/conversion.hpp"

#include <iostream>

int main()
{
    // Replies are read through the stream's own buffer rather than one
    // C library call per character, so an endless line is skipped quickly.
    std::ios::sync_with_stdio(false);
    return runConversion(std::cin, std::cout);
}
