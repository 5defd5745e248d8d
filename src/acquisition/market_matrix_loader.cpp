#include "acquisition/market_matrix_loader.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "acquisition/cabinet.h"
#include "acquisition/http_agent.h"
#include "matrix/content_checksum.h"
#include "matrix/matrix_file.h"
#include "matrix/update_merge.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kServerRoot = "vorn/MarketMatrix/";
constexpr const char* kUpdateFileName = "Update.kbx";
// The request may ride on a connection that is already open.
constexpr std::uint32_t kUseExistingConnection = 0x20000000;
constexpr std::intptr_t kUnpackPercent = 50;

class CMatrixAgency final : public CAgency {
public:
    const char* GetAgentName() const override { return "RireziZidorevori"; }
};

// Size expectations of the downloads, for deadlines and limits: an index is small; a content
// file holds about 10 MB a year of history, so 64 MiB a year leaves a wide margin.
constexpr std::uint64_t kExpectedIndexBytes = 64 * 1024;
constexpr std::uint64_t kExpectedPackageBytesPerYear = 8ull << 20;
constexpr std::uint64_t kExpectedUpdateBytes = 1ull << 20;
constexpr std::uint64_t kMaxContentBytesPerYear = 64ull << 20;

// The largest content file a package or update spanning `years` years can hold.
std::uint64_t ContentLimit(unsigned years) {
    const std::uint64_t limit = (static_cast<std::uint64_t>(years) + 1) * kMaxContentBytesPerYear;
    return std::min(limit, kMaxUnpackedSize);
}

// A cabinet's stored blocks may be a little larger than what they hold.
std::uint64_t CabinetLimit(std::uint64_t contentLimit) {
    return contentLimit + contentLimit / 16 + (1u << 20);
}

// "bytes FIRST-LAST/TOTAL": FIRST and TOTAL (0 when "*"); false when malformed.
bool ParseContentRange(const std::string& text, std::uint64_t& first, std::uint64_t& total) {
    unsigned long long a = 0, b = 0, c = 0;
    char star = 0;
    if (std::sscanf(text.c_str(), "bytes %llu-%llu/%llu", &a, &b, &c) == 3) {
        first = a;
        total = c;
        return a <= b && b < c;
    }
    if (std::sscanf(text.c_str(), "bytes %llu-%llu/%c", &a, &b, &star) == 3 && star == '*') {
        first = a;
        total = 0;
        return a <= b;
    }
    return false;
}

// One download into a file through a ".part" sibling, telling apart why it failed. A
// resumable download continues a ".part" left by an earlier attempt with a range request, and
// keeps what arrived when the connection breaks.
class CMatrixTransferAgent final : public CHttpAgent {
public:
    explicit CMatrixTransferAgent(const CMarketMatrixLoader::TransferObserver& observer)
        : observer_(observer) {}

    TransferResult Download(const std::string& serverPath, const fs::path& localPath, bool resume) {
        fs::path part = localPath;
        part += ".part";
        std::error_code error;
        std::uint64_t have = 0;
        if (resume) {
            const auto size = fs::file_size(part, error);
            have = error ? 0 : size;
        } else {
            fs::remove(part, error);
        }
        Receiver receiver{this, nullptr, nullptr, have};
        TransferResult code = Attempt(serverPath, part, receiver);
        if (code == kRetryWhole) {
            fs::remove(part, error);
            if (have > 0)
                return Download(serverPath, localPath, false);
            code = kTransferBroken;
        }
        // What arrived before the connection broke is kept for the next attempt; an answer
        // of the server (an error status) is not worth keeping.
        const bool keep = resume && code == kTransferBroken &&
                          LastFailure().cause != TransferCause::HttpStatus &&
                          fs::file_size(part, error) > 0 && !error;
        if (code != kTransferDone) {
            if (!keep)
                fs::remove(part, error);
            return code;
        }
        fs::rename(part, localPath, error);
        if (error) {
            fs::remove(part, error);
            return kTransferWriteFailed;
        }
        return kTransferDone;
    }

private:
    // A range that the server could not satisfy: the part is dropped and fetched whole. Only
    // between Attempt and Download, never returned.
    static constexpr TransferResult kRetryWhole = static_cast<TransferResult>(0xFF);

