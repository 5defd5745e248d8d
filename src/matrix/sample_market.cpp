#include "matrix/sample_market.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "matrix/exchange_tick.h"
#include "foundation/calendar_math.h"
#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

// ---------------------------------------------------------------------------------------------
// Arithmetic with the same bits everywhere. The C library's exp and log may differ in their
// last bit between versions, which would change a rounded price somewhere and break byte-exact
// reproducibility; these use only IEEE-exact operations (and frexp, which is exact).

double Exp(double x) {
    x = std::clamp(x, -30.0, 30.0);
    double y = 1.0 + x / 1024.0;
    for (int i = 0; i < 10; ++i)
        y *= y;
    return y;
}

double Log(double x) {
    int exponent = 0;
    double m = std::frexp(x, &exponent);
    if (m < 0.70710678118654752) {
        m *= 2.0;
        --exponent;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double term = s;
    double sum = 0.0;
    for (int k = 1; k < 40; k += 2) {
        sum += term / k;
        term *= s2;
    }
    return 2.0 * sum + exponent * 0.69314718055994531;
}

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// xoshiro256**, seeded through splitmix64.
class CRandom {
public:
    explicit CRandom(std::uint64_t seed) {
        for (auto& word : state_)
            word = SplitMix(seed);
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = Rotl(state_[3], 45);
        return result;
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    std::uint32_t Below(std::uint32_t n) {
        return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32);
    }
    int Between(int low, int high) { return low + static_cast<int>(Below(high - low + 1)); }
    double Between(double low, double high) { return low + (high - low) * Uniform(); }
    double LogBetween(double low, double high) { return low * Exp(Log(high / low) * Uniform()); }
    bool Chance(double p) { return Uniform() < p; }
    double Sign() { return (Next() >> 63) ? -1.0 : 1.0; }
    // Close to a standard normal: four 16-bit uniforms summed and rescaled. The tails end near
    // 3.5; the price model adds its fat tails with jumps.
    double Normal() {
        const std::uint64_t bits = Next();
        const double sum = static_cast<double>((bits & 0xFFFF) + ((bits >> 16) & 0xFFFF) +
                                               ((bits >> 32) & 0xFFFF) + (bits >> 48));
        return (sum / 65536.0 - 2.0) * 1.7320508075688772;
    }
    template <class T, std::size_t N> const T& Pick(const T (&table)[N]) {
        return table[Below(static_cast<std::uint32_t>(N))];
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::array<std::uint64_t, 4> state_{};
};

// ---------------------------------------------------------------------------------------------
// Trading calendar: weekdays without the exchange's New Year closure and a handful of fixed
// national holidays (with the Monday-after-Sunday substitute rule).

bool IsNationalHoliday(unsigned year, unsigned month, unsigned day) {
    switch (month) {
    case 1:
        return day == 1;
    case 2:
        return day == 11 || (day == 23 && year >= 2020);
    case 4:
        return day == 29;
    case 5:
        return day >= 3 && day <= 5;
    case 11:
        return day == 3 || day == 23;
    case 12:
        return day == 23 && year >= 1989 && year <= 2018;
    default:
        return false;
    }
}

bool IsExchangeClosure(unsigned month, unsigned day) {
    return (month == 12 && day == 31) || (month == 1 && day <= 3);
}

bool IsNationalHoliday(PackedDate d) {
    return IsNationalHoliday(DateYear(d), DateMonth(d), DateDay(d));
}

// A weekday after a run of holidays that began with a holiday on a Sunday.
bool IsSubstituteHoliday(PackedDate d) {
    PackedDate previous = AddDaysToPackedDate(d, -1);
    bool sundayHoliday = false;
    for (int guard = 0; guard < 7 && IsNationalHoliday(previous); ++guard) {
        sundayHoliday = sundayHoliday || WeekdayOfPackedDate(previous) == 0;
        previous = AddDaysToPackedDate(previous, -1);
    }
    return sundayHoliday;
}

bool IsTradingDay(PackedDate d, unsigned weekday) {
    if (weekday == 0 || weekday == 6)
        return false;
    if (IsExchangeClosure(DateMonth(d), DateDay(d)) || IsNationalHoliday(d))
        return false;
    return !IsSubstituteHoliday(d);
}

bool IsRealDate(PackedDate d) {
    const unsigned month = DateMonth(d);
    const unsigned day = DateDay(d);
    return DateYear(d) >= 1950 && month >= 1 && month <= 12 && day >= 1 &&
           AddDaysToPackedDate(d, 0) == d;
}

std::vector<PackedDate> TradingDays(PackedDate first, PackedDate last) {
    std::vector<PackedDate> days;
    days.reserve(static_cast<std::size_t>(DateYear(last) - DateYear(first) + 1) * 250);
    unsigned weekday = WeekdayOfPackedDate(first);
    for (PackedDate d = first; d <= last; d = AddDaysToPackedDate(d, 1)) {
        if (IsTradingDay(d, weekday))
            days.push_back(d);
        weekday = (weekday + 1) % 7;
    }
    return days;
}

// ---------------------------------------------------------------------------------------------
// Exchange ticks. All arithmetic is in minor units (hundredths of a yen) so that yen-priced and
// hundredth-priced listings share one rounding path.

constexpr std::uint64_t kMinorPerYen = 100;

// Codes 1003..9999 leave room for this many companies beside the benchmark.
constexpr std::size_t kMaxCompanies = 8997;

// Where one listing's prices may lie: multiples of both the exchange tick and the stored unit.
// The grid of each tick band is worked out once; a price then costs a short scan.
class CPriceGrid {
public:
    CPriceGrid(std::uint8_t market, std::uint8_t exponent, bool hundredths, bool index,
               std::uint64_t maxStored) {
        unitMinor_ = hundredths ? 1 : kMinorPerYen;
        for (unsigned i = 0; i < exponent; ++i)
            unitMinor_ *= 10;
        if (index) {
            bands_[0] = {0, unitMinor_, 1.0 / static_cast<double>(unitMinor_)};
            bandCount_ = 1;
        } else if (market == kMarket15) {
            SetBands(kTicksMarket15, hundredths);
        } else {
            SetBands(kTicksExchange, hundredths);
        }
        std::uint64_t capMinor = maxStored * unitMinor_;
        capMinor -= capMinor % BandAt(capMinor).gridMinor;
        capStored_ = std::max<std::uint64_t>(capMinor / unitMinor_, 1);
        perUnit_ = 1.0 / static_cast<double>(unitMinor_);
    }

    // The nearest grid price to `yen`, in stored units, never zero.
    std::uint32_t ToStored(double yen) const {
        const double minor = std::clamp(yen, 0.0, 1e12) * static_cast<double>(kMinorPerYen);
        const Band& band = BandAt(static_cast<std::uint64_t>(minor));
        std::uint64_t q = static_cast<std::uint64_t>(minor * band.perGrid + 0.5) * band.gridMinor;
        if (q == 0)
            q = band.gridMinor;
        // Rounding up across a band boundary can land on a coarser grid; boundaries are
        // multiples of the coarser tick, so one more rounding settles it.
        const std::uint64_t coarser = BandAt(q).gridMinor;
        if (coarser != band.gridMinor && q % coarser != 0)
            q = (q + coarser / 2) / coarser * coarser;
        // q is a whole multiple of the unit, far below 2^53: the quotient is exact.
        const auto stored = static_cast<std::uint64_t>(static_cast<double>(q) * perUnit_ + 0.5);
        return static_cast<std::uint32_t>(std::min(stored, capStored_));
    }

private:
    struct Band {
        std::uint64_t aboveMinor;
        std::uint64_t gridMinor;
        double perGrid; // 1 / gridMinor
    };

    template <std::size_t N> void SetBands(const TickStep (&table)[N], bool hundredths) {
        for (const TickStep& step : table) {
            std::uint64_t tick = step.tickYen * kMinorPerYen;
            // Hundredth-priced listings (funds and the like) trade in tenths of the tick.
            if (hundredths)
                tick /= 10;
            const std::uint64_t grid = std::lcm(tick, unitMinor_);
            bands_[bandCount_++] = {step.aboveYen * kMinorPerYen, grid,
                                    1.0 / static_cast<double>(grid)};
        }
    }

    const Band& BandAt(std::uint64_t minor) const {
        for (std::size_t i = 0; i + 1 < bandCount_; ++i)
            if (minor > bands_[i].aboveMinor)
                return bands_[i];
        return bands_[bandCount_ - 1];
    }

    std::array<Band, 9> bands_{};
    std::size_t bandCount_ = 0;
    std::uint64_t unitMinor_ = kMinorPerYen;
    std::uint64_t capStored_ = 0;
    double perUnit_ = 1.0;
};

// ---------------------------------------------------------------------------------------------
// Names: UTF-8 word tables, stored as cp932. Each word carries its reading, which becomes the
// company's second text.

struct Word {
    const char* text;
    const char* reading;
};

// clang-format off
constexpr Word kPrefixes[] = {
    {"日本", "ニホン"}, {"東洋", "トウヨウ"}, {"大和", "ダイワ"}, {"中央", "チュウオウ"},
    {"北陸", "ホクリク"}, {"東北", "トウホク"}, {"関西", "カンサイ"}, {"九州", "キュウシュウ"},
    {"北海道", "ホッカイドウ"}, {"新日本", "シンニホン"}, {"太平洋", "タイヘイヨウ"}, {"富士", "フジ"},
    {"朝日", "アサヒ"}, {"三光", "サンコウ"}, {"昭和", "ショウワ"}, {"大東", "ダイトウ"},
    {"協和", "キョウワ"}, {"丸和", "マルワ"}, {"山陽", "サンヨウ"}, {"東邦", "トウホウ"},
    {"日新", "ニッシン"}, {"共栄", "キョウエイ"}, {"旭", "アサヒ"}, {"明和", "メイワ"},
    {"平和", "ヘイワ"}, {"大同", "ダイドウ"}, {"高砂", "タカサゴ"}, {"第一", "ダイイチ"},
    {"双葉", "フタバ"}, {"若葉", "ワカバ"}, {"松島", "マツシマ"}, {"瀬戸内", "セトウチ"},
    {"中部", "チュウブ"}, {"南海", "ナンカイ"}, {"西部", "セイブ"}, {"東亜", "トウア"},
    {"日東", "ニットウ"}, {"千代田", "チヨダ"}, {"常盤", "トキワ"}, {"白鳥", "シラトリ"},
    {"サンライズ", "サンライズ"}, {"ミライ", "ミライ"}, {"アクト", "アクト"}, {"エール", "エール"},
    {"ノヴァ", "ノヴァ"}, {"グラン", "グラン"}, {"ファイン", "ファイン"}, {"テクノ", "テクノ"},
    {"ネクスト", "ネクスト"}, {"クレスト", "クレスト"}, {"ユニオン", "ユニオン"},
};
// clang-format on

// Two or three words a sector's companies are named with, by industry code 1..33.
constexpr Word kSectorWords[34][3] = {
    {},
    {{"水産", "スイサン"}, {"漁業", "ギョギョウ"}, {"農産", "ノウサン"}},
    {{"鉱業", "コウギョウ"}, {"石油開発", "セキユカイハツ"}, {"資源", "シゲン"}},
    {{"建設", "ケンセツ"}, {"工務店", "コウムテン"}, {"住建", "ジュウケン"}},
    {{"食品", "ショクヒン"}, {"製菓", "セイカ"}, {"醸造", "ジョウゾウ"}},
    {{"紡績", "ボウセキ"}, {"繊維", "センイ"}, {"織物", "オリモノ"}},
    {{"製紙", "セイシ"}, {"紙業", "シギョウ"}, {"パルプ", "パルプ"}},
    {{"化学", "カガク"}, {"化成", "カセイ"}, {"塗料", "トリョウ"}},
    {{"製薬", "セイヤク"}, {"薬品", "ヤクヒン"}, {"メディカル", "メディカル"}},
    {{"石油", "セキユ"}, {"石炭", "セキタン"}, {"エナジー", "エナジー"}},
    {{"ゴム", "ゴム"}, {"護謨", "ゴム"}, {"タイヤ", "タイヤ"}},
    {{"窯業", "ヨウギョウ"}, {"硝子", "ガラス"}, {"セメント", "セメント"}},
    {{"製鋼", "セイコウ"}, {"鉄鋼", "テッコウ"}, {"製鉄", "セイテツ"}},
    {{"金属", "キンゾク"}, {"伸銅", "シンドウ"}, {"精錬", "セイレン"}},
    {{"製作所", "セイサクショ"}, {"金属工業", "キンゾクコウギョウ"}, {"鋼業", "コウギョウ"}},
    {{"機械", "キカイ"}, {"重工", "ジュウコウ"}, {"精機", "セイキ"}},
    {{"電機", "デンキ"}, {"電子", "デンシ"}, {"通信機", "ツウシンキ"}},
    {{"自動車", "ジドウシャ"}, {"車体", "シャタイ"}, {"造船", "ゾウセン"}},
    {{"精密", "セイミツ"}, {"光学", "コウガク"}, {"計器", "ケイキ"}},
    {{"工芸", "コウゲイ"}, {"楽器", "ガッキ"}, {"化粧品", "ケショウヒン"}},
    {{"電力", "デンリョク"}, {"瓦斯", "ガス"}, {"エネルギー", "エネルギー"}},
    {{"鉄道", "テツドウ"}, {"運輸", "ウンユ"}, {"急行", "キュウコウ"}},
    {{"海運", "カイウン"}, {"汽船", "キセン"}, {"船舶", "センパク"}},
    {{"航空", "コウクウ"}, {"エアライン", "エアライン"}, {"空輸", "クウユ"}},
    {{"倉庫", "ソウコ"}, {"物流", "ブツリュウ"}, {"運送", "ウンソウ"}},
    {{"通信", "ツウシン"}, {"システム", "システム"}, {"ソフト", "ソフト"}},
    {{"商事", "ショウジ"}, {"物産", "ブッサン"}, {"通商", "ツウショウ"}},
    {{"百貨店", "ヒャッカテン"}, {"ストア", "ストア"}, {"商店", "ショウテン"}},
    {{"銀行", "ギンコウ"}, {"銀行", "ギンコウ"}, {"信用金庫", "シンヨウキンコ"}},
    {{"證券", "ショウケン"}, {"証券", "ショウケン"}, {"先物", "サキモノ"}},
    {{"生命", "セイメイ"}, {"火災", "カサイ"}, {"損保", "ソンポ"}},
    {{"信販", "シンパン"}, {"リース", "リース"}, {"ファイナンス", "ファイナンス"}},
    {{"不動産", "フドウサン"}, {"地所", "ジショ"}, {"土地", "トチ"}},
    {{"サービス", "サービス"}, {"企画", "キカク"}, {"人材", "ジンザイ"}},
};

// Companies per sector in a market of a few thousand, by industry code 1..33.
constexpr int kSectorWeights[34] = {0,  12,  7,   170, 130, 55,  25, 210, 65,  12, 20, 60,
                                    50, 35,  95,  230, 270, 100, 50, 110, 25,  65, 15, 5,
                                    40, 450, 330, 350, 90,  40,  15, 35,  130, 430};

// Companies whose main listing is on each market 1..15.
constexpr int kMarketWeights[16] = {0,  1700, 450, 200, 50, 200, 100, 60,
                                    30, 90,   30,  20,  10, 30,  15,  900};

// Markets a company of a given main market may also be listed on.
struct Companions {
    std::uint8_t count;
    std::uint8_t markets[4];
};
constexpr Companions kCompanions[16] = {{0, {}},     {4, {4, 8, 11, 13}},
                                        {2, {5, 9}}, {0, {}},
                                        {2, {1, 8}}, {1, {2}},
                                        {0, {}},     {0, {}},
                                        {2, {1, 4}}, {2, {2, 5}},
                                        {0, {}},     {1, {1}},
                                        {0, {}},     {1, {1}},
                                        {0, {}},     {0, {}}};

bool IsEmergingMarket(std::uint8_t market) {
    switch (market) {
    case 3:
    case 6:
    case 7:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
        return true;
    default:
        return false;
    }
}

bool IsFirstSection(std::uint8_t market) {
    return market == 1 || market == 2 || market == 4 || market == 5 || market == 8;
}

// ---------------------------------------------------------------------------------------------
// Plans: everything about a company decided before its prices are drawn.

enum class PriceStyle : std::uint8_t {
    Common,     // yen, exponent 0, mostly four u16
    Small,      // yen with exponent 1 or 2, small enough for four u8
    HighPriced, // exponent 1
    VeryHigh,   // exponent 0, beyond u16
    Thousands,  // exponent 3
    Hundredths, // stored in hundredths of a yen
};

struct ListingPlan {
    std::uint8_t market = 0;
    int first = 0;
    int last = 0; // calendar positions, inclusive
    double volumeShare = 1.0;
    double zeroVolumeChance = 0.0;
    std::uint8_t tradingUnit = 1; // mantissa | power << 5
    std::uint32_t unitShares = 1;
    std::uint8_t volumeExponent = 0;
    std::uint8_t flags = 0;
    bool thin = false; // lots held under 256 so one byte holds the volume
    int widenPrices = 0;
    int widenVolumes = 0;
};

struct SplitPlan {
    int position = 0; // first trading day on the new basis
    double ratio = 2.0;
    std::uint8_t kind = 2;    // 2 "株式分割"; 0 "調整" for consolidations
    bool datedBefore = false; // the entry carries the non-trading day before that position
};

struct CompanyPlan {
    std::uint16_t code = 0;
    std::uint8_t industry = 0;
    PriceStyle style = PriceStyle::Common;
    std::uint8_t priceExponent = 0;
    int listingCount = 1;
    std::array<ListingPlan, 3> listings{};
    int first = 0;
    int last = 0;
    std::vector<SplitPlan> splits;
    bool forceSplit = false;         // a 2-for-1 split dated on a trading day
    bool forceOddDatedSplit = false; // a split dated on the closed day before its first day
    bool widenHistory = false;
    std::uint64_t seed = 0;
};

std::uint8_t DrawMainMarket(CRandom& random) {
    int total = 0;
    for (int w : kMarketWeights)
        total += w;
    int pick = static_cast<int>(random.Below(static_cast<std::uint32_t>(total)));
    for (std::uint8_t m = 1; m <= 15; ++m) {
        pick -= kMarketWeights[m];
        if (pick < 0)
            return m;
    }
    return 1;
}

void ChooseMarkets(CompanyPlan& plan, std::uint8_t main, int wanted, CRandom& random) {
    const Companions& companions = kCompanions[main];
    plan.listings[0].market = main;
    int count = 1;
    std::array<std::uint8_t, 4> pool{};
    std::copy_n(companions.markets, companions.count, pool.begin());
    int left = companions.count;
    while (count < wanted && left > 0) {
        const int at = static_cast<int>(random.Below(static_cast<std::uint32_t>(left)));
        plan.listings[count++].market = pool[at];
        pool[at] = pool[--left];
    }
    plan.listingCount = count;
}

// Industries follow the code order, as the real code ranges do; every sector gets a company
// once there are enough of them.
std::vector<std::uint8_t> SectorsByOrdinal(int companies) {
    std::vector<std::uint8_t> sectors(static_cast<std::size_t>(companies));
    if (companies < 33) {
        for (int i = 0; i < companies; ++i)
            sectors[i] = static_cast<std::uint8_t>(1 + i * 33 / companies);
        return sectors;
    }
    int weightSum = 0;
    for (int s = 1; s <= 33; ++s)
        weightSum += kSectorWeights[s];
    std::array<int, 34> counts{};
    int assigned = 0;
    for (int s = 1; s <= 33; ++s) {
        counts[s] = 1 + (companies - 33) * kSectorWeights[s] / weightSum;
        assigned += counts[s];
    }
    for (int s = 1; assigned < companies; s = s % 33 + 1) {
        ++counts[s];
        ++assigned;
    }
    std::size_t at = 0;
    for (int s = 1; s <= 33; ++s)
        for (int i = 0; i < counts[s]; ++i)
            sectors[at++] = static_cast<std::uint8_t>(s);
    return sectors;
}

void PlanVolumes(ListingPlan& listing, PriceStyle style, bool secondary, CRandom& random) {
    struct Unit {
        std::uint8_t mantissa;
        std::uint8_t power;
    };
    Unit unit{1, 3};
    switch (style) {
    case PriceStyle::HighPriced:
    case PriceStyle::VeryHigh:
    case PriceStyle::Thousands:
        unit = random.Chance(0.8) ? Unit{1, 0} : Unit{1, 1};
        break;
    case PriceStyle::Hundredths:
        unit = random.Chance(0.5) ? Unit{1, 1} : Unit{1, 2};
        break;
    default: {
        const double u = random.Uniform();
        unit = u < 0.55 ? Unit{1, 3} : u < 0.9 ? Unit{1, 2} : u < 0.95 ? Unit{5, 2} : Unit{5, 1};
    }
    }
    listing.tradingUnit = static_cast<std::uint8_t>(unit.mantissa | (unit.power << 5));
    listing.unitShares = unit.mantissa;
    for (int i = 0; i < unit.power; ++i)
        listing.unitShares *= 10;
    // Volumes are often kept in lots: the exponent never exceeds the unit's power of ten, so
    // stored volumes stay whole numbers.
    listing.volumeExponent =
        random.Chance(0.5) ? unit.power : static_cast<std::uint8_t>(random.Below(unit.power + 1));
    listing.zeroVolumeChance =
        IsEmergingMarket(listing.market) ? random.Between(0.01, 0.08) : random.Between(0.0, 0.004);
    if (secondary)
        listing.zeroVolumeChance = random.Between(0.03, 0.35);
    listing.widenVolumes = random.Chance(0.04) ? 1 : 0;
    listing.widenPrices = random.Chance(0.04) ? 1 : 0;
}

void MakeThin(ListingPlan& listing, CRandom& random) {
    listing.thin = true;
    listing.tradingUnit = 1 | (3 << 5);
    listing.unitShares = 1000;
    listing.volumeExponent = 3;
    listing.zeroVolumeChance = random.Between(0.1, 0.3);
}

// The first position at or after `from` whose previous calendar day is not a trading day
// (a Monday, or the day after a holiday); -1 when none is left before `to`.
int PositionAfterClosedDay(const std::vector<PackedDate>& days, int from, int to) {
    for (int p = std::max(from, 1); p <= to; ++p)
        if (AddDaysToPackedDate(days[p], -1) != days[p - 1])
            return p;
    return -1;
}

void PlanSplits(CompanyPlan& plan, const std::vector<PackedDate>& days, CRandom& random) {
    if (plan.style == PriceStyle::Small)
        return;
    static constexpr double kRatios[] = {2.0, 2.0, 2.0, 1.5, 1.1, 1.2, 3.0, 5.0, 10.0};
    int wanted = random.Chance(0.08) ? (random.Chance(0.2) ? 2 : 1) : 0;
    if (plan.forceSplit || plan.forceOddDatedSplit)
        wanted = std::max(wanted, 1);
    const int from = plan.first + 10;
    if (from >= plan.last)
        return;
    for (int i = 0; i < wanted; ++i) {
        SplitPlan split;
        split.position = random.Between(from, plan.last);
        split.ratio = random.Pick(kRatios);
        const bool plain = plan.forceSplit && i == 0;
        const bool odd = (plan.forceOddDatedSplit && i == 0) || (!plain && random.Chance(0.15));
        if (plain) {
            split.ratio = 2.0;
        } else if (plan.style == PriceStyle::Common && random.Chance(0.08)) {
            split.ratio = random.Chance(0.5) ? 0.1 : 0.2;
            split.kind = 0;
        }
        if (odd) {
            int p = PositionAfterClosedDay(days, split.position, plan.last);
            if (p < 0)
                p = PositionAfterClosedDay(days, from, plan.last);
            if (p >= 0) {
                split.position = p;
                split.datedBefore = true;
            }
        } else if (plain) {
            // The day before must be a trading day as well.
            while (split.position > from &&
                   AddDaysToPackedDate(days[split.position], -1) != days[split.position - 1])
                --split.position;
        }
        bool clash = false;
        for (const SplitPlan& other : plan.splits)
            clash = clash || std::abs(other.position - split.position) < 20;
        if (!clash)
            plan.splits.push_back(split);
    }
    std::sort(plan.splits.begin(), plan.splits.end(),
              [](const SplitPlan& a, const SplitPlan& b) { return a.position < b.position; });
}

// Companies listed since 2024 get codes with a letter. A few listed on or after that year's
// first trading day take the codes the exchange gave out first, in the order they were
// listed: 130A, 131A, 132A (the low range security keys hold). When the market
// has too few such companies (but reaches far enough into 2024), ordinary ones are listed
// later to make up the number. `special` marks the ordinals that hold the special cases.
void GiveLetterCodes(std::vector<CompanyPlan>& plans, const std::vector<PackedDate>& days,
                     const std::function<bool(int)>& special) {
    constexpr int kLetterCompanies = 3;
    constexpr int kRoomAfterListing = 60; // trading days a late company keeps at least
    const int companies = static_cast<int>(plans.size());
    const int wanted = std::min(kLetterCompanies, companies / 8);
    const int n = static_cast<int>(days.size());
    const auto from2024 = std::lower_bound(days.begin(), days.end(), MakePackedDate(2024, 1, 1));
    if (wanted <= 0 || from2024 == days.end())
        return;
    const int first2024 = static_cast<int>(from2024 - days.begin());
    auto eligible = [&](int i) {
        return !special(i) && plans[i].last >= plans[i].first + kRoomAfterListing;
    };
    std::vector<int> chosen;
    for (int i = 0; i < companies; ++i)
        if (eligible(i) && plans[i].first >= first2024)
            chosen.push_back(i);
    if (static_cast<int>(chosen.size()) >= wanted) {
        std::vector<int> spread;
        for (int j = 0; j < wanted; ++j)
            spread.push_back(chosen[((2 * j + 1) * chosen.size()) / (2 * wanted)]);
        chosen = std::move(spread);
    } else if (n - first2024 > kRoomAfterListing + 20) {
        // The last companies in code order are listed a little after the year's first day.
        for (int i = companies - 1; static_cast<int>(chosen.size()) < wanted && i >= 0; --i) {
            if (!eligible(i) || plans[i].first >= first2024 ||
                plans[i].last < first2024 + kRoomAfterListing + 20)
                continue;
            CompanyPlan& plan = plans[i];
            plan.first = first2024 + (i % 20);
            for (int k = 0; k < plan.listingCount; ++k)
                plan.listings[k].first = std::max(plan.listings[k].first, plan.first);
            chosen.push_back(i);
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [&](int a, int b) { return plans[a].first < plans[b].first; });
    for (std::size_t j = 0; j < chosen.size(); ++j) {
        const std::string written = std::to_string(130 + j) + "A";
        if (const std::optional<std::uint16_t> code = ParseStockCode(written))
            plans[chosen[j]].code = *code;
    }
}

// Lays out every company: markets, codes, industries, price style, listing spans, volumes and
// splits. Enough special cases are placed at fixed ordinals that even a small market holds
// every kind of record.
std::vector<CompanyPlan> PlanCompanies(int listingsWanted, const std::vector<PackedDate>& days,
                                       CRandom& random) {
    std::vector<CompanyPlan> plans;
    plans.reserve(static_cast<std::size_t>(listingsWanted));
    int listings = 0;
    while (listings < listingsWanted) {
        CompanyPlan plan;
        const int left = listingsWanted - listings;
        std::uint8_t main = DrawMainMarket(random);
        int wanted = 1;
        if (random.Chance(0.2))
            wanted = random.Chance(0.25) ? 3 : 2;
        if (plans.size() < 2) {
            main = 1;
            wanted = plans.empty() ? 3 : 2;
        }
        ChooseMarkets(plan, main, std::min(wanted, left), random);
        listings += plan.listingCount;
        plans.push_back(std::move(plan));
    }

    const int companies = static_cast<int>(plans.size());
    const int n = static_cast<int>(days.size());
    const std::vector<std::uint8_t> sectors = SectorsByOrdinal(companies);
    const int firstCode = companies <= 8700 ? 1300 : 1003;
    const int span = 10000 - firstCode;

    // Special cases, spread over the code range.
    enum Special {
        kSmallHundred,
        kSmallTen,
        kHundredths,
        kVeryHigh,
        kThousands,
        kHighPriced,
        kThin,
        kWideVolume,
        kSplit,
        kOddSplit,
        kDelisted,
        kLate,
        kMargin,
        kWidePrices,
        kWideHistory,
        kSpecialCount
    };
    std::array<int, kSpecialCount> specialAt{};
    for (int j = 0; j < kSpecialCount; ++j)
        specialAt[j] =
            companies >= kSpecialCount ? ((2 * j + 1) * companies) / (2 * kSpecialCount) : -1;
    auto special = [&](int ordinal, Special s) { return specialAt[s] == ordinal; };

    for (int i = 0; i < companies; ++i) {
        CompanyPlan& plan = plans[i];
        const int low = (i * span) / companies;
        const int high = ((i + 1) * span) / companies;
        plan.code = static_cast<std::uint16_t>(
            firstCode + low + static_cast<int>(random.Below(std::max(1, high - low))));
        plan.industry = sectors[i];
        plan.seed = random.Next();

        const double u = random.Uniform();
        plan.style = u < 0.78   ? PriceStyle::Common
                     : u < 0.83 ? PriceStyle::Small
                     : u < 0.89 ? PriceStyle::HighPriced
                     : u < 0.92 ? PriceStyle::VeryHigh
                     : u < 0.95 ? PriceStyle::Thousands
                                : PriceStyle::Hundredths;
        if (special(i, kSmallHundred) || special(i, kSmallTen))
            plan.style = PriceStyle::Small;
        if (special(i, kHundredths))
            plan.style = PriceStyle::Hundredths;
        if (special(i, kVeryHigh))
            plan.style = PriceStyle::VeryHigh;
        if (special(i, kThousands))
            plan.style = PriceStyle::Thousands;
        if (special(i, kHighPriced))
            plan.style = PriceStyle::HighPriced;
        if (special(i, kSplit) || special(i, kOddSplit) || special(i, kWidePrices))
            plan.style = PriceStyle::Common;
        switch (plan.style) {
        case PriceStyle::Small:
            plan.priceExponent = special(i, kSmallTen)       ? 1
                                 : special(i, kSmallHundred) ? 2
                                 : random.Chance(0.5)        ? 2
                                                             : 1;
            break;
        case PriceStyle::HighPriced:
            plan.priceExponent = 1;
            break;
        case PriceStyle::Thousands:
            plan.priceExponent = 3;
            break;
        default:
            plan.priceExponent = 0;
            break;
        }

        plan.first = 0;
        plan.last = n - 1;
        if (random.Chance(0.12) || special(i, kLate))
            plan.first = random.Between(1, std::max(1, n - 60));
        if (random.Chance(0.04) || special(i, kDelisted))
            plan.last = random.Between(std::min(plan.first + 40, n - 2), n - 2);

        const int dominant = plan.listingCount > 1 && random.Chance(0.3)
                                 ? 1 + static_cast<int>(random.Below(
                                           static_cast<std::uint32_t>(plan.listingCount - 1)))
                                 : 0;
        for (int k = 0; k < plan.listingCount; ++k) {
            ListingPlan& listing = plan.listings[k];
            listing.first = plan.first;
            listing.last = plan.last;
            if (k > 0 && random.Chance(0.15))
                listing.first = random.Between(plan.first, std::max(plan.first, plan.last - 40));
            if (k > 0 && random.Chance(0.08))
                listing.last = random.Between(std::min(listing.first + 20, plan.last), plan.last);
            PlanVolumes(listing, plan.style, k != dominant, random);
            if (k != dominant)
                listing.volumeShare =
                    random.Chance(0.1) ? random.Between(0.6, 0.95) : random.Between(0.01, 0.3);
            if (k == dominant && IsFirstSection(listing.market) && random.Chance(0.45))
                listing.flags |= kListingMarginTradable;
            if (plan.style == PriceStyle::Hundredths)
                listing.flags |= kListingHundredths;
        }
        // Thin listings: volumes in lots that fit one byte.
        if (special(i, kThin) ||
            (plan.style == PriceStyle::Common && IsEmergingMarket(plan.listings[0].market) &&
             plan.listingCount == 1 && random.Chance(0.12)))
            MakeThin(plan.listings[0], random);
        if (special(i, kWideVolume))
            plan.listings[0].widenVolumes = 3;
        if (special(i, kWidePrices))
            plan.listings[0].widenPrices = 1;
        if (special(i, kMargin))
            plan.listings[0].flags |= kListingMarginTradable;
        plan.widenHistory = special(i, kWideHistory) || random.Chance(0.04);
        plan.forceSplit = special(i, kSplit);
        plan.forceOddDatedSplit = special(i, kOddSplit);
        PlanSplits(plan, days, random);
    }

    // Every market gets a listing: a single-listed company moves off a market that has others.
    std::array<int, 16> perMarket{};
    for (const CompanyPlan& plan : plans)
        for (int k = 0; k < plan.listingCount; ++k)
            ++perMarket[plan.listings[k].market];
    for (std::uint8_t market = 1; market <= 15 && companies > 0; ++market) {
        if (perMarket[market] > 0)
            continue;
        const int start = (market * companies) / 16;
        for (int step = 0; step < companies; ++step) {
            CompanyPlan& plan = plans[(start + step) % companies];
            const std::uint8_t current = plan.listings[0].market;
            if (plan.listingCount == 1 && perMarket[current] > 1) {
                --perMarket[current];
                ++perMarket[market];
                plan.listings[0].market = market;
                if (!IsFirstSection(market) && !special((start + step) % companies, kMargin))
                    plan.listings[0].flags &= static_cast<std::uint8_t>(~kListingMarginTradable);
                break;
            }
        }
    }
    GiveLetterCodes(plans, days, [&](int ordinal) {
        return std::find(specialAt.begin(), specialAt.end(), ordinal) != specialAt.end();
    });
    return plans;
}

// ---------------------------------------------------------------------------------------------
// Prices and volumes.

// The market's common factor, in log terms per calendar position, and the part of each day's
// move that happened overnight.
struct MarketPath {
    std::vector<double> level;
    std::vector<double> overnight;
};

MarketPath DrawMarketPath(int n, CRandom& random) {
    MarketPath path;
    path.level.resize(static_cast<std::size_t>(n));
    path.overnight.resize(static_cast<std::size_t>(n));
    constexpr double kSigma = 0.011;
    double level = 0.0;
    for (int t = 0; t < n; ++t) {
        double move = kSigma * random.Normal() + 0.0002;
        if (random.Chance(0.006))
            move += random.Sign() * random.Between(2.0, 5.0) * kSigma;
        const double next = std::clamp(level * 0.997 + move, -1.2, 1.2);
        path.overnight[t] = 0.35 * (next - level);
        path.level[t] = level = next;
    }
    return path;
}

struct ListingArrays {
    std::vector<Candle<std::uint32_t>> candles;
    std::vector<std::uint64_t> volumes;
};

std::uint16_t NarrowestPriceType(std::uint32_t largest) {
    return largest <= 0xFF ? kPricesU8 : largest <= 0xFFFF ? kPricesU16 : kPricesU32;
}

std::uint16_t NarrowestValueType(std::uint64_t largest) {
    return largest <= 0xFF          ? kValueU8
           : largest <= 0xFFFF      ? kValueU16
           : largest <= 0xFFFFFFFFu ? kValueU32
                                    : kValueU64;
}

template <class Price, class Volume>
bool StoreArrays(SecurityRecord& security, const ListingArrays& arrays, std::size_t count) {
    auto prices = AllocateZeroed(count * sizeof(Candle<Price>));
    auto volumes = AllocateZeroed(count * sizeof(Volume));
    if (!prices || !volumes)
        return false;
    auto* candles = reinterpret_cast<Candle<Price>*>(prices.get());
    auto* amounts = reinterpret_cast<Volume*>(volumes.get());
    for (std::size_t i = 0; i < count; ++i) {
        const Candle<std::uint32_t>& c = arrays.candles[i];
        candles[i] = {static_cast<Price>(c.open), static_cast<Price>(c.high),
                      static_cast<Price>(c.low), static_cast<Price>(c.close)};
        amounts[i] = static_cast<Volume>(arrays.volumes[i]);
    }
    security.prices.data = std::move(prices);
    security.volumes.data = std::move(volumes);
    return true;
}

using StoreFn = bool (*)(SecurityRecord&, const ListingArrays&, std::size_t);
template <class Price>
constexpr std::array<StoreFn, 4> kStoreByVolume = {
    &StoreArrays<Price, std::uint8_t>, &StoreArrays<Price, std::uint16_t>,
    &StoreArrays<Price, std::uint32_t>, &StoreArrays<Price, std::uint64_t>};
constexpr std::array<std::array<StoreFn, 4>, 3> kStore = {
    kStoreByVolume<std::uint8_t>, kStoreByVolume<std::uint16_t>, kStoreByVolume<std::uint32_t>};

// Copies generated arrays into the record in the narrowest element types (or wider, as asked).
bool StoreListing(SecurityRecord& security, const ListingArrays& arrays, std::size_t count,
                  std::uint8_t priceExponent, std::uint8_t volumeExponent, int widenPrices,
                  int widenVolumes) {
    std::uint32_t largestPrice = 0;
    for (std::size_t i = 0; i < count; ++i)
        largestPrice = std::max(largestPrice, arrays.candles[i].high);
    const std::uint64_t largestVolume =
        count ? *std::max_element(arrays.volumes.begin(), arrays.volumes.begin() + count) : 0;
    const auto priceType = static_cast<std::uint16_t>(
        std::min<int>(NarrowestPriceType(largestPrice) + widenPrices, kPricesU32));
    const auto volumeType = static_cast<std::uint16_t>(
        std::min<int>(NarrowestValueType(largestVolume) + widenVolumes, kValueU64));
    security.prices.elementType = priceType;
    security.prices.attribute = priceExponent;
    security.prices.count = static_cast<std::uint16_t>(count);
    security.volumes.elementType = volumeType;
    security.volumes.attribute = volumeExponent;
    security.volumes.count = static_cast<std::uint16_t>(count);
    return kStore[priceType][volumeType - kValueU8](security, arrays, count);
}

struct PriceModel {
    double base = 1000.0; // yen at latent level 0, on the newest share basis
    double low = -2.5;    // bounds of the latent level
    double high = 2.0;
    double beta = 1.0;
    double sigma = 0.02;
    double jumpChance = 0.012;
    std::uint32_t maxStored = 0xFFFFFFFFu;
};

PriceModel ModelFor(const CompanyPlan& plan, CRandom& random) {
    PriceModel model;
    model.beta = random.Between(0.4, 1.6);
    model.sigma = random.Between(0.012, 0.028);
    if (IsEmergingMarket(plan.listings[0].market) || plan.listings[0].market == kMarket15)
        model.sigma += 0.006;
    switch (plan.style) {
    case PriceStyle::Common:
        model.base = random.LogBetween(150.0, 5000.0);
        break;
    case PriceStyle::Small: {
        // Four u8 candles: at most 255 stored units, so the latent level is held in a band.
        const double unit = plan.priceExponent == 2 ? 100.0 : 10.0;
        model.base = random.LogBetween(50.0, 130.0) * unit;
        model.low = Log(15.0 * unit / model.base);
        model.high = Log(230.0 * unit / model.base);
        model.maxStored = 255;
        break;
    }
    case PriceStyle::HighPriced:
        model.base = random.LogBetween(15000.0, 200000.0);
        break;
    case PriceStyle::VeryHigh:
        model.base = random.LogBetween(150000.0, 2000000.0);
        break;
    case PriceStyle::Thousands:
        model.base = random.LogBetween(300000.0, 5000000.0);
        break;
    case PriceStyle::Hundredths:
        model.base = random.LogBetween(30.0, 3000.0);
        break;
    }
    return model;
}

// The company's latent level per calendar position over its span, and the part of each move
// that happened before the open.
struct CompanyPath {
    std::vector<double> level;
    std::vector<double> overnight;
    // exp of the level at the open and at the close, shared by all of the company's listings
    std::vector<double> openFactor;
    std::vector<double> closeFactor;

    void Resize(std::size_t n) {
        level.resize(n);
        overnight.resize(n);
        openFactor.resize(n);
        closeFactor.resize(n);
    }
};

void DrawCompanyPath(CompanyPath& path, const CompanyPlan& plan, const PriceModel& model,
                     const MarketPath& market, CRandom& random) {
    constexpr double kMeanReversion = 0.002;
    constexpr double kShareOvernight = 0.25;
    double own = random.Normal() * 0.1;
    double pending = 0.0; // part of a jump the price gives back over the next weeks
    for (int t = plan.first; t <= plan.last; ++t) {
        const double drift = model.sigma * random.Normal();
        double jump = 0.0;
        if (random.Chance(model.jumpChance))
            jump = random.Sign() * random.Between(2.5, 6.0) * model.sigma;
        const double giveBack = pending * 0.12;
        pending -= giveBack;
        own = own * (1.0 - kMeanReversion) + drift + jump + giveBack;
        pending -= 0.5 * jump;
        const double common = model.beta * market.level[t];
        const double level = std::clamp(common + own, model.low, model.high);
        own = level - common;
        const double overnight = model.beta * market.overnight[t] + kShareOvernight * drift + jump;
        const double before = t > plan.first ? path.level[t - 1] : level - overnight;
        path.level[t] = level;
        path.overnight[t] = overnight;
        path.openFactor[t] = Exp(before + overnight);
        path.closeFactor[t] = Exp(level);
    }
}

// The share-basis factor at position t: the product of the ratios of splits still to come.
double BasisAt(const std::vector<SplitPlan>& splits, int t) {
    double factor = 1.0;
    for (const SplitPlan& split : splits)
        if (split.position > t)
            factor *= split.ratio;
    return factor;
}

void DrawListing(ListingArrays& out, const ListingPlan& listing, const CompanyPlan& plan,
                 const PriceModel& model, const CompanyPath& path, const CPriceGrid& grid,
                 CRandom& random) {
    const double sigmaOpen = 0.15 * model.sigma;
    const double sigmaClose = 0.3 * model.sigma;
    const double sigmaShadow = 0.9 * model.sigma;
    const double closeYen = model.base * Exp(path.level[listing.first]);
    const double lotsBase =
        std::max(1.0, random.LogBetween(3e6, 3e9) / (closeYen * listing.unitShares));
    std::uint64_t volumeScale = listing.unitShares;
    for (unsigned i = 0; i < listing.volumeExponent; ++i)
        volumeScale /= 10;
    std::uint32_t previousClose = 0;
    std::size_t i = 0;
    for (int t = listing.first; t <= listing.last; ++t, ++i) {
        const bool traded = t == listing.first || !random.Chance(listing.zeroVolumeChance);
        if (!traded) {
            out.candles[i] = {previousClose, previousClose, previousClose, previousClose};
            out.volumes[i] = 0;
            continue;
        }
        const double scale = model.base * BasisAt(plan.splits, t);
        const double before =
            t > plan.first ? path.level[t - 1] : path.level[t] - path.overnight[t];
        const double open = scale * path.openFactor[t] * (1.0 + sigmaOpen * random.Normal());
        const double close = scale * path.closeFactor[t] * (1.0 + sigmaClose * random.Normal());
        const double high = std::max(open, close) * (1.0 + std::abs(random.Normal()) * sigmaShadow);
        const double low = std::min(open, close) / (1.0 + std::abs(random.Normal()) * sigmaShadow);
        Candle<std::uint32_t> c{grid.ToStored(open), grid.ToStored(high), grid.ToStored(low),
                                grid.ToStored(close)};
        c.high = std::max({c.high, c.open, c.close});
        c.low = std::min({c.low, c.open, c.close});
        out.candles[i] = c;
        previousClose = c.close;

        const double surprise = std::abs(path.overnight[t]) + std::abs(path.level[t] - before);
        double lots =
            lotsBase * listing.volumeShare * Exp(0.45 * random.Normal()) * (1.0 + 12.0 * surprise);
        if (listing.thin)
            lots = std::min(lots * 0.05, 250.0);
        const auto wholeLots = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(lots + 0.5));
        out.volumes[i] = wholeLots * volumeScale;
    }
}

// ---------------------------------------------------------------------------------------------
// Company records.

void NameCompany(CompanyRecord& company, const CompanyPlan& plan, CRandom& random) {
    const Word& prefix = random.Pick(kPrefixes);
    const Word& word = kSectorWords[plan.industry][random.Below(3)];
    std::string name = std::string(prefix.text) + word.text;
    std::string reading = std::string(prefix.reading) + word.reading;
    if (random.Chance(0.12)) {
        name += "ホールディングス";
        reading += "ホールディングス";
    }
    company.name = Utf8ToCp932(name);
    company.text = Utf8ToCp932(reading);
}

// Shares issued: a first entry when the company appears, then every split and the odd share
// issue. Dated values ascending, in the narrowest type that holds them.
bool WriteHistory(CompanyRecord& company, const CompanyPlan& plan, const PriceModel& model,
                  const CompanyPath& path, const std::vector<PackedDate>& days, CRandom& random) {
    const double firstPrice =
        model.base * Exp(path.level[plan.first]) * BasisAt(plan.splits, plan.first);
    const double capitalisation =
        random.Chance(0.02) ? random.LogBetween(3e12, 3e13) : random.LogBetween(2e9, 2e12);
    std::uint64_t shares = static_cast<std::uint64_t>(capitalisation / firstPrice);
    const std::uint64_t roundTo = shares >= 1000000 ? 1000 : 10;
    shares = std::max<std::uint64_t>(roundTo, shares / roundTo * roundTo);

    std::vector<std::pair<PackedDate, std::uint64_t>> entries;
    entries.push_back({days[plan.first], shares});
    const int issueAt = random.Chance(0.25)
                            ? random.Between(plan.first + 1, std::max(plan.first + 1, plan.last))
                            : -1;
    for (int t = plan.first + 1; t <= plan.last; ++t) {
        bool changed = false;
        PackedDate dated = days[t];
        for (const SplitPlan& split : plan.splits) {
            if (split.position != t)
                continue;
            shares = static_cast<std::uint64_t>(static_cast<double>(shares) * split.ratio + 0.5);
            if (split.datedBefore)
                dated = AddDaysToPackedDate(days[t], -1);
            changed = true;
        }
        if (t == issueAt) {
            shares = shares + shares / 100 * static_cast<std::uint64_t>(random.Between(5, 30));
            changed = true;
        }
        if (changed)
            entries.push_back({dated, shares});
    }
    std::uint64_t largest = 0;
    for (const auto& entry : entries)
        largest = std::max(largest, entry.second);
    const auto type = static_cast<std::uint16_t>(
        std::min<int>(NarrowestValueType(largest) + (plan.widenHistory ? 1 : 0), kValueU64));
    TypedArray& history = company.history;
    history.elementType = type;
    history.attribute = 0;
    history.count = static_cast<std::uint16_t>(entries.size());
    history.data = AllocateZeroed(history.HistoryByteSize());
    if (!history.data)
        return false;
    const std::size_t entrySize = HistoryEntrySize(type);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        WriteUnsigned(history.data.get() + i * entrySize, 2, entries[i].first);
        WriteUnsigned(history.data.get() + i * entrySize + 2, entrySize - 2, entries[i].second);
    }
    return true;
}

bool AddBenchmark(CMarketMatrix& matrix, const std::vector<PackedDate>& days,
                  const MarketPath& market, ListingArrays& arrays, CRandom& random) {
    CompanyRecord* company = matrix.FindOrAddCompany(kBenchmarkCode, 34);
    company->name = Utf8ToCp932("総合株価指数");
    company->text = Utf8ToCp932("ソウゴウカブカシスウ");
    SecurityRecord* security = matrix.FindOrAddSecurity(kBenchmarkCode, kBenchmarkMarket);
    if (security == nullptr)
        return false;
    const CPriceGrid grid(kBenchmarkMarket, 0, true, true, 0xFFFFFFFFu);
    const int n = static_cast<int>(days.size());
    constexpr double kBase = 18000.0;
    for (int t = 0; t < n; ++t) {
        const double before = t > 0 ? market.level[t - 1] : market.level[0] - market.overnight[0];
        const double open = kBase * Exp(before + market.overnight[t] + 0.001 * random.Normal());
        const double close = kBase * Exp(market.level[t]);
        const double high = std::max(open, close) * Exp(std::abs(random.Normal()) * 0.008);
        const double low = std::min(open, close) * Exp(-std::abs(random.Normal()) * 0.008);
        Candle<std::uint32_t> c{grid.ToStored(open), grid.ToStored(high), grid.ToStored(low),
                                grid.ToStored(close)};
        c.high = std::max({c.high, c.open, c.close});
        c.low = std::min({c.low, c.open, c.close});
        arrays.candles[t] = c;
        const double move = std::abs(market.level[t] - before);
        arrays.volumes[t] =
            static_cast<std::uint64_t>(2.2e9 * Exp(0.3 * random.Normal()) * (1.0 + 15.0 * move));
    }
    security->tradingUnit = 1;
    security->listingFlags = kListingHundredths;
    security->firstDate = days.front();
    security->lastDate = days.back();
    // Turnover of the whole market: kept in 64 bits though it rarely needs them.
    return StoreListing(*security, arrays, days.size(), 0, 0, 0, 3);
}

bool AddCompany(CMarketMatrix& matrix, const CompanyPlan& plan, const std::vector<PackedDate>& days,
                const MarketPath& market, CompanyPath& path, ListingArrays& arrays) {
    CRandom random(plan.seed);
    CompanyRecord* company = matrix.FindOrAddCompany(plan.code, plan.industry);
    NameCompany(*company, plan, random);
    const PriceModel model = ModelFor(plan, random);
    DrawCompanyPath(path, plan, model, market, random);
    if (!WriteHistory(*company, plan, model, path, days, random))
        return false;
    for (int k = 0; k < plan.listingCount; ++k) {
        const ListingPlan& listing = plan.listings[k];
        SecurityRecord* security = matrix.FindOrAddSecurity(plan.code, listing.market);
        if (security == nullptr)
            return false;
        const CPriceGrid grid(listing.market, plan.priceExponent,
                              (listing.flags & kListingHundredths) != 0, false, model.maxStored);
        DrawListing(arrays, listing, plan, model, path, grid, random);
        security->tradingUnit = listing.tradingUnit;
        security->listingFlags = listing.flags;
        security->firstDate = days[listing.first];
        security->lastDate = days[listing.last];
        const auto count = static_cast<std::size_t>(listing.last - listing.first + 1);
        if (!StoreListing(*security, arrays, count, plan.priceExponent, listing.volumeExponent,
                          listing.widenPrices, listing.widenVolumes))
            return false;
        for (const SplitPlan& split : plan.splits) {
            if (split.position <= listing.first || split.position > listing.last)
                continue;
            if (!security->adjustments)
                security->adjustments = std::make_unique<AdjustmentList>();
            const PackedDate dated = split.datedBefore
                                         ? AddDaysToPackedDate(days[split.position], -1)
                                         : days[split.position];
            security->adjustments->entries.push_back({dated, split.kind, split.ratio});
        }
    }
    return true;
}

bool Build(CMarketMatrix& matrix, const SampleMarketOptions& options) {
    const PackedDate end = options.end;
    const PackedDate start = AddDaysToPackedDate(
        MakePackedDate(DateYear(end) - static_cast<unsigned>(options.years), DateMonth(end), 1),
        static_cast<int>(DateDay(end)));
    const std::vector<PackedDate> days = TradingDays(start, end);
    if (days.size() < 2)
        return false;
    for (PackedDate day : days)
        matrix.AddTradingDay(day);
    if (matrix.DailyCalendar().Count() != days.size())
        return false;
    matrix.RebuildPeriodCalendars();

    const int n = static_cast<int>(days.size());
    CRandom random(options.seed);
    const MarketPath market = DrawMarketPath(n, random);
    ListingArrays arrays;
    arrays.candles.resize(days.size());
    arrays.volumes.resize(days.size());
    if (!AddBenchmark(matrix, days, market, arrays, random))
        return false;

    const std::vector<CompanyPlan> plans = PlanCompanies(options.securities - 1, days, random);
    if (plans.size() > kMaxCompanies)
        return false;
    CompanyPath path;
    path.Resize(days.size());
    for (const CompanyPlan& plan : plans)
        if (!AddCompany(matrix, plan, days, market, path, arrays))
            return false;
    return true;
}

} // namespace

bool BuildSampleMarket(CMarketMatrix& matrix, const SampleMarketOptions& options) {
    matrix.Clear();
    if (options.years < 1 || options.years > kSampleMaxYears || options.securities < 1 ||
        options.securities > kSampleMaxSecurities || !IsRealDate(options.end) ||
        DateYear(options.end) < 1950u + static_cast<unsigned>(options.years))
        return false;
    try {
        if (Build(matrix, options))
            return true;
    } catch (const std::bad_alloc&) {
    }
    matrix.Clear();
    return false;
}

} // namespace vorn
