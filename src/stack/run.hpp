#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// One run of citsconv-stack with its arguments (the program name left out):
// writes the stack and its parameter file into the working directory, says
// what it made on `out`, and reports a bad use or a failure on `errors`,
// where it also shows the progress when `showProgress`; asked for help, writes
// the usage on `out` and nothing else. Returns 0 on success or help,
// 1 after a failure and 2 after a bad use; after either nothing is left.
int runStack(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& errors,
             bool showProgress);
