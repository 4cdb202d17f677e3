#include "dialogue/conversion.hpp"

#include <iostream>

int main()
{
    // Replies are read through the stream's own buffer rather than one
    // C library call per character, so an endless line is skipped quickly.
    // Standard input and output keep the platform's text mode all the same:
    // on Windows lines reach the console with CR LF.
    std::ios::sync_with_stdio(false);
    return runConversion(std::cin, std::cout);
}
