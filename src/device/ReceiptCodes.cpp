// Words of the receipt vocabulary and their enumeration members.
#include <array>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/Text.h"
#include "core/Utils.h"
#include "device/krptUtil.h"

namespace {

template <class T>
struct Word {
  std::string_view fWord;
  T fMember;
};

// aWords are lower case; aText is lowered before the comparison.
template <class T, size_t N>
bool Lookup(const std::array<Word<T>, N>& aWords, const std::string& aLowerText, T& aMember) {
  for (const Word<T>& w : aWords) {
    if (w.fWord == aLowerText) {
      aMember = w.fMember;
      return true;
    }
  }
  return false;
}

template <class T, size_t N>
T DecodeOrFail(const std::array<Word<T>, N>& aWords, std::string_view aText, std::string_view aWhat) {
  const std::string lower = LowerCase(aText);
  T member{};
  if (!Lookup(aWords, lower, member)) {
    throw EMxError(std::string(aWhat) + " " + lower + " is invalid");
  }
  return member;
}

template <class T, size_t N>
T DecodeOrDefault(const std::array<Word<T>, N>& aWords, std::string_view aText, T aDefault) {
  T member = aDefault;
  return Lookup(aWords, LowerCase(aText), member) ? member : aDefault;
}

// aNames is indexed by ordinal; a value outside the type gives "".
template <size_t N>
std::string Encode(const std::array<std::string_view, N>& aNames, unsigned aOrdinal) {
  return aOrdinal < N ? std::string(aNames[aOrdinal]) : std::string();
}

// ---- line types ------------------------------------------------------------------------
constexpr std::array<std::string_view, 18> kLineTypeNames = {
    "productsale", "productreturn", "weightedproductsale", "vouchersale", "voucherredeem",
    "giftcardsale", "giftcardredeem", "subtotal", "text", "discountamount",
    "discountpercentage", "discountamountonsubtotal", "discountpercentageonsubtotal",
    "markupamount", "markuppercentage", "markupamountonsubtotal", "markuppercentageonsubtotal",
    "collectamount",
};
constexpr std::array<Word<tkReceiptLineType>, 18> kLineTypes = {{
    {"productsale", rlt_ProductSale},
    {"productreturn", rlt_ProductReturn},
    {"weightedproductsale", rlt_WeightedProductSale},
    {"collectamount", rlt_CollectAmount},
    {"vouchersale", rlt_VoucherSale},
    {"voucherredeem", rlt_VoucherRedeem},
    {"giftcardsale", rlt_GiftCardSale},
    {"giftcardredeem", rlt_GiftCardRedeem},
    {"subtotal", rlt_SubTotal},
    {"text", rlt_Text},
    {"discountamount", rlt_DiscountAmount},
    {"discountpercentage", rlt_DiscountPercentage},
    {"discountamountonsubtotal", rlt_DiscountAmountOnSubtotal},
    {"discountpercentageonsubtotal", rlt_DiscountPercentageOnSubTotal},
    {"markupamount", rlt_MarkupAmount},
    {"markuppercentage", rlt_MarkupPercentage},
    {"markupamountonsubtotal", rlt_MarkupAmountOnSubtotal},
    {"markuppercentageonsubtotal", rlt_MarkupPercentageOnSubTotal},
}};

constexpr std::array<Word<tkReceiptLineAttribute>, 2> kLineAttributes = {{
    {"product", rla_Product},
    {"service", rla_Service},
}};

// ---- references and receipts -----------------------------------------------------------
constexpr std::array<std::string_view, 4> kReferenceTypeNames = {
    "OriginalReceipt", "EFTReceipt", "NotAvailable", "Empties"};
constexpr std::array<Word<tkReceiptReferenceType>, 3> kReferenceTypes = {{
    {"eftreceipt", rrt_EFTReceipt},
    {"empties", rrt_Empties},
    {"notavailable", rrt_NotAvailable},
}};

constexpr std::array<std::string_view, 5> kReceiptTypeNames = {
    "Sale", "Refund", "Void", "InvoiceSale", "InvoiceSaleFromReceipt"};
constexpr std::array<Word<tkReceiptType>, 5> kReceiptTypes = {{
    {"sale", rt_Sale},
    {"refund", rt_Refund},
    {"void", rt_Void},
    {"invoicesale", rt_InvoiceSale},
    {"invoicesalefromreceipt", rt_InvoiceSaleFromReceipt},
}};

// ---- payments and taxes ----------------------------------------------------------------
constexpr std::array<std::string_view, 12> kPaymentTypeNames = {
    "cash", "cheque", "creditcard", "debitcard", "credit", "creditonproducts",
    "creditonservices", "giftcard", "voucher", "mealvoucher", "nhscard", "change"};
constexpr std::array<Word<tkReceiptPaymentType>, 12> kPaymentTypes = {{
    {"cash", rpt_Cash},
    {"cheque", rpt_Cheque},
    {"credit", rpt_Credit},
    {"creditonproducts", rpt_CreditOnProducts},
    {"creditonservices", rpt_CreditOnServices},
    {"creditcard", rpt_CreditCard},
    {"debitcard", rpt_DebitCard},
    {"giftcard", Rpt_GiftCard},
    {"voucher", Rpt_Voucher},
    {"mealvoucher", Rpt_MealVoucher},
    {"nhscard", Rpt_NHSCard},
    {"change", Rpt_Change},
}};

constexpr std::array<std::string_view, 2> kTaxTypeNames = {"VAT", "SalesTax"};
constexpr std::array<Word<tkReceiptTaxType>, 2> kTaxTypes = {{
    {"vat", tt_VAT},
    {"salestax", tt_SalesTax},
}};

// ---- message lines ---------------------------------------------------------------------
constexpr std::array<std::string_view, 4> kAlignmentNames = {"", "right", "center", "left"};
constexpr std::array<Word<tkReceiptMessageLineAlignment>, 3> kAlignments = {{
    {"left", la_left},
    {"right", la_right},
    {"center", la_center},
}};

constexpr std::array<std::string_view, 8> kBarcodeTypeNames = {
    "ean13", "ean8", "code39", "code128", "qrcode", "upca", "upce", "interleaved2of5"};
constexpr std::array<Word<tkReceiptMessageBarcodeType>, 8> kBarcodeTypes = {{
    {"ean13", bt_EAN13},
    {"ean8", bt_EAN8},
    {"code39", bt_CODE39},
    {"code128", bt_CODE128},
    {"interleaved2of5", bt_Interleaved2Of5},
    {"qrcode", bt_QRCODE},
    {"upca", bt_UPCA},
    {"upce", bt_UPCE},
}};

constexpr std::array<std::string_view, 8> kEffectNames = {
    "bold", "italic", "underline", "doubleheight", "doublewidth", "doublesize",
    "invertcolors", "condensed"};
constexpr std::array<Word<tkReceiptMessageLineEffect>, 8> kEffects = {{
    {"bold", le_bold},
    {"italic", le_italic},
    {"underline", le_underline},
    {"doubleheight", le_doubleheight},
    {"doublewidth", le_doublewidth},
    {"doublesize", le_doublesize},
    {"invertcolors", le_invertcolors},
    {"condensed", le_condensed},
}};

constexpr std::array<std::string_view, 2> kImageSourceNames = {"resource", "filesystem"};
constexpr std::array<Word<tkReceiptMessageImageSource>, 3> kImageSources = {{
    {"filesystem", is_FileSystem},
    {"", is_FileSystem},
    {"resource", is_Resource},
}};

constexpr std::array<std::string_view, 3> kCustomerIdTypeNames = {"", "passport", "nationalid"};
constexpr std::array<Word<tkReceiptCustomerIdType>, 4> kCustomerIdTypes = {{
    {"passport", cid_Passport},
    {"nationalid", cid_NationalId},
    {"na", cid_NA},
    {"", cid_NA},
}};

// ---- electronic journal ----------------------------------------------------------------
constexpr std::array<Word<tkEJReportType>, 5> kEJReportTypes = {{
    {"zreport", ejrt_ZReport},
    {"fiscalreceipt", ejrt_FiscalReceipt},
    {"nonfiscalreceipt", ejrt_NonFiscalReceipt},
    {"invoice", ejrt_Invoice},
    {"creditnote", ejrt_CreditNote},
}};

constexpr std::array<Word<tkEJReportDestination>, 2> kEJReportDestinations = {{
    {"printer", rd_Printer},
    {"memory", rd_Memory},
}};

constexpr std::array<Word<tkEJFilesRequestType>, 1> kEJRequestTypes = {{
    {"xml", ej_xml},
}};

}  // namespace

