#pragma once
// Typed reading of request documents and the receipt vocabulary. Class operations only.
#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Currency.h"
#include "core/DateTime.h"
#include "core/Numbers.h"
#include "device/Receipt.h"

class krptUtil {
 public:
  krptUtil() = delete;

  // The syntax of the documents' integer values (GetNodeValueAsInteger).
  static constexpr tkIntegerSyntax kIntegerSyntax{.LeadingBlanks = true, .Hex = true};

  // The first child ELEMENT named exactly aName: a processing instruction may carry the
  // same name. Null when there is none.
  static pugi::xml_node FindChildElement(pugi::xml_node aParent, std::string_view aName);

  // The first child element of each name of one element, collected in one pass: for an
  // element many values are read from, which would otherwise walk its children each time.
  class tkChildElements {
   public:
    explicit tkChildElements(pugi::xml_node aParent);
    pugi::xml_node Find(std::string_view aName) const;

   private:
    struct Entry {
      std::string_view fName;
      size_t fOrder;
      pugi::xml_node fNode;
    };
    std::vector<Entry> fByName;  // ordered by name (length first), then by place
  };

  // Where a getter looks for its child: the children of an element, or their index.
  class tkChildSource {
   public:
    tkChildSource(pugi::xml_node aParent) : fParent(aParent) {}  // NOLINT(google-explicit-constructor)
    tkChildSource(const tkChildElements& aIndex) : fIndex(&aIndex) {}  // NOLINT(google-explicit-constructor)
    pugi::xml_node Find(std::string_view aName) const {
      return fIndex ? fIndex->Find(aName) : FindChildElement(fParent, aName);
    }

   private:
    pugi::xml_node fParent;
    const tkChildElements* fIndex = nullptr;
  };

  // --- values of child elements -------------------------------------------------------
  // The getters read the first child ELEMENT named exactly aNodeName. Its text is absent
  // when it has no content or one empty text; the single text or CDATA child otherwise;
  // any other content fails. Failures raise EMxError
  // "Error in processing node <name> as <kind>.\r\n" + the cause.

  // Absent child or text: "".
  static std::string GetNodeValueAsString(tkChildSource aParent, std::string_view aNodeName);
  // The text of aElement itself, read and reported as GetNodeValueAsString reads its
  // first child element of that name.
  static std::string GetElementValueAsString(pugi::xml_node aElement);
  // Absent child or text: 0. Leading spaces, optional sign, then decimal digits or hex
  // digits after "$", "x", "X", "0x" or "0X"; nothing may follow. Decimal must fit 32 bits
  // signed. Hex takes up to 32 bits read as two's complement, so $FFFFFFFF is -1 and a
  // minus sign negates that pattern; more than 32 significant bits fail.
  static int32_t GetNodeValueAsInteger(tkChildSource aParent, std::string_view aNodeName);
  // Absent child or text: 0. '.' is the decimal separator whatever the locale.
  static Currency GetNodeValueAsCurrency(tkChildSource aParent, std::string_view aNodeName);
  // Absent child: aDefaultValue. A number ('.' separator) is true when not zero; otherwise
  // "true"/"false" in any case; the empty text fails.
  static bool GetNodeValueAsBoolean(tkChildSource aParent, std::string_view aNodeName,
                                    bool aDefaultValue);
  // Absent child: 0.
  static TDateTime GetNodeValueAsDate(tkChildSource aParent, std::string_view aNodeName);
  static TDateTime GetNodeValueAsDateTime(tkChildSource aParent, std::string_view aNodeName);
  // As GetNodeValueAsDateTime, with 0 for any failure.
  static TDateTime TryGetNodeValueAsDateTime(tkChildSource aParent, std::string_view aNodeName);

  static bool HasNode(tkChildSource aParent, std::string_view aNodeName);
  // "" when the attribute is missing.
  static std::string GetAttributeValueAsString(pugi::xml_node aNode, std::string_view aAttrName);
  // Appends a new last child element holding aNodeValue as its text. Raises EMxError when
  // the name is not an XML name or the parent cannot hold elements.
  static pugi::xml_node AddNode(pugi::xml_node aParentNode, std::string_view aNodeName,
                                std::string_view aNodeValue);

  // --- text repair ----------------------------------------------------------------------
  // Re-reads every text below aNode through the ANSI code page: as Windows-1253 when
  // aCharset is "gr" (any case), otherwise as the ANSI code page itself.
  static void ChangeXMLEncoding(pugi::xml_node aNode, std::string_view aCharset);
  // Plain 7-bit text for simple printers.
  static std::string NormalizeText(std::string_view aText);

  // --- receipt vocabulary ---------------------------------------------------------------
  // Decoders lower-case the text (ASCII) and match whole words; unknown words raise
  // EMxError carrying the lower-cased text, unless a default is documented below.
  // Encoders never fail: a value outside its type gives the empty text.
  static tkReceiptLineType DecodeLineType(std::string_view aLineType);
  static std::string EncodeLineType(tkReceiptLineType aLineType);
  // Unknown words give rla_Service.
  static tkReceiptLineAttribute DecodeLineAttribute(std::string_view aAttribute);
  // Unknown words give rrt_OriginalReceipt.
  static tkReceiptReferenceType DecodeReferenceType(std::string_view aReferenceType);
  static std::string EncodeReferenceType(tkReceiptReferenceType aReferenceType);
  static tkReceiptType DecodeReceiptType(std::string_view aReceiptType);
  static std::string EncodeReceiptType(tkReceiptType aReceiptType);
  static tkReceiptPaymentType DecodePaymentType(std::string_view aPaymentType);
  static std::string EncodePaymentType(tkReceiptPaymentType aPaymentType);
  static tkReceiptTaxType DecodeTaxType(std::string_view aTaxType);
  static std::string EncodeTaxType(tkReceiptTaxType aTaxType);
  static tkReceiptMessageLineAlignment DecodeAlignment(std::string_view aAlignment);
  static std::string EncodeAlignment(tkReceiptMessageLineAlignment aAlignment);
  static tkReceiptMessageBarcodeType DecodeBarcodeType(std::string_view aBarcodeType);
  static std::string EncodeBarcodeType(tkReceiptMessageBarcodeType aBarcodeType);
  static tkReceiptMessageLineEffect DecodeEffect(std::string_view aEffect);
  static std::string EncodeEffect(tkReceiptMessageLineEffect aEffect);
  // Comma-separated effects; reading stops at the first empty field.
  static tkReceiptMessageLineEffectSet DecodeEffects(std::string_view aEffects);
  static std::string EncodeEffects(tkReceiptMessageLineEffectSet aEffects);
  // The empty text gives is_FileSystem.
  static tkReceiptMessageImageSource DecodeImageSource(std::string_view aSource);
  static std::string EncodeImageSource(tkReceiptMessageImageSource aSource);
  // The empty text gives cid_NA.
  static tkReceiptCustomerIdType DecodeCustomerIdType(std::string_view aCustomerIdType);
  static std::string EncodeCustomerIdType(tkReceiptCustomerIdType aCustomerIdType);
  static tkEJReportType DecodeEJReportType(std::string_view aReportType);
  static tkEJReportDestination DecodeEJReportDestination(std::string_view aReportDestination);
  static tkEJFilesRequestType DecodeEJRequestType(std::string_view aRequestType);
};
