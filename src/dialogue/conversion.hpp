#pragma once

#include <iosfwd>

// One whole conversion, from the banner to the exit status: asks for the
// data set and the image, writes the image file and its parameter file into
// the working directory. Returns 0 on success, 1 after reporting a failure.
int runConversion(std::istream& in, std::ostream& out);
