#include "payment/PaymentHandler.h"

#include "core/Errors.h"
#include "core/Text.h"
#include "device/krptUtil.h"

namespace {

// Letter case counts; an empty text keeps what the field holds.
void ReadPrintLocation(krptUtil::tkChildSource aNode, TkPrintLocation& aField) {
  const std::string text = krptUtil::GetNodeValueAsString(aNode, "PrintLocation");
  if (text.empty()) return;
  if (text == "ECR") {
    aField = pl_ECR;
  } else if (text == "EFT") {
    aField = pl_EFT;
  } else {
    throw EMxError("Payment Location " + text + " invalid. Allowed values are: ECR,EFT.");
  }
}

template <class T>
void LoadStoreTotalsPart(const pugi::xml_document& aDocument, const char* aNodeName, T& aPart) {
  const pugi::xml_node node = krptUtil::FindChildElement(aDocument.document_element(), aNodeName);
  if (!node) throw EMxError(std::string(aNodeName) + " node not found");
  aPart.fStoreCode = krptUtil::GetNodeValueAsString(node, "StoreCode");
  aPart.fTillCode = krptUtil::GetNodeValueAsString(node, "TillCode");
  ReadPrintLocation(node, aPart.fPrintLocation);
  aPart.fReference = krptUtil::GetNodeValueAsString(node, "Reference");
}

}  // namespace

void kPaymentReceipt::LoadFromDocument(const pugi::xml_document& aDocument) {
  const pugi::xml_node root = aDocument.document_element();
  pugi::xml_node node = krptUtil::FindChildElement(root, "Payment");
  if (!node) node = krptUtil::FindChildElement(root, "Reprint");
  if (!node) node = krptUtil::FindChildElement(root, "VerifyTran");
  if (!node) throw EMxError("Payment/Reprint/VerifyTran node not found");
  const krptUtil::tkChildElements values(node);

  // The order of the reads decides which fault is reported when there are several.
  fMerchantCode = krptUtil::GetNodeValueAsString(values, "MerchantCode");
  fStoreCode = krptUtil::GetNodeValueAsString(values, "StoreCode");
  fTillCode = krptUtil::GetNodeValueAsString(values, "TillCode");
  fReference = krptUtil::GetNodeValueAsString(values, "Reference");
  fReceiptSubType = krptUtil::GetNodeValueAsString(values, "ReceiptSubType");

  fAmount = krptUtil::GetNodeValueAsCurrency(values, "Amount");
  fCurrency = krptUtil::GetNodeValueAsString(values, "Currency");
  fTipAmount = krptUtil::GetNodeValueAsCurrency(values, "TipAmount");
  fRequestTipAmount = krptUtil::GetNodeValueAsBoolean(values, "RequestTipAmount", false);
  fAttributes = krptUtil::GetNodeValueAsString(values, "Attributes");
  fMaxItems = krptUtil::GetNodeValueAsInteger(values, "MaxItems");
  fMaxAmount = krptUtil::GetNodeValueAsCurrency(values, "MaxAmount");
  fTokenizeCard = krptUtil::GetNodeValueAsBoolean(values, "TokenizeCard", false);
  fTokenReference = krptUtil::GetNodeValueAsString(values, "TokenReference");
  fDocumentAmount = krptUtil::GetNodeValueAsCurrency(values, "DocumentAmount");
  fDocumentNetAmount = krptUtil::GetNodeValueAsCurrency(values, "DocumentNetAmount");
  fDocumentVatAmount = krptUtil::GetNodeValueAsCurrency(values, "DocumentVatAmount");

  // Unknown document types keep the receipt without complaint.
  const std::string documentType = LowerCase(krptUtil::GetNodeValueAsString(values, "DocumentType"));
  if (documentType == "receipt") {
    fDocumentType = dt_receipt;
  } else if (documentType == "invoice") {
    fDocumentType = dt_invoice;
  } else if (documentType == "taxfree") {
    fDocumentType = dt_taxfree;
  }

  const int32_t colCount = krptUtil::GetNodeValueAsInteger(values, "ReceiptColCount");
  if (colCount > 0) fReceiptColCount = colCount;

  ReadPrintLocation(values, fPrintLocation);

  const std::string channel = krptUtil::GetNodeValueAsString(values, "PaymentChannel");
  if (channel.empty() || channel == "STD") {
    fPaymentChannel = pc_Standard;
  } else if (channel == "MVP") {
    fPaymentChannel = pc_MealVoucherProvider;
  } else if (channel == "NHS") {
    fPaymentChannel = pc_NationalHealthService;
  } else {
    throw EMxError("Payment Channel " + channel + " invalid. Allowed values are: STD,MVP,NHS.");
  }

  const std::string action = krptUtil::GetNodeValueAsString(values, "Action");
  if (action.empty() || action == "PAY") {
    fAction = tkPaymentAction::Pay;
  } else if (action == "REFUND") {
    fAction = tkPaymentAction::Refund;
  } else if (action == "VOID") {
    fAction = tkPaymentAction::Void;
  } else {
    throw EMxError("Action " + action + " invalid. Allowed values are: PAY,REFUND.");
  }

  const std::string phase = krptUtil::GetNodeValueAsString(values, "Phase");
  if (phase.empty() || phase == "NONE") {
    fPhase = tkPaymentPhase::None;
  } else if (phase == "DO") {
    fPhase = tkPaymentPhase::Do;
  } else if (phase == "BEGIN") {
    fPhase = tkPaymentPhase::Begin;
  } else if (phase == "COMMIT") {
    fPhase = tkPaymentPhase::Commit;
  } else if (phase == "ROLLBACK") {
    fPhase = tkPaymentPhase::Rollback;
  } else {
    throw EMxError("Phase " + phase + " invalid. Allowed values are: BEGIN,DO,COMMIT,ROLLBACK.");
  }

  fOperatorId = krptUtil::GetNodeValueAsString(values, "OperatorId");

  if (const pugi::xml_node refund = values.Find("RefundReference")) {
    fRefundReference.PaymentNumber = krptUtil::GetNodeValueAsString(refund, "PaymentId");
    fRefundReference.PaymentDateTime = krptUtil::GetNodeValueAsDateTime(refund, "PaymentDateTime");
  }

  fReceiptId = krptUtil::GetNodeValueAsString(values, "ReceiptId");
}

void kPaymentDayClose::LoadFromDocument(const pugi::xml_document& aDocument) {
  LoadStoreTotalsPart(aDocument, "DayClose", *this);
}

void kPaymentTotals::LoadFromDocument(const pugi::xml_document& aDocument) {
  LoadStoreTotalsPart(aDocument, "GetTotals", *this);
}

void kPaymentHandler::Deserialize(const std::string& aXml, tkPaymentHandlerDocumentTypes aDocumentTypes) {
  const std::unique_ptr<pugi::xml_document> document = kDeviceHandler::Deserialize(aXml);
  if (aDocumentTypes.Contains(dt_Pay) || aDocumentTypes.Contains(dt_PayReprint) ||
      aDocumentTypes.Contains(dt_VerifyTran)) {
    fPaymentReceipt.LoadFromDocument(*document);
  } else if (aDocumentTypes.Contains(dt_DayClose)) {
    fDayClose.LoadFromDocument(*document);
  } else if (aDocumentTypes.Contains(dt_GetTotals)) {
    fTotals.LoadFromDocument(*document);
  }
}
