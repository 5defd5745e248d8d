#include "matrix/quote_import.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

#include "foundation/text_encoding.h"
#include "foundation/writer_lock.h"
#include "matrix/csv_reader.h"
#include "matrix/matrix_file.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"
#include "matrix/update_merge.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kMaxMarket = 15;
constexpr unsigned kMaxIndustry = 34;
constexpr std::size_t kMaxAdjustments = 127;
constexpr std::size_t kMaxRecords = 0xFFFF;
constexpr std::uint64_t kMaxStoredPrice = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------------------
// Numbers and dates as they appear in the files.

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Only ASCII digits, at most 19 of them, not above `limit`.
bool ParseSmall(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || text.size() > 19)
        return false;
    value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= limit;
}

enum class NumberError : std::uint8_t { None, Empty, NotNumber, Negative, TooManyPlaces, TooLarge };

// A non-negative decimal in hundredths. Digits past the second decimal place are refused
// unless they are zeros or `round` asks to round half up.
NumberError ParseHundredths(std::string_view text, bool round, std::uint64_t& hundredths) {
    if (text.empty())
        return NumberError::Empty;
    std::size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative)
        ++i;
    std::uint64_t whole = 0;
    std::size_t wholeDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (wholeDigits < 16)
            whole = whole * 10 + static_cast<unsigned>(text[i] - '0');
        ++wholeDigits;
        ++i;
    }
    std::uint64_t fraction = 0;
    std::size_t fractionDigits = 0;
    int firstDropped = 0;
    bool droppedNonZero = false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            const int digit = text[i] - '0';
            if (fractionDigits < 2)
                fraction = fraction * 10 + static_cast<unsigned>(digit);
            else if (fractionDigits == 2)
                firstDropped = digit;
            droppedNonZero = droppedNonZero || (fractionDigits >= 2 && digit != 0);
            ++fractionDigits;
            ++i;
        }
    }
    if (i != text.size() || (wholeDigits == 0 && fractionDigits == 0))
        return NumberError::NotNumber;
    if (negative)
        return NumberError::Negative;
    if (wholeDigits > 15)
        return NumberError::TooLarge;
    if (fractionDigits == 1)
        fraction *= 10;
    hundredths = whole * 100 + fraction;
    if (droppedNonZero) {
        if (!round)
            return NumberError::TooManyPlaces;
        if (firstDropped >= 5)
            ++hundredths;
    }
    return NumberError::None;
}

// A whole non-negative number; a fraction of zeros ("1200.0") is accepted.
NumberError ParseVolume(std::string_view text, std::uint64_t& value) {
    if (text.empty())
        return NumberError::Empty;
    std::size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative)
        ++i;
    const std::size_t start = i;
    value = 0;
    bool overflow = false;
    while (i < text.size() && IsDigit(text[i])) {
        const auto digit = static_cast<unsigned>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10)
            overflow = true;
        else
            value = value * 10 + digit;
        ++i;
    }
    if (i == start)
        return NumberError::NotNumber;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] == '0')
            ++i;
    }
    if (i != text.size())
        return NumberError::NotNumber;
    if (negative)
        return NumberError::Negative;
    return overflow ? NumberError::TooLarge : NumberError::None;
}

constexpr double kSmallestRatio = 0.001;
constexpr double kLargestRatio = 1000.0;

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))
        return 29;
    return kDays[month - 1];
}

// YYYY-MM-DD, YYYY/MM/DD (month and day may have one digit) or YYYYMMDD, 1950..2077.
bool ParseQuoteDate(std::string_view text, PackedDate& date) {
    unsigned year = 0, month = 0, day = 0;
    auto number = [&text](std::size_t& i, std::size_t least, std::size_t most, unsigned& out) {
        const std::size_t start = i;
        out = 0;
        while (i < text.size() && i - start < most && IsDigit(text[i]))
            out = out * 10 + static_cast<unsigned>(text[i++] - '0');
        return i - start >= least;
    };
    std::size_t i = 0;
    if (text.size() == 8 && std::all_of(text.begin(), text.end(), IsDigit)) {
        if (!number(i, 4, 4, year) || !number(i, 2, 2, month) || !number(i, 2, 2, day))
            return false;
    } else {
        if (!number(i, 4, 4, year) || i >= text.size())
            return false;
        const char separator = text[i++];
        if (separator != '-' && separator != '/')
            return false;
        if (!number(i, 1, 2, month) || i >= text.size() || text[i++] != separator ||
            !number(i, 1, 2, day))
            return false;
    }
    if (i != text.size() || year < 1950 || year > 2077 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    date = MakePackedDate(year, month, day);
    return true;
}

std::string FormatDate(PackedDate date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u", DateYear(date), DateMonth(date),
                  DateDay(date));
    return text;
}

std::string Quoted(std::string_view field) {
    std::string text = "'";
    // Only ASCII is echoed: a field of another encoding would garble the terminal.
    for (char c : field.substr(0, 40))
        text += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return text + "'";
}

// unit = mantissa (up to 31) x 10^power (up to 7), as the record's byte holds it.
bool EncodeTradingUnit(std::uint64_t unit, std::uint8_t& encoded) {
    if (unit == 0)
        return false;
    unsigned power = 0;
    while (unit > 31 && unit % 10 == 0 && power < 7) {
        unit /= 10;
        ++power;
    }
    if (unit > 31)
        return false;
    encoded = static_cast<std::uint8_t>(unit | (power << 5));
    return true;
}

int NarrowestPriceType(std::uint64_t largest) {
    return largest <= 0xFF ? kPricesU8 : largest <= 0xFFFF ? kPricesU16 : kPricesU32;
}
int NarrowestValueType(std::uint64_t largest) {
    return largest <= 0xFF         ? kValueU8
           : largest <= 0xFFFF     ? kValueU16
           : largest <= 0xFFFFFFFF ? kValueU32
                                   : kValueU64;
}

// The field as cp932 bytes; false when cp932 cannot hold it.
bool ToCp932(std::string_view field, TextEncoding encoding, std::string& out) {
    if (encoding == TextEncoding::Cp932) {
        out.assign(field);
        return true;
    }
    out = Utf8ToCp932(field);
    return std::count(out.begin(), out.end(), '?') == std::count(field.begin(), field.end(), '?');
}

std::string ToUtf8(std::string_view field, TextEncoding encoding) {
    return encoding == TextEncoding::Cp932 ? Cp932ToUtf8(field) : std::string(field);
}

// ---------------------------------------------------------------------------------------
// Quotes columns.

enum QuoteColumn : int { kDate, kOpen, kHigh, kLow, kClose, kVolume, kQuoteColumns };
constexpr const char* kColumnNames[kQuoteColumns] = {"date", "open",  "high",
                                                     "low",  "close", "volume"};
constexpr const char* kJapaneseColumnNames[kQuoteColumns] = {"日付", "始値", "高値",
                                                             "安値", "終値", "出来高"};

int ColumnOfName(std::string_view utf8) {
    std::string lower(utf8);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    for (int column = 0; column < kQuoteColumns; ++column)
        if (lower == kColumnNames[column] || utf8 == kJapaneseColumnNames[column])
            return column;
    return -1;
}

struct ParsedRow {
    PackedDate date;
    std::uint64_t open, high, low, close; // hundredths
    std::uint64_t volume;
};

// ---------------------------------------------------------------------------------------
// The width-specific loops, one instance per price and volume width.

using PriceWidths = std::tuple<std::uint8_t, std::uint16_t, std::uint32_t>;
using VolumeWidths = std::tuple<std::uint8_t, std::uint16_t, std::uint32_t, std::uint64_t>;
constexpr std::size_t kVolumeWidths = std::tuple_size_v<VolumeWidths>;
template <std::size_t I> using PriceOf = std::tuple_element_t<I / kVolumeWidths, PriceWidths>;
template <std::size_t I> using VolumeOf = std::tuple_element_t<I % kVolumeWidths, VolumeWidths>;

constexpr std::size_t WidthIndex(unsigned priceType, unsigned volumeType) {
    return priceType * kVolumeWidths + (volumeType - kValueU8);
}

