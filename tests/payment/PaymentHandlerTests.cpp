#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/DateTime.h"
#include "core/Errors.h"
#include "payment/PaymentHandler.h"
#include "support/ErrorOf.h"

namespace {


Currency Money(const char* aText) { return Currency::Parse(aText).value(); }

// A request with the device part and the given operation part.
std::string Request(const std::string& aOperation) {
  return "<Request><Driver>VELO_VIROZI_10</Driver><Handle>2</Handle><Connection><Type>COM</Type></Connection>" +
         aOperation + "</Request>";
}
std::string Payment(const std::string& aChildren) { return Request("<Payment>" + aChildren + "</Payment>"); }

kPaymentReceipt ReadPayment(const std::string& aChildren) {
  kPaymentHandler h;
  h.Deserialize(Payment(aChildren), {dt_Pay});
  return h.PaymentReceipt();
}

TEST(PaymentRequestTest, EveryElementOfThePaymentPart) {
  kPaymentHandler h;
  h.Deserialize(Payment("<PaymentChannel>MVP</PaymentChannel><Action>REFUND</Action><Phase>COMMIT</Phase>"
                        "<MerchantCode>M1</MerchantCode><StoreCode>S1</StoreCode><TillCode>T1</TillCode>"
                        "<Reference>R1</Reference><ReceiptSubType>sub</ReceiptSubType><Amount>12.50</Amount>"
                        "<Currency>EUR</Currency><TipAmount>1.5</TipAmount><RequestTipAmount>true</RequestTipAmount>"
                        "<Attributes>wallet=x</Attributes><MaxAmount>100</MaxAmount><MaxItems>4</MaxItems>"
                        "<TokenizeCard>1</TokenizeCard><TokenReference>tok</TokenReference>"
                        "<PrintLocation>EFT</PrintLocation><ReceiptColCount>48</ReceiptColCount>"
                        "<RefundReference><PaymentId>P-9</PaymentId>"
                        "<PaymentDateTime>2025-01-31T09:15:02</PaymentDateTime></RefundReference>"
                        "<OperatorId>op7</OperatorId><DocumentType>INVOICE</DocumentType>"
                        "<DocumentNetAmount>10</DocumentNetAmount><DocumentAmount>12.2</DocumentAmount>"
                        "<DocumentVatAmount>2.2</DocumentVatAmount><ReceiptId>RC1</ReceiptId>"),
                {dt_Pay});
  EXPECT_EQ(h.Driver(), "VELO_VIROZI_10");
  EXPECT_EQ(h.DeviceHandle(), 2);
  const kPaymentReceipt& r = h.PaymentReceipt();
  EXPECT_EQ(r.fPaymentChannel, pc_MealVoucherProvider);
  EXPECT_EQ(r.fAction, tkPaymentAction::Refund);
  EXPECT_EQ(r.fPhase, tkPaymentPhase::Commit);
  EXPECT_EQ(r.fMerchantCode, "M1");
  EXPECT_EQ(r.fStoreCode, "S1");
  EXPECT_EQ(r.fTillCode, "T1");
  EXPECT_EQ(r.fReference, "R1");
  EXPECT_EQ(r.fReceiptSubType, "sub");
  EXPECT_EQ(r.fAmount, Money("12.5"));
  EXPECT_EQ(r.fCurrency, "EUR");
  EXPECT_EQ(r.fTipAmount, Money("1.5"));
  EXPECT_TRUE(r.fRequestTipAmount);
  EXPECT_EQ(r.fAttributes, "wallet=x");
  EXPECT_EQ(r.fMaxAmount, Money("100"));
  EXPECT_EQ(r.fMaxItems, 4);
  EXPECT_TRUE(r.fTokenizeCard);
  EXPECT_EQ(r.fTokenReference, "tok");
  EXPECT_EQ(r.fPrintLocation, pl_EFT);
  EXPECT_EQ(r.fReceiptColCount, 48);
  EXPECT_EQ(r.fRefundReference.PaymentNumber, "P-9");
  EXPECT_EQ(r.fRefundReference.PaymentDateTime, EncodeDateTime({2025, 1, 31, 9, 15, 2, 0}));
  EXPECT_EQ(r.fOperatorId, "op7");
  EXPECT_EQ(r.fDocumentType, dt_invoice);
  EXPECT_EQ(r.fDocumentNetAmount, Money("10"));
  EXPECT_EQ(r.fDocumentAmount, Money("12.2"));
  EXPECT_EQ(r.fDocumentVatAmount, Money("2.2"));
  EXPECT_EQ(r.fReceiptId, "RC1");
}

TEST(PaymentRequestTest, EmptyPaymentPartGivesTheDefaults) {
  const kPaymentReceipt r = ReadPayment("");
  EXPECT_EQ(r.fPaymentChannel, pc_Standard);
  EXPECT_EQ(r.fAction, tkPaymentAction::Pay);
  EXPECT_EQ(r.fPhase, tkPaymentPhase::None);
  EXPECT_EQ(r.fAmount, Currency());
  EXPECT_FALSE(r.fRequestTipAmount);
  EXPECT_FALSE(r.fTokenizeCard);
  EXPECT_EQ(r.fMaxItems, 0);
  EXPECT_EQ(r.fPrintLocation, pl_ECR);
  EXPECT_EQ(r.fReceiptColCount, 32);
  EXPECT_EQ(r.fDocumentType, dt_receipt);
  EXPECT_EQ(r.fRefundReference.PaymentDateTime, 0.0);
  EXPECT_EQ(r.fRefundReference.PaymentNumber, "");
  EXPECT_EQ(r.fReceiptId, "");
}

TEST(PaymentRequestTest, PaymentNodeByNameInOrderOfPreference) {
  const struct {
    const char* label;
    std::string operation;
    std::string reference;  // Reference read, or the error
  } cases[] = {
      {"Payment", "<Payment><Reference>p</Reference></Payment>", "p"},
      {"Reprint", "<Reprint><Reference>r</Reference></Reprint>", "r"},
      {"VerifyTran", "<VerifyTran><Reference>v</Reference></VerifyTran>", "v"},
      {"Payment before Reprint", "<Reprint><Reference>r</Reference></Reprint><Payment><Reference>p</Reference></Payment>", "p"},
      {"Reprint before VerifyTran", "<VerifyTran><Reference>v</Reference></VerifyTran><Reprint><Reference>r</Reference></Reprint>", "r"},
      {"first Payment", "<Payment><Reference>1</Reference></Payment><Payment><Reference>2</Reference></Payment>", "1"},
      {"none", "", "Payment/Reprint/VerifyTran node not found"},
      {"wrong case", "<payment><Reference>p</Reference></payment>", "Payment/Reprint/VerifyTran node not found"},
      {"not a direct child", "<Body><Payment><Reference>p</Reference></Payment></Body>",
       "Payment/Reprint/VerifyTran node not found"},
      {"day close only", "<DayClose/>", "Payment/Reprint/VerifyTran node not found"},
  };
  for (tkPaymentHandlerDocumentType type : {dt_Pay, dt_PayReprint, dt_VerifyTran}) {
    for (const auto& c : cases) {
      kPaymentHandler h;
      const std::string error = ErrorOf([&] { h.Deserialize(Request(c.operation), {type}); });
      const std::string result = error == "<no error>" ? h.PaymentReceipt().fReference : error;
      EXPECT_EQ(result, c.reference) << c.label << " for document type " << int(type);
    }
  }
}

TEST(PaymentRequestTest, DocumentTypesSelectTheOperationPart) {
  // A payment part that would fail, beside valid day-close and totals parts.
  const std::string xml = Request("<Payment><Action>BAD</Action></Payment>"
                                  "<DayClose><StoreCode>DC</StoreCode></DayClose>"
                                  "<GetTotals><StoreCode>GT</StoreCode></GetTotals>");
  const struct {
    const char* label;
    tkPaymentHandlerDocumentTypes types;
    const char* error;
    const char* dayClose;
    const char* totals;
  } cases[] = {
      {"open", {dt_Open}, "<no error>", "", ""},
      {"empty set", {}, "<no error>", "", ""},
      {"pay", {dt_Pay}, "Action BAD invalid. Allowed values are: PAY,REFUND.", "", ""},
      {"reprint", {dt_PayReprint}, "Action BAD invalid. Allowed values are: PAY,REFUND.", "", ""},
      {"verify", {dt_VerifyTran}, "Action BAD invalid. Allowed values are: PAY,REFUND.", "", ""},
      {"day close", {dt_DayClose}, "<no error>", "DC", ""},
      {"totals", {dt_GetTotals}, "<no error>", "", "GT"},
      {"day close before totals", {dt_GetTotals, dt_DayClose}, "<no error>", "DC", ""},
      {"payment before the others", {dt_DayClose, dt_Pay}, "Action BAD invalid. Allowed values are: PAY,REFUND.", "", ""},
  };
  for (const auto& c : cases) {
    kPaymentHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(xml, c.types); }), c.error) << c.label;
    EXPECT_EQ(h.DayClose().fStoreCode, c.dayClose) << c.label;
    EXPECT_EQ(h.Totals().fStoreCode, c.totals) << c.label;
    EXPECT_EQ(h.Driver(), "VELO_VIROZI_10") << c.label;
  }
}

