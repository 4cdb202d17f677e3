// Fuzz target: the reply reader fed arbitrary bytes as standard input.
//
// Asks question after question until the input ends and checks every answer
// against a model of the reply rules: each reply is one to four digits,
// every refused line gets exactly one complaint, and the end of input is
// reported once. The stream can hold an endless line: a byte
// repeated up to 8 MiB times, generated as it is read and never held in
// memory, while the heap the reader holds meanwhile must stay small.
//
// Input: [repeat code] [fill byte] [split] [text...]. The stream is the text
// up to the split, then the fill byte repeated, then the rest of the text.
// Repeat codes below 0xF0 are counts; 0xF0 to 0xFF stand for 2^8 to 2^23.

#include "dialogue/reply.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CITSCONV_HEAP_HOOKS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define CITSCONV_HEAP_HOOKS 1
#endif
#ifdef CITSCONV_HEAP_HOOKS
// The sanitizer runtime's allocator interface (declared here because not
// every compiler ships its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                        void (*onFree)(const volatile void*));
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* pointer);
#endif

namespace {

// The stream as three pieces: the text up to the split, the run of the
// fill byte, the rest of the text.
struct Source {
    Source(const std::uint8_t* data, std::size_t size)
    {
        if (size < 3)
            return;
        const unsigned code = data[0];
        fill = data[1];
        repeat = code < 0xF0 ? code : std::uint64_t{1} << (code - 0xF0 + 8);
        text = data + 3;
        textSize = size - 3;
        split = data[2] % (textSize + 1);
    }

    const std::uint8_t* text = nullptr;
    std::size_t textSize = 0;
    std::size_t split = 0;
    std::uint8_t fill = 0;
    std::uint64_t repeat = 0;
};

// Standard input as the program sees it: the source, generated in
// buffer-sized pieces as it is read.
class SourceBuffer : public std::streambuf {
public:
    explicit SourceBuffer(const Source& source) : source_(source) {}

protected:
    int_type underflow() override
    {
        std::size_t count = 0;
        while (count < sizeof(buffer_)) {
            const std::size_t room = sizeof(buffer_) - count;
            if (position_ < source_.split || (repeated_ == source_.repeat && position_ < source_.textSize)) {
                const std::size_t end = position_ < source_.split ? source_.split : source_.textSize;
                const std::size_t n = std::min(room, end - position_);
                std::memcpy(buffer_ + count, source_.text + position_, n);
                position_ += n;
                count += n;
            } else if (repeated_ < source_.repeat) {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(room, source_.repeat - repeated_));
                std::memset(buffer_ + count, source_.fill, n);
                repeated_ += n;
                count += n;
            } else {
                break;
            }
        }
        if (count == 0)
            return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + count);
        return traits_type::to_int_type(buffer_[0]);
    }

private:
    Source source_;
    std::size_t position_ = 0;
    std::uint64_t repeated_ = 0;
    char buffer_[4096];
};

// Standard output into room reserved beforehand, so that the reader's own
// allocations are the only ones while it runs.
class FixedOutput : public std::streambuf {
public:
    explicit FixedOutput(std::size_t room) : text_(room, '\0') { setp(&text_[0], &text_[0] + room); }
    std::string text() const { return std::string(pbase(), pptr()); }

protected:
    int_type overflow(int_type) override { return traits_type::eof(); }

private:
    std::string text_;
};

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The reply rules applied to the whole stream, a run of equal bytes at a
// time: the transcript of asking until the end of input (prompt "?",
// complaint "!") and the replies given.
class Model {
public:
    std::string transcript = "?";
    std::vector<std::string> replies;