// Rows (hundredths) into stored candles and volumes; `divisor` is 100 for whole yen.
template <class Price, class Volume>
void PackRows(const ParsedRow* rows, std::size_t count, std::uint64_t divisor, std::uint8_t* prices,
              std::uint8_t* volumes) {
    auto* candles = reinterpret_cast<Candle<Price>*>(prices);
    auto* amounts = reinterpret_cast<Volume*>(volumes);
    for (std::size_t i = 0; i < count; ++i) {
        const ParsedRow& row = rows[i];
        candles[i] = {static_cast<Price>(row.open / divisor),
                      static_cast<Price>(row.high / divisor), static_cast<Price>(row.low / divisor),
                      static_cast<Price>(row.close / divisor)};
        amounts[i] = static_cast<Volume>(row.volume);
    }
}

// Lays dated elements over consecutive calendar days: a day without a row is a day without
// trading (volume 0, all four prices the previous close; `seedClose` before the first row).
// Rows dated on no calendar day are passed over.
template <class Price, class Volume>
void SpreadRows(const PackedDate* dates, std::size_t rowCount, const std::uint8_t* prices,
                const std::uint8_t* volumes, const PackedDate* days, std::size_t dayCount,
                std::uint64_t seedClose, std::uint8_t* outPrices, std::uint8_t* outVolumes) {
    const auto* candles = reinterpret_cast<const Candle<Price>*>(prices);
    const auto* amounts = reinterpret_cast<const Volume*>(volumes);
    auto* outCandles = reinterpret_cast<Candle<Price>*>(outPrices);
    auto* outAmounts = reinterpret_cast<Volume*>(outVolumes);
    auto close = static_cast<Price>(seedClose);
    std::size_t row = 0;
    for (std::size_t day = 0; day < dayCount; ++day) {
        while (row < rowCount && dates[row] < days[day])
            ++row;
        if (row < rowCount && dates[row] == days[day]) {
            outCandles[day] = candles[row];
            outAmounts[day] = amounts[row];
            close = candles[row].close;
            ++row;
        } else {
            outCandles[day] = {close, close, close, close};
            outAmounts[day] = 0;
        }
    }
}

using PackFn = void (*)(const ParsedRow*, std::size_t, std::uint64_t, std::uint8_t*, std::uint8_t*);
using SpreadFn = void (*)(const PackedDate*, std::size_t, const std::uint8_t*, const std::uint8_t*,
                          const PackedDate*, std::size_t, std::uint64_t, std::uint8_t*,
                          std::uint8_t*);
constexpr std::size_t kWidthPairs = 3 * kVolumeWidths;
constexpr auto kPackers = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<PackFn, kWidthPairs>{&PackRows<PriceOf<I>, VolumeOf<I>>...};
}
(std::make_index_sequence<kWidthPairs>{});
constexpr auto kSpreaders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<SpreadFn, kWidthPairs>{&SpreadRows<PriceOf<I>, VolumeOf<I>>...};
}
(std::make_index_sequence<kWidthPairs>{});

// Existing series of a matrix being appended to.

template <class Price> std::uint64_t LargestPrice(const std::uint8_t* data, std::size_t count) {
    const auto* candles = reinterpret_cast<const Candle<Price>*>(data);
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < count; ++i)
        largest = std::max<std::uint64_t>(largest, std::max({candles[i].open, candles[i].high,
                                                             candles[i].low, candles[i].close}));
    return largest;
}

template <class From, class To>
void ScaleCandles(const std::uint8_t* source, std::size_t count, std::uint64_t factor,
                  std::uint8_t* target) {
    const auto* from = reinterpret_cast<const Candle<From>*>(source);
    auto* to = reinterpret_cast<Candle<To>*>(target);
    for (std::size_t i = 0; i < count; ++i)
        to[i] = {static_cast<To>(from[i].open * factor), static_cast<To>(from[i].high * factor),
                 static_cast<To>(from[i].low * factor), static_cast<To>(from[i].close * factor)};
}

using LargestFn = std::uint64_t (*)(const std::uint8_t*, std::size_t);
using ScaleFn = void (*)(const std::uint8_t*, std::size_t, std::uint64_t, std::uint8_t*);
constexpr std::array<LargestFn, 3> kLargestPrices = {
    &LargestPrice<std::uint8_t>, &LargestPrice<std::uint16_t>, &LargestPrice<std::uint32_t>};
constexpr auto kScalers = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<ScaleFn, 9>{&ScaleCandles<std::tuple_element_t<I / 3, PriceWidths>,
                                                std::tuple_element_t<I % 3, PriceWidths>>...};
}
(std::make_index_sequence<9>{});

std::uint64_t PowerOfTen(unsigned exponent) {
    std::uint64_t power = 1;
    for (unsigned i = 0; i < exponent; ++i)
        power *= 10;
    return power;
}

bool IsSoundSeries(const SecurityRecord& security) {
    return security.company != nullptr && !security.prices.Empty() &&
           IsPriceType(security.prices.elementType) && !security.volumes.Empty() &&
           IsValueType(security.volumes.elementType) &&
           security.volumes.count == security.prices.count && security.prices.attribute <= 7;
}

// The last close of a stored series in hundredths of a yen.
std::uint64_t LastCloseInHundredths(const SecurityRecord& security) {
    const TypedArray& prices = security.prices;
    const std::size_t field = ElementSize(prices.elementType) / 4;
    const std::uint64_t close = ReadUnsigned(
        prices.data.get() + (prices.count - 1) * ElementSize(prices.elementType) + 3 * field,
        field);
    const std::uint64_t scale = (security.listingFlags & kListingHundredths) ? 1 : 100;
    return close * PowerOfTen(prices.attribute) * scale;
}

// ---------------------------------------------------------------------------------------
// What the lists say.

struct ListedSecurity {
    std::uint8_t tradingUnit = 1;
    bool marginTradable = false;
};

struct ListedCompany {
    std::uint8_t industry = 0;
    std::optional<std::string> name; // cp932
    std::optional<std::string> text; // cp932
    std::size_t line = 0;
    std::vector<std::pair<PackedDate, std::uint64_t>> shares; // ascending by date
};

struct ListedAdjustment {
    AdjustmentEntry entry;
    std::size_t line = 0;
};

struct QuoteFile {
    fs::path path;
    SecurityKey key = 0;
};

// One security's rows, stored narrow until the calendar is known.
struct SecurityQuotes {
    SecurityKey key = 0;
    fs::path file;
    std::vector<PackedDate> dates;
    bool hundredths = false;
    bool continues = false;      // append: continues a security of the matrix
    PackedDate resumesAfter = 0; // append: the continued security's last day in the matrix
    std::uint64_t seedClose = 0; // stored unit; the close before the first row when continuing
    TypedArray prices;
    TypedArray volumes;
};

std::optional<SecurityKey> KeyOfFileName(const fs::path& path) {
    const std::string stem = path.stem().string();
    const std::size_t underscore = stem.find('_');
    const std::string_view code = std::string_view(stem).substr(0, underscore);
    const std::string_view market = underscore == std::string::npos
                                        ? std::string_view("1")
                                        : std::string_view(stem).substr(underscore + 1);
    std::uint64_t marketValue = 0;
    const std::optional<std::uint16_t> codeValue = ParseDeliveredStockCode(code);
    if (!codeValue || market.size() > 2 || !ParseSmall(market, kMaxMarket, marketValue) ||
        marketValue == 0)
        return std::nullopt;
    return MakeSecurityKey(*codeValue, static_cast<std::uint8_t>(marketValue));
}

bool HasQuotesExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension == ".csv" || extension == ".tsv";
}

// A list's optional header: its first field holds no digit (a data row's stock code does).
bool LooksLikeHeader(const std::vector<std::string_view>& fields) {
    return fields.empty() || std::none_of(fields[0].begin(), fields[0].end(), IsDigit);
}

std::string SecurityName(SecurityKey key) {
    return FormatStockCode(CodeOfKey(key)) + "_" + std::to_string(MarketOfKey(key));
}

// ---------------------------------------------------------------------------------------

class CQuoteImport {
public:
    CQuoteImport(const QuoteImportOptions& options, QuoteImportReport& report)
        : options_(options), report_(report) {}

