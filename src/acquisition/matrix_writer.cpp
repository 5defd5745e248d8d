#include "acquisition/matrix_writer.h"

#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

#include "matrix/matrix_file.h"

namespace vorn {
namespace {

constexpr int kLowestPriority = 19;
constexpr int kAboveNormalPriority = -5;

} // namespace

CMatrixWriter::~CMatrixWriter() {
    Finish();
}

bool CMatrixWriter::Start(CMarketMatrix& matrix, std::filesystem::path path) {
    if (thread_.joinable())
        return false;
    calendarWritten_.Reset();
    cancel_.Reset();
    ended_.Reset();
    threadId_ = 0;
    try {
        thread_ = std::thread([this, &matrix, path = std::move(path)] {
            threadId_ = static_cast<int>(::gettid());
            result_ = GenerateMatrix(matrix, path, &cancel_, &calendarWritten_);
            // A generation that failed before the calendar was out never signals it; the
            // waiting caller must not hang on that.
            calendarWritten_.Set();
            ended_.Set();
        });
    } catch (const std::system_error&) {
        calendarWritten_.Set();
        cancel_.Set();
        ended_.Set();
        return false;
    }
    calendarWritten_.Wait();
    SetPriority(kLowestPriority);
    return true;
}

MatrixResult CMatrixWriter::Finish(int finishMs, int cancelMs) {
    if (!thread_.joinable())
        return result_;
    // Raising a priority needs privileges on some systems; the wait works either way.
    SetPriority(kAboveNormalPriority);
    if (!ended_.Wait(finishMs)) {
        cancel_.Set();
        // A thread cannot be ended from outside without leaving its file and buffers behind;
        // generation polls the cancel event between sections and blocks, so it ends soon.
        ended_.Wait(cancelMs);
    }
    thread_.join();
    cancel_.Set();
    calendarWritten_.Set();
    return result_;
}

void CMatrixWriter::SetPriority(int niceValue) {
    const int id = threadId_;
    if (id != 0 && !ended_.IsSet())
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(id), niceValue);
}

} // namespace vorn
