#pragma once

// Stand-in for the product files until they land: writes straight onto the
// name, removes it when discarded.

#include "dataset/names.hpp"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

class ProductFile {
public:
    ~ProductFile() { discard(); }
    bool open(const std::string& name)
    {
        name_ = name;
        file_.open(name, std::ios::binary | std::ios::trunc);
        open_ = file_.is_open();
        return open_;
    }
    std::ostream& stream() { return file_; }
    bool close()
    {
        file_.close();
        if (!file_) {
            discard();
            return false;
        }
        return true;
    }
    bool commit()
    {
        const bool ok = open_ && close();
        open_ = false;
        return ok;
    }
    void discard()
    {
        if (open_) {
            file_.close();
            std::remove(name_.c_str());
        }
        open_ = false;
    }
    const std::string& name() const { return name_; }

private:
    std::ofstream file_;
    std::string name_;
    bool open_ = false;
};

enum class CopyStatus { copied, sourceOpenFailed, destinationOpenFailed, readFailed, writeFailed };

inline CopyStatus prepareParameterCopy(const std::string& fileNumber, const std::string& productName,
                                       ProductFile& copy)
{
    std::ifstream source(dataSetNames(fileNumber).parameterFile, std::ios::binary);
    if (!source)
        return CopyStatus::sourceOpenFailed;
    if (!copy.open(newParameterFileName(productName)))
        return CopyStatus::destinationOpenFailed;
    std::vector<char> buffer(65536);
    while (source) {
        source.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (source.bad())
            return CopyStatus::readFailed;
        if (!copy.stream().write(buffer.data(), source.gcount()))
            return CopyStatus::writeFailed;
    }
    return copy.stream().flush() ? CopyStatus::copied : CopyStatus::writeFailed;
}
