#include "dataset/names.hpp"

DataSetNames dataSetNames(const std::string& fileNumber)
{
    return {"tp" + fileNumber, "ts" + fileNumber};
}

std::string singleImageFileName(const std::string& fileNumber, const std::string& image)
{
    return "tz" + fileNumber + "_" + image;
}

std::string differenceImageFileName(const std::string& fileNumber, const std::string& first,
                                    const std::string& second)
{
    return singleImageFileName(fileNumber, first) + "-" + second;
}

std::string stackFileName(const std::string& fileNumber)
{
    return "tz" + fileNumber + "_stack";
}

std::string stackRangeFileName(const std::string& fileNumber, const std::string& first,
                               const std::string& last)
{
    return stackFileName(fileNumber) + "_" + first + "-" + last;
}

std::string newParameterFileName(const std::string& imageFileName)
{
    return "tp" + imageFileName.substr(2);
}
