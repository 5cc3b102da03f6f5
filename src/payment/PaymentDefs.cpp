#include "payment/PaymentDefs.h"

#include <array>

#include "core/Text.h"

namespace {

// In ordinal order; Nexi has no text of its own.
constexpr std::array<const char*, 44> kNetworkTexts = {
    "bank",      "cheque",     "visa",      "amex",       "mastercard", "jcb",       "cup",
    "diners",    "maestro",    "NHS",       "edenred",    "day",        "sodexo",    "pellegrini",
    "bluticket", "jakala",     "miglunch",  "alipay",     "discover",   "doku",      "dragonpay",
    "molpay",    "vpay",       "amazonpay", "applepay",   "samsungpay", "paypal",    "yandex",
    "quiticket", "repas",      "ristomat",  "agape",      "lunchtime",  "quiwelfare", "ep",
    "cir",       "gemeaz",     "satispay",  "jiffy",      "bitcoin",    "tinaba",    "scalapay",
    "unrecognized", "other",
};

// Only these have a text that reads back.
constexpr size_t kEncodableNetworks = 17;  // Bank .. MIGLunch

}  // namespace

std::string DecodeNetwork(tkPaymentNetwork aPN) {
  const auto index = static_cast<size_t>(aPN);
  return index < kNetworkTexts.size() ? kNetworkTexts[index] : "unrecognized";
}

tkPaymentNetwork EncodeNetwork(std::string_view aPN) {
  for (size_t i = 0; i < kEncodableNetworks; ++i) {
    if (SameText(aPN, kNetworkTexts[i])) return static_cast<tkPaymentNetwork>(i);
  }
  return tkPaymentNetwork::Other;
}

std::string DecodeTransactionType(tkPaymentTransactionType aTT) {
  switch (aTT) {
    case ptt_Chip: return "CHIP";
    case ptt_MagStripe: return "MAGSTRIPE";
    case ptt_Manual: return "MANUAL";
    case ptt_Cless: return "CLESS";
    case ptt_ClessMagStripe: return "CLESSMAGSTRIPE";
    case ptt_ClessChip: return "CLESSCHIP";
    case ptt_RFID: return {};
    case ptt_Other: return "OTHER";
    case ptt_Token: return "TOKEN";
  }
  return {};
}