    ImportResult Import(CMarketMatrix& matrix);
    ImportResult Append(CMarketMatrix& matrix);

private:
    ImportResult Fail(ImportResult result, const fs::path& file, std::size_t line,
                      const std::string& reason);
    // A bad row: false (and the failure recorded) unless bad rows are skipped.
    bool SkipRow(const fs::path& file, std::size_t line, const std::string& reason);
    // A quotes file that cannot be used: kImportOk when it is skipped, else `result`.
    ImportResult SkipFile(ImportResult result, const fs::path& file, std::size_t line,
                          const std::string& reason);
    void Note(std::string text) { report_.notes.push_back(std::move(text)); }
    void Progress(QuoteImportProgress::Step step, const fs::path& file, std::size_t done = 0,
                  std::size_t total = 0) {
        if (options_.progress)
            options_.progress(QuoteImportProgress{step, done, total, file});
    }

    ImportResult ReadText(const fs::path& path, EncodingCheck& check, std::string_view& text);
    ImportResult ReadSecuritiesList();
    ImportResult ReadAdjustmentsList();
    // Reads a list file row by row (an optional header line first) through `take`, which
    // returns why a row is refused. A refused row stops the reading unless it is skipped;
    // `reasonNamesEncoding` maps a reason about cp932 to kImportUndecodable.
    using TakeRow = std::string (CQuoteImport::*)(TextEncoding, std::size_t);
    ImportResult ReadListRows(const fs::path& path, TakeRow take, bool reasonNamesEncoding);
    // Empty reason when the row was taken.
    std::string TakeListedSecurity(TextEncoding encoding, std::size_t line);
    std::string TakeAdjustment(TextEncoding encoding, std::size_t line);
    ImportResult CollectQuoteFiles(std::vector<QuoteFile>& files);
    // Fills rows_; `usable` false when the file was skipped.
    ImportResult ReadQuoteFile(const QuoteFile& file, bool& usable);
    std::string CheckRow(ParsedRow& row, std::size_t line,
                         const std::array<int, kQuoteColumns>& columns, std::size_t needed);
    ImportResult ReadAllQuotes(const CMarketMatrix* main);
    // Keeps the rows an append can use; false when nothing of the file is kept.
    bool KeepAppendableRows(const QuoteFile& file, const CMarketMatrix& main, bool& force,
                            std::optional<std::uint64_t>& seed);
    ImportResult Pack(const QuoteFile& file, bool forceHundredths,
                      std::optional<std::uint64_t> seedHundredths, SecurityQuotes& out);
    ImportResult BuildRecords(CMarketMatrix& target, const std::vector<PackedDate>& days,
                              const CMarketMatrix* main);
    bool FillCompany(CompanyRecord& company, const ListedCompany& listed);
    ImportResult TakeAdjustments(SecurityRecord& security, const std::vector<PackedDate>& days);
    ImportResult CheckForward(const SecurityRecord& held, const SecurityQuotes& quotes,
                              const CCalendar& days);
    ImportResult BringForward(SecurityRecord& held, const SecurityQuotes& quotes,
                              const CCalendar& days);

    const QuoteImportOptions& options_;
    QuoteImportReport& report_;
    std::map<SecurityKey, ListedSecurity> listed_;
    std::map<std::uint16_t, ListedCompany> listedCompanies_;
    std::map<SecurityKey, std::size_t> listedLines_;
    std::map<SecurityKey, std::vector<ListedAdjustment>> adjustments_;
    std::vector<SecurityQuotes> quotes_;
    // Scratch reused from file to file.
    std::string bytes_;
    std::vector<std::string_view> fields_;
    std::vector<ParsedRow> rows_;
    PackedDate resumesAfter_ = 0; // KeepAppendableRows: the held security's last day

    // Names the listed securities that took no row.
    void NameUnquoted() {
        std::vector<SecurityKey> quoted;
        quoted.reserve(quotes_.size());
        for (const SecurityQuotes& quotes : quotes_)
            quoted.push_back(quotes.key);
        std::sort(quoted.begin(), quoted.end());
        for (const auto& [key, listed] : listed_)
            if (!std::binary_search(quoted.begin(), quoted.end(), key))
                report_.unquotedNames.push_back(SecurityName(key));
    }
};

ImportResult CQuoteImport::Fail(ImportResult result, const fs::path& file, std::size_t line,
                                const std::string& reason) {
    report_.error = file.string();
    if (line != 0)
        report_.error += ":" + std::to_string(line);
    report_.error += ": " + reason;
    return result;
}

bool CQuoteImport::SkipRow(const fs::path& file, std::size_t line, const std::string& reason) {
    if (!options_.skipBadRows) {
        Fail(kImportBadRow, file, line, reason);
        return false;
    }
    ++report_.skippedRows;
    if (report_.skipped.size() < kMaxListedSkips)
        report_.skipped.push_back(file.string() + ":" + std::to_string(line) + ": " + reason);
    return true;
}

ImportResult CQuoteImport::SkipFile(ImportResult result, const fs::path& file, std::size_t line,
                                    const std::string& reason) {
    if (!options_.skipBadRows)
        return Fail(result, file, line, reason);
    ++report_.skippedFiles;
    if (report_.skipped.size() < kMaxListedSkips)
        report_.skipped.push_back(file.string() +
                                  (line ? ":" + std::to_string(line) : std::string()) + ": " +
                                  reason + " (file skipped)");
    return kImportOk;
}

ImportResult CQuoteImport::ReadText(const fs::path& path, EncodingCheck& check,
                                    std::string_view& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail(kImportCannotRead, path, 0, "cannot open the file");
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return Fail(kImportCannotRead, path, 0, "cannot read the file");
    in.seekg(0, std::ios::beg);
    bytes_.resize(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(bytes_.data(), size))
        return Fail(kImportCannotRead, path, 0, "cannot read the file");
    check = CheckTextEncoding(bytes_);
    text = std::string_view(bytes_).substr(check.bomBytes);
    return kImportOk;
}

// ---------------------------------------------------------------------------------------
// The securities list.

constexpr const char* kListColumns[] = {"stock code", "market",       "company name",
                                        "industry",   "trading unit", "margin-tradable"};

std::string CQuoteImport::TakeListedSecurity(TextEncoding encoding, std::size_t line) {
    const auto& f = fields_;
    for (std::size_t i = 0; i < std::size(kListColumns); ++i)
        if (f.size() <= i || (i != 2 && f[i].empty()))
            return std::string(kListColumns[i]) + " is missing";
    std::uint64_t market = 0, industry = 0, unit = 0, margin = 0;
    const std::optional<std::uint16_t> code = ParseDeliveredStockCode(f[0]);
    if (!code)
        return DescribeBadStockCode(f[0]);
    if (!ParseSmall(f[1], kMaxMarket, market) || market == 0)
        return "market " + Quoted(f[1]) + " is not a market code from 1 to 15";
    if (!ParseSmall(f[3], kMaxIndustry, industry) || industry == 0)
        return "industry " + Quoted(f[3]) + " is not an industry code from 1 to 34";
    std::uint8_t tradingUnit = 0;
    if (!ParseSmall(f[4], UINT64_MAX, unit) || !EncodeTradingUnit(unit, tradingUnit))
        return "trading unit " + Quoted(f[4]) +
               " is not a whole number of up to 31 times a power of ten";
    if (!ParseSmall(f[5], 1, margin))
        return "margin-tradable " + Quoted(f[5]) + " is neither 0 nor 1";
    std::optional<std::pair<PackedDate, std::uint64_t>> shares;
    if (f.size() > 6 && !f[6].empty()) {
        std::uint64_t count = 0;
        if (!ParseSmall(f[6], UINT64_MAX, count))
            return "shares issued " + Quoted(f[6]) + " is not a whole number";
        PackedDate date = kNoDate;
        if (f.size() <= 7 || f[7].empty())
            return "shares issued need the date they hold from";
        if (!ParseQuoteDate(f[7], date))
            return "shares date " + Quoted(f[7]) + " is not a date";
        shares.emplace(date, count);
    }
    std::optional<std::string> name, text;
    if (!f[2].empty() && !ToCp932(f[2], encoding, name.emplace()))
        return "the company name holds characters cp932 cannot store";
    if (f.size() > 8 && !f[8].empty() && !ToCp932(f[8], encoding, text.emplace()))
        return "the second company text holds characters cp932 cannot store";

    const auto key = MakeSecurityKey(*code, static_cast<std::uint8_t>(market));
    if (auto it = listedLines_.find(key); it != listedLines_.end())
        return "security " + SecurityName(key) + " is listed twice (line " +
               std::to_string(it->second) + ")";
    const std::uint16_t companyCode = *code;
    auto company = listedCompanies_.find(companyCode);
    if (company != listedCompanies_.end()) {
        const ListedCompany& known = company->second;
        const std::string where = " differs from line " + std::to_string(known.line);
        if (known.industry != industry)
            return "industry" + where;
        if (name && known.name && *name != *known.name)
            return "company name" + where;
        if (text && known.text && *text != *known.text)
            return "second company text" + where;
        if (shares)
            for (const auto& [date, count] : known.shares)
                if (date == shares->first && count != shares->second)
                    return "shares issued on " + FormatDate(date) + where;
    }

    ListedCompany& target = listedCompanies_[companyCode];
    if (target.line == 0) {
        target.industry = static_cast<std::uint8_t>(industry);
        target.line = line;
    }
    if (!target.name)
        target.name = std::move(name);
    if (!target.text)
        target.text = std::move(text);
    if (shares) {
        auto at = std::lower_bound(target.shares.begin(), target.shares.end(), *shares,
                                   [](const auto& a, const auto& b) { return a.first < b.first; });
        if (at == target.shares.end() || at->first != shares->first)
            target.shares.insert(at, *shares);
    }
    listed_[key] = ListedSecurity{tradingUnit, margin != 0};
    listedLines_[key] = line;
    return {};
}