TEST(PaymentRequestTest, OpenNeedsNoOperationPart) {
  kPaymentHandler h;
  h.Deserialize("<Request><Driver>VELO_VIROZI_10</Driver><Connection><Type>COM</Type></Connection></Request>",
                {dt_Open});
  EXPECT_EQ(h.Driver(), "VELO_VIROZI_10");
}

TEST(PaymentRequestTest, DeviceFaultsComeFirst) {
  kPaymentHandler h;
  EXPECT_EQ(ErrorOf([&] {
              h.Deserialize("<Request><Connection><Type>x</Type></Connection><Payment><Action>BAD</Action></Payment></Request>",
                            {dt_Pay});
            }),
            "Connection Type x is not valid");
}

struct TextCase {
  const char* element;
  const char* text;
  int expected;  // the member's ordinal, or -1 for the error
  const char* error;
};

TEST(PaymentRequestTest, CodedTextsAndTheirMessages) {
  const TextCase cases[] = {
      {"PrintLocation", "", pl_ECR, nullptr},
      {"PrintLocation", "ECR", pl_ECR, nullptr},
      {"PrintLocation", "EFT", pl_EFT, nullptr},
      {"PrintLocation", "ecr", -1, "Payment Location ecr invalid. Allowed values are: ECR,EFT."},
      {"PrintLocation", "EFT ", -1, "Payment Location EFT  invalid. Allowed values are: ECR,EFT."},
      {"PaymentChannel", "", pc_Standard, nullptr},
      {"PaymentChannel", "STD", pc_Standard, nullptr},
      {"PaymentChannel", "MVP", pc_MealVoucherProvider, nullptr},
      {"PaymentChannel", "NHS", pc_NationalHealthService, nullptr},
      {"PaymentChannel", "nhs", -1, "Payment Channel nhs invalid. Allowed values are: STD,MVP,NHS."},
      {"Action", "", int(tkPaymentAction::Pay), nullptr},
      {"Action", "PAY", int(tkPaymentAction::Pay), nullptr},
      {"Action", "REFUND", int(tkPaymentAction::Refund), nullptr},
      {"Action", "VOID", int(tkPaymentAction::Void), nullptr},
      {"Action", "Refund", -1, "Action Refund invalid. Allowed values are: PAY,REFUND."},
      {"Phase", "", int(tkPaymentPhase::None), nullptr},
      {"Phase", "NONE", int(tkPaymentPhase::None), nullptr},
      {"Phase", "BEGIN", int(tkPaymentPhase::Begin), nullptr},
      {"Phase", "DO", int(tkPaymentPhase::Do), nullptr},
      {"Phase", "COMMIT", int(tkPaymentPhase::Commit), nullptr},
      {"Phase", "ROLLBACK", int(tkPaymentPhase::Rollback), nullptr},
      {"Phase", "END", -1, "Phase END invalid. Allowed values are: BEGIN,DO,COMMIT,ROLLBACK."},
      {"DocumentType", "receipt", dt_receipt, nullptr},
      {"DocumentType", "INVOICE", dt_invoice, nullptr},
      {"DocumentType", "TaxFree", dt_taxfree, nullptr},
      {"DocumentType", "invoice ", dt_receipt, nullptr},
      {"DocumentType", "credit", dt_receipt, nullptr},
      {"DocumentType", "", dt_receipt, nullptr},
  };
  for (const TextCase& c : cases) {
    const std::string children = std::string("<") + c.element + ">" + c.text + "</" + c.element + ">";
    kPaymentHandler h;
    const std::string error = ErrorOf([&] { h.Deserialize(Payment(children), {dt_Pay}); });
    if (c.expected < 0) {
      EXPECT_EQ(error, c.error) << children;
      continue;
    }
    ASSERT_EQ(error, "<no error>") << children;
    const kPaymentReceipt& r = h.PaymentReceipt();
    const std::string element = c.element;
    const int value = element == "PrintLocation"    ? int(r.fPrintLocation)
                      : element == "PaymentChannel" ? int(r.fPaymentChannel)
                      : element == "Action"         ? int(r.fAction)
                      : element == "Phase"          ? int(r.fPhase)
                                                    : int(r.fDocumentType);
    EXPECT_EQ(value, c.expected) << children;
  }
}

