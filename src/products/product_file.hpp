#pragma once

#include "products/system.hpp"

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

// A product (an image file, a parameter copy, a stack) on its way to its
// name. It is written under a temporary name beside it, NAME.PID.part, and
// moved onto its name only when complete: every byte written, flushed to
// the storage device and closed. Until then the name keeps whatever it
// held, after a failure as after an interrupt (which removes the temporary
// file); a process killed outright leaves at most the temporary file.
class ProductFile {
public:
    ProductFile();
    ~ProductFile();  // discards a product that was not committed
    ProductFile(const ProductFile&) = delete;
    ProductFile& operator=(const ProductFile&) = delete;

    // Checks that name may be written (nothing there, or an existing file
    // that can be opened for writing) and creates the temporary file.
    // Returns false, having created nothing, when either fails.
    bool open(const std::string& name);

    // Where the product's bytes go. seekp places the next write anywhere
    // in the file without a system call.
    std::ostream& stream() { return stream_; }

    // Flushes, syncs and closes the temporary file. Returns false, having
    // removed it, when a write, the flush or the close failed.
    bool close();

    // Closes if not yet done, then moves the file onto its name, replacing
    // an existing file in one step. Returns false, having removed the
    // temporary file and left the name as it was, on any failure.
    bool commit();

    // Removes the temporary file; the name keeps what it held.
    void discard();

    const std::string& temporaryName() const { return temporaryName_; }

private:
    // Buffered positioned writes to the temporary file.
    class Output : public std::streambuf {
    public:
        Output();
        void attach(FileHandle file);
        FileHandle file() const { return file_; }
        void detach();

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* data, std::streamsize size) override;
        int sync() override;
        pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                         std::ios_base::openmode which) override;
        pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

    private:
        bool writeBuffered();
        void emptyBuffer();
        FileHandle file_ = noFile;
        std::uint64_t position_ = 0;  // where the buffered bytes go
        std::vector<char> buffer_;
    };

    void forget();

    std::string name_;
    std::string temporaryName_;  // empty when there is no temporary file
    int slot_ = -1;
    Output output_;
    std::ostream stream_;
};
