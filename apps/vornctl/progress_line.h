#pragma once
// Progress of long work on standard error: one line that updates in place on a terminal,
// nothing when standard error is not a terminal or --quiet is given.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "command.h"

namespace vornctl {

class CProgressLine {
public:
    CProgressLine() : enabled_(!Quiet() && ::isatty(STDERR_FILENO) == 1) {}
    ~CProgressLine() { Clear(); }
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    void Show(const std::string& text) {
        if (!enabled_ || text == shown_)
            return;
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
        std::fflush(stderr);
        shown_ = text;
    }
    // Before other output, so that it does not land behind the progress text.
    void Clear() {
        if (shown_.empty())
            return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_.clear();
    }

private:
    bool enabled_;
    std::string shown_;
};

} // namespace vornctl
