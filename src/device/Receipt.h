#pragma once
// Receipt vocabulary of the framework (unit uMxReceipt). Ordinals are part of the
// contract: documents and stored settings carry them.
#include <cstdint>
#include <initializer_list>

enum tkReceiptLineType : uint8_t {
  rlt_ProductSale = 0,
  rlt_ProductReturn = 1,
  rlt_WeightedProductSale = 2,
  rlt_VoucherSale = 3,
  rlt_VoucherRedeem = 4,
  rlt_GiftCardSale = 5,
  rlt_GiftCardRedeem = 6,
  rlt_SubTotal = 7,
  rlt_Text = 8,
  rlt_DiscountAmount = 9,
  rlt_DiscountPercentage = 10,
  rlt_DiscountAmountOnSubtotal = 11,
  rlt_DiscountPercentageOnSubTotal = 12,
  rlt_MarkupAmount = 13,
  rlt_MarkupPercentage = 14,
  rlt_MarkupAmountOnSubtotal = 15,
  rlt_MarkupPercentageOnSubTotal = 16,
  rlt_CollectAmount = 17,
};

enum tkReceiptLineAttribute : uint8_t { rla_Product = 0, rla_Service = 1 };

enum tkReceiptReferenceType : uint8_t {
  rrt_OriginalReceipt = 0,
  rrt_EFTReceipt = 1,
  rrt_NotAvailable = 2,
  rrt_Empties = 3,
};

enum tkReceiptType : uint8_t {
  rt_Sale = 0,
  rt_Refund = 1,
  rt_Void = 2,
  rt_InvoiceSale = 3,
  rt_InvoiceSaleFromReceipt = 4,
};

enum tkReceiptPaymentType : uint8_t {
  rpt_Cash = 0,
  rpt_Cheque = 1,
  rpt_CreditCard = 2,
  rpt_DebitCard = 3,
  rpt_Credit = 4,
  rpt_CreditOnProducts = 5,
  rpt_CreditOnServices = 6,
  Rpt_GiftCard = 7,
  Rpt_Voucher = 8,
  Rpt_MealVoucher = 9,
  Rpt_NHSCard = 10,
  Rpt_Change = 11,
};

enum tkReceiptTaxType : uint8_t { tt_VAT = 0, tt_SalesTax = 1 };

enum tkReceiptMessageLineAlignment : uint8_t {
  la_none = 0,
  la_right = 1,
  la_center = 2,
  la_left = 3,
};

enum tkReceiptMessageBarcodeType : uint8_t {
  bt_EAN13 = 0,
  bt_EAN8 = 1,
  bt_CODE39 = 2,
  bt_CODE128 = 3,
  bt_QRCODE = 4,
  bt_UPCA = 5,
  bt_UPCE = 6,
  bt_Interleaved2Of5 = 7,
};

enum tkReceiptMessageLineEffect : uint8_t {
  le_bold = 0,
  le_italic = 1,
  le_underline = 2,
  le_doubleheight = 3,
  le_doublewidth = 4,
  le_doublesize = 5,
  le_invertcolors = 6,
  le_condensed = 7,
};

// A set of line effects; bit n stands for the effect with ordinal n.
class tkReceiptMessageLineEffectSet {
 public:
  constexpr tkReceiptMessageLineEffectSet() = default;
  constexpr tkReceiptMessageLineEffectSet(std::initializer_list<tkReceiptMessageLineEffect> aEffects) {
    for (tkReceiptMessageLineEffect e : aEffects) Include(e);
  }
  static constexpr tkReceiptMessageLineEffectSet FromBits(uint8_t aBits) {
    tkReceiptMessageLineEffectSet s;
    s.fBits = aBits;
    return s;
  }

  constexpr uint8_t Bits() const { return fBits; }
  constexpr bool Empty() const { return fBits == 0; }
  constexpr bool Contains(tkReceiptMessageLineEffect aEffect) const {
    return aEffect < 8 && (fBits >> aEffect & 1u) != 0;
  }
  constexpr void Include(tkReceiptMessageLineEffect aEffect) {
    if (aEffect < 8) fBits = static_cast<uint8_t>(fBits | 1u << aEffect);
  }
  constexpr void Exclude(tkReceiptMessageLineEffect aEffect) {
    if (aEffect < 8) fBits = static_cast<uint8_t>(fBits & ~(1u << aEffect));
  }

  constexpr bool operator==(const tkReceiptMessageLineEffectSet&) const = default;

 private:
  uint8_t fBits = 0;
};

enum tkReceiptMessageImageSource : uint8_t { is_Resource = 0, is_FileSystem = 1 };

enum tkReceiptCustomerIdType : uint8_t { cid_NA = 0, cid_Passport = 1, cid_NationalId = 2 };

enum tkEJReportType : uint8_t {
  ejrt_ZReport = 0,
  ejrt_FiscalReceipt = 1,
  ejrt_NonFiscalReceipt = 2,
  ejrt_CreditNote = 3,
  ejrt_Invoice = 4,
};

enum tkEJReportDestination : uint8_t { rd_Printer = 0, rd_Memory = 1 };

enum tkEJFilesRequestType : uint8_t { ej_xml = 0 };
