#include "products/parameter_copy.hpp"

#include "dataset/names.hpp"
#include "products/product_file.hpp"

#include <fstream>
#include <ostream>
#include <vector>

namespace {

constexpr std::streamsize copyBufferBytes = 64L * 1024;

}  // namespace

const char* copyFailure(CopyStatus status)
{
    switch (status) {
    case CopyStatus::sourceOpenFailed:
        return "Can't open parameter file";
    case CopyStatus::destinationOpenFailed:
        return "Can't open new parameter file";
    case CopyStatus::readFailed:
        return "Can't read parameter file";
    default:
        return "Can't write new parameter file";
    }
}

CopyStatus prepareParameterCopy(const std::string& fileNumber, const std::string& productName,
                                ProductFile& copy)
{
    std::ifstream source(dataSetNames(fileNumber).parameterFile, std::ios::binary);
    if (!source)
        return CopyStatus::sourceOpenFailed;
    if (!copy.open(newParameterFileName(productName)))
        return CopyStatus::destinationOpenFailed;

    std::vector<char> buffer(copyBufferBytes);
    while (source) {
        source.read(buffer.data(), copyBufferBytes);
        if (source.bad()) {
            copy.discard();
            return CopyStatus::readFailed;
        }
        if (!copy.stream().write(buffer.data(), source.gcount())) {
            copy.discard();
            return CopyStatus::writeFailed;
        }
    }
    return copy.close() ? CopyStatus::copied : CopyStatus::writeFailed;
}

int copyParameterFile(const std::string& fileNumber, const std::string& imageFileName,
                      std::ostream& out)
{
    ProductFile copy;
    CopyStatus status = prepareParameterCopy(fileNumber, imageFileName, copy);
    if (status == CopyStatus::copied && !copy.commit())
        status = CopyStatus::writeFailed;
    if (status == CopyStatus::copied)
        return 0;
    out << copyFailure(status) << ". Doh!" << std::endl;
    return 1;
}
