// The market matrix content file: the writer, the reader thread and the section decoders.
#include "matrix/matrix_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "foundation/writer_lock.h"
#include "matrix/content_checksum.h"
#include "matrix/restore_context.h"

namespace vorn {

// Price and volume arrays go to the file exactly as they are held in memory.
static_assert(std::endian::native == std::endian::little);

void CFileHandle::Reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

// How long a thread blocks on a semaphore before it looks at the abort and cancel events.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

constexpr std::uint8_t kPriceBlockType = 6;
constexpr std::size_t kBlockHeadSize = 5; // type u8, length u32
constexpr std::size_t kBlockCountSize = 4;
constexpr std::uint8_t kStateEnd = 254;
constexpr std::uint8_t kStateReadError = 255;

// The section names a damaged-file message uses, by section kind (buffer state).
const char* SectionName(std::uint8_t kind) {
    switch (kind) {
    case 1:
        return "calendar";
    case 2:
        return "company";
    case 3:
        return "company text";
    case 4:
        return "company history";
    case 5:
        return "security";
    case 6:
        return "price";
    default:
        return "header";
    }
}

std::string WithThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), ",");
    return digits;
}

// Posted as progress texts; they live as long as the program.
constexpr const char* kTextGenerating = "Matrixファイルを生成しています";
constexpr const char* kTextWritingHeader = "Matrixの基本情報を出力しています";
constexpr const char* kTextWritingCalendar = "カレンダー情報を出力しています";
constexpr const char* kTextWritingCompanies = "企業情報を出力しています";
constexpr const char* kTextWritingSecurities = "銘柄情報を出力しています";
constexpr const char* kTextRestoreStart = "リストアを開始します";
constexpr const char* kTextRestoreCalendar = "ヒストリカル情報をリストアしています";
constexpr const char* kTextRestoreCompanies = "企業情報をリストアしています";
constexpr const char* kTextRestoreTexts = "企業詳細情報【Ⅰ】をリストアしています";
constexpr const char* kTextRestoreHistories = "企業詳細情報【Ⅱ】をリストアしています";
constexpr const char* kTextRestoreSecurities = "銘柄情報をリストアしています";
constexpr const char* kTextRestorePrices = "株価情報をリストアしています";

// A bounds-checked little-endian reader over untrusted bytes; every read reports whether
// the bytes were there.
class CByteCursor {
public:
    CByteCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Remaining() const { return size_ - position_; }
    bool Has(std::uint64_t bytes) const { return bytes <= Remaining(); }

