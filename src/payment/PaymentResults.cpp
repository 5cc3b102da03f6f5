#include "payment/PaymentResults.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/Errors.h"
#include "core/Text.h"
#include "core/Utils.h"

template <>
_int_PAY_result ResetResultOf<_int_PAY_result>() {
  _int_PAY_result result;
  result.Error = true;
  result.TransactionType = ptt_Other;
  result.PaymentNetwork = tkPaymentNetwork::Other;
  return result;
}

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The characters of XML 1.0 (its production Char).
bool IsXmlChar(char32_t aCp) {
  if (aCp < 0x20) return aCp == '\t' || aCp == '\n' || aCp == '\r';
  return aCp != 0xFFFE && aCp != 0xFFFF;
}

bool IsPlainXmlByte(unsigned char aByte) {
  if (aByte < 0x20) return aByte == '\t' || aByte == '\n' || aByte == '\r';
  return aByte < 0x7F && aByte != '&' && aByte != '<' && aByte != '>' && aByte != '"' && aByte != '\'';
}

// Where the bytes from aFrom on that go into an answer as they are end. Receipt texts make
// up most of an answer, so where the machine has SSE2 they are looked at sixteen at a time.
size_t PlainLength(std::string_view aText, size_t aFrom = 0) {
  size_t plain = aFrom;
#ifdef __SSE2__
  const auto splat = [](char c) { return _mm_set1_epi8(c); };
  while (aText.size() - plain >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText.data() + plain));
    const auto is = [&](char c) { return _mm_cmpeq_epi8(block, splat(c)); };
    // Signed bytes: below blank are the controls and everything from 0x80 up.
    const __m128i lineControl = _mm_or_si128(_mm_or_si128(is('\t'), is('\n')), is('\r'));
    const __m128i control = _mm_andnot_si128(lineControl, _mm_cmplt_epi8(block, splat(' ')));
    const __m128i markup = _mm_or_si128(_mm_or_si128(_mm_or_si128(is('&'), is('<')), _mm_or_si128(is('>'), is('"'))),
                                        _mm_or_si128(is('\''), is('\x7F')));
    const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(control, markup)));
    if (other != 0) return plain + std::countr_zero(other);
    plain += 16;
  }
#endif
  while (plain < aText.size() && IsPlainXmlByte(static_cast<unsigned char>(aText[plain]))) ++plain;
  return plain;
}

// A POS parser refuses the whole answer for one character that XML 1.0 does not allow,
// so each such character, and each byte that is no UTF-8, is carried as U+FFFD.
void AppendEscaped(std::string& aOut, std::string_view aText) {
  for (size_t i = 0; i < aText.size();) {
    // Plain ASCII goes over in one piece: nearly every value is nothing else.
    const size_t plain = PlainLength(aText, i);
    if (plain > i) {
      aOut.append(aText.data() + i, plain - i);
      i = plain;
      continue;
    }
    const char c = aText[i];
    switch (c) {
      case '&': aOut += "&amp;"; ++i; continue;
      case '<': aOut += "&lt;"; ++i; continue;
      case '>': aOut += "&gt;"; ++i; continue;
      case '"': aOut += "&quot;"; ++i; continue;
      case '\'': aOut += "&apos;"; ++i; continue;
      default: break;
    }
    char32_t cp = 0;
    size_t length = 0;
    if (!Utf8CodePointAt(aText, i, cp, length)) {
      aOut += kReplacement;  // one per byte that is no UTF-8
      ++i;
      continue;
    }
    if (IsXmlChar(cp)) {
      aOut.append(aText.substr(i, length));
    } else {
      aOut += kReplacement;
    }
    i += length;
  }
}

}  // namespace

std::string EscapeXml(std::string_view aText) {
  std::string text;
  text.reserve(aText.size());
  AppendEscaped(text, aText);
  return text;
}

std::string RenderBoolean(bool aValue) { return aValue ? "True" : "False"; }

std::string RenderAmount(Currency aValue) { return aValue.ToString(); }

std::string RenderInteger(int32_t aValue) { return std::to_string(aValue); }

std::string RenderCount(int32_t aValue) { return RenderAmount(Currency::FromUnits(aValue)); }

std::string RenderDateTime(TDateTime aValue) {
  try {
    return FormatDateTimeISO(false, aValue);
  } catch (const EMxError&) {
    // A value outside the calendar (or not a number) has no date to show; the rest of
    // the answer still goes out.
    return std::string();
  }
}

namespace {

class Fragment {
 public:
  // Room for a usual answer at once rather than in several regrowths.
  Fragment() { fText.reserve(1024); }
  Fragment& Add(std::string_view aName, std::string_view aValue) { return Element(aName, aValue, false); }
  Fragment& Escaped(std::string_view aName, std::string_view aValue) { return Element(aName, aValue, true); }
  template <class TResult>
  Fragment& Tail(const TResult& aResult) {
    Add("Error", RenderBoolean(aResult.Error));
    Escaped("ErrorText", aResult.ErrorText);
    return Escaped("LogFileName", aResult.LogFileName);
  }
  std::string Take() { return std::move(fText); }

