#include <gtest/gtest.h>

#include <string>

#include "payment/PaymentDefs.h"

namespace {

TEST(PaymentNetworkTest, TextsInOrdinalOrder) {
  const char* texts[] = {
      "bank",      "cheque",   "visa",     "amex",       "mastercard", "jcb",       "cup",        "diners",
      "maestro",   "NHS",      "edenred",  "day",        "sodexo",     "pellegrini", "bluticket", "jakala",
      "miglunch",  "alipay",   "discover", "doku",       "dragonpay",  "molpay",    "vpay",       "amazonpay",
      "applepay",  "samsungpay", "paypal", "yandex",     "quiticket",  "repas",     "ristomat",   "agape",
      "lunchtime", "quiwelfare", "ep",     "cir",        "gemeaz",     "satispay",  "jiffy",      "bitcoin",
      "tinaba",    "scalapay", "unrecognized", "other",
  };
  static_assert(sizeof texts / sizeof texts[0] == 44);
  for (int i = 0; i < 44; ++i) EXPECT_EQ(DecodeNetwork(static_cast<tkPaymentNetwork>(i)), texts[i]) << i;
  EXPECT_EQ(static_cast<int>(tkPaymentNetwork::NHS), 9);
  EXPECT_EQ(static_cast<int>(tkPaymentNetwork::Nexi), 42);
  EXPECT_EQ(static_cast<int>(tkPaymentNetwork::Other), 43);
  EXPECT_EQ(DecodeNetwork(tkPaymentNetwork::Nexi), "unrecognized");
  for (int outside : {44, 100, 255}) {
    EXPECT_EQ(DecodeNetwork(static_cast<tkPaymentNetwork>(outside)), "unrecognized") << outside;
  }
}

TEST(PaymentNetworkTest, EncodeReadsBackTheFirstSeventeen) {
  for (int i = 0; i < 17; ++i) {
    const auto network = static_cast<tkPaymentNetwork>(i);
    EXPECT_EQ(EncodeNetwork(DecodeNetwork(network)), network) << i;
  }
  const struct {
    const char* text;
    tkPaymentNetwork network;
  } cases[] = {
      {"VISA", tkPaymentNetwork::Visa},     {"Visa", tkPaymentNetwork::Visa},
      {"visa", tkPaymentNetwork::Visa},     {"nhs", tkPaymentNetwork::NHS},
      {"MigLunch", tkPaymentNetwork::MIGLunch},
      // Beyond the first seventeen nothing reads back.
      {"alipay", tkPaymentNetwork::Other},  {"satispay", tkPaymentNetwork::Other},
      {"nexi", tkPaymentNetwork::Other},    {"unrecognized", tkPaymentNetwork::Other},
      {"other", tkPaymentNetwork::Other},   {"", tkPaymentNetwork::Other},
      {" visa", tkPaymentNetwork::Other},   {"visa ", tkPaymentNetwork::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeNetwork(c.text), c.network) << '"' << c.text << '"';
}

TEST(TransactionTypeTest, Texts) {
  const struct {
    tkPaymentTransactionType type;
    const char* text;
  } cases[] = {
      {ptt_Chip, "CHIP"},   {ptt_MagStripe, "MAGSTRIPE"}, {ptt_Manual, "MANUAL"},
      {ptt_Cless, "CLESS"}, {ptt_ClessMagStripe, "CLESSMAGSTRIPE"}, {ptt_ClessChip, "CLESSCHIP"},
      {ptt_RFID, ""},       {ptt_Other, "OTHER"},          {ptt_Token, "TOKEN"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeTransactionType(c.type), c.text) << int(c.type);
  EXPECT_EQ(int(ptt_Other), 7);
  EXPECT_EQ(DecodeTransactionType(static_cast<tkPaymentTransactionType>(9)), "");
  EXPECT_EQ(DecodeTransactionType(static_cast<tkPaymentTransactionType>(200)), "");
}

}  // namespace