ImportResult CQuoteImport::ReadListRows(const fs::path& path, TakeRow take,
                                        bool reasonNamesEncoding) {
    EncodingCheck check;
    std::string_view text;
    if (const ImportResult result = ReadText(path, check, text); result != kImportOk)
        return result;
    if (!check.decodable)
        return Fail(kImportUndecodable, path, check.badLine, check.reason);
    CCsvReader reader(text, DetectSeparator(FirstLine(text)));
    bool first = true;
    while (reader.Next(fields_)) {
        if (first && LooksLikeHeader(fields_)) {
            first = false;
            continue; // a header line
        }
        first = false;
        const std::string reason = reader.Malformed()
                                       ? std::string("a quote is not closed")
                                       : (this->*take)(check.encoding, reader.Line());
        if (!reason.empty() && !SkipRow(path, reader.Line(), reason))
            return reasonNamesEncoding && reason.find("cp932") != std::string::npos
                       ? kImportUndecodable
                       : kImportBadRow;
    }
    return kImportOk;
}

ImportResult CQuoteImport::ReadSecuritiesList() {
    const fs::path& path = options_.securitiesList;
    if (const ImportResult result = ReadListRows(path, &CQuoteImport::TakeListedSecurity, true); result != kImportOk)
        return result;
    if (listed_.empty())
        return Fail(kImportNoQuotes, path, 0, "the securities list holds no security");
    return kImportOk;
}

// ---------------------------------------------------------------------------------------
// The adjustments list.

std::string CQuoteImport::TakeAdjustment(TextEncoding encoding, std::size_t line) {
    static constexpr const char* kColumns[] = {"stock code", "market", "date", "ratio", "kind"};
    const auto& f = fields_;
    for (std::size_t i = 0; i < std::size(kColumns); ++i)
        if (f.size() <= i || f[i].empty())
            return std::string(kColumns[i]) + " is missing";
    std::uint64_t market = 0;
    const std::optional<std::uint16_t> code = ParseDeliveredStockCode(f[0]);
    if (!code)
        return DescribeBadStockCode(f[0]);
    if (!ParseSmall(f[1], kMaxMarket, market) || market == 0)
        return "market " + Quoted(f[1]) + " is not a market code from 1 to 15";
    const auto key = MakeSecurityKey(*code, static_cast<std::uint8_t>(market));
    if (listed_.count(key) == 0)
        return "security " + SecurityName(key) + " is not in the securities list";
    PackedDate date = kNoDate;
    if (!ParseQuoteDate(f[2], date))
        return "date " + Quoted(f[2]) + " is not a date";
    double ratio = 0;
    const auto [end, error] = std::from_chars(f[3].data(), f[3].data() + f[3].size(), ratio);
    if (error != std::errc() || end != f[3].data() + f[3].size() || !std::isfinite(ratio) ||
        ratio <= 0)
        return "ratio " + Quoted(f[3]) + " is not a positive number";
    // Splits and consolidations beyond a thousand to one are typing errors, and would push
    // adjusted prices out of what a price can hold.
    if (ratio < kSmallestRatio || ratio > kLargestRatio)
        return "ratio " + Quoted(f[3]) + " is outside 0.001..1000";
    std::uint64_t kind = 0;
    if (!ParseSmall(f[4], 6, kind)) {
        const std::string name = ToUtf8(f[4], encoding);
        bool found = false;
        for (unsigned k = 0; k <= 6 && !found; ++k)
            if (name == AdjustmentKindName(k)) {
                kind = k;
                found = true;
            }
        if (!found)
            return "kind " + Quoted(f[4]) + " is neither 0 to 6 nor an adjustment kind name";
    }
    std::vector<ListedAdjustment>& entries = adjustments_[key];
    for (const ListedAdjustment& known : entries)
        if (known.entry.date == date)
            return "an adjustment on " + FormatDate(date) + " is already on line " +
                   std::to_string(known.line);
    if (entries.size() >= kMaxAdjustments)
        return "more than 127 adjustments for " + SecurityName(key);
    entries.push_back({AdjustmentEntry{date, static_cast<std::uint8_t>(kind), ratio}, line});
    return {};
}

ImportResult CQuoteImport::ReadAdjustmentsList() {
    const fs::path& path = options_.adjustmentsList;
    if (path.empty())
        return kImportOk;
    if (const ImportResult result = ReadListRows(path, &CQuoteImport::TakeAdjustment, false); result != kImportOk)
        return result;
    for (auto& [key, entries] : adjustments_)
        std::sort(entries.begin(), entries.end(),
                  [](const ListedAdjustment& a, const ListedAdjustment& b) {
                      return a.entry.date < b.entry.date;
                  });
    return kImportOk;
}

// ---------------------------------------------------------------------------------------
// Quotes files.

ImportResult CQuoteImport::CollectQuoteFiles(std::vector<QuoteFile>& files) {
    std::vector<fs::path> paths;
    for (const fs::path& source : options_.quotes) {
        std::error_code error;
        const fs::file_status status = fs::status(source, error);
        if (error || !fs::exists(status))
            return Fail(kImportCannotRead, source, 0, "no such file or directory");
        if (!fs::is_directory(status)) {
            paths.push_back(source);
            continue;
        }
        std::vector<fs::path> inside;
        for (fs::directory_iterator it(source, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_regular_file(error) || !HasQuotesExtension(it->path()))
                continue;
            // The lists may sit beside the quotes.
            bool isList = false;
            for (const fs::path* list : {&options_.securitiesList, &options_.adjustmentsList}) {
                std::error_code same;
                isList = isList || (!list->empty() && fs::equivalent(*list, it->path(), same));
            }
            if (!isList)
                inside.push_back(it->path());
        }
        if (error)
            return Fail(kImportCannotRead, source, 0, "cannot list the directory");
        std::sort(inside.begin(), inside.end());
        paths.insert(paths.end(), inside.begin(), inside.end());
    }

    for (const fs::path& path : paths) {
        const std::optional<SecurityKey> key = KeyOfFileName(path);
        if (!key) {
            if (const ImportResult result =
                    SkipFile(kImportUnknownSecurity, path, 0,
                             "the file name does not name a security (CODE.csv or CODE_MARKET.csv, "
                             "CODE as 7203, 130A or 72030)"); result != kImportOk)
                return result;
            continue;
        }
        if (listed_.count(*key) == 0) {
            if (const ImportResult result =
                    SkipFile(kImportUnknownSecurity, path, 0,
                             "security " + SecurityName(*key) + " is not in the securities list"); result != kImportOk)
                return result;
            continue;
        }
        files.push_back({path, *key});
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const QuoteFile& a, const QuoteFile& b) { return a.key < b.key; });
    for (std::size_t i = 1; i < files.size();) {
        if (files[i].key != files[i - 1].key) {
            ++i;
            continue;
        }
        if (const ImportResult result =
                SkipFile(kImportUnknownSecurity, files[i].path, 0,
                         "security " + SecurityName(files[i].key) + " already has quotes in " +
                             files[i - 1].path.string()); result != kImportOk)
            return result;
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return kImportOk;
}

