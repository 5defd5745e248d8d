#pragma once
// The favourite securities: adding the stock on screen, and the entries of the favourites
// menu and of the dialog that tidies them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contents/contents.h"
#include "matrix/market_matrix.h"
#include "screening/security_key_set.h"

namespace vorn {

// Menu command of the i-th favourite in key order.
constexpr std::uint32_t kFavoriteCommandFirst = 35000;

// Adds the stock the chart shows, or the one chosen in the securities list while the
// screening is shown; other contents add nothing. False when nothing was added.
bool AddFavorite(SecurityKeySet& favorites, ContentsKind shown, const SecurityRecord* chartStock,
                 const SecurityRecord* screeningStock);

struct FavoriteItem {
    std::uint32_t commandId = 0;
    SecurityKey key = 0;
    std::string label; // cp932 "company：market"
};

// One item per favourite that the matrix holds, in key order. A favourite the matrix no
// longer holds gets no item but keeps its command identifier, so identifiers never shift.
std::vector<FavoriteItem> FavoriteItems(const SecurityKeySet& favorites,
                                        const CMarketMatrix& matrix);

// The favourite a menu command stands for.
std::optional<SecurityKey> FavoriteOfCommand(const SecurityKeySet& favorites,
                                             std::uint32_t commandId);

} // namespace vorn