tkReceiptLineType krptUtil::DecodeLineType(std::string_view aLineType) {
  return DecodeOrFail(kLineTypes, aLineType, "LineType");
}
std::string krptUtil::EncodeLineType(tkReceiptLineType aLineType) {
  return Encode(kLineTypeNames, aLineType);
}

tkReceiptLineAttribute krptUtil::DecodeLineAttribute(std::string_view aAttribute) {
  return DecodeOrDefault(kLineAttributes, aAttribute, rla_Service);
}

tkReceiptReferenceType krptUtil::DecodeReferenceType(std::string_view aReferenceType) {
  return DecodeOrDefault(kReferenceTypes, aReferenceType, rrt_OriginalReceipt);
}
std::string krptUtil::EncodeReferenceType(tkReceiptReferenceType aReferenceType) {
  return Encode(kReferenceTypeNames, aReferenceType);
}

tkReceiptType krptUtil::DecodeReceiptType(std::string_view aReceiptType) {
  return DecodeOrFail(kReceiptTypes, aReceiptType, "ReceiptType");
}
std::string krptUtil::EncodeReceiptType(tkReceiptType aReceiptType) {
  return Encode(kReceiptTypeNames, aReceiptType);
}

tkReceiptPaymentType krptUtil::DecodePaymentType(std::string_view aPaymentType) {
  return DecodeOrFail(kPaymentTypes, aPaymentType, "PaymentType");
}
std::string krptUtil::EncodePaymentType(tkReceiptPaymentType aPaymentType) {
  return Encode(kPaymentTypeNames, aPaymentType);
}

