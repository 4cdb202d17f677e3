#pragma once

#include <string>

// Every file of a conversion lives in the working directory under a plain
// relative name built from the file number and the image texts as typed.
struct DataSetNames {
    std::string parameterFile;     // "tp" + file number
    std::string spectroscopyFile;  // "ts" + file number
};

DataSetNames dataSetNames(const std::string& fileNumber);

// "tz" + file number + "_" + k
std::string singleImageFileName(const std::string& fileNumber, const std::string& image);

// "tz" + file number + "_" + k1 + "-" + k2
std::string differenceImageFileName(const std::string& fileNumber, const std::string& first,
                                    const std::string& second);

// "tz" + file number + "_stack": every CITS image of the data set
std::string stackFileName(const std::string& fileNumber);

// "tz" + file number + "_stack_" + first + "-" + last
std::string stackRangeFileName(const std::string& fileNumber, const std::string& first,
                               const std::string& last);

// The image file name with its leading "tz" replaced by "tp".
std::string newParameterFileName(const std::string& imageFileName);