 private:
  Fragment& Element(std::string_view aName, std::string_view aValue, bool aEscape) {
    // Nearly every value needs no escaping and goes over as it is.
    std::string escaped;
    if (aEscape && PlainLength(aValue) != aValue.size()) {
      AppendEscaped(escaped, aValue);
      aValue = escaped;
    }
    // One piece of the exact size.
    const size_t at = fText.size();
    const size_t lineBreak = at == 0 ? 0 : 2;
    fText.resize(at + lineBreak + 2 * aName.size() + aValue.size() + 5);
    char* p = fText.data() + at;
    const auto put = [&p](std::string_view aPart) {
      std::memcpy(p, aPart.data(), aPart.size());
      p += aPart.size();
    };
    if (lineBreak) put("\r\n");
    put("<");
    put(aName);
    put(">");
    put(aValue);
    put("</");
    put(aName);
    put(">");
    return *this;
  }

  std::string fText;
};

}  // namespace

std::string FormatFragment(const _int_PAY_result& r) {
  Fragment f;
  f.Escaped("DeviceId", r.DeviceId)
      .Add("PaymentDateTime", RenderDateTime(r.PaymentDateTime))
      .Escaped("PaymentNumber", r.PaymentNumber)
      .Add("PaymentAmount", RenderAmount(r.PaymentAmount))
      .Escaped("PaymentCurrency", r.PaymentCurrency)
      .Add("ExchangeRate", RenderAmount(r.ExchangeRate))
      .Add("PaymentAmountCurrency", RenderAmount(r.PaymentAmountCurrency))
      .Escaped("PaymentCurrencyCurrency", r.PaymentCurrencyCurrency)
      .Add("TippedAmount", RenderAmount(r.TippedAmount))
      .Add("RemainingBalance", RenderAmount(r.RemainingBalance))
      .Add("InstalmentCount", RenderInteger(r.InstalmentCount))
      .Escaped("MaskedPAN", r.MaskedPAN)
      .Escaped("SerialNumber", r.SerialNumber)
      .Add("PaymentNetwork", _int_PAY_result::DecodeNetwork(r.PaymentNetwork))
      .Add("TransactionType", _int_PAY_result::DecodeTransactionType(r.TransactionType))
      .Escaped("AuthCode", r.AuthCode)
      .Escaped("TraceAuditId", r.TraceAuditId)
      .Add("NumberOfItems", RenderInteger(r.NumberOfItems))
      .Add("SingleItemAmount", RenderAmount(r.SingleItemAmount))
      .Add("SignatureRequested", RenderBoolean(r.SignatureRequested))
      .Escaped("CustomerCountryCode", r.CustomerCountryCode)
      .Escaped("CardToken", r.CardToken)
      .Escaped("RefundReference", r.RefundReference)
      .Escaped("ReceiptText", r.ReceiptText)
      .Escaped("CashierReceiptText", r.CashierReceiptText)
      .Escaped("DigitalSignature", r.DigitalSignature)
      .Escaped("DigitalSignatureInput", r.DigitalSignatureInput)
      .Tail(r);
  return f.Take();
}

std::string FormatFragment(const _int_REPRINT_result& r) {
  Fragment f;
  f.Escaped("ReceiptText", r.ReceiptText).Escaped("CashierReceiptText", r.CashierReceiptText).Tail(r);
  return f.Take();
}

std::string FormatFragment(const _int_GETSTATUS_result& r) {
  Fragment f;
  f.Add("DayOpened", RenderBoolean(r.DayOpened))
      .Add("DateTime", RenderDateTime(r.DateTime))
      .Add("PaperEnd", RenderBoolean(r.PaperEnd))
      .Add("PaperNearEnd", RenderBoolean(r.PaperNearEnd))
      .Add("CoverOpen", RenderBoolean(r.CoverOpen))
      .Add("FiscalReceiptOpen", RenderBoolean(r.FiscalReceiptOpen))
      .Add("ReceiptOpen", RenderBoolean(r.ReceiptOpen))
      .Add("TrainingMode", RenderBoolean(r.TrainingMode))
      .Escaped("FirmwareVersion", r.FirmwareVersion)
      .Escaped("SerialNumber", r.SerialNumber)
      .Escaped("FiscalMode", r.FiscalMode)
      .Tail(r);
  return f.Take();
}

std::string FormatFragment(const _int_OPEN_result& r) {
  Fragment f;
  f.Add("Handle", RenderInteger(r.Handle)).Tail(r);
  return f.Take();
}

std::string FormatFragment(const _int_CLOSE_result& r) {
  Fragment f;
  f.Tail(r);
  return f.Take();
}

std::string FormatFragment(const _int_DAYCLOSE_result& r) {
  Fragment f;
  f.Escaped("DeviceId", r.DeviceId)
      .Add("ClosureDateTime", RenderDateTime(r.ClosureDateTime))
      .Escaped("ClosureNumber", r.ClosureNumber)
      .Add("TransactionsCount", RenderCount(r.TransactionsCount))
      .Add("TotalAmount", RenderAmount(r.TotalAmount))
      .Escaped("Currency", r.Currency)
      .Escaped("ReceiptText", r.ReceiptText)
      .Tail(r);
  return f.Take();
}

std::string FormatFragment(const _int_GETTOTALS_result& r) {
  Fragment f;
  f.Escaped("DeviceId", r.DeviceId)
      .Add("DateTime", RenderDateTime(r.DateTime))
      .Add("TransactionsCount", RenderCount(r.TransactionsCount))
      .Add("TotalAmount", RenderAmount(r.TotalAmount))
      .Escaped("Currency", r.Currency)
      .Escaped("ReceiptText", r.ReceiptText)
      .Tail(r);
  return f.Take();
}
