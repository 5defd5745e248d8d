#include "acquisition/matrix_publisher.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <system_error>
#include <unistd.h>

#include "acquisition/cabinet_writer.h"
#include "acquisition/market_matrix_loader.h"
#include "foundation/writer_lock.h"
#include "matrix/content_checksum.h"
#include "matrix/matrix_file.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

// The loader asks for everything below this folder of the server.
constexpr const char* kServerFolder = "vorn";
constexpr const char* kMatrixFolder = "MarketMatrix";
constexpr unsigned kMaxPackageYears = 0xFF;
// The share of a part's time spent on its content file; compressing the cabinet takes the
// rest, about twenty times as long.
constexpr double kContentShare = 0.05;

// A scratch folder in the temporary directory for the content files before they are packed;
// removed with everything in it.
class CScratchDirectory {
public:
    CScratchDirectory() {
        static std::atomic<unsigned> counter{0};
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        if (error)
            return;
        path_ =
            base / ("vorn_publish_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        if (!fs::create_directories(path_, error) || error)
            path_.clear();
        else
            slot_ = RegisterTemporary(path_); // an interrupted publish leaves no scratch behind
    }
    ~CScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
        UnregisterTemporary(slot_);
    }
    CScratchDirectory(const CScratchDirectory&) = delete;
    CScratchDirectory& operator=(const CScratchDirectory&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
    int slot_ = -1;
};

// `count` elements of `source` from `offset`; false when the source does not hold them or
// the copy cannot be allocated.
bool CopyElements(const TypedArray& source, std::size_t offset, std::size_t count,
                  TypedArray& out) {
    out = TypedArray{};
    out.elementType = source.elementType;
    out.attribute = source.attribute;
    if (source.Empty())
        return true;
    const std::size_t size = ElementSize(source.elementType);
    if (size == 0 || offset + count > source.count)
        return false;
    out.data = AllocateZeroed(count * size);
    if (out.data == nullptr)
        return false;
    std::memcpy(out.data.get(), source.data.get() + offset * size, count * size);
    out.count = static_cast<std::uint16_t>(count);
    return true;
}

bool CopyCompany(const CompanyRecord& source, CompanyRecord& out) {
    out.name = source.name;
    out.text = source.text;
    out.history = TypedArray{};
    out.history.elementType = source.history.elementType;
    out.history.attribute = source.history.attribute;
    if (source.history.Empty())
        return true;
    const std::size_t bytes = source.history.HistoryByteSize();
    if (bytes == 0)
        return false;
    out.history.data = AllocateZeroed(bytes);
    if (out.history.data == nullptr)
        return false;
    std::memcpy(out.history.data.get(), source.history.data.get(), bytes);
    out.history.count = source.history.count;
    return true;
}

// One package or update to write: the days from `first` to the newest day.
struct PlannedPart {
    std::string innerName;
    PackedDate first = kNoDate;
    PackedDate base = kNoDate; // an update: the day it applies on; kNoDate for a package
    unsigned years = 0;        // a package: its length
    std::size_t days = 0;      // trading days it holds, its weight in the progress
};

// Reports the progress, a part's share split between its stages by how long they take.
class CPublishProgress {
public:
    CPublishProgress(const PublishOptions& options, const std::vector<PlannedPart>& parts)
        : progress_(options.progress), parts_(parts) {
        for (const PlannedPart& part : parts)
            totalDays_ += part.days;
    }
    void Stage(std::size_t index, const char* stage, double partDone) {
        if (!progress_)
            return;
        const double done = static_cast<double>(doneDays_) + partDone * parts_[index].days;
        progress_(PublishProgress{"_" + parts_[index].innerName + ": " + stage,
                                  static_cast<unsigned>(index + 1),
                                  static_cast<unsigned>(parts_.size()),
                                  static_cast<unsigned>(done * 100.0 / totalDays_)});
    }
    void PartDone(std::size_t index) { doneDays_ += parts_[index].days; }

private:
    const std::function<void(const PublishProgress&)>& progress_;
    const std::vector<PlannedPart>& parts_;
    std::size_t totalDays_ = 0;
    std::size_t doneDays_ = 0;
};

// Packs `part` as the cabinet `_innerName` in `directory`.
PublishResult PackPart(CMarketMatrix& part, const fs::path& scratch, const fs::path& directory,
                       const std::string& innerName, const std::function<void()>& packing) {
    const fs::path content = scratch / innerName;
    const CTemporaryRegistration contentFile(content);
    const CTemporaryRegistration sidecarFile(ChecksumSidecarPath(content));
    if (GenerateMatrix(part, content, nullptr, nullptr) != kMatrixOk)
        return kPublishGenerateFailed;
    packing();
    const bool packed = WriteCabinet(directory / ("_" + innerName), innerName, content);
    std::error_code ignored;
    fs::remove(content, ignored);
    RemoveChecksumSidecar(content);
    return packed ? kPublishOk : kPublishCabinetFailed;
}

// The packages, then the updates, each with the trading days it holds.
std::vector<PlannedPart> PlanParts(const CCalendar& calendar, const std::set<unsigned>& years,
                                   unsigned updates) {
    CMarketMatrixLoader names;
    const auto daysFrom = [&calendar](PackedDate first) {
        const int position = calendar.PositionOf(first);
        return position < 0 ? std::size_t{1}
                            : calendar.Count() - static_cast<std::size_t>(position);
    };
    std::vector<PlannedPart> parts;
    for (unsigned y : years) {
        const PackedDate first = PackageFirstDay(calendar, y);
        parts.push_back({names.FormatPackageName(y), first, kNoDate, y, daysFrom(first)});
    }
    for (std::uint16_t i = static_cast<std::uint16_t>(calendar.Count() - updates);
         i < calendar.Count(); ++i) {
        // Named after the first day it brings; applicable to a matrix that holds its base day.
        const PackedDate day = calendar[i];
        parts.push_back({names.FormatUpdateName(day), day, calendar[i - 1u], 0, daysFrom(day)});
    }
    return parts;
}

} // namespace

