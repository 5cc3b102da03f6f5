// Receipt vocabulary: every word both ways, defaults, and the messages of unknown words.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/Text.h"
#include "device/krptUtil.h"
#include "TestXml.h"

using devtest::ErrorOf;

namespace {

// aWords lists every member from aFirstOrdinal on, in ordinal order, with the word its
// encoder writes; the position in the list doubles as a check of the fixed ordinals.
template <class T, class Decode, class Encode>
void ExpectRoundTrip(Decode aDecode, Encode aEncode, const std::vector<std::pair<T, std::string>>& aWords,
                     size_t aMemberCount, size_t aFirstOrdinal = 0) {
  ASSERT_EQ(aFirstOrdinal + aWords.size(), aMemberCount);
  for (size_t i = 0; i < aWords.size(); ++i) {
    const auto& [member, word] = aWords[i];
    SCOPED_TRACE(word);
    EXPECT_EQ(static_cast<size_t>(member), aFirstOrdinal + i);
    EXPECT_EQ(aEncode(member), word);
    EXPECT_EQ(aDecode(word), member);
    EXPECT_EQ(aDecode(UpperCase(word)), member);
    EXPECT_EQ(aDecode(LowerCase(word)), member);
  }
}

TEST(ReceiptVocabulary, LineTypes) {
  ExpectRoundTrip<tkReceiptLineType>(
      krptUtil::DecodeLineType, krptUtil::EncodeLineType,
      {{rlt_ProductSale, "productsale"},
       {rlt_ProductReturn, "productreturn"},
       {rlt_WeightedProductSale, "weightedproductsale"},
       {rlt_VoucherSale, "vouchersale"},
       {rlt_VoucherRedeem, "voucherredeem"},
       {rlt_GiftCardSale, "giftcardsale"},
       {rlt_GiftCardRedeem, "giftcardredeem"},
       {rlt_SubTotal, "subtotal"},
       {rlt_Text, "text"},
       {rlt_DiscountAmount, "discountamount"},
       {rlt_DiscountPercentage, "discountpercentage"},
       {rlt_DiscountAmountOnSubtotal, "discountamountonsubtotal"},
       {rlt_DiscountPercentageOnSubTotal, "discountpercentageonsubtotal"},
       {rlt_MarkupAmount, "markupamount"},
       {rlt_MarkupPercentage, "markuppercentage"},
       {rlt_MarkupAmountOnSubtotal, "markupamountonsubtotal"},
       {rlt_MarkupPercentageOnSubTotal, "markuppercentageonsubtotal"},
       {rlt_CollectAmount, "collectamount"}},
      18);
}

TEST(ReceiptVocabulary, ReferenceTypes) {
  ExpectRoundTrip<tkReceiptReferenceType>(
      krptUtil::DecodeReferenceType, krptUtil::EncodeReferenceType,
      {{rrt_OriginalReceipt, "OriginalReceipt"},
       {rrt_EFTReceipt, "EFTReceipt"},
       {rrt_NotAvailable, "NotAvailable"},
       {rrt_Empties, "Empties"}},
      4);
}

TEST(ReceiptVocabulary, ReceiptTypes) {
  ExpectRoundTrip<tkReceiptType>(krptUtil::DecodeReceiptType, krptUtil::EncodeReceiptType,
                                 {{rt_Sale, "Sale"},
                                  {rt_Refund, "Refund"},
                                  {rt_Void, "Void"},
                                  {rt_InvoiceSale, "InvoiceSale"},
                                  {rt_InvoiceSaleFromReceipt, "InvoiceSaleFromReceipt"}},
                                 5);
  EXPECT_EQ(krptUtil::DecodeReceiptType("SALE"), rt_Sale);
}

TEST(ReceiptVocabulary, PaymentTypes) {
  ExpectRoundTrip<tkReceiptPaymentType>(krptUtil::DecodePaymentType, krptUtil::EncodePaymentType,
                                        {{rpt_Cash, "cash"},
                                         {rpt_Cheque, "cheque"},
                                         {rpt_CreditCard, "creditcard"},
                                         {rpt_DebitCard, "debitcard"},
                                         {rpt_Credit, "credit"},
                                         {rpt_CreditOnProducts, "creditonproducts"},
                                         {rpt_CreditOnServices, "creditonservices"},
                                         {Rpt_GiftCard, "giftcard"},
                                         {Rpt_Voucher, "voucher"},
                                         {Rpt_MealVoucher, "mealvoucher"},
                                         {Rpt_NHSCard, "nhscard"},
                                         {Rpt_Change, "change"}},
                                        12);
}

TEST(ReceiptVocabulary, TaxTypes) {
  ExpectRoundTrip<tkReceiptTaxType>(krptUtil::DecodeTaxType, krptUtil::EncodeTaxType,
                                    {{tt_VAT, "VAT"}, {tt_SalesTax, "SalesTax"}}, 2);
}

TEST(ReceiptVocabulary, AlignmentsWithNoneWrittenEmpty) {
  ExpectRoundTrip<tkReceiptMessageLineAlignment>(
      krptUtil::DecodeAlignment, krptUtil::EncodeAlignment,
      {{la_right, "right"}, {la_center, "center"}, {la_left, "left"}}, 4, 1);
  // la_none has no word: it is written empty, and the empty text reads as nothing.
  EXPECT_EQ(krptUtil::EncodeAlignment(la_none), "");
  EXPECT_EQ(ErrorOf([] { krptUtil::DecodeAlignment(""); }), "Alignment  is invalid");
}

TEST(ReceiptVocabulary, BarcodeTypes) {
  ExpectRoundTrip<tkReceiptMessageBarcodeType>(krptUtil::DecodeBarcodeType, krptUtil::EncodeBarcodeType,
                                               {{bt_EAN13, "ean13"},
                                                {bt_EAN8, "ean8"},
                                                {bt_CODE39, "code39"},
                                                {bt_CODE128, "code128"},
                                                {bt_QRCODE, "qrcode"},
                                                {bt_UPCA, "upca"},
                                                {bt_UPCE, "upce"},
                                                {bt_Interleaved2Of5, "interleaved2of5"}},
                                               8);
}

TEST(ReceiptVocabulary, Effects) {
  ExpectRoundTrip<tkReceiptMessageLineEffect>(krptUtil::DecodeEffect, krptUtil::EncodeEffect,
                                              {{le_bold, "bold"},
                                               {le_italic, "italic"},
                                               {le_underline, "underline"},
                                               {le_doubleheight, "doubleheight"},
                                               {le_doublewidth, "doublewidth"},
                                               {le_doublesize, "doublesize"},
                                               {le_invertcolors, "invertcolors"},
                                               {le_condensed, "condensed"}},
                                              8);
}

TEST(ReceiptVocabulary, ImageSources) {
  ExpectRoundTrip<tkReceiptMessageImageSource>(krptUtil::DecodeImageSource, krptUtil::EncodeImageSource,
                                               {{is_Resource, "resource"}, {is_FileSystem, "filesystem"}},
                                               2);
}

TEST(ReceiptVocabulary, CustomerIdTypes) {
  ExpectRoundTrip<tkReceiptCustomerIdType>(
      krptUtil::DecodeCustomerIdType, krptUtil::EncodeCustomerIdType,
      {{cid_NA, ""}, {cid_Passport, "passport"}, {cid_NationalId, "nationalid"}}, 3);
  EXPECT_EQ(krptUtil::DecodeCustomerIdType("NA"), cid_NA);
}

TEST(ReceiptVocabulary, DecodeOnlyVocabularies) {
  EXPECT_EQ(krptUtil::DecodeLineAttribute("product"), rla_Product);
  EXPECT_EQ(krptUtil::DecodeLineAttribute("Product"), rla_Product);
  EXPECT_EQ(krptUtil::DecodeLineAttribute("SERVICE"), rla_Service);

  const std::pair<const char*, tkEJReportType> reports[] = {
      {"zreport", ejrt_ZReport},       {"FiscalReceipt", ejrt_FiscalReceipt},
      {"nonfiscalreceipt", ejrt_NonFiscalReceipt}, {"CREDITNOTE", ejrt_CreditNote},
      {"Invoice", ejrt_Invoice}};
  for (size_t i = 0; i < std::size(reports); ++i) {
    SCOPED_TRACE(reports[i].first);
    EXPECT_EQ(krptUtil::DecodeEJReportType(reports[i].first), reports[i].second);
  }
  EXPECT_EQ(ejrt_ZReport, 0);
  EXPECT_EQ(ejrt_CreditNote, 3);
  EXPECT_EQ(ejrt_Invoice, 4);

  EXPECT_EQ(krptUtil::DecodeEJReportDestination("Printer"), rd_Printer);
  EXPECT_EQ(krptUtil::DecodeEJReportDestination("memory"), rd_Memory);
  EXPECT_EQ(rd_Memory, 1);
  EXPECT_EQ(krptUtil::DecodeEJRequestType("XML"), ej_xml);
}

TEST(ReceiptVocabulary, DecodersWithDefaultsNeverRaise) {
  for (const char* text : {"goods", "", " product", "products"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(krptUtil::DecodeLineAttribute(text), rla_Service);
  }
  for (const char* text : {"originalreceipt", "OriginalReceipt", "whatever", "", " empties"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(krptUtil::DecodeReferenceType(text), rrt_OriginalReceipt);
  }
  EXPECT_EQ(krptUtil::DecodeImageSource(""), is_FileSystem);
  EXPECT_EQ(krptUtil::DecodeCustomerIdType(""), cid_NA);
}

TEST(ReceiptVocabulary, UnknownWordsRaiseWithTheLowerCasedText) {
  struct Case {
    std::function<void()> fDecode;
    std::string fMessage;
  };
  const Case cases[] = {
      {[] { krptUtil::DecodeLineType("Foo"); }, "LineType foo is invalid"},
      {[] { krptUtil::DecodeLineType("T\u00C8XT"); }, "LineType t\u00C8xt is invalid"},
      {[] { krptUtil::DecodeLineType(""); }, "LineType  is invalid"},
      {[] { krptUtil::DecodeReceiptType("Bogus"); }, "ReceiptType bogus is invalid"},
      {[] { krptUtil::DecodePaymentType("CARD"); }, "PaymentType card is invalid"},
      {[] { krptUtil::DecodeTaxType("GST"); }, "TaxType gst is invalid"},
      {[] { krptUtil::DecodeAlignment("Centre"); }, "Alignment centre is invalid"},
      {[] { krptUtil::DecodeAlignment("none"); }, "Alignment none is invalid"},
      {[] { krptUtil::DecodeBarcodeType("EAN-13"); }, "BarcodeType ean-13 is invalid"},
      {[] { krptUtil::DecodeEffect(" Bold"); }, "Effect  bold is invalid"},
      {[] { krptUtil::DecodeEffect("bold "); }, "Effect bold  is invalid"},
      {[] { krptUtil::DecodeImageSource("URL"); }, "Image Source url is invalid"},
      {[] { krptUtil::DecodeCustomerIdType("ID"); }, "CustomerIdType id is invalid"},
      {[] { krptUtil::DecodeEJReportType("XReport"); }, "ReportType xreport is invalid"},
      {[] { krptUtil::DecodeEJReportType(""); }, "ReportType  is invalid"},
      {[] { krptUtil::DecodeEJReportDestination("Disk"); }, "ReportDestination disk is invalid"},
      {[] { krptUtil::DecodeEJRequestType("JSON"); }, "EJ Request Type json is invalid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fMessage);
    EXPECT_EQ(ErrorOf(c.fDecode), c.fMessage);
  }
}

TEST(ReceiptVocabulary, EncodersGiveEmptyTextOutsideTheType) {
  EXPECT_EQ(krptUtil::EncodeLineType(static_cast<tkReceiptLineType>(18)), "");
  EXPECT_EQ(krptUtil::EncodeReferenceType(static_cast<tkReceiptReferenceType>(4)), "");
  EXPECT_EQ(krptUtil::EncodeReceiptType(static_cast<tkReceiptType>(255)), "");
  EXPECT_EQ(krptUtil::EncodePaymentType(static_cast<tkReceiptPaymentType>(12)), "");
  EXPECT_EQ(krptUtil::EncodeEffect(static_cast<tkReceiptMessageLineEffect>(8)), "");
  EXPECT_EQ(krptUtil::EncodeCustomerIdType(static_cast<tkReceiptCustomerIdType>(3)), "");
}

// ---- effect sets ---------------------------------------------------------------------

TEST(EffectSet, DecodeReadsUpToTheFirstEmptyField) {
  using S = tkReceiptMessageLineEffectSet;
  struct Case {
    const char* fText;
    S fExpected;
  };
  const Case cases[] = {
      {"", S{}},
      {"bold", S{le_bold}},
      {"bold,italic", S{le_bold, le_italic}},
      {"ITALIC,Bold", S{le_bold, le_italic}},
      {"bold,,italic", S{le_bold}},
      {",bold", S{}},
      {"bold,", S{le_bold}},
      {"bold,bold", S{le_bold}},
      {"condensed,invertcolors,doublesize", S{le_condensed, le_invertcolors, le_doublesize}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fText);
    EXPECT_EQ(krptUtil::DecodeEffects(c.fText).Bits(), c.fExpected.Bits());
  }
}

TEST(EffectSet, DecodeStopsAtTheFirstUnknownEffect) {
  EXPECT_EQ(ErrorOf([] { krptUtil::DecodeEffects("bold, italic"); }), "Effect  italic is invalid");
  EXPECT_EQ(ErrorOf([] { krptUtil::DecodeEffects("bold,XYZ,,"); }), "Effect xyz is invalid");
  // Reading ends at the empty field before the bad one.
  EXPECT_EQ(krptUtil::DecodeEffects("bold,,xyz").Bits(), tkReceiptMessageLineEffectSet{le_bold}.Bits());
}

TEST(EffectSet, EncodeInOrdinalOrder) {
  using S = tkReceiptMessageLineEffectSet;
  EXPECT_EQ(krptUtil::EncodeEffects(S{}), "");
  EXPECT_EQ(krptUtil::EncodeEffects(S{le_underline, le_bold}), "bold,underline");
  EXPECT_EQ(krptUtil::EncodeEffects(S::FromBits(0xFF)),
            "bold,italic,underline,doubleheight,doublewidth,doublesize,invertcolors,condensed");
}

TEST(EffectSet, EverySetSurvivesARoundTrip) {
  for (unsigned bits = 0; bits < 256; ++bits) {
    const auto set = tkReceiptMessageLineEffectSet::FromBits(static_cast<uint8_t>(bits));
    const std::string text = krptUtil::EncodeEffects(set);
    SCOPED_TRACE(text);
    EXPECT_EQ(krptUtil::DecodeEffects(text), set);
    EXPECT_EQ(krptUtil::DecodeEffects(UpperCase(text)), set);
  }
}

TEST(EffectSet, LongListIsReadWhole) {
  // A long list is read up to its end; a bad word at the very end still stops it.
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "bold,italic,";
  EXPECT_EQ(krptUtil::DecodeEffects(text), (tkReceiptMessageLineEffectSet{le_bold, le_italic}));
  text += "underline,blink";
  try {
    krptUtil::DecodeEffects(text);
    FAIL() << "no error";
  } catch (const EMxError& e) {
    EXPECT_STREQ(e.what(), "Effect blink is invalid");
  }
}

TEST(EffectSet, MembersMapToTheirBits) {
  tkReceiptMessageLineEffectSet s;
  EXPECT_TRUE(s.Empty());
  s.Include(le_condensed);
  s.Include(le_bold);
  EXPECT_EQ(s.Bits(), 0x81);
  EXPECT_TRUE(s.Contains(le_condensed));
  EXPECT_FALSE(s.Contains(le_italic));
  s.Exclude(le_condensed);
  EXPECT_EQ(s.Bits(), 0x01);
  s.Include(static_cast<tkReceiptMessageLineEffect>(9));  // outside the type: ignored
  EXPECT_EQ(s.Bits(), 0x01);
}

}  // namespace