    template <class T> bool Read(T& value) {
        if (!Has(sizeof(T)))
            return false;
        value = static_cast<T>(ReadUnsigned(data_ + position_, sizeof(T)));
        position_ += sizeof(T);
        return true;
    }
    bool Take(std::uint64_t bytes, const std::uint8_t*& at) {
        if (!Has(bytes))
            return false;
        at = data_ + position_;
        position_ += static_cast<std::size_t>(bytes);
        return true;
    }
    bool CopyTo(std::uint8_t* destination, std::uint64_t bytes) {
        const std::uint8_t* at = nullptr;
        if (!Take(bytes, at))
            return false;
        if (bytes != 0)
            std::memcpy(destination, at, static_cast<std::size_t>(bytes));
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A write buffer that is sized before it is filled; a failed reservation or an append
// beyond the reservation leaves it failed instead of throwing.
class COutputBuffer {
public:
    bool Reserve(std::uint64_t bytes) {
        size_ = 0;
        failed_ = false;
        if (bytes > capacity_) {
            if (bytes > SIZE_MAX)
                return Fail();
            data_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
            capacity_ = data_ ? static_cast<std::size_t>(bytes) : 0;
            if (!data_)
                return Fail();
        }
        return true;
    }
    void PutUnsigned(std::uint64_t value, std::size_t width) {
        if (!Room(width))
            return;
        WriteUnsigned(data_.get() + size_, width, value);
        size_ += width;
    }
    void PutU8(std::uint8_t value) { PutUnsigned(value, 1); }
    void PutU16(std::uint16_t value) { PutUnsigned(value, 2); }
    void PutU32(std::uint32_t value) { PutUnsigned(value, 4); }
    void PutBytes(const void* bytes, std::size_t count) {
        if (count == 0 || !Room(count))
            return;
        std::memcpy(data_.get() + size_, bytes, count);
        size_ += count;
    }
    bool Ok() const { return !failed_; }
    const std::uint8_t* Data() const { return data_.get(); }
    std::size_t Size() const { return size_; }

private:
    bool Fail() {
        failed_ = true;
        return false;
    }
    bool Room(std::size_t bytes) {
        if (failed_ || bytes > capacity_ - size_)
            return Fail();
        return true;
    }

    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    bool failed_ = false;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool WriteBuffer(int fd, const COutputBuffer& buffer) {
    return buffer.Ok() && WriteAll(fd, buffer.Data(), buffer.Size());
}

// False on an error or when the file ends first.
bool ReadExact(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// The count written for an array: what it holds, or nothing when it holds no readable data.
std::uint16_t StoredCount(const TypedArray& array, bool prices) {
    const bool known = prices ? IsPriceType(array.elementType) : IsValueType(array.elementType);
    return (!array.Empty() && known) ? array.count : 0;
}

std::uint64_t StoredBytes(const TypedArray& array, bool prices) {
    return static_cast<std::uint64_t>(StoredCount(array, prices)) * ElementSize(array.elementType);
}

std::uint16_t StoredHistoryCount(const TypedArray& history) {
    return (!history.Empty() && IsValueType(history.elementType)) ? history.count : 0;
}

std::size_t StoredLength(const std::optional<std::string>& text) {
    return text ? text->size() : 0;
}

bool IsCalendarDate(PackedDate day) {
    const unsigned month = DateMonth(day);
    const unsigned date = DateDay(day);
    if (month < 1 || month > 12 || date < 1)
        return false;
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned year = DateYear(day);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return date <= kDays[month - 1] + ((month == 2 && leap) ? 1u : 0u);
}

// ReadExact that also feeds the bytes to the checksum when one is verified.
bool ReadCounted(RestoreContext& context, std::uint8_t* data, std::size_t size) {
    if (!ReadExact(context.file.Get(), data, size))
        return false;
    if (context.checksum)
        context.checksum->Update(data, size);
    return true;
}

MatrixResult ResultOfLastState(std::uint8_t state) {
    switch (state) {
    case 1:
        return kMatrixCalendarFailed;
    case 2:
    case 3:
    case 4:
        return kMatrixCompanyFailed;
    case 5:
    case 6:
        return kMatrixSecurityFailed;
    case kStateEnd:
        return kMatrixOk;
    default:
        return kMatrixReadError;
    }
}

} // namespace

// --- Files ---

bool CMarketMatrix::OpenFile(const std::filesystem::path& path, bool forWriting) {
    if (!context_)
        return false;
    RestoreContext& context = *context_;
    context.file.Close();
    context.fileSize = 0;
    // Reading never asks for write access: a file on a read-only disk or of another user
    // restores all the same.
    const int flags = forWriting ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        context.failure.systemError = errno;
        return false;
    }
    context.file.Reset(fd);
    // Readers need no lock: writers replace the file by a rename, never in place. The
    // temporary file a writer fills is its own.
    if (forWriting && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        context.failure.systemError = EBUSY;
        context.file.Close();
        return false;
    }
    struct stat status {};
    if (forWriting ? ::ftruncate(fd, 0) != 0
                   : (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        context.failure.systemError = S_ISDIR(status.st_mode) ? EISDIR : errno ? errno : EINVAL;
        context.file.Close();
        return false;
    }
    context.fileSize = forWriting ? 0 : static_cast<std::uint64_t>(status.st_size);
    return true;
}

// --- Generation ---

MatrixResult CMarketMatrix::Generate(const std::filesystem::path& path, CEvent* calendarWritten) {
    const bool ownContext = context_ == nullptr;
    if (ownContext) {
        context_.reset(new (std::nothrow) RestoreContext);
        if (!context_)
            return kMatrixCannotOpen;
    }
    CEvent* cancel = context_->cancel;

    auto run = [&]() -> MatrixResult {
        PostProgress(1);
        PostProgressText(kTextGenerating);
        if (!OpenFile(path, true))
            return kMatrixCannotOpen;

        PostProgress(3);
        PostProgressText(kTextWritingHeader);
        if (IsSignalled(cancel))
            return kMatrixCancelled;
        MatrixHeader header;
        header.formatVersion = GetFormatVersion();
        header.headerSize = kMatrixHeaderSize;
        header.companyCount = static_cast<std::uint16_t>(companies_.size());
        header.companyEntrySize = kCompanyEntrySize;
        header.securityCount = static_cast<std::uint16_t>(securities_.size());
        header.securityEntrySize = kSecurityEntrySize;
        if (!WriteHeader(header))
            return kMatrixWriteHeaderFailed;

        PostProgress(7);
        PostProgressText(kTextWritingCalendar);
        if (!WriteCalendar(header))
            return kMatrixWriteCalendarFailed;
        if (calendarWritten != nullptr)
            calendarWritten->Set();

        PostProgress(10);
        PostProgressText(kTextWritingCompanies);
        if (IsSignalled(cancel))
            return kMatrixCancelled;
        if (!WriteCompanies(header))
            return kMatrixWriteCompaniesFailed;

        PostProgress(20);
        PostProgressText(kTextWritingSecurities);
        if (IsSignalled(cancel))
            return kMatrixCancelled;
        if (!WriteSecurities())
            return kMatrixWriteSecuritiesFailed;

        PostProgress(45);
        PostProgressText(kTextWritingSecurities);
        if (IsSignalled(cancel))
            return kMatrixCancelled;
        if (const MatrixResult result = WritePriceBlocks(kSecuritiesPerBlock, header);
            result != kMatrixOk)
            return result;

        // Only a complete file carries the magic values.
        if (::lseek(context_->file.Get(), 0, SEEK_SET) != 0)
            return kMatrixWriteFinalHeaderFailed;
        header.magic1 = kMatrixMagic1;
        header.magic2 = kMatrixMagic2;
        if (!WriteHeader(header) || ::fsync(context_->file.Get()) != 0)
            return kMatrixWriteFinalHeaderFailed;
        PostProgress(100);
        return kMatrixOk;
    };
    const MatrixResult result = run();
    if (result != kMatrixOk)
        PostFailure(ResultCode(result));
    context_->file.Close();
    if (ownContext)
        context_.reset();
    return result;
}

bool CMarketMatrix::WriteHeader(MatrixHeader& header) {
    if (!context_)
        return false;
    COutputBuffer out;
    if (!out.Reserve(kMatrixHeaderSize))
        return false;
    out.PutU16(header.magic1);
    out.PutU16(header.formatVersion);
    out.PutU16(header.magic2);
    out.PutU16(header.headerSize);
    out.PutU16(header.calendarDayCount);
    out.PutU16(header.companyCount);
    out.PutU16(header.companyEntrySize);
    out.PutU32(header.companyTextBytes);
    out.PutU32(header.companyHistoryBytes);
    out.PutU16(header.securityCount);
    out.PutU16(header.securityEntrySize);
    out.PutU16(header.priceBlockCount);
    return WriteBuffer(context_->file.Get(), out);
}

bool CMarketMatrix::WriteCalendar(MatrixHeader& header) {
    if (!context_)
        return false;
    // Forecast days are chart space, not trading days; they never reach the file.
    const std::uint16_t total = dailyCalendar_.Count();
    const std::uint16_t count = total > projectedDays_ ? total - projectedDays_ : 0;
    COutputBuffer out;
    if (!out.Reserve(std::uint64_t{count} * 2))
        return false;
    for (std::uint16_t i = 0; i < count; ++i)
        out.PutU16(dailyCalendar_[i]);
    header.calendarDayCount = count;
    return WriteBuffer(context_->file.Get(), out);
}

bool CMarketMatrix::WriteCompanies(MatrixHeader& header) {
    if (!context_)
        return false;
    if (companies_.size() > 0xFFFF)
        return false;
    std::uint64_t textBytes = 0;
    std::uint64_t historyBytes = 0;
    for (const auto& [code, company] : companies_) {
        if (StoredLength(company.name) > 0xFFFF || StoredLength(company.text) > 0xFFFF)
            return false;
        textBytes += StoredLength(company.name) + StoredLength(company.text);
        historyBytes += std::uint64_t{StoredHistoryCount(company.history)} *
                        HistoryEntrySize(company.history.elementType);
    }
    if (textBytes > 0xFFFFFFFFu || historyBytes > 0xFFFFFFFFu)
        return false;

    const int fd = context_->file.Get();
    COutputBuffer out;
    if (!out.Reserve(companies_.size() * kCompanyEntrySize))
        return false;
    for (const auto& [code, company] : companies_) {
        out.PutU16(code);
        out.PutU8(company.industry);
        out.PutU16(static_cast<std::uint16_t>(StoredLength(company.name)));
        out.PutU16(static_cast<std::uint16_t>(StoredLength(company.text)));
        out.PutU16(StoredHistoryCount(company.history));
        out.PutU16(company.history.elementType);
    }
    if (!WriteBuffer(fd, out))
        return false;

    if (textBytes != 0) {
        if (!out.Reserve(textBytes))
            return false;
        for (const auto& [code, company] : companies_) {
            if (company.name)
                out.PutBytes(company.name->data(), company.name->size());
            if (company.text)
                out.PutBytes(company.text->data(), company.text->size());
        }
        if (!WriteBuffer(fd, out))
            return false;
    }
    if (historyBytes != 0) {
        if (!out.Reserve(historyBytes))
            return false;
        for (const auto& [code, company] : companies_)
            out.PutBytes(company.history.data.get(),
                         StoredHistoryCount(company.history) *
                             HistoryEntrySize(company.history.elementType));
        if (!WriteBuffer(fd, out))
            return false;
    }
    header.companyTextBytes = static_cast<std::uint32_t>(textBytes);
    header.companyHistoryBytes = static_cast<std::uint32_t>(historyBytes);
    return true;
}

bool CMarketMatrix::WriteSecurities() {
    if (!context_)
        return false;
    if (securities_.size() > 0xFFFF)
        return false;
    COutputBuffer out;
    if (!out.Reserve(securities_.size() * kSecurityEntrySize))
        return false;
    for (const auto& [key, security] : securities_) {
        const std::size_t adjustments =
            HasAdjustments(security.adjustments) ? security.adjustments->entries.size() : 0;
        if (adjustments > 0xFFFF)
            return false;
        out.PutU16(CodeOfKey(key));
        out.PutU8(MarketOfKey(key));
        out.PutU8(security.tradingUnit);
        out.PutU8(security.listingFlags);
        out.PutU16(security.firstDate);
        out.PutU16(security.lastDate);
        out.PutU16(security.prices.elementType);
        out.PutU8(security.prices.attribute);
        out.PutU16(StoredCount(security.prices, true));
        out.PutU16(security.volumes.elementType);
        out.PutU8(security.volumes.attribute);
        out.PutU16(StoredCount(security.volumes, false));
        out.PutU16(static_cast<std::uint16_t>(adjustments));
    }
    return WriteBuffer(context_->file.Get(), out);
}

MatrixResult CMarketMatrix::WritePriceBlocks(std::uint16_t securitiesPerBlock,
                                             MatrixHeader& header) {
    if (!context_)
        return kMatrixWritePricesFailed;
    if (securitiesPerBlock == 0)
        return kMatrixWritePricesFailed;
    const std::size_t securityCount = securities_.size();
    const std::size_t blockCount = (securityCount + securitiesPerBlock - 1) / securitiesPerBlock;
    header.priceBlockCount = static_cast<std::uint16_t>(blockCount);
    // With fewer securities than one full block the step is the whole span of 50.
    const double step =
        50.0 / static_cast<double>(std::max<std::size_t>(1, securityCount / securitiesPerBlock));
    double percent = 45.0;

    const int fd = context_->file.Get();
    COutputBuffer out;
    auto next = securities_.cbegin();
    for (std::size_t block = 0; block < blockCount; ++block) {
        const auto first = next;
        std::size_t inBlock = 0;
        std::uint64_t payload = 0;
        for (; next != securities_.cend() && inBlock < securitiesPerBlock; ++next, ++inBlock) {
            const SecurityRecord& security = next->second;
            payload += StoredBytes(security.prices, true) + StoredBytes(security.volumes, false);
            if (HasAdjustments(security.adjustments))
                payload += security.adjustments->entries.size() * kAdjustmentEntryFileSize;
        }
        if (payload > 0xFFFFFFFFu - kBlockCountSize)
            return kMatrixWritePricesFailed;
        if (!out.Reserve(kBlockHeadSize + kBlockCountSize + payload))
            return kMatrixWritePricesFailed;
        out.PutU8(kPriceBlockType);
        out.PutU32(static_cast<std::uint32_t>(kBlockCountSize + payload));
        out.PutU32(static_cast<std::uint32_t>(inBlock));
        for (auto it = first; it != next; ++it) {
            const SecurityRecord& security = it->second;
            out.PutBytes(security.prices.data.get(),
                         static_cast<std::size_t>(StoredBytes(security.prices, true)));
            out.PutBytes(security.volumes.data.get(),
                         static_cast<std::size_t>(StoredBytes(security.volumes, false)));
            if (HasAdjustments(security.adjustments))
                for (const AdjustmentEntry& entry : security.adjustments->entries) {
                    out.PutU16(entry.date);
                    out.PutU8(entry.kind);
                    out.PutUnsigned(std::bit_cast<std::uint64_t>(entry.ratio), 8);
                }
        }
        if (!WriteBuffer(fd, out))
            return kMatrixWritePricesFailed;
        percent += step;
        PostProgress(static_cast<std::uint16_t>(std::lround(std::min(percent, 100.0))));
        if (IsSignalled(context_->cancel))
            return kMatrixCancelled;
    }
    return kMatrixOk;
}

// --- Restore: reader side ---

bool CMarketMatrix::ReadHeader() {
    if (!context_)
        return false;
    RestoreContext& context = *context_;
    context.failure.section = SectionName(0);
    if (context.fileSize < kMatrixHeaderSize) {
        context.failure.pastEnd = kMatrixHeaderSize - context.fileSize;
        return false;
    }
    std::uint8_t raw[kMatrixHeaderSize];
    if (!ReadCounted(context, raw, sizeof raw)) {
        context.failure.systemError = errno != 0 ? errno : EIO;
        return false;
    }
    CByteCursor in(raw, sizeof raw);
    MatrixHeader header;
    in.Read(header.magic1);
    in.Read(header.formatVersion);
    in.Read(header.magic2);
    in.Read(header.headerSize);
    in.Read(header.calendarDayCount);
    in.Read(header.companyCount);
    in.Read(header.companyEntrySize);
    in.Read(header.companyTextBytes);
    in.Read(header.companyHistoryBytes);
    in.Read(header.securityCount);
    in.Read(header.securityEntrySize);
    in.Read(header.priceBlockCount);
    header_ = header;
    if (header.magic1 != kMatrixMagic1 || header.magic2 != kMatrixMagic2)
        return false;
    // A longer header carries fields this reader does not know; a shorter one cannot hold the
    // fields just read.
    if (header.headerSize < kMatrixHeaderSize || header.headerSize > context.fileSize)
        return false;
    std::uint8_t extra[256];
    for (std::size_t left = header.headerSize - kMatrixHeaderSize; left > 0;) {
        const std::size_t part = std::min(left, sizeof extra);
        if (!ReadCounted(context, extra, part))
            return false;
        left -= part;
    }
    context.failure.section = nullptr;
    return true;
}

void CMarketMatrix::ReadSections() {
    if (!context_)
        return;
    RestoreContext& context = *context_;
    const MatrixHeader& header = header_;
    std::uint64_t position = header.headerSize; // where ReadHeader left the file
    unsigned next = 0;

    // The next buffer in rotation once it is free; null when the run is stopping.
    auto acquireFree = [&]() -> SectionBuffer* {
        for (;;) {
            if (context.abort.IsSet() || IsSignalled(context.cancel))
                return nullptr;
            if (context.free.try_acquire_for(kPollInterval))
                return &context.buffers[next];
        }
    };
    auto handOver = [&](SectionBuffer& buffer, std::uint8_t state) {
        buffer.state = state;
        context.filled.release();
        next = (next + 1) % 3;
    };
    // The failure travels in buffer order first, so the consumer finishes what came before.
    auto fail = [&](SectionBuffer& buffer) {
        buffer.length = 0;
        handOver(buffer, kStateReadError);
        context.abort.Set();
    };
    auto remaining = [&]() {
        return context.fileSize > position ? context.fileSize - position : 0;
    };
    // Where the file lets the reader down, for the message a user reads.
    auto damaged = [&](std::uint8_t kind, std::uint64_t length) {
        context.failure.section = SectionName(kind);
        context.failure.offset = position;
        context.failure.pastEnd = length > remaining() ? length - remaining() : 0;
    };
    // A section longer than what is left of the file is a lie, not an allocation request.
    auto readInto = [&](SectionBuffer& buffer, std::uint64_t length) {
        buffer.offset = position;
        if (length == 0 || length > remaining() || length > 0xFFFFFFFFu)
            return false;
        if (length > buffer.capacity) {
            buffer.data.reset();
            buffer.capacity = 0;
            buffer.data.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)]);
            if (!buffer.data)
                return false;
            buffer.capacity = static_cast<std::uint32_t>(length);
        }
        if (!ReadCounted(context, buffer.data.get(), static_cast<std::size_t>(length)))
            return false;
        position += length;
        buffer.length = static_cast<std::uint32_t>(length);
        return true;
    };

