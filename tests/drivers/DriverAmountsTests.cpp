// Amounts as the component takes and gives them, the device code and the network codes.
#include <gtest/gtest.h>

#include <string>

#include "core/Errors.h"
#include "drivers/DriverFake.h"
#include "drivers/Payment_VIROZI.h"
#include "support/ErrorOf.h"

namespace {

Currency Amount(const char* aText) { return *Currency::Parse(aText); }


TEST(DriverAmounts, SentAmountsAreTruncatedCents) {
  const struct {
    const char* amount;
    int32_t cents;
  } cases[] = {
      {"12.3456", 1234}, {"0.999", 99},  {"0.009", 0},   {"12.34", 1234},
      {"100", 10000},    {"-1.999", -199}, {"21474836.47", 2147483647}, {"-21474836.48", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(kPayment_VIROZI::AmountToCents(Amount(c.amount)), c.cents) << c.amount;
}

// The component's argument is 32 bits: a larger amount must not reach it wrapped.
TEST(DriverAmounts, AmountBeyondTheComponentsRangeIsRefused) {
  for (const char* amount : {"21474836.48", "-21474836.49", "900000000000"}) {
    EXPECT_EQ(ErrorOf([&] { kPayment_VIROZI::AmountToCents(Amount(amount)); }), "Amount out of range") << amount;
  }
}

TEST(DriverAmounts, RepliedCentsReadStrictlyAndLeniently) {
  const struct {
    const char* text;
    bool whole;
    const char* amount;  // when whole
  } cases[] = {
      {"1234", true, "12.34"}, {"0", true, "0"},       {"-250", true, "-2.5"},   {"+7", true, "0.07"},
      {"  7", true, "0.07"},   {"2147483647", true, "21474836.47"},
      {"", false, nullptr},    {"12.34", false, nullptr}, {"12,34", false, nullptr}, {"7 ", false, nullptr},
      {"abc", false, nullptr}, {"-", false, nullptr},     {"2147483648", false, nullptr}, {"1e3", false, nullptr},
  };
  for (const auto& c : cases) {
    if (c.whole) {
      EXPECT_EQ(kPayment_VIROZI::StrictCents(c.text), Amount(c.amount)) << c.text;
      EXPECT_EQ(kPayment_VIROZI::LenientCents(c.text), Amount(c.amount)) << c.text;
    } else {
      EXPECT_EQ(ErrorOf([&] { kPayment_VIROZI::StrictCents(c.text); }),
                "'" + std::string(c.text) + "' is not a valid integer value");
      EXPECT_EQ(kPayment_VIROZI::LenientCents(c.text), Currency()) << c.text;
    }
  }
}

TEST(DriverAmounts, MealVoucherAmountsUseTheRegionalSeparator) {
  const struct {
    const char* text;
    const char* separator;
    const char* amount;
  } cases[] = {
      {"529", ".", "5.29"},
      {"529.5", ".", "5.295"},
      {"529,5", ",", "5.295"},
      {"529.5", ",", "0"},  // a dot is no decimal mark where the comma is
      {"529,5", ".", "0"},
      {"1,5e2", ",", "1.5"},
      {"abc", ".", "0"},
      {"", ",", "0"},
      {"-700", ".", "-7"},
      // Rounded to four decimals, halves to even.
      {"0.125", ".", "0.0012"},
      {"0.135", ".", "0.0014"},
      {"0.1251", ".", "0.0013"},
      {"-0.125", ".", "-0.0012"},
      {"-0.135", ".", "-0.0014"},
      {"1\xD9\xAB" "5", "\xD9\xAB", "0.015"},  // a separator of several bytes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kPayment_VIROZI::MealVoucherAmount(c.text, c.separator), Amount(c.amount))
        << c.text << " with " << c.separator;
  }
}

TEST(DriverAmounts, DeviceCodeIsPaddedToTenCharacters) {
  const struct {
    const char* store;
    const char* till;
    const char* code;
  } cases[] = {
      {"123", "45", "1234500000"},
      {"12345678", "1234", "123456781234"},  // longer: sent whole
      {"12345", "67890", "1234567890"},
      {"", "", "0000000000"},
      {"\xC3\xA8", "1", "\xC3\xA8" "100000000"},  // characters, not bytes
  };
  for (const auto& c : cases) EXPECT_EQ(kPayment_VIROZI::DeviceCode(c.store, c.till), c.code);
}

TEST(DriverNetworks, CodesDecodeByTheProvidersTable) {
  using N = tkPaymentNetwork;
  const struct {
    bool voucher;
    const char* code;
    N network;
  } cases[] = {
      {false, "00", N::Bank},       {false, "03", N::Other},      {false, "1", N::Bank},
      {false, "2", N::Visa},        {false, "3", N::Mastercard},  {false, "4", N::Maestro},
      {false, "5", N::Diners},      {false, "6", N::Amex},        {false, "7", N::Other},
      {false, "9", N::NHS},         {false, "02", N::Other},      {false, "8", N::Other},
      {false, "", N::Other},        {false, " 2", N::Other},      {false, "101", N::Other},
      {false, "MV101", N::QuiTicket},
      {true, "101", N::QuiTicket},  {true, "102", N::CIR},        {true, "103", N::Sodexo},
      {true, "104", N::Pellegrini}, {true, "105", N::Day},        {true, "106", N::EP},
      {true, "107", N::Edenred},    {true, "108", N::Repas},      {true, "109", N::Gemeaz},
      {true, "201", N::BluTicket},  {true, "202", N::Day},        {true, "203", N::Edenred},
      {true, "204", N::Pellegrini}, {true, "205", N::QuiTicket},  {true, "206", N::Repas},
      {true, "207", N::Ristomat},   {true, "208", N::Sodexo},     {true, "209", N::Agape},
      {true, "210", N::LunchTime},  {true, "211", N::QuiWelfare}, {true, "212", N::EP},
      {true, "213", N::Gemeaz},     {true, "300", N::Other},      {true, "2", N::Other},
      {true, "", N::Other},         {true, "MV107", N::Other},    {true, "mv107", N::Other},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kPayment_VIROZI::GetNetworkFromCode(c.voucher, c.code), c.network)
        << (c.voucher ? "voucher " : "card ") << '"' << c.code << '"';
  }
}

TEST(DriverCoupons, ListFindsTheFirstExactCodeAndOwnsItsCoupons) {
  kPayment_VIROZI_CouponList list;
  auto make = [](const char* aCode, const char* aTransaction) {
    auto coupon = std::make_unique<kPayment_VIROZI_Coupon>();
    coupon->SetCode(aCode);
    coupon->SetTransactionId(aTransaction);
    return coupon;
  };
  kPayment_VIROZI_Coupon& first = list.Add(make("A1", "T1"));
  list.Add(make("B2", "T2"));
  list.Add(make("A1", "T3"));
  EXPECT_EQ(list.GetCoupon("A1"), &first);
  EXPECT_EQ(list.GetCoupon("a1"), nullptr);
  EXPECT_EQ(list.GetCoupon("A"), nullptr);
  EXPECT_TRUE(list.Remove(&first));
  EXPECT_FALSE(list.Remove(&first));
  ASSERT_NE(list.GetCoupon("A1"), nullptr);
  EXPECT_EQ(list.GetCoupon("A1")->TransactionId(), "T3");
  EXPECT_EQ(list.Item(0).Code(), "B2");
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
