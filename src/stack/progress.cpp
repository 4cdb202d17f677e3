#include "stack/progress.hpp"

#include <ostream>

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr std::chrono::milliseconds updateInterval{250};
constexpr const char* blankLine = "\r                                  \r";

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, bool shown)
    : terminal_(terminal), shown_(shown), next_(std::chrono::steady_clock::now() + updateInterval)
{
}

void ProgressLine::update(std::uint64_t done, std::uint64_t total)
{
    if (!shown_ || total == 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_)
        return;
    next_ = now + updateInterval;
    terminal_ << "\rWriting the stack: " << done * 100 / total << "%" << std::flush;
    showing_ = true;
}

void ProgressLine::clear()
{
    if (showing_)
        terminal_ << blankLine << std::flush;
    showing_ = false;
}

bool standardErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}
