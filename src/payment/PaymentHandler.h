#pragma once
// The whole request as the payment layer reads it: the device part (kDeviceHandler) and
// the operation parts of payment, day close and totals.
#include <pugixml.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/Currency.h"
#include "core/DateTime.h"
#include "device/DeviceHandler.h"

enum tkPaymentHandlerDocumentType : uint8_t {
  dt_Open = 0,
  dt_Pay = 1,
  dt_PayReprint = 2,
  dt_DayClose = 3,
  dt_GetTotals = 4,
  dt_VerifyTran = 5,
};

// A set of request kinds; bit n stands for the kind with ordinal n.
class tkPaymentHandlerDocumentTypes {
 public:
  constexpr tkPaymentHandlerDocumentTypes() = default;
  constexpr tkPaymentHandlerDocumentTypes(std::initializer_list<tkPaymentHandlerDocumentType> aTypes) {
    for (tkPaymentHandlerDocumentType t : aTypes) {
      if (t < 8) fBits = static_cast<uint8_t>(fBits | 1u << t);
    }
  }
  constexpr uint8_t Bits() const { return fBits; }
  constexpr bool Contains(tkPaymentHandlerDocumentType aType) const {
    return aType < 8 && (fBits >> aType & 1u) != 0;
  }
  constexpr bool operator==(const tkPaymentHandlerDocumentTypes&) const = default;

 private:
  uint8_t fBits = 0;
};

enum TkPrintLocation : uint8_t { pl_ECR = 0, pl_EFT = 1 };
enum TkPaymentChannel : uint8_t {
  pc_Standard = 0,
  pc_MealVoucherProvider = 1,
  pc_NationalHealthService = 2,
};
// Scoped: unprefixed members (None is also a parity).
enum class tkPaymentAction : uint8_t { Pay = 0, Refund = 1, Void = 2 };
enum class tkPaymentPhase : uint8_t { None = 0, Begin = 1, Do = 2, Commit = 3, Rollback = 4 };
enum tkPaymentDocumentType : uint8_t { dt_receipt = 0, dt_invoice = 1, dt_taxfree = 2 };

struct tkPaymentRefundReference {
  TDateTime PaymentDateTime = 0;
  std::string PaymentNumber;
};

// The payment part ("Payment", "Reprint" or "VerifyTran").
class kPaymentReceipt {
 public:
  static constexpr int32_t kDefaultReceiptColCount = 32;

  // Raises EMxError for a missing node and for any bad value; fields read before the
  // fault keep what was read.
  void LoadFromDocument(const pugi::xml_document& aDocument);

  TkPaymentChannel fPaymentChannel = pc_Standard;
  tkPaymentAction fAction = tkPaymentAction::Pay;
  tkPaymentPhase fPhase = tkPaymentPhase::None;
  std::string fMerchantCode;
  std::string fStoreCode;
  std::string fTillCode;
  std::string fReference;
  std::string fReceiptSubType;
  Currency fAmount;
  std::string fCurrency;
  Currency fTipAmount;
  bool fRequestTipAmount = false;
  std::string fAttributes;
  Currency fMaxAmount;
  int32_t fMaxItems = 0;
  bool fTokenizeCard = false;
  std::string fTokenReference;
  TkPrintLocation fPrintLocation = pl_ECR;
  int32_t fReceiptColCount = kDefaultReceiptColCount;
  tkPaymentRefundReference fRefundReference;
  std::string fOperatorId;
  tkPaymentDocumentType fDocumentType = dt_receipt;
  Currency fDocumentNetAmount;
  Currency fDocumentAmount;
  Currency fDocumentVatAmount;
  std::string fReceiptId;
};

// The day-close part ("DayClose").
class kPaymentDayClose {
 public:
  void LoadFromDocument(const pugi::xml_document& aDocument);

  std::string fStoreCode;
  std::string fTillCode;
  TkPrintLocation fPrintLocation = pl_ECR;
  std::string fReference;
};

// The totals part ("GetTotals").
class kPaymentTotals {
 public:
  void LoadFromDocument(const pugi::xml_document& aDocument);

  std::string fStoreCode;
  std::string fTillCode;
  TkPrintLocation fPrintLocation = pl_ECR;
  std::string fReference;
};

class kPaymentHandler : public kDeviceHandler {
 public:
  using kDeviceHandler::Deserialize;
  // Reads the device part, then the operation part that aDocumentTypes selects: payment
  // for dt_Pay, dt_PayReprint or dt_VerifyTran, else day close, else totals; dt_Open and
  // the empty set read the device part only. Raises EMxError on the first fault.
  void Deserialize(const std::string& aXml, tkPaymentHandlerDocumentTypes aDocumentTypes);

  kPaymentReceipt& PaymentReceipt() { return fPaymentReceipt; }
  const kPaymentReceipt& PaymentReceipt() const { return fPaymentReceipt; }
  kPaymentDayClose& DayClose() { return fDayClose; }
  const kPaymentDayClose& DayClose() const { return fDayClose; }
  kPaymentTotals& Totals() { return fTotals; }
  const kPaymentTotals& Totals() const { return fTotals; }

 private:
  kPaymentReceipt fPaymentReceipt;
  kPaymentDayClose fDayClose;
  kPaymentTotals fTotals;
};