TEST(PaymentRequestTest, ReceiptColCountOnlyAboveZero) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {{"0", 32}, {"-5", 32}, {"", 32}, {"48", 48}, {"1", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(ReadPayment(std::string("<ReceiptColCount>") + c.text + "</ReceiptColCount>").fReceiptColCount,
              c.expected)
        << c.text;
  }
}

TEST(PaymentRequestTest, RefundReferenceParts) {
  kPaymentReceipt r = ReadPayment("<RefundReference/>");
  EXPECT_EQ(r.fRefundReference.PaymentNumber, "");
  EXPECT_EQ(r.fRefundReference.PaymentDateTime, 0.0);

  r = ReadPayment("<RefundReference><PaymentDateTime>2025-01-31T09:15:02.007</PaymentDateTime></RefundReference>");
  EXPECT_EQ(r.fRefundReference.PaymentNumber, "");
  EXPECT_EQ(r.fRefundReference.PaymentDateTime, EncodeDateTime({2025, 1, 31, 9, 15, 2, 7}));

  // Only as a child of the payment node.
  r = ReadPayment("<PaymentId>X</PaymentId>");
  EXPECT_EQ(r.fRefundReference.PaymentNumber, "");
}

TEST(PaymentRequestTest, ValueFaultsCarryTheGettersMessages) {
  const struct {
    const char* children;
    const char* message;
  } cases[] = {
      {"<Amount>12,50</Amount>", "Error in processing node Amount as currency.\r\n'12,50' is not a valid floating point value"},
      {"<TipAmount>x</TipAmount>", "Error in processing node TipAmount as currency.\r\n'x' is not a valid floating point value"},
      {"<RequestTipAmount></RequestTipAmount>",
       "Error in processing node RequestTipAmount as boolean.\r\n'' is not a valid boolean value"},
      {"<MaxItems>4.5</MaxItems>", "Error in processing node MaxItems as integer.\r\n'4.5' is not a valid integer value"},
      {"<ReceiptColCount>wide</ReceiptColCount>",
       "Error in processing node ReceiptColCount as integer.\r\n'wide' is not a valid integer value"},
      {"<Currency><Code>EUR</Code></Currency>",
       "Error in processing node Currency as string.\r\nElement \"Currency\" does not contain a single text node"},
      {"<RefundReference><PaymentDateTime>yesterday</PaymentDateTime></RefundReference>",
       "Error in processing node PaymentDateTime as datetime.\r\nDateTime Format invalid: [yesterday]"},
      {"<RefundReference><PaymentDateTime>2025-01-31</PaymentDateTime></RefundReference>",
       "Error in processing node PaymentDateTime as datetime.\r\nDateTime Format invalid: [2025-01-31]"},
  };
  for (const auto& c : cases) {
    kPaymentHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(Payment(c.children), {dt_Pay}); }), c.message) << c.children;
  }
}