std::string CQuoteImport::CheckRow(ParsedRow& row, std::size_t line,
                                   const std::array<int, kQuoteColumns>& columns,
                                   std::size_t needed) {
    const auto& f = fields_;
    if (f.size() < needed) {
        for (int column = 0; column < kQuoteColumns; ++column)
            if (static_cast<std::size_t>(columns[column]) >= f.size())
                return std::string(kColumnNames[column]) + " is missing";
    }
    const std::string_view dateField = f[columns[kDate]];
    if (dateField.empty())
        return "date is missing";
    if (!ParseQuoteDate(dateField, row.date))
        return "date " + Quoted(dateField) + " is not a date (YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD)";
    std::uint64_t* prices[] = {&row.open, &row.high, &row.low, &row.close};
    for (int column = kOpen; column <= kClose; ++column) {
        const std::string_view field = f[columns[column]];
        const std::string name = kColumnNames[column];
        switch (ParseHundredths(field, options_.roundPrices, *prices[column - kOpen])) {
        case NumberError::None:
            break;
        case NumberError::Empty:
            return name + " is missing";
        case NumberError::NotNumber:
            return name + " " + Quoted(field) + " is not a number";
        case NumberError::Negative:
            return name + " " + Quoted(field) + " is negative";
        case NumberError::TooManyPlaces:
            return name + " " + Quoted(field) + " has more than two decimal places";
        case NumberError::TooLarge:
            return name + " " + Quoted(field) + " is too large";
        }
        if (*prices[column - kOpen] == 0)
            return name + " " + Quoted(field) + " is not above zero";
        if (*prices[column - kOpen] > kMaxStoredPrice * 100)
            return name + " " + Quoted(field) + " is too large";
    }
    const std::string_view volumeField = f[columns[kVolume]];
    switch (ParseVolume(volumeField, row.volume)) {
    case NumberError::None:
        break;
    case NumberError::Empty:
        return "volume is missing";
    case NumberError::Negative:
        return "volume " + Quoted(volumeField) + " is negative";
    case NumberError::TooLarge:
        return "volume " + Quoted(volumeField) + " is too large";
    default:
        return "volume " + Quoted(volumeField) + " is not a whole number";
    }
    const auto field = [&](int column) { return Quoted(f[columns[column]]); };
    if (row.high < row.low)
        return "high " + field(kHigh) + " is below low " + field(kLow);
    if (row.open < row.low || row.open > row.high)
        return "open " + field(kOpen) + " is outside low " + field(kLow) + " to high " +
               field(kHigh);
    if (row.close < row.low || row.close > row.high)
        return "close " + field(kClose) + " is outside low " + field(kLow) + " to high " +
               field(kHigh);
    return {};
}

ImportResult CQuoteImport::ReadQuoteFile(const QuoteFile& file, bool& usable) {
    usable = false;
    rows_.clear();
    EncodingCheck check;
    std::string_view text;
    if (const ImportResult result = ReadText(file.path, check, text); result != kImportOk)
        return result;
    if (!check.decodable)
        return SkipFile(kImportUndecodable, file.path, check.badLine, check.reason);
    CCsvReader reader(text, DetectSeparator(FirstLine(text)));
    if (!reader.Next(fields_)) {
        usable = true; // an empty file: no rows
        return kImportOk;
    }
    std::array<int, kQuoteColumns> columns;
    columns.fill(-1);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const int column = ColumnOfName(ToUtf8(fields_[i], check.encoding));
        if (column < 0)
            continue; // other columns (an adjusted close, say) are not used
        if (columns[column] >= 0)
            return SkipFile(kImportBadHeader, file.path, reader.Line(),
                            std::string("the header names ") + kColumnNames[column] + " twice");
        columns[column] = static_cast<int>(i);
    }
    std::size_t needed = 0;
    for (int column = 0; column < kQuoteColumns; ++column) {
        if (columns[column] < 0)
            return SkipFile(kImportBadHeader, file.path, reader.Line(),
                            std::string("the first line is not a header naming ") +
                                kColumnNames[column] +
                                " (date, open, high, low, close and volume are needed)");
        needed = std::max(needed, static_cast<std::size_t>(columns[column]) + 1);
    }

    PackedDate lastDate = kNoDate;
    std::size_t lastLine = 0;
    while (reader.Next(fields_)) {
        const std::size_t line = reader.Line();
        ParsedRow row{};
        std::string reason = reader.Malformed() ? std::string("a quote is not closed")
                                                : CheckRow(row, line, columns, needed);
        if (reason.empty() && lastLine != 0 && row.date <= lastDate)
            reason = "date " + FormatDate(row.date) +
                     (row.date == lastDate ? " repeats line " : " is out of order after line ") +
                     std::to_string(lastLine);
        if (!reason.empty()) {
            if (!SkipRow(file.path, line, reason))
                return kImportBadRow;
            continue;
        }
        rows_.push_back(row);
        lastDate = row.date;
        lastLine = line;
    }
    usable = true;
    return kImportOk;
}

ImportResult CQuoteImport::Pack(const QuoteFile& file, bool forceHundredths,
                                std::optional<std::uint64_t> seedHundredths, SecurityQuotes& out) {
    bool hundredths = forceHundredths;
    std::uint64_t largestPrice = seedHundredths.value_or(0);
    std::uint64_t largestVolume = 0;
    for (const ParsedRow& row : rows_) {
        hundredths =
            hundredths || row.open % 100 || row.high % 100 || row.low % 100 || row.close % 100;
        largestPrice = std::max(largestPrice, row.high);
        largestVolume = std::max(largestVolume, row.volume);
    }
    const std::uint64_t divisor = hundredths ? 1 : 100;
    if (largestPrice / divisor > kMaxStoredPrice)
        return Fail(kImportTooLarge, file.path, 0,
                    hundredths ? "prices in hundredths above 42949672.95 cannot be stored"
                               : "prices above 4294967295 cannot be stored");
    const int priceType = NarrowestPriceType(largestPrice / divisor);
    const int volumeType = NarrowestValueType(largestVolume);

    out.key = file.key;
    out.file = file.path;
    out.hundredths = hundredths;
    out.continues = seedHundredths.has_value();
    out.seedClose = seedHundredths.value_or(0) / divisor;
    out.dates.resize(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i)
        out.dates[i] = rows_[i].date;
    out.prices.elementType = static_cast<std::uint16_t>(priceType);
    out.prices.count = static_cast<std::uint16_t>(rows_.size());
    out.prices.data = AllocateZeroed(out.prices.ByteSize());
    out.volumes.elementType = static_cast<std::uint16_t>(volumeType);
    out.volumes.count = out.prices.count;
    out.volumes.data = AllocateZeroed(out.volumes.ByteSize());
    if (!out.prices.data || !out.volumes.data)
        return Fail(kImportNoMemory, file.path, 0, "out of memory");
    kPackers[WidthIndex(priceType, volumeType)](rows_.data(), rows_.size(), divisor,
                                                out.prices.data.get(), out.volumes.data.get());
    return kImportOk;
}

