#pragma once
// The VIROZI payment driver. Every operation is one or more calls of the provider's
// component (Ivirpay); each call and its reply go to the device log, and the reply's
// delimited fields fill the operation's result record.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Currency.h"
#include "drivers/Ivirpay.h"
#include "payment/PaymentDevice.h"

class kPaymentDriverRegistry;

inline constexpr char kViroziDriverKey[] = "VELO_VIROZI_10";

// The component's network codes: card networks first, then the meal-voucher issuers,
// whose codes the replies give without the "MV" prefix.
struct TkPaymentsNetworkDecode {
  const char* Code;
  tkPaymentNetwork Network;
};

inline constexpr TkPaymentsNetworkDecode NetworkDecodeTable[32] = {
    {"00", tkPaymentNetwork::Bank},          {"03", tkPaymentNetwork::Other},
    {"1", tkPaymentNetwork::Bank},           {"2", tkPaymentNetwork::Visa},
    {"3", tkPaymentNetwork::Mastercard},     {"4", tkPaymentNetwork::Maestro},
    {"5", tkPaymentNetwork::Diners},         {"6", tkPaymentNetwork::Amex},
    {"7", tkPaymentNetwork::Other},          {"9", tkPaymentNetwork::NHS},
    {"MV101", tkPaymentNetwork::QuiTicket},  {"MV102", tkPaymentNetwork::CIR},
    {"MV103", tkPaymentNetwork::Sodexo},     {"MV104", tkPaymentNetwork::Pellegrini},
    {"MV105", tkPaymentNetwork::Day},        {"MV106", tkPaymentNetwork::EP},
    {"MV107", tkPaymentNetwork::Edenred},    {"MV108", tkPaymentNetwork::Repas},
    {"MV109", tkPaymentNetwork::Gemeaz},     {"MV201", tkPaymentNetwork::BluTicket},
    {"MV202", tkPaymentNetwork::Day},        {"MV203", tkPaymentNetwork::Edenred},
    {"MV204", tkPaymentNetwork::Pellegrini}, {"MV205", tkPaymentNetwork::QuiTicket},
    {"MV206", tkPaymentNetwork::Repas},      {"MV207", tkPaymentNetwork::Ristomat},
    {"MV208", tkPaymentNetwork::Sodexo},     {"MV209", tkPaymentNetwork::Agape},
    {"MV210", tkPaymentNetwork::LunchTime},  {"MV211", tkPaymentNetwork::QuiWelfare},
    {"MV212", tkPaymentNetwork::EP},         {"MV213", tkPaymentNetwork::Gemeaz},
};

// One electronic meal-voucher coupon accepted into the open ticket.
class kPayment_VIROZI_Coupon {
 public:
  const std::string& Code() const { return fCode; }
  void SetCode(std::string aValue) { fCode = std::move(aValue); }
  const std::string& TransactionId() const { return fTransactionId; }
  void SetTransactionId(std::string aValue) { fTransactionId = std::move(aValue); }
  bool RequireCommit() const { return fRequireCommit; }
  void SetRequireCommit(bool aValue) { fRequireCommit = aValue; }
  tkPaymentNetwork PaymentNetwork() const { return fPaymentNetwork; }
  void SetPaymentNetwork(tkPaymentNetwork aValue) { fPaymentNetwork = aValue; }
  // Its commit went through: a retried commit of the ticket must not charge it again.
  bool Committed() const { return fCommitted; }

  std::string fCode;
  std::string fTransactionId;
  bool fRequireCommit = false;
  tkPaymentNetwork fPaymentNetwork = tkPaymentNetwork::Bank;
  bool fCommitted = false;
};

// The coupons of the open ticket in the order they were accepted; it owns them.
class kPayment_VIROZI_CouponList {
 public:
  kPayment_VIROZI_Coupon& Add(std::unique_ptr<kPayment_VIROZI_Coupon> aCoupon);
  // The first coupon whose code is exactly aCouponCode; null when there is none.
  kPayment_VIROZI_Coupon* GetCoupon(std::string_view aCouponCode) const;
  // Destroys the coupon; false when it is not in the list.
  bool Remove(const kPayment_VIROZI_Coupon* aCoupon);
  void Clear() { fItems.clear(); }
  size_t Count() const { return fItems.size(); }
  kPayment_VIROZI_Coupon& Item(size_t aIndex) const { return *fItems.at(aIndex); }