TEST(PaymentRequestTest, FirstFaultInReadingOrderIsReported) {
  const struct {
    const char* children;
    const char* message;
  } cases[] = {
      {"<Phase>X</Phase><Action>Y</Action>", "Action Y invalid. Allowed values are: PAY,REFUND."},
      {"<PrintLocation>X</PrintLocation><Amount>1,5</Amount>",
       "Error in processing node Amount as currency.\r\n'1,5' is not a valid floating point value"},
      {"<Action>X</Action><PaymentChannel>Y</PaymentChannel>",
       "Payment Channel Y invalid. Allowed values are: STD,MVP,NHS."},
      {"<PaymentChannel>X</PaymentChannel><PrintLocation>Y</PrintLocation>",
       "Payment Location Y invalid. Allowed values are: ECR,EFT."},
      {"<PrintLocation>Y</PrintLocation><ReceiptColCount>z</ReceiptColCount>",
       "Error in processing node ReceiptColCount as integer.\r\n'z' is not a valid integer value"},
      {"<DocumentAmount>q</DocumentAmount><TokenizeCard>maybe</TokenizeCard>",
       "Error in processing node TokenizeCard as boolean.\r\n'maybe' is not a valid boolean value"},
      {"<DocumentNetAmount>n</DocumentNetAmount><DocumentAmount>a</DocumentAmount>",
       "Error in processing node DocumentAmount as currency.\r\n'a' is not a valid floating point value"},
      {"<MaxAmount>m</MaxAmount><MaxItems>i</MaxItems>",
       "Error in processing node MaxItems as integer.\r\n'i' is not a valid integer value"},
      {"<Amount>a</Amount><ReceiptSubType><x/></ReceiptSubType>",
       "Error in processing node ReceiptSubType as string.\r\nElement \"ReceiptSubType\" does not contain a single text node"},
      {"<ReceiptId><x/></ReceiptId><RefundReference><PaymentDateTime>z</PaymentDateTime></RefundReference>",
       "Error in processing node PaymentDateTime as datetime.\r\nDateTime Format invalid: [z]"},
      {"<DocumentType>bogus</DocumentType><Phase>P</Phase>",
       "Phase P invalid. Allowed values are: BEGIN,DO,COMMIT,ROLLBACK."},
  };
  for (const auto& c : cases) {
    kPaymentHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(Payment(c.children), {dt_Pay}); }), c.message) << c.children;
  }
}

