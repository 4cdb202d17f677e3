#include "products/parameter_copy.hpp"

#include "dataset/names.hpp"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <vector>

namespace {

constexpr std::streamsize copyBufferBytes = 64L * 1024;

int failCopy(std::ostream& out, const char* message, std::ofstream& destination,
             const std::string& destinationName)
{
    out << message << std::endl;
    destination.close();
    std::remove(destinationName.c_str());
    return 1;
}

}  // namespace

int copyParameterFile(const std::string& fileNumber, const std::string& imageFileName,
                      std::ostream& out)
{
    const std::string sourceName = dataSetNames(fileNumber).parameterFile;
    const std::string destinationName = newParameterFileName(imageFileName);

    std::ifstream source(sourceName, std::ios::binary);
    if (!source) {
        out << "Can't open parameter file. Doh!" << std::endl;
        return 1;
    }
    std::ofstream destination(destinationName, std::ios::binary | std::ios::trunc);
    if (!destination) {
        out << "Can't open new parameter file. Doh!" << std::endl;
        return 1;
    }

    std::vector<char> buffer(copyBufferBytes);
    while (source) {
        source.read(buffer.data(), copyBufferBytes);
        if (source.bad())
            return failCopy(out, "Can't read parameter file. Doh!", destination, destinationName);
        if (!destination.write(buffer.data(), source.gcount()))
            return failCopy(out, "Can't write new parameter file. Doh!", destination, destinationName);
    }
    destination.close();
    if (!destination)
        return failCopy(out, "Can't write new parameter file. Doh!", destination, destinationName);
    return 0;
}