bool CQuoteImport::KeepAppendableRows(const QuoteFile& file, const CMarketMatrix& main, bool& force,
                                      std::optional<std::uint64_t>& seed) {
    const PackedDate lastDay = *main.DailyCalendar().Last();
    const SecurityRecord* held = main.FindSecurity(file.key);
    const auto newer = [lastDay](const ParsedRow& row) { return row.date > lastDay; };
    if (held != nullptr) {
        if (!IsSoundSeries(*held) || main.DayPosition(held->lastDate) < 0) {
            if (std::any_of(rows_.begin(), rows_.end(), newer))
                Note(SecurityName(file.key) +
                     ": the matrix holds no usable series for it; left unchanged");
            return false;
        }
        // Rows up to the security's own last day are history the matrix keeps. Rows after it
        // on days the matrix already has fill the days an earlier append found no row for;
        // rows on days the matrix lacks before its last day cannot be placed.
        const auto placeable = [&](const ParsedRow& row) {
            return row.date > held->lastDate && (newer(row) || main.DayPosition(row.date) >= 0);
        };
        report_.ignoredRows += static_cast<std::size_t>(
            std::count_if(rows_.begin(), rows_.end(), [&](const ParsedRow& row) {
                return row.date > held->lastDate && !placeable(row);
            }));
        rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                                   [&](const ParsedRow& row) { return !placeable(row); }),
                    rows_.end());
        if (rows_.empty())
            return false;
        resumesAfter_ = held->lastDate;
        force = (held->listingFlags & kListingHundredths) != 0;
        seed = LastCloseInHundredths(*held);
        return true;
    }
    // A new security takes its history too, as far as the matrix has those days.
    const std::size_t before = rows_.size();
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                               [&](const ParsedRow& row) {
                                   return !newer(row) && main.DayPosition(row.date) < 0;
                               }),
                rows_.end());
    report_.ignoredRows += before - rows_.size();
    // One whose rows all lie on days the matrix has is added all the same: another append
    // may have brought those days first.
    if (rows_.empty())
        return false;
    force = false;
    seed.reset();
    return true;
}

ImportResult CQuoteImport::ReadAllQuotes(const CMarketMatrix* main) {
    std::vector<QuoteFile> files;
    if (const ImportResult result = CollectQuoteFiles(files); result != kImportOk)
        return result;
    try {
        quotes_.reserve(files.size());
    } catch (const std::bad_alloc&) {
        return Fail(kImportNoMemory, options_.securitiesList, 0, "out of memory");
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QuoteFile& file = files[i];
        Progress(QuoteImportProgress::Step::ReadQuotes, file.path, i, files.size());
        bool usable = false;
        if (const ImportResult result = ReadQuoteFile(file, usable); result != kImportOk)
            return result;
        if (!usable)
            continue;
        ++report_.files;
        bool force = false;
        std::optional<std::uint64_t> seed;
        if (main != nullptr && !KeepAppendableRows(file, *main, force, seed))
            continue;
        if (rows_.empty())
            continue;
        if (rows_.size() > kMaxRecords)
            return Fail(kImportTooLarge, file.path, 0, "more than 65535 rows");
        SecurityQuotes& quotes = quotes_.emplace_back();
        if (const ImportResult result = Pack(file, force, seed, quotes); result != kImportOk)
            return result;
        quotes.resumesAfter = quotes.continues ? resumesAfter_ : 0;
    }
    return kImportOk;
}

// ---------------------------------------------------------------------------------------
// Records.

bool CQuoteImport::FillCompany(CompanyRecord& company, const ListedCompany& listed) {
    company.name = listed.name;
    company.text = listed.text;
    if (listed.shares.empty())
        return true;
    std::uint64_t largest = 0;
    for (const auto& entry : listed.shares)
        largest = std::max(largest, entry.second);
    TypedArray& history = company.history;
    history.elementType = static_cast<std::uint16_t>(NarrowestValueType(largest));
    history.attribute = 0;
    history.count = static_cast<std::uint16_t>(listed.shares.size());
    history.data = AllocateZeroed(history.HistoryByteSize());
    if (!history.data) {
        history.Reset();
        return false;
    }
    const std::size_t entrySize = HistoryEntrySize(history.elementType);
    for (std::size_t i = 0; i < listed.shares.size(); ++i) {
        WriteUnsigned(history.data.get() + i * entrySize, 2, listed.shares[i].first);
        WriteUnsigned(history.data.get() + i * entrySize + 2, entrySize - 2,
                      listed.shares[i].second);
    }
    return true;
}

// An adjustment dated on a day without trading moves to the next trading day: extraction
// changes its factor only on the entry's exact date, so an entry between calendar days would
// leave every later price on the wrong basis.
ImportResult CQuoteImport::TakeAdjustments(SecurityRecord& security,
                                           const std::vector<PackedDate>& days) {
    const auto it = adjustments_.find(security.Key());
    if (it == adjustments_.end() || it->second.empty())
        return kImportOk;
    auto list = std::make_unique<AdjustmentList>();
    std::size_t previousLine = 0;
    for (const ListedAdjustment& listed : it->second) {
        AdjustmentEntry entry = listed.entry;
        const auto next = std::lower_bound(days.begin(), days.end(), entry.date);
        if (next != days.end())
            entry.date = *next;
        if (!list->entries.empty() && list->entries.back().date == entry.date) {
            if (!SkipRow(options_.adjustmentsList, listed.line,
                         "the adjustment falls on the same trading day " + FormatDate(entry.date) +
                             " as line " + std::to_string(previousLine)))
                return kImportBadRow;
            continue;
        }
        list->entries.push_back(entry);
        previousLine = listed.line;
    }
    security.adjustments = std::move(list);
    return kImportOk;
}

ImportResult CQuoteImport::BuildRecords(CMarketMatrix& target, const std::vector<PackedDate>& days,
                                        const CMarketMatrix* main) {
    std::vector<std::int32_t> positionOf(0x10000, -1);
    for (std::size_t i = 0; i < days.size(); ++i)
        positionOf[days[i]] = static_cast<std::int32_t>(i);

    for (SecurityQuotes& quotes : quotes_) {
        const std::uint16_t code = CodeOfKey(quotes.key);
        const std::uint8_t market = MarketOfKey(quotes.key);
        const ListedCompany& listedCompany = listedCompanies_.at(code);
        const ListedSecurity& listedSecurity = listed_.at(quotes.key);

        // A continued security resumes on the day after its own last day, which may lie
        // before the first new day when an earlier append found no row for it.
        const std::int32_t first =
            quotes.continues
                ? (positionOf[quotes.resumesAfter] < 0 ? -1 : positionOf[quotes.resumesAfter] + 1)
                : positionOf[quotes.dates.front()];
        const std::int32_t last = positionOf[quotes.dates.back()];
        if (first < 0 || last < first)
            return Fail(kImportBadRow, quotes.file, 0, "the rows do not lie on the calendar");
        const auto count = static_cast<std::size_t>(last - first + 1);

        const bool newCompany = target.FindCompany(code) == nullptr;
        CompanyRecord* company = target.FindOrAddCompany(code, listedCompany.industry);
        if (company == nullptr || (newCompany && !FillCompany(*company, listedCompany)))
            return Fail(kImportNoMemory, quotes.file, 0, "out of memory");
        SecurityRecord* security = target.FindOrAddSecurity(code, market);
        if (security == nullptr)
            return Fail(kImportNoMemory, quotes.file, 0, "out of memory");
        security->tradingUnit = listedSecurity.tradingUnit;
        security->listingFlags =
            static_cast<std::uint8_t>((listedSecurity.marginTradable ? kListingMarginTradable : 0) |
                                      (quotes.hundredths ? kListingHundredths : 0));
        if (main != nullptr)
            if (const SecurityRecord* held = main->FindSecurity(quotes.key))
                security->listingFlags |= static_cast<std::uint8_t>(
                    held->listingFlags & ~(kListingMarginTradable | kListingHundredths));
        security->firstDate = days[static_cast<std::size_t>(first)];
        security->lastDate = days[static_cast<std::size_t>(last)];

        if (!quotes.continues && count == quotes.dates.size()) {
            security->prices = std::move(quotes.prices); // no day without trading
            security->volumes = std::move(quotes.volumes);
        } else {
            TypedArray& prices = security->prices;
            TypedArray& volumes = security->volumes;
            prices.elementType = quotes.prices.elementType;
            prices.count = static_cast<std::uint16_t>(count);
            prices.data = AllocateZeroed(prices.ByteSize());
            volumes.elementType = quotes.volumes.elementType;
            volumes.count = static_cast<std::uint16_t>(count);
            volumes.data = AllocateZeroed(volumes.ByteSize());
            if (!prices.data || !volumes.data)
                return Fail(kImportNoMemory, quotes.file, 0, "out of memory");
            kSpreaders[WidthIndex(prices.elementType, volumes.elementType)](
                quotes.dates.data(), quotes.dates.size(), quotes.prices.data.get(),
                quotes.volumes.data.get(), days.data() + first, count, quotes.seedClose,
                prices.data.get(), volumes.data.get());
            quotes.prices.Reset();
            quotes.volumes.Reset();
        }
        if (const ImportResult result = TakeAdjustments(*security, days); result != kImportOk)
            return result;
        report_.rows += quotes.dates.size();
        std::vector<PackedDate>().swap(quotes.dates);
    }
    return kImportOk;
}

