#include "products/product_file.hpp"

#include <cstring>

namespace {

// Small writes are collected; larger ones go straight to the file.
constexpr std::size_t outputBufferBytes = 64U * 1024;

// Another run writing the same product at the same time has another
// process id; a temporary file left by a killed run whose id came round
// again is stepped over with a counter.
constexpr int temporaryNameTries = 100;

std::string temporaryNameFor(const std::string& name, int attempt)
{
    std::string temporary = name + "." + std::to_string(currentProcessId());
    if (attempt > 0)
        temporary += "-" + std::to_string(attempt);
    return temporary + ".part";
}

}  // namespace

ProductFile::Output::Output() : buffer_(outputBufferBytes)
{
    emptyBuffer();
}

void ProductFile::Output::emptyBuffer()
{
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

void ProductFile::Output::attach(FileHandle file)
{
    file_ = file;
    position_ = 0;
    emptyBuffer();
}

void ProductFile::Output::detach()
{
    file_ = noFile;
    emptyBuffer();
}

bool ProductFile::Output::writeBuffered()
{
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    if (size == 0)
        return true;
    if (file_ == noFile || !writeFileAt(file_, pbase(), size, position_))
        return false;
    position_ += size;
    emptyBuffer();
    return true;
}

ProductFile::Output::int_type ProductFile::Output::overflow(int_type c)
{
    if (!writeBuffered())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize ProductFile::Output::xsputn(const char* data, std::streamsize size)
{
    const auto wanted = static_cast<std::size_t>(size);
    if (wanted < buffer_.size()) {
        if (wanted > static_cast<std::size_t>(epptr() - pptr()) && !writeBuffered())
            return 0;
        std::memcpy(pptr(), data, wanted);
        pbump(static_cast<int>(size));
        return size;
    }
    if (!writeBuffered() || file_ == noFile || !writeFileAt(file_, data, wanted, position_))
        return 0;
    position_ += wanted;
    return size;
}

int ProductFile::Output::sync()
{
    return writeBuffered() ? 0 : -1;
}

ProductFile::Output::pos_type ProductFile::Output::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                           std::ios_base::openmode which)
{
    const auto here = static_cast<off_type>(position_ + static_cast<std::uint64_t>(pptr() - pbase()));
    if (direction == std::ios_base::cur && offset == 0)
        return pos_type(here);
    if (direction == std::ios_base::cur)
        return seekpos(pos_type(here + offset), which);
    if (direction == std::ios_base::beg)
        return seekpos(pos_type(offset), which);
    return pos_type(off_type(-1));  // the end is not tracked
}

ProductFile::Output::pos_type ProductFile::Output::seekpos(pos_type position, std::ios_base::openmode which)
{
    if (!(which & std::ios_base::out) || off_type(position) < 0 || !writeBuffered())
        return pos_type(off_type(-1));
    position_ = static_cast<std::uint64_t>(off_type(position));
    return position;
}

ProductFile::ProductFile() : stream_(&output_) {}

ProductFile::~ProductFile()
{
    discard();
}

bool ProductFile::open(const std::string& name)
{
    discard();
    if (!mayReplaceFile(name))
        return false;
    holdInterrupts();
    FileHandle file = noFile;
    for (int attempt = 0; attempt < temporaryNameTries && file == noFile; ++attempt) {
        bool taken = false;
        temporaryName_ = temporaryNameFor(name, attempt);
        file = createNewFile(temporaryName_, taken);
        if (file == noFile && !taken)
            break;
    }
    if (file != noFile) {
        slot_ = listUnfinished(temporaryName_);
        if (slot_ < 0) {
            closeFile(file);
            removeFile(temporaryName_);
            file = noFile;
        }
    }
    releaseInterrupts();
    if (file == noFile) {
        temporaryName_.clear();
        return false;
    }
    copyPermissions(file, name);
    name_ = name;
    output_.attach(file);
    stream_.clear();
    return true;
}

bool ProductFile::close()
{
    const FileHandle file = output_.file();
    if (temporaryName_.empty())
        return false;
    if (file == noFile)
        return true;  // closed before
    const bool written = stream_.flush() && syncFile(file);
    output_.detach();
    const bool closed = closeFile(file);
    if (written && closed)
        return true;
    discard();
    return false;
}

bool ProductFile::commit()
{
    if (!close())
        return false;
    holdInterrupts();
    const bool moved = replaceFile(temporaryName_, name_);
    if (moved)
        forget();
    releaseInterrupts();
    if (!moved)
        discard();
    return moved;
}

void ProductFile::discard()
{
    if (temporaryName_.empty())
        return;
    const FileHandle file = output_.file();
    output_.detach();
    if (file != noFile)
        closeFile(file);
    holdInterrupts();
    removeFile(temporaryName_);
    forget();
    releaseInterrupts();
}

// The temporary file is gone or has become the product: nothing to remove.
void ProductFile::forget()
{
    unlistUnfinished(slot_);
    slot_ = -1;
    temporaryName_.clear();
}