    const CMarketMatrixLoader::TransferObserver& observer_;

    struct Receiver {
        CMatrixTransferAgent* agent;
        AgentRequest* request;
        std::FILE* file;
        std::uint64_t have; // bytes of the part asked to be skipped
        bool started = false;
        bool badStatus = false;
        std::uint64_t expectedTotal = 0; // from Content-Range, 0: unknown
        std::uint64_t written = 0;       // body bytes written in this attempt
    };

    // Decides from the first bytes of the body where they go.
    static bool Start(Receiver& r) {
        r.started = true;
        const int status = ResponseStatus(*r.request);
        std::uint64_t first = 0;
        if (status == 206 && r.have > 0 &&
            ParseContentRange(ContentRange(*r.request), first, r.expectedTotal) && first == r.have)
            return std::fseek(r.file, 0, SEEK_END) == 0;
        if (status == 200) {
            // No range support: start again from the first byte.
            r.have = 0;
            std::rewind(r.file);
            return ::ftruncate(::fileno(r.file), 0) == 0;
        }
        r.badStatus = true;
        return false;
    }

    TransferResult Attempt(const std::string& serverPath, const fs::path& part, Receiver& r) {
        RequestHandle request = OpenRequest("GET", serverPath, kUseExistingConnection);
        if (request == nullptr)
            return kTransferBroken;
        if (r.have > 0) {
            const std::string range = "Range: bytes=" + std::to_string(r.have) + "-";
            if (!AddHeader(*request, range.c_str()))
                return kTransferBroken;
        }
        if (!SendRequest(*request))
            return kTransferBroken;
        FileHandle file(std::fopen(part.c_str(), r.have > 0 ? "r+b" : "w+b"));
        if (file == nullptr) {
            NoteFailure(*request, TransferCause::LocalWrite);
            return kTransferFileNotCreated;
        }
        r.request = request.get();
        r.file = file.get();
        const BodyTaker write = [](void* context, const char* bytes, std::size_t count) {
            auto& receiver = *static_cast<Receiver*>(context);
            if (!receiver.started && !Start(receiver))
                return false;
            if (std::fwrite(bytes, 1, count, receiver.file) != count)
                return false;
            receiver.written += count;
            if (receiver.agent->observer_)
                receiver.agent->observer_(receiver.have + receiver.written);
            return true;
        };
        TransferResult code = kTransferDone;
        switch (Transfer(*request, write, &r)) {
        case TransferOutcome::Done:
            code = Finish(*request, r);
            break;
        case TransferOutcome::Refused:
            code = r.badStatus ? Refuse(*request) : kTransferWriteFailed;
            break;
        case TransferOutcome::Broken:
            code = kTransferBroken;
            break;
        }
        if (code == kTransferDone && (std::fflush(file.get()) != 0 || std::ferror(file.get())))
            code = kTransferWriteFailed;
        if (std::fclose(file.release()) != 0 && code == kTransferDone)
            code = kTransferWriteFailed;
        if (code == kTransferWriteFailed && !LastFailure().Failed())
            NoteFailure(*request, TransferCause::LocalWrite);
        return code;
    }

    // An error status; a range past the end of the file is retried from the start.
    TransferResult Refuse(const AgentRequest& request) {
        const int status = LastStatus();
        NoteFailure(request, TransferCause::HttpStatus, status);
        // A range the server could not satisfy, or answered with other bytes than asked for.
        return status == 416 || status == 206 ? kRetryWhole : kTransferBroken;
    }

    // A complete response: an empty body never reached Start; a resumed one must end at the
    // size the server announced.
    TransferResult Finish(const AgentRequest& request, Receiver& r) {
        if (!r.started && !Start(r))
            return Refuse(request);
        if (r.expectedTotal == 0)
            return kTransferDone;
        std::fflush(r.file);
        std::fseek(r.file, 0, SEEK_END);
        const long size = std::ftell(r.file);
        if (size < 0 || static_cast<std::uint64_t>(size) != r.expectedTotal) {
            NoteFailure(request, TransferCause::Dropped);
            return kTransferBroken;
        }
        return kTransferDone;
    }
};