tkReceiptTaxType krptUtil::DecodeTaxType(std::string_view aTaxType) {
  return DecodeOrFail(kTaxTypes, aTaxType, "TaxType");
}
std::string krptUtil::EncodeTaxType(tkReceiptTaxType aTaxType) {
  return Encode(kTaxTypeNames, aTaxType);
}

tkReceiptMessageLineAlignment krptUtil::DecodeAlignment(std::string_view aAlignment) {
  return DecodeOrFail(kAlignments, aAlignment, "Alignment");
}
std::string krptUtil::EncodeAlignment(tkReceiptMessageLineAlignment aAlignment) {
  return Encode(kAlignmentNames, aAlignment);
}

tkReceiptMessageBarcodeType krptUtil::DecodeBarcodeType(std::string_view aBarcodeType) {
  return DecodeOrFail(kBarcodeTypes, aBarcodeType, "BarcodeType");
}
std::string krptUtil::EncodeBarcodeType(tkReceiptMessageBarcodeType aBarcodeType) {
  return Encode(kBarcodeTypeNames, aBarcodeType);
}

tkReceiptMessageLineEffect krptUtil::DecodeEffect(std::string_view aEffect) {
  return DecodeOrFail(kEffects, aEffect, "Effect");
}
std::string krptUtil::EncodeEffect(tkReceiptMessageLineEffect aEffect) {
  return Encode(kEffectNames, aEffect);
}

tkReceiptMessageLineEffectSet krptUtil::DecodeEffects(std::string_view aEffects) {
  tkReceiptMessageLineEffectSet result;
  // Field by field from where the previous one ended, so a long list stays linear.
  for (size_t pos = 0; pos <= aEffects.size();) {
    const std::string field = ExtractField(aEffects.substr(pos), 1, ',', false);
    if (field.empty()) break;
    result.Include(DecodeEffect(field));
    pos += field.size() + 1;
  }
  return result;
}
std::string krptUtil::EncodeEffects(tkReceiptMessageLineEffectSet aEffects) {
  std::string result;
  for (unsigned i = 0; i < kEffectNames.size(); ++i) {
    const auto effect = static_cast<tkReceiptMessageLineEffect>(i);
    if (!aEffects.Contains(effect)) continue;
    if (!result.empty()) result += ',';
    result += kEffectNames[i];
  }
  return result;
}

tkReceiptMessageImageSource krptUtil::DecodeImageSource(std::string_view aSource) {
  return DecodeOrFail(kImageSources, aSource, "Image Source");
}
std::string krptUtil::EncodeImageSource(tkReceiptMessageImageSource aSource) {
  return Encode(kImageSourceNames, aSource);
}

tkReceiptCustomerIdType krptUtil::DecodeCustomerIdType(std::string_view aCustomerIdType) {
  return DecodeOrFail(kCustomerIdTypes, aCustomerIdType, "CustomerIdType");
}
std::string krptUtil::EncodeCustomerIdType(tkReceiptCustomerIdType aCustomerIdType) {
  return Encode(kCustomerIdTypeNames, aCustomerIdType);
}

tkEJReportType krptUtil::DecodeEJReportType(std::string_view aReportType) {
  return DecodeOrFail(kEJReportTypes, aReportType, "ReportType");
}

tkEJReportDestination krptUtil::DecodeEJReportDestination(std::string_view aReportDestination) {
  return DecodeOrFail(kEJReportDestinations, aReportDestination, "ReportDestination");
}

tkEJFilesRequestType krptUtil::DecodeEJRequestType(std::string_view aRequestType) {
  return DecodeOrFail(kEJRequestTypes, aRequestType, "EJ Request Type");
}
