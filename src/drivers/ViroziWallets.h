#pragma once
// The wallets of the standard channel: the name a request's Attributes give (in any
// letter case) and the wallet type the component takes. Hosts read it to list them.
#include <cstdint>
#include <string_view>
#include <utility>

namespace virozi {

inline constexpr std::pair<std::string_view, int32_t> kWallets[] = {
    {"jiffy", 1}, {"satispay", 2}, {"bitcoin", 3}, {"satispay_qrcode", 4}, {"conad_mobile_wallet", 5}, {"tinaba", 6},
};

}  // namespace virozi