// The whole file, when it is neither empty nor larger than any index can be.
bool ReadIndexFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size == 0 || size > kMaxIndexFileSize)
        return false;
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
           std::fgetc(file.get()) == EOF;
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void PostText(IMessageSink* window, std::uint32_t message, std::uintptr_t code, const char* text) {
    window->Post(message, code, reinterpret_cast<std::intptr_t>(text));
}

} // namespace

std::string CMarketMatrixLoader::FormatUpdateName(PackedDate day) const {
    char name[32];
    std::snprintf(name, sizeof name, "%04u%02u%02u.kbx", DateYear(day), DateMonth(day),
                  DateDay(day));
    return name;
}

std::string CMarketMatrixLoader::FormatPackageName(unsigned years) const {
    char name[32];
    std::snprintf(name, sizeof name, "%02u.kbx", years);
    return name;
}

bool CMarketMatrixLoader::TemporaryDirectory(fs::path& directory) const {
    std::error_code error;
    directory = temporaryDirectory_.empty() ? fs::temp_directory_path(error) : temporaryDirectory_;
    return !error && !directory.empty() && fs::is_directory(directory, error);
}

std::string CMarketMatrixLoader::PackagePath(const std::string& localName) const {
    return kServerRoot + index_.directory + "/" + localName;
}

std::string_view Describe(TransferResult result) {
    switch (result) {
    case TransferResult::Done:
        return "downloaded";
    case TransferResult::NoConnection:
        return "no connection to the server";
    case TransferResult::FileNotCreated:
        return "the download could not be saved";
    case TransferResult::WriteFailed:
        return "writing the download failed";
    case TransferResult::Broken:
        return "the download broke off";
    }
    return "unknown transfer result";
}

std::string_view Describe(AcquisitionResult result) {
    switch (result) {
    case AcquisitionResult::Ok:
        return "done";
    case AcquisitionResult::IndexNotFetched:
        return "the server's index could not be downloaded";
    case AcquisitionResult::ChoiceCancelled:
        return "no package was chosen";
    case AcquisitionResult::PackageFailed:
        return "the package could not be downloaded";
    case AcquisitionResult::KnownPackageFailed:
        return "the package from the known first day could not be downloaded";
    case AcquisitionResult::NoUpdate:
        return "no update needed";
    case AcquisitionResult::UpdateFailed:
        return "the update could not be downloaded";
    }
    return "unknown acquisition result";
}

std::string_view Describe(const AcquisitionOutcome& outcome) {
    return std::visit([](auto result) { return Describe(result); }, outcome);
}

unsigned ResultCode(const AcquisitionOutcome& outcome) {
    return std::visit([](auto result) { return ResultCode(result); }, outcome);
}

bool CMarketMatrixLoader::ParseIndex(std::span<const std::uint8_t> bytes) {
    return DecodeMatrixIndex(bytes, index_);
}

bool CMarketMatrixLoader::FetchIndex(const std::string& serverHost) {
    fs::path temporary;
    if (!TemporaryDirectory(temporary))
        return false;
    const std::string name = FormatIndexName();
    const fs::path local = temporary / name;
    if (TransferFile(kServerRoot + name, serverHost, local,
                     TransferSize{kExpectedIndexBytes, kMaxIndexFileSize, false}) != kTransferDone)
        return false;
    std::vector<std::uint8_t> bytes;
    const bool whole = ReadIndexFile(local, bytes);
    RemoveQuietly(local);
    return whole && ParseIndex(bytes);
}

TransferResult CMarketMatrixLoader::TransferFile(const std::string& serverPath,
                                                 const std::string& serverHost,
                                                 const fs::path& localPath) {
    return TransferFile(serverPath, serverHost, localPath, TransferSize{});
}

