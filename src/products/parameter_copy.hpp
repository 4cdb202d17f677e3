#pragma once

#include <iosfwd>
#include <string>

// Copies the data set's parameter file "tp" + fileNumber byte for byte to
// the new parameter file that belongs to imageFileName. Returns 0 when the
// copy is complete, 1 after writing the reason to out; an incomplete new
// parameter file is removed.
int copyParameterFile(const std::string& fileNumber, const std::string& imageFileName,
                      std::ostream& out);
