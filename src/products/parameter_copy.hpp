#pragma once

#include <iosfwd>
#include <string>

class ProductFile;

enum class CopyStatus { copied, sourceOpenFailed, destinationOpenFailed, readFailed, writeFailed };

// Opens copy as the new parameter file that belongs to the product
// productName ("tz..." becomes "tp..."), copies the data set's parameter
// file "tp" + fileNumber into it byte for byte and closes it: complete, but
// still under its temporary name until the caller commits it. After a
// failure nothing of the copy is left. Reports nothing.
CopyStatus prepareParameterCopy(const std::string& fileNumber, const std::string& productName,
                                ProductFile& copy);

// Why a copy failed, as a short sentence ("Can't open parameter file").
const char* copyFailure(CopyStatus status);

// The parameter file copy that ends a conversion: prepares and commits it.
// Returns 0 when the copy is in place, 1 after writing the reason to out.
int copyParameterFile(const std::string& fileNumber, const std::string& imageFileName,
                      std::ostream& out);