TransferResult CMarketMatrixLoader::TransferFile(const std::string& serverPath,
                                                 const std::string& serverHost,
                                                 const fs::path& localPath, TransferSize size) {
    CMatrixAgency agency;
    CMatrixTransferAgent agent(observer_);
    agent.SetTimeouts(connectTimeoutMs_, stallTimeoutMs_);
    agent.SetMinimumRate(minimumRate_);
    agent.SetDeadline(deadlineBaseMs_, deadlineRate_);
    agent.SetExpectedSize(size.expected, size.maximum);
    const std::string path =
        serverPath.empty() || serverPath.front() != '/' ? "/" + serverPath : serverPath;
    if (!agency.OpenSession() || !agency.Connect(agent, serverHost)) {
        lastFailure_ = TransferFailure{serverHost, path, TransferCause::BadRequest, 0, {}};
        return kTransferNoConnection;
    }
    const TransferResult code = agent.Download(serverPath, localPath, size.resume);
    lastFailure_ = agent.LastFailure();
    if (code != kTransferDone && !lastFailure_.Failed())
        lastFailure_.cause = TransferCause::Other;
    return code;
}

PackedDate CMarketMatrixLoader::DownloadPackage(const std::string& serverHost,
                                                const fs::path& destination, unsigned years,
                                                IMessageSink* window, std::uint32_t message,
                                                std::uintptr_t percentCode, std::uintptr_t textCode,
                                                std::intptr_t percentValue) {
    if (window != nullptr) {
        std::snprintf(downloadText_, sizeof downloadText_,
                      "マーケットマトリクス[%u年間]をダウンロードします…", years);
        PostText(window, message, textCode, downloadText_);
    }
    // The smallest package that holds at least the years asked for.
    const auto entry = years > 0xFF ? index_.packages.end() : index_.packages.lower_bound(years);
    if (entry == index_.packages.end())
        return kNoDate;
    fs::path temporary;
    if (!TemporaryDirectory(temporary))
        return kNoDate;

    const std::string innerName = FormatPackageName(entry->first);
    const fs::path cabinet = temporary / ("_" + innerName);
    const std::uint64_t contentLimit = ContentLimit(entry->first);
    const TransferSize size{entry->first * kExpectedPackageBytesPerYear, CabinetLimit(contentLimit),
                            true};
    if (TransferFile(PackagePath("_" + innerName), serverHost, cabinet, size) != kTransferDone)
        return kNoDate;
    if (window != nullptr) {
        window->Post(message, percentCode, percentValue);
        std::snprintf(unpackText_, sizeof unpackText_,
                      "マーケットマトリクス[%u年間]を複合化します…", years);
        PostText(window, message, textCode, unpackText_);
    }
    // The package replaces the file whole: the old checksum goes first, the new one follows.
    RemoveChecksumSidecar(destination);
    const bool unpacked = UnpackCabinet(innerName, destination, cabinet, contentLimit);
    if (unpacked)
        PlaceChecksumSidecar(destination);
    RemoveQuietly(cabinet);
    if (!unpacked)
        lastFailure_ = TransferFailure{serverHost, "/" + PackagePath("_" + innerName),
                                       TransferCause::Other, 0, "not a usable package"};
    return unpacked ? entry->second : kNoDate;
}

PackedDate CMarketMatrixLoader::DownloadFrom(const std::string& serverHost,
                                             const fs::path& destination, PackedDate wantedFirst,
                                             IMessageSink* window, std::uint32_t message,
                                             std::uintptr_t percentCode, std::uintptr_t textCode,
                                             std::intptr_t percentValue) {
    if (index_.packages.empty())
        return kNoDate;
    auto chosen = std::prev(index_.packages.end());
    for (auto entry = index_.packages.begin(); entry != index_.packages.end(); ++entry) {
        if (entry->second >= wantedFirst) {
            chosen = entry;
            break;
        }
    }
    return DownloadPackage(serverHost, destination, chosen->first, window, message, percentCode,
                           textCode, percentValue);
}

