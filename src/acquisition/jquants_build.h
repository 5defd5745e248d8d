#pragma once
// Building and updating a content file from the exchange's daily-data API: the calendar,
// the daily bars of every trading day, the listed-issues master, the financial summaries
// (shares issued) and TOPIX, fetched through the page cache and converted in one go.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "acquisition/jquants_client.h"
#include "acquisition/jquants_convert.h"
#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "matrix/update_merge.h"

namespace vorn {

enum class JQuantsBuildResult : std::uint8_t {
    Ok = 0,
    FetchFailed = 1,
    ConvertFailed = 2,
    RestoreFailed = 3,
    MergeFailed = 4,
    WriteFailed = 5,
    NothingNew = 6,
    Cancelled = 254,
};

struct JQuantsProgress {
    std::string step;         // what is fetched
    PackedDate day = kNoDate; // the day asked for, when the step goes by day
    std::size_t requestsDone = 0;
    std::size_t requestsLeft = 0;
    double secondsLeft = 0; // at the present pace
    std::string waiting;
};

struct JQuantsBuildOptions {
    JQuantsClientOptions client;
    JQuantsPlan plan{"free", 5, 2, false, 84};
    PackedDate from = kNoDate; // kNoDate: as far back as the plan reaches
    PackedDate to = kNoDate;   // kNoDate: the newest day the plan serves
    JQuantsConvertOptions convert;
    std::function<void(const JQuantsProgress&)> progress;
    std::function<void(const std::string&)> note; // one line each
};

struct JQuantsBuildReport {
    std::string error;
    JQuantsConvertReport convert;
    std::vector<std::string> skipped; // endpoints the plan does not give
    std::size_t requests = 0;
    std::size_t cachedPages = 0;
    MergeResult mergeResult = kMergeOk; // the update merge's result when it failed
};

// The cache folder used for `file`.
std::filesystem::path JQuantsCacheFolder(const std::filesystem::path& file);

JQuantsBuildResult BuildJQuantsFile(const JQuantsBuildOptions& options,
                                    const std::filesystem::path& out, JQuantsBuildReport& report);
// Adds the trading days after the matrix's last day through the update merge; `file` names
// the content file the matrix came from (its cache folder is used). A failed fetch leaves
// the matrix as it was; after a failed conversion or merge it may hold securities brought
// forward or widened, but no new day: restore it again then. The merge watches `cancel` and
// reports to `sink` when they are given.
JQuantsBuildResult AppendJQuantsMatrix(const JQuantsBuildOptions& options, CMarketMatrix& matrix,
                                       const std::filesystem::path& file,
                                       JQuantsBuildReport& report, CEvent* cancel = nullptr,
                                       IMessageSink* sink = nullptr);
// Adds the trading days after the file's last day through the update merge.
JQuantsBuildResult AppendJQuantsFile(const JQuantsBuildOptions& options,
                                     const std::filesystem::path& file, JQuantsBuildReport& report);

// The key from JQUANTS_API_KEY, else from the key file in `dataDirectory`. The file must be
// readable by its owner only. False with `error` (never holding the key) when there is none
// or the file is refused.
bool LoadJQuantsKey(const std::filesystem::path& dataDirectory, std::string& key,
                    std::string& error);
// Writes the key file (owner read/write only).
bool SaveJQuantsKey(const std::filesystem::path& dataDirectory, const std::string& key,
                    std::string& error);
constexpr const char* kJQuantsKeyFileName = "jquants.key";

} // namespace vorn
