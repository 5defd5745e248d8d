#include "progress_line.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

#include "command.h"
#include "foundation/window_messages.h"

namespace vornctl {
namespace {

constexpr std::size_t kDefaultColumns = 80;

std::size_t TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return kDefaultColumns;
}

// The width of the UTF-8 sequence starting with `lead`: two columns for the scripts from
// U+1100 on that terminals draw wide (kana, kanji, full-width forms), one otherwise. Close
// enough for a progress line; an overestimate only cuts it earlier.
std::size_t SequenceColumns(unsigned char lead) {
    return lead >= 0xE1 ? 2 : 1;
}

std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

CProgressLine::CProgressLine()
    : enabled_(!Quiet() && ::isatty(STDERR_FILENO) == 1),
      columns_(enabled_ ? TerminalColumns() : kDefaultColumns) {
    if (enabled_)
        ticker_ = std::thread([this] { Tick(); });
}

CProgressLine::~CProgressLine() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (ticker_.joinable())
        ticker_.join();
    Clear();
}

void CProgressLine::Show(const std::string& text) {
    if (!enabled_)
        return;
    std::lock_guard lock(mutex_);
    if (text == shown_)
        return;
    shown_ = text.empty() ? " " : text;
    shownSince_ = std::chrono::steady_clock::now();
    Draw(shown_);
}

bool CProgressLine::Due() const {
    std::lock_guard lock(mutex_);
    return enabled_ && std::chrono::steady_clock::now() - lastDrawn_ >=
                           std::chrono::milliseconds(kMinimumIntervalMs);
}

void CProgressLine::Clear() {
    std::lock_guard lock(mutex_);
    if (shown_.empty())
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_.clear();
}

void CProgressLine::Finish(const std::string& text) {
    if (!enabled_)
        return;
    std::lock_guard lock(mutex_);
    Draw(text);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    shown_.clear();
}

void CProgressLine::Draw(const std::string& text) {
    // One column stays free: a line that fills the terminal would wrap before the return.
    const std::string fitted = FitColumns(text, columns_ - 1);
    std::fprintf(stderr, "\r\033[K%s", fitted.c_str());
    std::fflush(stderr);
    lastDrawn_ = std::chrono::steady_clock::now();
}

void CProgressLine::Tick() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
        const std::chrono::duration<double> quiet = std::chrono::steady_clock::now() - shownSince_;
        if (!shown_.empty() && quiet.count() >= kQuietSeconds)
            Draw(shown_ + " (" + Duration(quiet.count()) + ")");
    }
}

void CProgressSink::Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == vorn::kMsgProgress && wParam == vorn::kProgressPercent && lParam >= 0)
        line_.Show(PercentLabel(static_cast<unsigned>(lParam > 100 ? 100 : lParam)) + step_);
    if (next_ != nullptr)
        next_->Post(message, wParam, lParam);
}

const char* InterruptedName() {
    return ::isatty(STDERR_FILENO) == 1 ? "\r\033[Kvornctl" : "vornctl";
}

std::string PercentLabel(unsigned percent) {
    char label[16];
    std::snprintf(label, sizeof label, "[%3u%%] ", percent > 100 ? 100 : percent);
    return label;
}

std::string ByteCount(std::uint64_t bytes) {
    char text[32];
    if (bytes >= 1000000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else if (bytes >= 1000)
        std::snprintf(text, sizeof text, "%.0f kB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%u B", static_cast<unsigned>(bytes));
    return text;
}

std::string Duration(double seconds) {
    const auto total = static_cast<long>(seconds < 0 ? 0 : seconds + 0.5);
    char text[48];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld h %02ld min", total / 3600, total % 3600 / 60);
    else if (total >= 60)
        std::snprintf(text, sizeof text, "%ld min %02ld s", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld s", total);
    return text;
}

std::string FitColumns(const std::string& text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t width = SequenceColumns(lead);
        const std::size_t length = SequenceLength(lead);
        if (used + width > columns || at + length > text.size())
            break;
        used += width;
        at += length;
    }
    return text.substr(0, at);
}

} // namespace vornctl