bool CMarketMatrixLoader::DownloadUpdate(fs::path& result, PackedDate lastHeld,
                                         const std::string& serverHost, IMessageSink* window) {
    if (window != nullptr)
        PostText(window, kMsgProgress, kProgressText,
                 "更新用のマーケットマトリクスをダウンロードします…");
    if (index_.updates.empty())
        return false;
    // The first update on or after the last day held (else the newest), stepped back while it
    // cannot be applied on top of that day.
    auto update = index_.updates.lower_bound(lastHeld);
    if (update == index_.updates.end())
        update = std::prev(update);
    while (lastHeld < update->second && update != index_.updates.begin())
        --update;

    fs::path temporary;
    if (!TemporaryDirectory(temporary))
        return false;
    result = temporary / kUpdateFileName;
    const std::string innerName = FormatUpdateName(update->first);
    const fs::path cabinet = temporary / ("_" + innerName);
    // An update holds the days from its base day on.
    const unsigned span = DateYear(update->first) >= DateYear(update->second)
                              ? DateYear(update->first) - DateYear(update->second) + 1
                              : 1;
    const std::uint64_t contentLimit = ContentLimit(span);
    const TransferSize size{kExpectedUpdateBytes, CabinetLimit(contentLimit), true};
    if (TransferFile(PackagePath("_" + innerName), serverHost, cabinet, size) != kTransferDone)
        return false;
    if (window != nullptr) {
        window->Post(kMsgProgress, kProgressPercent, kUnpackPercent);
        PostText(window, kMsgProgress, kProgressText, "更新用のマトリクスを複合化します…");
    }
    const bool unpacked = UnpackCabinet(innerName, result, cabinet, contentLimit);
    RemoveQuietly(cabinet);
    if (!unpacked)
        lastFailure_ = TransferFailure{serverHost, "/" + PackagePath("_" + innerName),
                                       TransferCause::Other, 0, "not a usable package"};
    return unpacked;
}

AcquisitionResult CMarketMatrixLoader::DownloadFullMatrix(
    const std::string& serverHost, const fs::path& destination, PackedDate knownFirst,
    const std::function<unsigned()>& chooseYears, IMessageSink* window, PackedDate& firstDate) {
    firstDate = kNoDate;
    if (knownFirst != kNoDate) {
        firstDate = DownloadFrom(serverHost, destination, knownFirst, window, kMsgProgress,
                                 kProgressPercent, kProgressText, kUnpackPercent);
        return firstDate != kNoDate ? kAcquisitionOk : kAcquisitionKnownPackageFailed;
    }
    if (index_.packages.empty())
        return kAcquisitionPackageFailed;
    const unsigned years = chooseYears ? chooseYears() : 0;
    if (years == 0)
        return kAcquisitionChoiceCancelled;
    firstDate = DownloadPackage(serverHost, destination, years, window, kMsgProgress,
                                kProgressPercent, kProgressText, kUnpackPercent);
    return firstDate != kNoDate ? kAcquisitionOk : kAcquisitionPackageFailed;
}

AcquisitionOutcome CMarketMatrixLoader::UpdateMatrix(CMarketMatrix& matrix,
                                                     const std::string& serverHost, CEvent* cancel,
                                                     IMessageSink* window) {
    const PackedDate* lastHeld = matrix.DailyCalendar().Last();
    if (lastHeld == nullptr || !OffersUpdateAfter(*lastHeld))
        return kAcquisitionNoUpdate;
    fs::path updateFile;
    if (!DownloadUpdate(updateFile, *lastHeld, serverHost, window)) {
        if (!updateFile.empty())
            RemoveQuietly(updateFile);
        return kAcquisitionUpdateFailed;
    }
    AcquisitionOutcome result = kAcquisitionOk;
    {
        CMarketMatrix update;
        const MatrixResult restored = RestoreMatrix(update, updateFile, cancel, window);
        if (restored != kMatrixOk)
            result = restored;
        else if (const MergeResult merged = MergeUpdate(cancel, window, matrix, update);
                 merged != kMergeOk)
            result = merged;
    }
    RemoveQuietly(updateFile);
    return result;
}

} // namespace vorn