    struct Section {
        std::uint8_t kind;
        std::uint64_t length;
    };
    Section sections[5];
    std::size_t sectionCount = 0;
    sections[sectionCount++] = {1, std::uint64_t{header.calendarDayCount} * 2};
    sections[sectionCount++] = {2, std::uint64_t{header.companyCount} * header.companyEntrySize};
    if (header.companyTextBytes != 0)
        sections[sectionCount++] = {3, header.companyTextBytes};
    if (header.companyHistoryBytes != 0)
        sections[sectionCount++] = {4, header.companyHistoryBytes};
    sections[sectionCount++] = {5, std::uint64_t{header.securityCount} * header.securityEntrySize};

    for (std::size_t i = 0; i < sectionCount; ++i) {
        SectionBuffer* buffer = acquireFree();
        if (buffer == nullptr)
            return;
        if (!readInto(*buffer, sections[i].length)) {
            damaged(sections[i].kind, sections[i].length);
            return fail(*buffer);
        }
        handOver(*buffer, sections[i].kind);
    }
    for (std::uint16_t block = 0; block < header.priceBlockCount; ++block) {
        SectionBuffer* buffer = acquireFree();
        if (buffer == nullptr)
            return;
        std::uint8_t head[kBlockHeadSize];
        if (remaining() < kBlockHeadSize || !ReadCounted(context, head, sizeof head)) {
            damaged(6, kBlockHeadSize);
            return fail(*buffer);
        }
        position += kBlockHeadSize;
        CByteCursor in(head, sizeof head);
        std::uint8_t type = 0;
        std::uint32_t length = 0;
        in.Read(type);
        in.Read(length);
        if (type != kPriceBlockType || length == 0 || !readInto(*buffer, length)) {
            position -= kBlockHeadSize; // the block starts at its head
            damaged(6, std::uint64_t{length} + kBlockHeadSize);
            return fail(*buffer);
        }
        handOver(*buffer, 6);
    }
    if (SectionBuffer* buffer = acquireFree()) {
        // Nothing may follow the last price block.
        if (remaining() != 0)
            return fail(*buffer);
        if (context.checksum && context.checksum->Finish() != context.expectedChecksum) {
            context.checksumMismatch = true;
            return fail(*buffer);
        }
        buffer->length = 0;
        handOver(*buffer, kStateEnd);
    }
}