ImportResult CQuoteImport::CheckForward(const SecurityRecord& held, const SecurityQuotes& quotes,
                                        const CCalendar& days) {
    const auto extra = static_cast<std::size_t>(days.Count() - 1 - days.PositionOf(held.lastDate));
    if (held.prices.count + extra > kMaxRecords)
        return Fail(kImportTooLarge, quotes.file, 0, "the series would exceed 65535 days");
    if (quotes.hundredths && !(held.listingFlags & kListingHundredths) &&
        kLargestPrices[held.prices.elementType](held.prices.data.get(), held.prices.count) >
            kMaxStoredPrice / 100)
        return Fail(kImportTooLarge, quotes.file, 0,
                    "its prices gain decimals but are too large to store in hundredths");
    return kImportOk;
}

// Stores a continued security in hundredths when its new rows need them, so that the merge
// can append to it.
ImportResult CQuoteImport::BringForward(SecurityRecord& held, const SecurityQuotes& quotes,
                                        const CCalendar& days) {
    if (held.lastDate != *days.Last()) {
        Note(SecurityName(quotes.key) + ": its quotes resumed after " + FormatDate(held.lastDate) +
             "; days without a row were filled as days without "
             "trading");
        ++report_.staleSecurities;
    }
    if (quotes.hundredths && !(held.listingFlags & kListingHundredths)) {
        const std::uint64_t largest =
            kLargestPrices[held.prices.elementType](held.prices.data.get(), held.prices.count);
        if (largest > kMaxStoredPrice / 100)
            return Fail(kImportTooLarge, quotes.file, 0,
                        "its prices gain decimals but are too large to store in hundredths");
        TypedArray prices;
        prices.elementType = static_cast<std::uint16_t>(NarrowestPriceType(largest * 100));
        prices.attribute = held.prices.attribute;
        prices.count = held.prices.count;
        prices.data = AllocateZeroed(prices.ByteSize());
        if (!prices.data)
            return Fail(kImportNoMemory, quotes.file, 0, "out of memory");
        kScalers[held.prices.elementType * 3 + prices.elementType](
            held.prices.data.get(), held.prices.count, 100, prices.data.get());
        held.prices = std::move(prices);
        held.listingFlags |= kListingHundredths;
        Note(SecurityName(quotes.key) + ": its new prices have decimals; it is now stored in "
                                        "hundredths");
    }
    return kImportOk;
}

std::vector<PackedDate> DaysOf(const std::vector<std::uint8_t>& seen) {
    std::vector<PackedDate> days;
    for (std::size_t date = 0; date < seen.size(); ++date)
        if (seen[date])
            days.push_back(static_cast<PackedDate>(date));
    return days;
}

ImportResult CQuoteImport::Import(CMarketMatrix& matrix) {
    matrix.Clear();
    Progress(QuoteImportProgress::Step::ReadLists, options_.securitiesList);
    if (const ImportResult result = ReadSecuritiesList(); result != kImportOk)
        return result;
    if (const ImportResult result = ReadAdjustmentsList(); result != kImportOk)
        return result;
    if (const ImportResult result = ReadAllQuotes(nullptr); result != kImportOk)
        return result;
    if (quotes_.empty())
        return Fail(kImportNoQuotes, options_.securitiesList, 0,
                    "not one quotes row was read for the listed securities");
    if (quotes_.size() > kMaxRecords)
        return Fail(kImportTooLarge, options_.securitiesList, 0,
                    "more than 65535 securities have quotes");

    std::vector<std::uint8_t> seen(0x10000, 0);
    for (const SecurityQuotes& quotes : quotes_)
        for (PackedDate date : quotes.dates)
            seen[date] = 1;
    const std::vector<PackedDate> days = DaysOf(seen);
    if (days.size() > CCalendar::kMaxKeys)
        return Fail(kImportTooLarge, options_.securitiesList, 0,
                    "the quotes span more than 65534 trading days");
    for (PackedDate day : days)
        matrix.AddTradingDay(day);
    if (matrix.DailyCalendar().Count() != days.size())
        return Fail(kImportNoMemory, options_.securitiesList, 0, "out of memory");
    matrix.RebuildPeriodCalendars();
    Progress(QuoteImportProgress::Step::Build, {});
    if (const ImportResult result = BuildRecords(matrix, days, nullptr); result != kImportOk)
        return result;

    report_.securities = matrix.Securities().size();
    report_.companies = matrix.Companies().size();
    report_.unquotedSecurities = listed_.size() - report_.securities;
    NameUnquoted();
    report_.days = static_cast<std::uint16_t>(days.size());
    report_.firstDay = days.front();
    report_.lastDay = days.back();
    return kImportOk;
}

ImportResult CQuoteImport::Append(CMarketMatrix& matrix) {
    if (matrix.DailyCalendar().Empty())
        return Fail(kImportRestoreFailed, options_.securitiesList, 0,
                    "the matrix holds no trading day to append to");
    if (matrix.ProjectedDays() != 0)
        return Fail(kImportMergeFailed, options_.securitiesList, 0,
                    "the matrix holds forecast days; remove them before appending");
    const PackedDate lastDay = *matrix.DailyCalendar().Last();
    Progress(QuoteImportProgress::Step::ReadLists, options_.securitiesList);
    if (const ImportResult result = ReadSecuritiesList(); result != kImportOk)
        return result;
    if (const ImportResult result = ReadAdjustmentsList(); result != kImportOk)
        return result;
    if (const ImportResult result = ReadAllQuotes(&matrix); result != kImportOk)
        return result;

    std::vector<std::uint8_t> seen(0x10000, 0);
    std::size_t newDays = 0;
    for (const SecurityQuotes& quotes : quotes_)
        for (PackedDate date : quotes.dates)
            if (date > lastDay && !seen[date]) {
                seen[date] = 1;
                ++newDays;
            }
    // Without new days there may still be rows for days an earlier append found none for.
    if (newDays == 0 && quotes_.empty()) {
        report_.error = "nothing to append: no row is dated after " + FormatDate(lastDay);
        return kImportNothingNew;
    }
    const CCalendar& held = matrix.DailyCalendar();
    if (held.Count() + newDays > CCalendar::kMaxKeys)
        return Fail(kImportTooLarge, options_.securitiesList, 0,
                    "the matrix would hold more than 65534 trading days");
    const std::vector<PackedDate> added = DaysOf(seen);
    std::vector<PackedDate> days(held.Data(), held.Data() + held.Count());
    days.insert(days.end(), added.begin(), added.end());

    CMarketMatrix update;
    update.AssignCalendar(matrix.DailyCalendar());
    for (PackedDate day : added)
        update.AddTradingDay(day);
    if (update.DailyCalendar().Count() != days.size())
        return Fail(kImportNoMemory, options_.securitiesList, 0, "out of memory");
    update.RebuildPeriodCalendars();
    Progress(QuoteImportProgress::Step::Build, {});
    if (const ImportResult result = BuildRecords(update, days, &matrix); result != kImportOk)
        return result;
    if (update.Securities().empty())
        return Fail(kImportNoQuotes, options_.securitiesList, 0, "no security has new rows");

    // The merge replaces a company's markets with the update's; the update holds only the
    // securities with new rows.
    for (auto& [code, company] : update.Companies())
        if (const CompanyRecord* known = matrix.FindCompany(code))
            company.markets |= known->markets;
    // Everything that can refuse the append is checked before the matrix changes.
    Progress(QuoteImportProgress::Step::Merge, {});
    for (const SecurityQuotes& quotes : quotes_)
        if (quotes.continues)
            if (const ImportResult result =
                    CheckForward(*matrix.FindSecurity(quotes.key), quotes, matrix.DailyCalendar()); result != kImportOk)
                return result;
    std::size_t continued = 0;
    for (const SecurityQuotes& quotes : quotes_) {
        if (!quotes.continues)
            continue;
        ++continued;
        if (const ImportResult result =
                BringForward(*matrix.FindSecurity(quotes.key), quotes, matrix.DailyCalendar()); result != kImportOk)
            return result;
    }

    // A security that had no row in an earlier append resumes on the day after its own last
    // day; the update merge only continues securities that reached the last day, and only
    // adds those that reach a new day.
    for (const SecurityQuotes& quotes : quotes_) {
        if (!quotes.continues) {
            const auto fresh = update.Securities().find(quotes.key);
            if (fresh != update.Securities().end() && fresh->second.lastDate <= lastDay &&
                MoveSecurity(matrix, update, fresh) != kMergeOk)
                return Fail(kImportMergeFailed, quotes.file, 0, "it could not be added");
            continue;
        }
        if (quotes.resumesAfter == lastDay)
            continue;
        SecurityRecord* held = matrix.FindSecurity(quotes.key);
        SecurityRecord* fresh = update.FindSecurity(quotes.key);
        if (held == nullptr || fresh == nullptr ||
            !MergeSecurity(fresh->prices.count, *fresh, *held))
            return Fail(kImportMergeFailed, quotes.file, 0, "its new rows could not be merged");
    }
    const MergeResult merged =
        added.empty() ? kMergeOk : MergeUpdate(nullptr, nullptr, matrix, update);
    if (merged != kMergeOk)
        return Fail(kImportMergeFailed, options_.securitiesList, 0,
                    "the update merge failed: " + std::string(Describe(merged)));
    report_.securities = continued;
    report_.newSecurities = quotes_.size() - continued;
    report_.unquotedSecurities = listed_.size() - quotes_.size();
    NameUnquoted();
    report_.days = static_cast<std::uint16_t>(added.size());
    report_.firstDay = added.empty() ? kNoDate : added.front();
    report_.lastDay = added.empty() ? kNoDate : added.back();
    return kImportOk;
}

} // namespace

