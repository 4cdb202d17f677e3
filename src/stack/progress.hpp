#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>

// The share of the stack done, on one line of a terminal rewritten in place
// a few times a second at most. Shows nothing when not shown (standard error
// is a pipe or a file: there the lines would only pile up).
class ProgressLine {
public:
    ProgressLine(std::ostream& terminal, bool shown);
    void update(std::uint64_t done, std::uint64_t total);
    // Leaves the line empty, the cursor at its start.
    void clear();

private:
    std::ostream& terminal_;
    bool shown_;
    bool showing_ = false;
    std::chrono::steady_clock::time_point next_;
};

// Whether standard error is a terminal.
bool standardErrorIsTerminal();