// --- Restore: consumer side ---

MatrixResult CMarketMatrix::RestoreSections() {
    if (!context_)
        return kMatrixReadError;
    RestoreContext& context = *context_;
    PostProgress(5);
    PostProgressText(kTextRestoreStart);
    unsigned next = 0;
    std::uint8_t lastState = 0; // state of the last buffer handled
    SecurityKey keyCursor = 0;
    for (;;) {
        if (IsSignalled(context.cancel)) {
            context.abort.Set();
            return kMatrixCancelled;
        }
        try {
            if (!context.filled.try_acquire_for(kPollInterval)) {
                if (!context.abort.IsSet())
                    continue;
                // The reader hands over its last buffer before it raises the abort event, so
                // an empty queue now means it stopped without one.
                if (!context.filled.try_acquire())
                    break;
            }
        } catch (const std::system_error&) {
            context.abort.Set();
            return kMatrixWaitFailed;
        }

        SectionBuffer& buffer = context.buffers[next];
        next = (next + 1) % 3;
        if (buffer.state == kStateEnd) {
            // The price blocks must have delivered the data of every declared security.
            if (context.securitiesDelivered != securities_.size())
                return kMatrixSecurityFailed;
            PostProgress(95);
            lastState = kStateEnd;
            break;
        }
        bool handled = false;
        switch (buffer.state) {
        case 1:
            PostProgress(10);
            PostProgressText(kTextRestoreCalendar);
            handled = RestoreCalendar(buffer);
            break;
        case 2:
            PostProgress(20);
            PostProgressText(kTextRestoreCompanies);
            handled = RestoreCompanies(buffer);
            break;
        case 3:
            PostProgress(25);
            PostProgressText(kTextRestoreTexts);
            handled = RestoreCompanyTexts(buffer);
            break;
        case 4:
            PostProgress(35);
            PostProgressText(kTextRestoreHistories);
            handled = RestoreCompanyHistories(buffer);
            break;
        case 5:
            PostProgress(45);
            PostProgressText(kTextRestoreSecurities);
            handled = RestoreSecurities(buffer);
            break;
        case 6: {
            const unsigned done = context.priceBlocksDone + 1u;
            const unsigned total = std::max<unsigned>(1, header_.priceBlockCount);
            PostProgress(static_cast<std::uint16_t>(45 + std::lround(50.0 * done / total)));
            PostProgressText(kTextRestorePrices);
            handled = RestorePrices(buffer, keyCursor);
            context.priceBlocksDone = static_cast<std::uint16_t>(done);
            break;
        }
        default:
            // The reader failed: the result follows from what was handled before.
            context.abort.Set();
            return ResultOfLastState(lastState);
        }
        lastState = buffer.state;
        if (!handled) {
            if (context.decoderFailure.section == nullptr) {
                context.decoderFailure.section = SectionName(buffer.state);
                context.decoderFailure.offset = buffer.offset;
            }
            context.abort.Set();
            break;
        }
        context.free.release();
    }
    return ResultOfLastState(lastState);
}