std::string MatrixVersionDirectory(std::uint32_t version) {
    char name[16];
    std::snprintf(name, sizeof name, "%08X", version);
    return name;
}

PackedDate PackageFirstDay(const CCalendar& calendar, unsigned years) {
    if (calendar.Empty())
        return kNoDate;
    const PackedDate newest = *calendar.Last();
    if (DateYear(newest) < 1950 + years)
        return *calendar.First();
    // Packed dates compare like dates even where the day does not exist (29 February).
    const PackedDate cutoff =
        MakePackedDate(DateYear(newest) - years, DateMonth(newest), DateDay(newest));
    for (std::uint16_t i = 0; i < calendar.Count(); ++i)
        if (calendar[i] > cutoff)
            return calendar[i];
    return newest;
}

bool SliceMatrix(const CMarketMatrix& source, PackedDate from, PackedDate to, CMarketMatrix& out) {
    out.Clear();
    const CCalendar& calendar = source.DailyCalendar();
    int firstPosition = -1;
    int lastPosition = -1;
    for (std::uint16_t i = 0; i < calendar.Count(); ++i) {
        if (calendar[i] < from || calendar[i] > to)
            continue;
        if (firstPosition < 0)
            firstPosition = i;
        lastPosition = i;
        out.AddTradingDay(calendar[i]);
    }
    out.RebuildPeriodCalendars();
    if (firstPosition < 0)
        return true;

    for (const auto& [key, security] : source.Securities()) {
        if (security.company == nullptr)
            return false;
        const int securityFirst = source.DayPosition(security.firstDate);
        const int securityLast = source.DayPosition(security.lastDate);
        if (securityFirst < 0 || securityLast < securityFirst)
            return false;
        const int start = std::max(securityFirst, firstPosition);
        const int end = std::min(securityLast, lastPosition);
        if (start > end || security.prices.Empty())
            continue;
        const std::size_t offset = static_cast<std::size_t>(start - securityFirst);
        const std::size_t count = static_cast<std::size_t>(end - start + 1);

        const CompanyRecord& company = *security.company;
        const bool knownCompany = out.FindCompany(company.code) != nullptr;
        CompanyRecord* outCompany = out.FindOrAddCompany(company.code, company.industry);
        if (outCompany == nullptr || (!knownCompany && !CopyCompany(company, *outCompany)))
            return false;
        SecurityRecord* outSecurity = out.FindOrAddSecurity(company.code, security.market);
        if (outSecurity == nullptr)
            return false;
        outSecurity->tradingUnit = security.tradingUnit;
        outSecurity->listingFlags = security.listingFlags;
        outSecurity->firstDate = calendar[static_cast<std::size_t>(start)];
        outSecurity->lastDate = calendar[static_cast<std::size_t>(end)];
        if (!CopyElements(security.prices, offset, count, outSecurity->prices) ||
            !CopyElements(security.volumes, offset, count, outSecurity->volumes))
            return false;
        if (HasAdjustments(security.adjustments)) {
            try {
                outSecurity->adjustments = std::make_unique<AdjustmentList>(*security.adjustments);
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
    }
    return true;
}

std::string_view Describe(PublishResult result) {
    switch (result) {
    case PublishResult::Ok:
        return "published";
    case PublishResult::EmptyMatrix:
        return "the matrix has no trading days";
    case PublishResult::BadOptions:
        return "nothing to publish";
    case PublishResult::CannotCreate:
        return "cannot create the output folders";
    case PublishResult::SliceFailed:
        return "a security's data do not match the calendar";
    case PublishResult::GenerateFailed:
        return "writing a content file failed";
    case PublishResult::CabinetFailed:
        return "writing a cabinet failed";
    case PublishResult::IndexFailed:
        return "writing the index failed";
    }
    return "failed";
}

PublishResult PublishMatrix(const CMarketMatrix& source, const fs::path& root,
                            const PublishOptions& options, MatrixIndex* published) {
    const CCalendar& calendar = source.DailyCalendar();
    if (calendar.Empty())
        return kPublishEmptyMatrix;
    std::set<unsigned> years;
    for (unsigned y : options.years) {
        if (y < 1 || y > kMaxPackageYears)
            return kPublishBadOptions;
        years.insert(y);
    }
    const unsigned updates = std::min<unsigned>(options.updates, calendar.Count() - 1u);
    if (years.empty() && updates == 0)
        return kPublishBadOptions;

    CMarketMatrixLoader names;
    MatrixIndex index;
    index.version = options.version;
    index.directory = MatrixVersionDirectory(options.version);
    index.latestDate = *calendar.Last();

    const fs::path matrixFolder = root / kServerFolder / kMatrixFolder;
    const fs::path packageFolder = matrixFolder / index.directory;
    std::error_code error;
    fs::create_directories(packageFolder, error);
    CScratchDirectory scratch;
    if (error || scratch.Path().empty())
        return kPublishCannotCreate;

    const std::vector<PlannedPart> parts = PlanParts(calendar, years, updates);
    CPublishProgress progress(options, parts);
    CMarketMatrix part;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const PlannedPart& planned = parts[i];
        progress.Stage(i, "content file", 0.0);
        if (!SliceMatrix(source, planned.first, index.latestDate, part))
            return kPublishSliceFailed;
        const auto packing = [&progress, i] { progress.Stage(i, "cabinet", kContentShare); };
        if (const PublishResult r =
                PackPart(part, scratch.Path(), packageFolder, planned.innerName, packing);
            r != kPublishOk)
            return r;
        progress.PartDone(i);
        if (planned.base == kNoDate)
            index.packages[static_cast<std::uint8_t>(planned.years)] = planned.first;
        else
            index.updates[planned.first] = planned.base;
    }
    if (!WriteMatrixIndex(matrixFolder / names.FormatIndexName(), index))
        return kPublishIndexFailed;
    if (published != nullptr)
        *published = std::move(index);
    return kPublishOk;
}

} // namespace vorn
