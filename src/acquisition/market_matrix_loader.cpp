#include "acquisition/market_matrix_loader.h"

#include <cstdio>
#include <iterator>
#include <system_error>
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

// One download straight into a file, telling apart why it failed.
class CMatrixTransferAgent final : public CHttpAgent {
public:
    std::uint8_t Download(const std::string& serverPath, const fs::path& localPath) {
        RequestHandle request = OpenRequest("GET", serverPath, kUseExistingConnection);
        if (request == nullptr || !SendRequest(*request))
            return kTransferBroken;
        FileHandle file(std::fopen(localPath.c_str(), "w+b"));
        if (file == nullptr)
            return kTransferFileNotCreated;
        const BodyTaker write = [](void* context, const char* bytes, std::size_t count) {
            return std::fwrite(bytes, 1, count, static_cast<std::FILE*>(context)) == count;
        };
        std::uint8_t code = kTransferDone;
        switch (Transfer(*request, write, file.get())) {
        case TransferOutcome::Done:
            if (std::fflush(file.get()) != 0)
                code = kTransferWriteFailed;
            break;
        case TransferOutcome::Refused:
            code = kTransferWriteFailed;
            break;
        case TransferOutcome::Broken:
            code = kTransferBroken;
            break;
        }
        if (std::fclose(file.release()) != 0 && code == kTransferDone)
            code = kTransferWriteFailed;
        if (code != kTransferDone) {
            std::error_code ignored;
            fs::remove(localPath, ignored);
        }
        return code;
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

bool CMarketMatrixLoader::ParseIndex(std::span<const std::uint8_t> bytes) {
    return DecodeMatrixIndex(bytes, index_);
}

bool CMarketMatrixLoader::FetchIndex(const std::string& serverHost) {
    fs::path temporary;
    if (!TemporaryDirectory(temporary))
        return false;
    const std::string name = FormatIndexName();
    const fs::path local = temporary / name;
    if (TransferFile(kServerRoot + name, serverHost, local) != kTransferDone)
        return false;
    std::vector<std::uint8_t> bytes;
    const bool whole = ReadIndexFile(local, bytes);
    RemoveQuietly(local);
    return whole && ParseIndex(bytes);
}

std::uint8_t CMarketMatrixLoader::TransferFile(const std::string& serverPath,
                                               const std::string& serverHost,
                                               const fs::path& localPath) {
    CMatrixAgency agency;
    CMatrixTransferAgent agent;
    agent.SetTimeouts(connectTimeoutMs_, stallTimeoutMs_);
    if (!agency.OpenSession() || !agency.Connect(agent, serverHost))
        return kTransferNoConnection;
    return agent.Download(serverPath, localPath);
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
    if (TransferFile(PackagePath("_" + innerName), serverHost, cabinet) != kTransferDone)
        return kNoDate;
    if (window != nullptr) {
        window->Post(message, percentCode, percentValue);
        std::snprintf(unpackText_, sizeof unpackText_,
                      "マーケットマトリクス[%u年間]を複合化します…", years);
        PostText(window, message, textCode, unpackText_);
    }
    // The package replaces the file whole: the old checksum goes first, the new one follows.
    RemoveChecksumSidecar(destination);
    const bool unpacked = UnpackCabinet(innerName, destination, cabinet);
    if (unpacked)
        PlaceChecksumSidecar(destination);
    RemoveQuietly(cabinet);
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
    if (TransferFile(PackagePath("_" + innerName), serverHost, cabinet) != kTransferDone)
        return false;
    if (window != nullptr) {
        window->Post(kMsgProgress, kProgressPercent, kUnpackPercent);
        PostText(window, kMsgProgress, kProgressText, "更新用のマトリクスを複合化します…");
    }
    const bool unpacked = UnpackCabinet(innerName, result, cabinet);
    RemoveQuietly(cabinet);
    return unpacked;
}

std::uint8_t CMarketMatrixLoader::DownloadFullMatrix(const std::string& serverHost,
                                                     const fs::path& destination,
                                                     PackedDate knownFirst,
                                                     const std::function<unsigned()>& chooseYears,
                                                     IMessageSink* window, PackedDate& firstDate) {
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

std::uint8_t CMarketMatrixLoader::UpdateMatrix(CMarketMatrix& matrix, const std::string& serverHost,
                                               CEvent* cancel, IMessageSink* window) {
    const PackedDate* lastHeld = matrix.DailyCalendar().Last();
    if (lastHeld == nullptr || !OffersUpdateAfter(*lastHeld))
        return kAcquisitionNoUpdate;
    fs::path updateFile;
    if (!DownloadUpdate(updateFile, *lastHeld, serverHost, window)) {
        if (!updateFile.empty())
            RemoveQuietly(updateFile);
        return kAcquisitionUpdateFailed;
    }
    std::uint8_t result = kAcquisitionOk;
    {
        CMarketMatrix update;
        result = RestoreMatrix(update, updateFile, cancel, window);
        if (result == kMatrixOk)
            result = MergeUpdate(cancel, window, matrix, update);
    }
    RemoveQuietly(updateFile);
    return result;
}

} // namespace vorn
