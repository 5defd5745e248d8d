#include "contents/favorites.h"

#include "foundation/text_encoding.h"
#include "matrix/market_naming.h"

namespace vorn {

bool AddFavorite(SecurityKeySet& favorites, ContentsKind shown, const SecurityRecord* chartStock,
                 const SecurityRecord* screeningStock) {
    const SecurityRecord* stock = nullptr;
    if (shown == kContentsChart)
        stock = chartStock;
    else if (shown == kContentsScreening)
        stock = screeningStock;
    if (stock == nullptr || stock->company == nullptr)
        return false;
    return favorites.Insert(stock->Key());
}

std::vector<FavoriteItem> FavoriteItems(const SecurityKeySet& favorites,
                                        const CMarketMatrix& matrix) {
    static const std::string separator = Utf8ToCp932("：");
    std::vector<FavoriteItem> items;
    const MarketNaming naming = MarketNamingOf(matrix);
    std::uint32_t commandId = kFavoriteCommandFirst;
    for (SecurityKey key : favorites) {
        const std::uint32_t id = commandId++;
        const SecurityRecord* security = matrix.FindSecurity(key);
        if (security == nullptr || security->company == nullptr)
            continue;
        FavoriteItem item;
        item.commandId = id;
        item.key = key;
        item.label = security->company->name.value_or(std::string()) + separator +
                     Utf8ToCp932(naming.Name(security->market));
        items.push_back(std::move(item));
    }
    return items;
}

std::optional<SecurityKey> FavoriteOfCommand(const SecurityKeySet& favorites,
                                             std::uint32_t commandId) {
    if (commandId < kFavoriteCommandFirst || commandId - kFavoriteCommandFirst >= favorites.Size())
        return std::nullopt;
    return favorites.Keys()[commandId - kFavoriteCommandFirst];
}

} // namespace vorn