 private:
  std::vector<std::unique_ptr<kPayment_VIROZI_Coupon>> fItems;
};

class kPayment_VIROZI : public kPaymentDevice {
 public:
  // Creates the device's own component instance; raises when it cannot be created.
  explicit kPayment_VIROZI(const kPaymentHandler& aHandler);
  // The same with a component supplied by the caller.
  kPayment_VIROZI(const kPaymentHandler& aHandler, std::unique_ptr<Ivirpay> aVirPay);
  ~kPayment_VIROZI() override;

  // The progressive number of the meal-voucher calls and the open ticket's coupons; both
  // live as long as the device.
  int32_t Counter() const { return fCounter; }
  const kPayment_VIROZI_CouponList& CouponList() const { return fCouponList; }

  // --- amounts and codes as the component takes and gives them ----------------------
  // Whole cents, the fraction dropped toward zero. Raises "Amount out of range" when the
  // cents do not fit the component's 32-bit argument.
  static int32_t AmountToCents(Currency aAmount);
  // The cents of a payment's amount for the component. An amount below zero is refused
  // with "Amount <amount> refused: a payment amount cannot be negative", so no call
  // ever carries one.
  static int32_t PaymentCents(Currency aAmount);
  // A reply field of whole cents. Strictly: anything but a whole number raises
  // "'<text>' is not a valid integer value"; leniently it counts as 0.
  static Currency StrictCents(std::string_view aText);
  static Currency LenientCents(std::string_view aText);
  // A reply field holding a whole number, read strictly (counts in the voucher lists).
  static int32_t StrictInteger(std::string_view aText);
  // A meal-voucher amount: cents that may carry decimals written with aDecimalSeparator;
  // not a number counts as 0. Divided by 100, halves to even at the fourth decimal.
  static Currency MealVoucherAmount(std::string_view aText, std::string_view aDecimalSeparator);
  // The same with the process's regional decimal separator.
  static Currency MealVoucherAmount(std::string_view aText);
  // Store code + till code, padded on the right with "0" to 10 characters.
  static std::string DeviceCode(std::string_view aStoreCode, std::string_view aTillCode);
  // The network of a reply's code (NetworkDecodeTable); a meal-voucher code is looked up
  // with "MV" before it. Unknown codes give Other.
  static tkPaymentNetwork GetNetworkFromCode(bool aVoucher, std::string_view aCode);

 protected:
  bool DoPay(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;
  bool DoRefund(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;
  bool DoVoid(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;
  bool DoReprint(const kPaymentReceipt& aReceipt, _int_REPRINT_result& aResult) override;
  bool DoDayClose(const kPaymentDayClose& aDayClose, _int_DAYCLOSE_result& aResult) override;
  bool DoGetTotals(const kPaymentTotals& aTotals, _int_GETTOTALS_result& aResult) override;
  bool DoVerifyTran(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;

 private:
  // Standard and health-service channels (ViroziCards.cpp).
  bool STD_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool STD_PaymentADV(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool NHS_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R);

  // Meal vouchers: one-step payment and the coupon ticket (ViroziVouchers.cpp).
  bool MVP_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_Begin(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_Do(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_Commit(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_Rollback(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_RollbackAll(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_Realign(_int_PAY_result& R);
  bool MVP_CloseTicket(const kPaymentReceipt& aReceipt, _int_PAY_result& R);
  bool MVP_CommitCoupon(const kPaymentReceipt& aReceipt, _int_PAY_result& R, const std::string& aCode,
                        const std::string& aTransactionId);
  bool MVP_ReverseCoupon(const kPaymentReceipt& aReceipt, _int_PAY_result& R, const std::string& aCode,
                         const std::string& aTransactionId);

  // Day close and totals: the card circuit, then the meal-voucher circuit
  // (ViroziDayClose.cpp).
  template <class TResult>
  void CloseOrTotals(bool aDayClose, TResult& R);

  std::unique_ptr<Ivirpay> fVirPay;
  int32_t fCounter = 0;
  kPayment_VIROZI_CouponList fCouponList;
};

// Adds kViroziDriverKey -> kPayment_VIROZI to aRegistry.
void RegisterDriver_VIROZI(kPaymentDriverRegistry& aRegistry);