    explicit Model(const Source& source)
    {
        for (std::size_t i = 0; i < source.split; ++i)
            take(source.text[i], 1);
        take(source.fill, source.repeat);
        for (std::size_t i = source.split; i < source.textSize; ++i)
            take(source.text[i], 1);
        if (inLine_)
            endLine();
        transcript += "\nNo more input\nDoh!\n";
    }

private:
    void take(std::uint8_t c, std::uint64_t count)
    {
        if (count == 0)
            return;
        if (!inLine_) {
            // Blanks and empty lines before a reply are skipped.
            if (isBlank(c))
                return;
            inLine_ = true;
        }
        if (c == '\n') {
            endLine();
            return;  // the rest of a run of line ends is empty lines
        }
        if (c == '\r')
            return;
        length_ += count;
        while (line_.size() < 5 && count-- > 0)
            line_.push_back(static_cast<char>(c));
    }

    void endLine()
    {
        bool digits = length_ <= 4;
        for (char d : line_)
            digits = digits && d >= '0' && d <= '9';
        if (digits) {
            replies.push_back(line_);
            transcript += "?";
        } else {
            transcript += "!\n";
        }
        line_.clear();
        length_ = 0;
        inLine_ = false;
    }

    bool inLine_ = false;
    std::string line_;
    std::uint64_t length_ = 0;
};

#ifdef CITSCONV_HEAP_HOOKS
std::atomic<bool> tracking{false};
std::atomic<std::int64_t> liveBytes{0};
std::atomic<std::int64_t> peakBytes{0};

void onMalloc(const volatile void*, std::size_t size)
{
    if (!tracking)
        return;
    const std::int64_t live = liveBytes += static_cast<std::int64_t>(size);
    std::int64_t peak = peakBytes;
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
}

void onFree(const volatile void* pointer)
{
    if (tracking && pointer != nullptr)
        liveBytes -= static_cast<std::int64_t>(__sanitizer_get_allocated_size(pointer));
}

const bool hooksInstalled = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
#endif

// The reader keeps one short line; a few kilobytes cover the stream's own
// bookkeeping. Holding a line of the 8 MiB fill would be far above this.
constexpr std::int64_t heapBound = 64 * 1024;

[[noreturn]] void fail(const char* what, const std::string& expected, const std::string& actual)
{
    std::fprintf(stderr, "reply fuzzer: %s\nexpected: %.400s\nactual:   %.400s\n", what, expected.c_str(),
                 actual.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Source source(data, size);
    const Model model(source);
    const std::string& expected = model.transcript;
    const std::vector<std::string>& expectedReplies = model.replies;

    SourceBuffer input(source);
    std::istream in(&input);
    FixedOutput output(expected.size() + 64);
    std::ostream out(&output);
    std::vector<std::string> replies;
    replies.reserve(expectedReplies.size() + 1);

#ifdef CITSCONV_HEAP_HOOKS
    liveBytes = 0;
    peakBytes = 0;
    tracking = hooksInstalled;
#endif
    // Each question ends with a reply or the end of input, so the loop ends
    // after at most one question more than the stream has lines.
    for (;;) {
        std::optional<std::string> reply = readReply(in, out, "?", "!");
        if (!reply)
            break;
        replies.push_back(std::move(*reply));
        if (replies.size() > expectedReplies.size())
            break;
    }
#ifdef CITSCONV_HEAP_HOOKS
    tracking = false;
    if (peakBytes > heapBound)
        fail("the reader held too much memory", "at most " + std::to_string(heapBound) + " bytes",
             std::to_string(peakBytes) + " bytes");
#endif

    for (const std::string& reply : replies)
        if (reply.empty() || reply.size() > 4 || reply.find_first_not_of("0123456789") != std::string::npos)
            fail("a reply that is not one to four digits", "digits", reply);
    if (replies != expectedReplies) {
        std::string want, got;
        for (const std::string& r : expectedReplies)
            want += r + " ";
        for (const std::string& r : replies)
            got += r + " ";
        fail("replies differ", want, got);
    }
    if (output.text() != expected)
        fail("transcript differs", expected, output.text());
    return 0;
}
