#include "matrix/name_tables.h"

#include <iterator>

namespace vorn {
namespace {

constexpr const char* kMarkets[] = {
    "国内全市場", "東証一部", "東証二部", "東証マザーズ", "大証一部", "大証二部",
    "ヘラクレス スタンダード", "ヘラクレス グロース", "名証一部", "名証二部",
    "名証セントレックス", "札証", "札証アンビシャス", "福証", "福証Ｑ－Ｂｏａｒｄ", "ＪＡＳＤＡＱ"};
constexpr const char* kMarketsShort[] = {"全市場", "東証一", "東証二", "東証マ", "大証一", "大証二",
                                         "ヘラＳ", "ヘラＧ", "名証一", "名証二", "名証セ", "札証",
                                         "札証ア", "福証", "福証Ｑ", "ＪＡＳ"};
constexpr const char* kExchanges[] = {"国内全取引所",     "東京証券取引所",   "大阪証券取引所",
                                      "名古屋証券取引所", "札幌証券取引所",   "福岡証券取引所",
                                      "ＪＡＳＤＡＱ証券取引所"};
constexpr const char* kExchangesShort[] = {"全証取", "東証", "大証", "名証", "札証", "福証", "ＪＡＳ"};
constexpr const char* kIndustries[] = {
    "全業種",         "水産・農林業",   "鉱業",           "建設業",       "食料品",
    "繊維製品",       "パルプ・紙",     "化学",           "医薬品",       "石油・石炭製品",
    "ゴム製品",       "ガラス・土石製品", "鉄鋼",         "非鉄金属",     "金属製品",
    "機械",           "電気機器",       "輸送用機器",     "精密機器",     "その他製品",
    "電気・ガス業",   "陸運業",         "海運業",         "空運業",       "倉庫・運輸関連業",
    "情報・通信業",   "卸売業",         "小売業",         "銀行業",       "証券・商品先物業",
    "保険業",         "その他金融業",   "不動産業",       "サービス業",   "株価指標"};
constexpr const char* kMajorSectors[] = {"水産・農林業", "鉱業",         "建設業", "製造業",
                                         "電気・ガス業", "運輸・通信業", "商業",   "金融・保険業",
                                         "不動産業",     "サービス業"};
constexpr const char* kAdjustmentKinds[] = {"調整", "資本移動", "株式分割", "減資",
                                            "合併", "額面変更", "－"};
constexpr const char* kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};

template <std::size_t N> const char* Lookup(const char* const (&table)[N], unsigned index) {
    return index < N ? table[index] : kMissingName;
}

} // namespace

const char* MarketName(unsigned market) { return Lookup(kMarkets, market); }
const char* MarketShortName(unsigned market) { return Lookup(kMarketsShort, market); }
const char* ExchangeName(unsigned exchange) { return Lookup(kExchanges, exchange); }
const char* ExchangeShortName(unsigned exchange) { return Lookup(kExchangesShort, exchange); }
const char* IndustryName(unsigned industry) { return Lookup(kIndustries, industry); }
const char* MajorSectorName(unsigned sector) { return Lookup(kMajorSectors, sector); }
const char* AdjustmentKindName(unsigned kind) { return Lookup(kAdjustmentKinds, kind); }
const char* WeekdayName(unsigned weekday) { return Lookup(kWeekdays, weekday); }

} // namespace vorn
