#include "dataset/open.hpp"

#include "dataset/names.hpp"

#include <fstream>

DataSetStatus openDataSet(const std::string& fileNumber, std::ifstream& spectroscopy, ParameterHeader& header)
{
    const DataSetNames names = dataSetNames(fileNumber);
    std::ifstream parameters(names.parameterFile, std::ios::binary);
    if (!parameters)
        return DataSetStatus::parameterOpenFailed;
    spectroscopy.open(names.spectroscopyFile, std::ios::binary);
    if (!spectroscopy)
        return DataSetStatus::spectroscopyOpenFailed;
    ParameterHeader read;
    const HeaderStatus headerStatus = readParameterHeader(parameters, read);
    if (headerStatus == HeaderStatus::tooShort)
        return DataSetStatus::parameterTooShort;
    if (headerStatus == HeaderStatus::readFailed)
        return DataSetStatus::parameterReadFailed;
    if (read.imageCount == 0)
        return DataSetStatus::noImages;
    header = read;
    return DataSetStatus::opened;
}

const char* dataSetFailure(DataSetStatus status)
{
    switch (status) {
    case DataSetStatus::parameterOpenFailed:
        return "Can't open parameter file";
    case DataSetStatus::spectroscopyOpenFailed:
        return "Can't open spectroscopy file";
    case DataSetStatus::parameterTooShort:
        return "Parameter file too short";
    case DataSetStatus::parameterReadFailed:
        return "Can't read parameter file";
    case DataSetStatus::noImages:
        return "No CITS images in this data set";
    default:
        return "";
    }
}
