#pragma once

#include "dataset/header.hpp"

#include <iosfwd>
#include <string>

enum class DataSetStatus {
    opened,
    parameterOpenFailed,
    spectroscopyOpenFailed,
    parameterTooShort,
    parameterReadFailed,
    noImages,
};

// Opens the spectroscopy file of data set fileNumber and reads the header of
// its parameter file: what every conversion starts with, in this order, so
// that each program reports the same reason for the same data set. A data
// set without CITS images cannot be converted at all. The header is set and
// the spectroscopy stream open only when opened.
DataSetStatus openDataSet(const std::string& fileNumber, std::ifstream& spectroscopy, ParameterHeader& header);

// The reason of a failure, as the programs report it.
const char* dataSetFailure(DataSetStatus status);