TEST(PaymentRequestTest, ValuesReadBeforeAFaultAreKept) {
  kPaymentHandler h;
  EXPECT_NE(ErrorOf([&] {
              h.Deserialize(Payment("<Amount>5</Amount><PrintLocation>EFT</PrintLocation><Action>NO</Action>"),
                            {dt_Pay});
            }),
            "<no error>");
  EXPECT_EQ(h.PaymentReceipt().fAmount, Money("5"));
  EXPECT_EQ(h.PaymentReceipt().fPrintLocation, pl_EFT);
}

template <class TPart>
const TPart& PartOf(const kPaymentHandler& aHandler);
template <>
const kPaymentDayClose& PartOf<kPaymentDayClose>(const kPaymentHandler& aHandler) { return aHandler.DayClose(); }
template <>
const kPaymentTotals& PartOf<kPaymentTotals>(const kPaymentHandler& aHandler) { return aHandler.Totals(); }

template <class TPart>
void CheckStoreTotalsPart(const std::string& aNode, tkPaymentHandlerDocumentType aType) {
  SCOPED_TRACE(aNode);
  kPaymentHandler h;
  h.Deserialize(Request("<" + aNode + "><StoreCode>S</StoreCode><TillCode>T</TillCode><PrintLocation>EFT</PrintLocation>"
                        "<Reference>R</Reference></" + aNode + ">"),
                {aType});
  const TPart& part = PartOf<TPart>(h);
  EXPECT_EQ(part.fStoreCode, "S");
  EXPECT_EQ(part.fTillCode, "T");
  EXPECT_EQ(part.fPrintLocation, pl_EFT);
  EXPECT_EQ(part.fReference, "R");

  kPaymentHandler empty;
  empty.Deserialize(Request("<" + aNode + "/>"), {aType});
  EXPECT_EQ(PartOf<TPart>(empty).fPrintLocation, pl_ECR);
  EXPECT_EQ(PartOf<TPart>(empty).fStoreCode, "");

  for (const std::string& other : {std::string("<Payment/>"), "<" + aNode + "s/>", std::string("")}) {
    kPaymentHandler missing;
    EXPECT_EQ(ErrorOf([&] { missing.Deserialize(Request(other), {aType}); }), aNode + " node not found") << other;
  }
  kPaymentHandler bad;
  EXPECT_EQ(ErrorOf([&] {
              bad.Deserialize(Request("<" + aNode + "><StoreCode>S</StoreCode><PrintLocation>Eft</PrintLocation></" +
                                      aNode + ">"),
                              {aType});
            }),
            "Payment Location Eft invalid. Allowed values are: ECR,EFT.");
  EXPECT_EQ(PartOf<TPart>(bad).fStoreCode, "S");
}

TEST(PaymentRequestTest, DayCloseAndTotalsParts) {
  CheckStoreTotalsPart<kPaymentDayClose>("DayClose", dt_DayClose);
  CheckStoreTotalsPart<kPaymentTotals>("GetTotals", dt_GetTotals);
}

TEST(PaymentRequestTest, DocumentTypeSetHoldsItsMembers) {
  const tkPaymentHandlerDocumentTypes none;
  const tkPaymentHandlerDocumentTypes some{dt_Open, dt_VerifyTran};
  for (tkPaymentHandlerDocumentType t : {dt_Open, dt_Pay, dt_PayReprint, dt_DayClose, dt_GetTotals, dt_VerifyTran}) {
    EXPECT_FALSE(none.Contains(t));
    EXPECT_EQ(some.Contains(t), t == dt_Open || t == dt_VerifyTran) << int(t);
  }
  EXPECT_EQ(some.Bits(), 0b100001);
}

}  // namespace
