#include "stack/progress.hpp"
#include "stack/run.hpp"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return runStack(arguments, std::cout, std::cerr, standardErrorIsTerminal());
}