std::string_view Describe(ImportResult result) {
    switch (result) {
    case ImportResult::Ok:
        return "imported";
    case ImportResult::CannotRead:
        return "a file or folder could not be read";
    case ImportResult::Undecodable:
        return "a file is neither UTF-8 nor cp932";
    case ImportResult::BadHeader:
        return "a quotes file's header lacks or repeats a column";
    case ImportResult::BadRow:
        return "a row is not valid";
    case ImportResult::UnknownSecurity:
        return "a quotes file names a security the securities list lacks, or one twice";
    case ImportResult::TooLarge:
        return "more days, companies or securities than a content file holds";
    case ImportResult::NoQuotes:
        return "no quotes row could be taken";
    case ImportResult::NothingNew:
        return "no row after the content file's last day";
    case ImportResult::NoMemory:
        return "out of memory";
    case ImportResult::RestoreFailed:
        return "the content file could not be restored";
    case ImportResult::MergeFailed:
        return "the new rows could not be merged";
    case ImportResult::WriteFailed:
        return "the content file could not be written";
    case ImportResult::OutputIsInput:
        return "the content file is also an input";
    }
    return "unknown import result";
}

ImportResult ImportQuotes(const QuoteImportOptions& options, CMarketMatrix& matrix,
                          QuoteImportReport& report) {
    report = QuoteImportReport{};
    ImportResult result = kImportNoMemory;
    try {
        result = CQuoteImport(options, report).Import(matrix);
    } catch (const std::bad_alloc&) {
        report.error = "out of memory";
    }
    if (result != kImportOk)
        matrix.Clear();
    return result;
}

ImportResult AppendQuotes(const QuoteImportOptions& options, CMarketMatrix& matrix,
                          QuoteImportReport& report) {
    report = QuoteImportReport{};
    try {
        return CQuoteImport(options, report).Append(matrix);
    } catch (const std::bad_alloc&) {
        report.error = "out of memory";
        return kImportNoMemory;
    }
}

namespace {

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

// The input `target` would overwrite, or empty. A quotes directory counts with every quotes
// file it holds, including one that does not exist yet but would be read next time.
std::string InputAt(const QuoteImportOptions& options, const fs::path& target) {
    if (SameFile(options.securitiesList, target))
        return options.securitiesList.string();
    if (!options.adjustmentsList.empty() && SameFile(options.adjustmentsList, target))
        return options.adjustmentsList.string();
    std::error_code error;
    for (const fs::path& source : options.quotes) {
        if (SameFile(source, target))
            return source.string();
        fs::path folder = target.parent_path();
        if (folder.empty())
            folder = ".";
        if (fs::is_directory(source, error) && SameFile(source, folder) &&
            HasQuotesExtension(target))
            return (source / target.filename()).string();
    }
    return {};
}

ImportResult RefuseInputAsOutput(const QuoteImportOptions& options, const fs::path& target,
                                 QuoteImportReport& report) {
    const std::string input = InputAt(options, target);
    if (input.empty())
        return kImportOk;
    report = QuoteImportReport{};
    report.error = target.string() + ": is also an input (" + input +
                   "); the content file must be written elsewhere";
    return kImportOutputIsInput;
}

ImportResult WriteResult(MatrixResult written, const fs::path& file, QuoteImportReport& report) {
    if (written == kMatrixOk)
        return kImportOk;
    report.error = written == kMatrixInUse ? DescribeWriterLock(WriterLockResult::InUse, file)
                                           : file.string() + ": " + std::string(Describe(written));
    return kImportWriteFailed;
}

} // namespace

ImportResult ImportQuotesToFile(const QuoteImportOptions& options, const fs::path& out,
                                QuoteImportReport& report) {
    if (const ImportResult refused = RefuseInputAsOutput(options, out, report); refused != kImportOk)
        return refused;
    CMarketMatrix matrix;
    if (const ImportResult result = ImportQuotes(options, matrix, report); result != kImportOk)
        return result;
    if (options.progress)
        options.progress(QuoteImportProgress{QuoteImportProgress::Step::Write, 0, 0, out});
    return WriteResult(GenerateMatrix(matrix, out, nullptr, nullptr), out, report);
}

ImportResult AppendQuotesToFile(const QuoteImportOptions& options, const fs::path& file,
                                QuoteImportReport& report) {
    if (const ImportResult refused = RefuseInputAsOutput(options, file, report); refused != kImportOk)
        return refused;
    // The lock spans the restore and the write: rows another append adds meanwhile would be
    // lost otherwise.
    CWriterLock lock;
    if (const WriterLockResult locked = lock.Acquire(file); locked != WriterLockResult::Ok) {
        report = QuoteImportReport{};
        report.error = DescribeWriterLock(locked, file);
        return locked == WriterLockResult::InUse ? kImportWriteFailed : kImportRestoreFailed;
    }
    if (options.progress)
        options.progress(QuoteImportProgress{QuoteImportProgress::Step::Restore, 0, 0, file});
    CMarketMatrix matrix;
    MatrixFailure failure;
    const MatrixResult restored = RestoreMatrix(matrix, file, nullptr, nullptr, &failure);
    if (restored != kMatrixOk) {
        report = QuoteImportReport{};
        report.error = file.string() + ": " + DescribeFailure(failure);
        return kImportRestoreFailed;
    }
    if (const ImportResult result = AppendQuotes(options, matrix, report); result != kImportOk)
        return result;
    if (options.progress)
        options.progress(QuoteImportProgress{QuoteImportProgress::Step::Write, 0, 0, file});
    return WriteResult(GenerateMatrix(matrix, file, nullptr, nullptr), file, report);
}

} // namespace vorn
