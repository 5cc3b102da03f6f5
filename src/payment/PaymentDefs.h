#pragma once
// Payment networks and card entry modes, with their texts in the answers.
#include <cstdint>
#include <string>
#include <string_view>

// Scoped: members such as Other, Day and Bank are too common for the global scope.
enum class tkPaymentNetwork : uint8_t {
  Bank = 0, Cheque, Visa, Amex, Mastercard, JCB, CUP, Diners, Maestro, NHS,
  Edenred = 10, Day, Sodexo, Pellegrini, BluTicket, Jakala, MIGLunch, AliPay, Discover, Doku,
  DragonPay = 20, MolPay, VPay, AmazonPay, ApplePay, SamsungPay, Paypal, Yandex, QuiTicket, Repas,
  Ristomat = 30, Agape, LunchTime, QuiWelfare, EP, CIR, Gemeaz, Satispay, Jiffy, Bitcoin,
  Tinaba = 40, Scalapay, Nexi, Other = 43,
};

// How the card was read.
enum tkPaymentTransactionType : uint8_t {
  ptt_Chip = 0,
  ptt_MagStripe = 1,
  ptt_Manual = 2,
  ptt_Cless = 3,
  ptt_ClessMagStripe = 4,
  ptt_ClessChip = 5,
  ptt_RFID = 6,
  ptt_Other = 7,
  ptt_Token = 8,
};

// Lower-case member name; "NHS" for NHS; "unrecognized" for Nexi and values out of range.
std::string DecodeNetwork(tkPaymentNetwork aPN);
// Case-insensitive inverse of DecodeNetwork for Bank to MIGLunch; anything else is Other.
tkPaymentNetwork EncodeNetwork(std::string_view aPN);
// "CHIP", "MAGSTRIPE", ...; empty for ptt_RFID and values out of range.
std::string DecodeTransactionType(tkPaymentTransactionType aTT);