bool CMarketMatrix::RestoreCalendar(const SectionBuffer& buffer) {
    const std::uint64_t bytes = std::uint64_t{header_.calendarDayCount} * 2;
    if (buffer.length < bytes)
        return false;
    CByteCursor in(buffer.data.get(), buffer.length);
    PackedDate previous = 0;
    for (std::uint16_t i = 0; i < header_.calendarDayCount; ++i) {
        PackedDate day = 0;
        if (!in.Read(day))
            return false;
        // A repeated or earlier day would shift every later candle by a position.
        if (!IsCalendarDate(day) || (i != 0 && day <= previous))
            return false;
        dailyCalendar_.Insert(day);
        previous = day;
    }
    RebuildPeriodCalendars();
    return true;
}

bool CMarketMatrix::RestoreCompanies(const SectionBuffer& buffer) {
    if (!context_)
        return false;
    const std::size_t entrySize = header_.companyEntrySize;
    const std::size_t count = header_.companyCount;
    if (entrySize < kCompanyEntrySize || buffer.length < std::uint64_t{count} * entrySize)
        return false;
    try {
        std::vector<PendingCompany>& pending = context_->companies;
        pending.clear();
        pending.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            CByteCursor in(buffer.data.get() + i * entrySize, entrySize);
            std::uint16_t code = 0, nameLength = 0, textLength = 0, historyCount = 0;
            std::uint16_t historyType = 0;
            std::uint8_t industry = 0;
            if (!in.Read(code) || !in.Read(industry) || !in.Read(nameLength) ||
                !in.Read(textLength) || !in.Read(historyCount) || !in.Read(historyType))
                return false;
            CompanyRecord* company = FindOrAddCompany(code, industry);
            // The history gets its count only with its data, so a record never announces
            // entries it does not hold.
            company->history.Reset();
            company->history.elementType = historyType;
            company->history.attribute = 0;
            pending.push_back({company, code, nameLength, textLength, historyCount});
        }
        // A repeated code describes one company; its last entry wins, as for the industry.
        std::stable_sort(
            pending.begin(), pending.end(),
            [](const PendingCompany& a, const PendingCompany& b) { return a.code < b.code; });
        std::size_t kept = 0;
        for (std::size_t i = 0; i < pending.size(); ++i)
            if (i + 1 == pending.size() || pending[i + 1].code != pending[i].code)
                pending[kept++] = pending[i];
        pending.resize(kept);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CMarketMatrix::RestoreCompanyTexts(const SectionBuffer& buffer) {
    if (!context_)
        return false;
    CByteCursor in(buffer.data.get(), buffer.length);
    try {
        for (const PendingCompany& entry : context_->companies) {
            const std::uint8_t* name = nullptr;
            const std::uint8_t* text = nullptr;
            if (!in.Take(entry.nameLength, name) || !in.Take(entry.textLength, text))
                return false;
            CompanyRecord& company = *entry.company;
            company.name.reset();
            company.text.reset();
            if (entry.nameLength)
                company.name.emplace(reinterpret_cast<const char*>(name), entry.nameLength);
            if (entry.textLength)
                company.text.emplace(reinterpret_cast<const char*>(text), entry.textLength);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CMarketMatrix::RestoreCompanyHistories(const SectionBuffer& buffer) {
    if (!context_)
        return false;
    CByteCursor in(buffer.data.get(), buffer.length);
    for (const PendingCompany& entry : context_->companies) {
        if (entry.historyCount == 0)
            continue;
        TypedArray& history = entry.company->history;
        if (!IsValueType(history.elementType))
            return false;
        const std::size_t bytes =
            std::size_t{entry.historyCount} * HistoryEntrySize(history.elementType);
        const std::uint8_t* source = nullptr;
        if (!in.Take(bytes, source))
            return false;
        std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[bytes]);
        if (!data)
            return false;
        std::memcpy(data.get(), source, bytes);
        history.data = std::move(data);
        history.count = entry.historyCount;
    }
    return true;
}

bool CMarketMatrix::RestoreSecurities(const SectionBuffer& buffer) {
    if (!context_)
        return false;
    RestoreContext& context = *context_;
    const std::size_t entrySize = header_.securityEntrySize;
    const std::size_t count = header_.securityCount;
    if (entrySize < kSecurityEntrySize || buffer.length < std::uint64_t{count} * entrySize)
        return false;
    // The price blocks can only hold what is left of the file after their heads, so the
    // arrays announced here are checked against it before anything is allocated.
    const std::uint64_t priceSectionStart =
        std::uint64_t{header_.headerSize} + std::uint64_t{header_.calendarDayCount} * 2 +
        std::uint64_t{header_.companyCount} * header_.companyEntrySize + header_.companyTextBytes +
        header_.companyHistoryBytes + std::uint64_t{count} * entrySize +
        std::uint64_t{header_.priceBlockCount} * (kBlockHeadSize + kBlockCountSize);
    const std::uint64_t available =
        context.fileSize > priceSectionStart ? context.fileSize - priceSectionStart : 0;
    auto declare = [&](std::uint64_t bytes) {
        context.declaredPriceBytes += bytes;
        if (context.declaredPriceBytes <= available)
            return true;
        // The file ends before the prices announced so far: a cut file, told as such.
        context.decoderFailure.section = "price";
        context.decoderFailure.offset = priceSectionStart;
        context.decoderFailure.pastEnd = context.declaredPriceBytes - available;
        return false;
    };
    try {
        for (std::size_t i = 0; i < count; ++i) {
            CByteCursor in(buffer.data.get() + i * entrySize, entrySize);
            std::uint16_t code = 0, firstDate = 0, lastDate = 0, priceType = 0, priceCount = 0;
            std::uint16_t volumeType = 0, volumeCount = 0, adjustmentCount = 0;
            std::uint8_t market = 0, tradingUnit = 0, listingFlags = 0;
            std::uint8_t priceExponent = 0, volumeExponent = 0;
            if (!in.Read(code) || !in.Read(market) || !in.Read(tradingUnit) ||
                !in.Read(listingFlags) || !in.Read(firstDate) || !in.Read(lastDate) ||
                !in.Read(priceType) || !in.Read(priceExponent) || !in.Read(priceCount) ||
                !in.Read(volumeType) || !in.Read(volumeExponent) || !in.Read(volumeCount) ||
                !in.Read(adjustmentCount))
                return false;
            // A market beyond four bits would run into the code bits of the key.
            if (market > 15)
                return false;
            SecurityRecord* security = FindOrAddSecurity(code, market);
            if (security == nullptr)
                return false;
            // Prices are one per trading day from the first to the last date, so both must
            // be days of the calendar.
            if (priceCount != 0 &&
                (DayPosition(firstDate) < 0 || DayPosition(lastDate) < 0 || lastDate < firstDate))
                return false;
            security->tradingUnit = tradingUnit;
            security->listingFlags = listingFlags;
            security->firstDate = firstDate;
            security->lastDate = lastDate;

            TypedArray& prices = security->prices;
            prices.Reset();
            prices.elementType = priceType;
            prices.attribute = priceExponent;
            if (priceCount != 0) {
                if (!IsPriceType(priceType))
                    return false;
                const std::size_t bytes = std::size_t{priceCount} * ElementSize(priceType);
                if (!declare(bytes) || !(prices.data = AllocateZeroed(bytes)))
                    return false;
                prices.count = priceCount;
            }
            TypedArray& volumes = security->volumes;
            volumes.Reset();
            volumes.elementType = volumeType;
            volumes.attribute = volumeExponent;
            if (volumeCount != 0) {
                if (!IsValueType(volumeType))
                    return false;
                const std::size_t bytes = std::size_t{volumeCount} * ElementSize(volumeType);
                if (!declare(bytes) || !(volumes.data = AllocateZeroed(bytes)))
                    return false;
                volumes.count = volumeCount;
            }
            security->adjustments.reset();
            if (adjustmentCount != 0) {
                if (!declare(std::uint64_t{adjustmentCount} * kAdjustmentEntryFileSize))
                    return false;
                auto list = std::make_unique<AdjustmentList>();
                list->entries.resize(adjustmentCount);
                security->adjustments = std::move(list);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CMarketMatrix::RestorePrices(const SectionBuffer& buffer, SecurityKey& keyCursor) {
    if (!context_)
        return false;
    RestoreContext& context = *context_;
    CByteCursor in(buffer.data.get(), buffer.length);
    std::uint32_t count = 0;
    if (!in.Read(count))
        return false;
    auto it = context.pricesStarted ? securities_.upper_bound(keyCursor) : securities_.begin();
    for (std::uint32_t i = 0; i < count; ++i, ++it) {
        if (it == securities_.end())
            return false;
        SecurityRecord& security = it->second;
        if (!security.prices.Empty() &&
            !in.CopyTo(security.prices.data.get(), security.prices.ByteSize()))
            return false;
        if (!security.volumes.Empty() &&
            !in.CopyTo(security.volumes.data.get(), security.volumes.ByteSize()))
            return false;
        if (security.adjustments)
            for (AdjustmentEntry& entry : security.adjustments->entries) {
                std::uint64_t ratioBits = 0;
                if (!in.Read(entry.date) || !in.Read(entry.kind) || !in.Read(ratioBits))
                    return false;
                entry.ratio = std::bit_cast<double>(ratioBits);
            }
        keyCursor = it->first;
        context.pricesStarted = true;
        ++context.securitiesDelivered;
    }
    // A block holds exactly the data of the securities it counts.
    return in.Remaining() == 0;
}

// --- Entry points ---

std::string_view Describe(MatrixResult result) {
    switch (result) {
    case MatrixResult::Ok:
        return "OK";
    case MatrixResult::CannotOpen:
        return "cannot open the file";
    case MatrixResult::WriteHeaderFailed:
        return "writing the header failed";
    case MatrixResult::WriteCalendarFailed:
        return "writing the calendar failed";
    case MatrixResult::WriteCompaniesFailed:
        return "writing the companies failed";
    case MatrixResult::WriteSecuritiesFailed:
        return "writing the securities failed";
    case MatrixResult::WritePricesFailed:
        return "writing the prices failed";
    case MatrixResult::WriteFinalHeaderFailed:
        return "completing the file failed";
    case MatrixResult::ThreadFailed:
        return "cannot start the reader";
    case MatrixResult::WaitFailed:
        return "waiting for the reader failed";
    case MatrixResult::BadHeader:
        return "damaged: not a market matrix file";
    case MatrixResult::CalendarFailed:
        return "damaged: the calendar section is not valid";
    case MatrixResult::CompanyFailed:
        return "damaged: the company section is not valid";
    case MatrixResult::SecurityFailed:
        return "damaged: the security or price section is not valid";
    case MatrixResult::ChecksumMismatch:
        return "damaged: the file does not match the checksum written beside it";
    case MatrixResult::InUse:
        return "in use by another program";
    case MatrixResult::Cancelled:
        return "cancelled";
    case MatrixResult::ReadError:
        return "read error";
    }
    return "unknown result";
}

std::string DescribeFailure(const MatrixFailure& failure) {
    if (failure.result == MatrixResult::Ok)
        return "OK";
    if (failure.systemError != 0) {
        std::string reason = std::strerror(failure.systemError);
        if (reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[0])) &&
            !std::isupper(static_cast<unsigned char>(reason[1])))
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        if (failure.systemError == EBUSY)
            reason = "in use by another program";
        return failure.result == MatrixResult::CannotOpen ? reason : std::string(Describe(failure.result)) + ": " + reason;
    }
    if (failure.section == nullptr)
        return std::string(Describe(failure.result));
    const std::string section = failure.section;
    if (section == "header" && failure.fileSize == 0)
        return "empty file";
    if (failure.pastEnd != 0)
        return "damaged: " + section + " section ends " + WithThousands(failure.pastEnd) +
               " bytes past the end of the file";
    if (section == "header")
        return "damaged: not a market matrix file (its header is not valid)";
    return "damaged: " + section + " section at byte " + WithThousands(failure.offset) +
           " is not valid";
}

MatrixResult RestoreMatrix(CMarketMatrix& matrix, const std::filesystem::path& path, CEvent* cancel,
                           IMessageSink* sink, MatrixFailure* failure) {
    matrix.Clear();
    ProgressTarget target;
    target.sink = sink;
    matrix.SetProgressTarget(target);
    auto finish = [&matrix, &path, failure](MatrixResult result) {
        // A file that fails to restore and differs from its checksum is damaged, whatever
        // part of it gave way first.
        RestoreContext* context = matrix.context_.get();
        if (context != nullptr && context->checksum && result != kMatrixOk &&
            result != kMatrixCancelled) {
            ContentChecksum actual;
            if (context->checksumMismatch ||
                (ComputeFileChecksum(path, actual) && actual != context->expectedChecksum))
                result = kMatrixChecksumMismatch;
        }
        if (result == kMatrixOk)
            matrix.PostProgress(100);
        else
            matrix.PostFailure(ResultCode(result));
        if (failure != nullptr) {
            *failure = MatrixFailure{};
            if (matrix.context_) // the decoders stop at the earliest damage the reader passed
                *failure = matrix.context_->decoderFailure.section != nullptr
                               ? matrix.context_->decoderFailure
                               : matrix.context_->failure;
            failure->result = result;
            if (matrix.context_)
                failure->fileSize = matrix.context_->fileSize;
        }
        matrix.context_.reset(); // closes the file and frees the buffers
        matrix.ClearProgressTarget();
        return result;
    };

    matrix.context_.reset(new (std::nothrow) RestoreContext);
    if (!matrix.context_)
        return finish(kMatrixReadError);
    RestoreContext& context = *matrix.context_;
    context.cancel = cancel;
    if (!matrix.OpenFile(path, false))
        return finish(kMatrixCannotOpen);
    switch (ReadChecksumSidecar(path, context.expectedChecksum)) {
    case SidecarState::Absent:
        break;
    case SidecarState::Malformed:
        return finish(kMatrixChecksumMismatch);
    case SidecarState::Valid:
        if (context.expectedChecksum.size != context.fileSize)
            return finish(kMatrixChecksumMismatch);
        context.checksum.reset(new (std::nothrow) CStreamChecksum);
        if (!context.checksum || !context.checksum->Valid())
            return finish(kMatrixReadError);
        break;
    }
    if (!matrix.ReadHeader())
        return finish(kMatrixBadHeader);

    std::thread reader;
    try {
        reader = std::thread([&matrix] {
            try {
                matrix.ReadSections();
            } catch (...) {
                matrix.context_->abort.Set();
            }
        });
    } catch (const std::system_error&) {
        return finish(kMatrixThreadFailed);
    }
    // The reader looks at the abort event at least every poll interval and between reads, so
    // it ends promptly once the consumer is done, however the consumer leaves.
    struct CReaderStop {
        RestoreContext& context;
        std::thread& reader;
        ~CReaderStop() {
            context.abort.Set();
            reader.join();
        }
    };
    MatrixResult result;
    {
        CReaderStop stop{context, reader};
        result = matrix.RestoreSections();
    }
    return finish(result);
}

MatrixResult GenerateMatrix(CMarketMatrix& matrix, const std::filesystem::path& path,
                            CEvent* cancel, CEvent* calendarWritten) {
    CWriterLock lock;
    switch (lock.Acquire(path)) {
    case WriterLockResult::Ok:
        break;
    case WriterLockResult::InUse:
        return kMatrixInUse;
    case WriterLockResult::CannotOpen:
        return kMatrixCannotOpen;
    }
    // What is left beside the file now was left by an interrupted writer.
    RemoveStaleTemporaries(path);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    std::filesystem::path sidecarTemporary = ChecksumSidecarPath(path);
    sidecarTemporary += ".tmp";
    CTemporaryRegistration registered(temporary);
    CTemporaryRegistration sidecarRegistered(sidecarTemporary);

    matrix.context_.reset(new (std::nothrow) RestoreContext);
    if (!matrix.context_)
        return kMatrixCannotOpen;
    matrix.context_->cancel = cancel;
    MatrixResult result = matrix.Generate(temporary, calendarWritten);
    matrix.context_.reset();

    // The new file is locked before it takes the place of the old one, so that the next
    // writer, which locks whatever the path names, waits until the checksum is in place too.
    CFileHandle newFileLock;
    if (result == kMatrixOk) {
        int fd;
        do {
            fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        newFileLock.Reset(fd);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            result = kMatrixWriteFinalHeaderFailed;
    }
    std::error_code error;
    ContentChecksum checksum;
    if (result == kMatrixOk && (!ComputeFileChecksum(temporary, checksum) ||
                                !WriteChecksumSidecarTemporary(path, checksum)))
        result = kMatrixWriteFinalHeaderFailed;
    if (result == kMatrixOk) {
        // The old checksum goes first: between the renames the file is unverified, never
        // falsely damaged.
        std::filesystem::remove(ChecksumSidecarPath(path), error);
        std::filesystem::rename(temporary, path, error);
        if (error)
            result = kMatrixWriteFinalHeaderFailed;
        else
            std::filesystem::rename(sidecarTemporary, ChecksumSidecarPath(path), error);
        if (!error)
            return kMatrixOk;
    }
    // A temporary path that could not be opened is not ours to remove (a folder of that name).
    if (result != kMatrixCannotOpen)
        std::filesystem::remove(temporary, error);
    std::filesystem::remove(sidecarTemporary, error);
    return result;
}

} // namespace vorn
