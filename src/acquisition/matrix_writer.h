#pragma once
// The background writer that regenerates the local matrix file after an update changed the
// matrix. The caller waits only until the calendar part is written; from then on the user
// interface may change the calendar (forecast days) while the rest of the file is written.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "foundation/event.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"

namespace vorn {

class CMatrixWriter final {
public:
    // How long the exit step gives the writer before asking it to stop, and after that.
    static constexpr int kFinishWaitMs = 600000;
    static constexpr int kCancelWaitMs = 50000;

    CMatrixWriter() = default;
    // Finishes a running writer as the exit step does.
    ~CMatrixWriter();
    CMatrixWriter(const CMatrixWriter&) = delete;
    CMatrixWriter& operator=(const CMatrixWriter&) = delete;

    // Starts writing `matrix` to `path` and returns once the calendar part is out (or the
    // writer has ended early), with the writer at the lowest priority. False when a writer
    // already exists or the thread could not be created. The matrix must stay alive until
    // Finish.
    bool Start(CMarketMatrix& matrix, std::filesystem::path path);
    bool Exists() const { return thread_.joinable(); }
    bool IsRunning() const { return thread_.joinable() && !ended_.IsSet(); }

    // The exit step: waits up to finishMs, then sets the cancel event and waits up to
    // cancelMs, then for as long as the writer needs to stop. Returns the generation result
    // (kMatrixOk when no writer ran).
    MatrixResult Finish(int finishMs = kFinishWaitMs, int cancelMs = kCancelWaitMs);

    CEvent& CancelEvent() { return cancel_; }
    CEvent& CalendarWrittenEvent() { return calendarWritten_; }

private:
    void SetPriority(int niceValue);

    std::thread thread_;
    // Both manual-reset and signalled while no writer runs.
    CEvent cancel_{true, true};
    CEvent calendarWritten_{true, true};
    mutable CEvent ended_{true, true};
    std::atomic<MatrixResult> result_{MatrixResult::Ok};
    std::atomic<int> threadId_{0}; // the writer's kernel thread id, for its priority
};

} // namespace vorn
