#include "velo-pos/PosOutput.h"

#include <charconv>
#include <cstdio>

#include "drivers/ViroziWallets.h"

namespace {

constexpr char kRed[] = "\x1b[31m";
constexpr char kGreen[] = "\x1b[32m";
constexpr char kBold[] = "\x1b[1m";
constexpr char kDim[] = "\x1b[2m";
constexpr char kReset[] = "\x1b[0m";

constexpr size_t kLabelWidth = 24;
constexpr char kIndent[] = "    ";

void AppendUtf8(std::string& aText, uint32_t aCodePoint) {
  if (aCodePoint < 0x80) {
    aText += static_cast<char>(aCodePoint);
  } else if (aCodePoint < 0x800) {
    aText += static_cast<char>(0xC0 | (aCodePoint >> 6));
    aText += static_cast<char>(0x80 | (aCodePoint & 0x3F));
  } else if (aCodePoint < 0x10000) {
    aText += static_cast<char>(0xE0 | (aCodePoint >> 12));
    aText += static_cast<char>(0x80 | ((aCodePoint >> 6) & 0x3F));
    aText += static_cast<char>(0x80 | (aCodePoint & 0x3F));
  } else {
    aText += static_cast<char>(0xF0 | (aCodePoint >> 18));
    aText += static_cast<char>(0x80 | ((aCodePoint >> 12) & 0x3F));
    aText += static_cast<char>(0x80 | ((aCodePoint >> 6) & 0x3F));
    aText += static_cast<char>(0x80 | (aCodePoint & 0x3F));
  }
}

// A character reference's code point; false when it is not one XML allows.
bool ReferenceCodePoint(std::string_view aBody, uint32_t& aCodePoint) {
  if (aBody.size() < 2 || aBody[0] != '#') return false;
  const bool hex = aBody[1] == 'x';
  const std::string_view digits = aBody.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), aCodePoint, hex ? 16 : 10);
  if (error != std::errc() || end != digits.data() + digits.size()) return false;
  return aCodePoint != 0 && aCodePoint <= 0x10FFFF && !(aCodePoint >= 0xD800 && aCodePoint <= 0xDFFF);
}

// The lines of a value; a receipt's blank lines at its start and end are left out.
std::vector<std::string_view> DisplayLines(std::string_view aValue) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= aValue.size()) {
    size_t end = aValue.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = aValue.size();
    lines.push_back(aValue.substr(start, end - start));
    if (end == aValue.size()) break;
    start = end + ((aValue[end] == '\r' && end + 1 < aValue.size() && aValue[end + 1] == '\n') ? 2 : 1);
    if (start == aValue.size()) break;
  }
  while (!lines.empty() && lines.front().empty()) lines.erase(lines.begin());
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

bool IsZeroValue(std::string_view aValue) {
  return aValue.empty() || aValue == "0" || aValue == "False" || aValue == "1899-12-30T00:00:00";
}

}  // namespace

bool ParseFragment(std::string_view aFragment, std::vector<tkFragmentField>& aFields) {
  size_t at = 0;
  for (;;) {
    while (at < aFragment.size() &&
           (aFragment[at] == '\r' || aFragment[at] == '\n' || aFragment[at] == ' ' || aFragment[at] == '\t')) {
      ++at;
    }
    if (at == aFragment.size()) return true;
    if (aFragment[at] != '<') return false;
    const size_t nameEnd = aFragment.find('>', at);
    if (nameEnd == std::string_view::npos) return false;
    const std::string_view name = aFragment.substr(at + 1, nameEnd - at - 1);
    if (name.empty() || name.find_first_of("/ <\t\r\n") != std::string_view::npos) return false;
    const std::string close = "</" + std::string(name) + ">";
    const size_t valueEnd = aFragment.find(close, nameEnd + 1);
    if (valueEnd == std::string_view::npos) return false;
    const std::string_view value = aFragment.substr(nameEnd + 1, valueEnd - nameEnd - 1);
    if (value.find('<') != std::string_view::npos) return false;
    aFields.push_back({std::string(name), UnescapeXml(value)});
    at = valueEnd + close.size();
  }
}

std::string UnescapeXml(std::string_view aText) {
  std::string text;
  text.reserve(aText.size());
  size_t at = 0;
  while (at < aText.size()) {
    const size_t amp = aText.find('&', at);
    if (amp == std::string_view::npos) break;
    text.append(aText.substr(at, amp - at));
    const size_t semicolon = aText.find(';', amp);
    const std::string_view body =
        semicolon == std::string_view::npos ? std::string_view() : aText.substr(amp + 1, semicolon - amp - 1);
    uint32_t codePoint = 0;
    if (body == "amp") {
      text += '&';
    } else if (body == "lt") {
      text += '<';
    } else if (body == "gt") {
      text += '>';
    } else if (body == "quot") {
      text += '"';
    } else if (body == "apos") {
      text += '\'';
    } else if (ReferenceCodePoint(body, codePoint)) {
      AppendUtf8(text, codePoint);
    } else {
      text += '&';
      at = amp + 1;
      continue;
    }
    at = semicolon + 1;
  }
  text.append(aText.substr(at));
  return text;
}

std::string FormatRawAnswer(const tkAnswer& aAnswer) {
  return "result: " + std::to_string(aAnswer.Result) + "\n" + aAnswer.Output + "\n" + "error: " + aAnswer.Error +
         "\n";
}

bool AnswerSucceeded(std::string_view aExport, const tkAnswer& aAnswer) {
  if (aAnswer.Result != 0) return false;
  return aExport != "VERSION" || !aAnswer.Output.empty();
}

std::string FormatSeconds(double aSeconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", aSeconds < 0 ? 0.0 : aSeconds);
  return buffer;
}

std::string RefusalHint(std::string_view aExport, const tkAnswer& aAnswer) {
  std::vector<tkFragmentField> fields;
  ParseFragment(aAnswer.Output, fields);
  std::string error = aAnswer.Error;
  for (const tkFragmentField& field : fields) {
    if (field.Name == "ErrorText" && !field.Value.empty()) error = field.Value;
  }
  auto startsWith = [&](std::string_view aStart) { return error.compare(0, aStart.size(), aStart) == 0; };
  auto endsWith = [&](std::string_view aEnd) {
    return error.size() >= aEnd.size() && error.compare(error.size() - aEnd.size(), aEnd.size(), aEnd) == 0;
  };
  if (aExport == "PAY" && startsWith("Invalid Attribute [")) {
    std::string names;
    for (const auto& wallet : virozi::kWallets) {
      if (!names.empty()) names += ", ";
      names += wallet.first;
    }
    return "wallets (--wallet, any letter case): " + names +
           "; on the MVP channel --coupon takes a coupon code, letters and digits";
  }
  if (aExport == "PAY" && startsWith("Action ") && endsWith(" invalid. Allowed values are: PAY,REFUND.")) {
    return "actions (--action), in capitals: PAY, REFUND, VOID; the VIROZI driver answers REFUND and VOID with "
           "\"Not supported\"";
  }
  if (startsWith("Connection Type ") && endsWith(" is not valid")) {
    return "connection types (--connection): COM, DLL, TCP, HTTP, OPOS, SERIAL, SPOOL, or none for no Connection "
           "element";
  }
  if (startsWith("Payment Driver [") && endsWith("] not registered.")) {
    return "drivers (--driver): VELO_VIROZI_10, in capitals";
  }
  return {};
}

std::string JsonString(std::string_view aText) {
  std::string out = "\"";
  out.reserve(aText.size() + 2);
  size_t i = 0;
  while (i < aText.size()) {
    const auto c = static_cast<unsigned char>(aText[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    // The length of a well-formed UTF-8 sequence starting here, 0 when it is not one.
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length != 0 && i + length <= aText.size()) {
      const auto second = static_cast<unsigned char>(aText[i + 1]);
      const bool secondOk = c == 0xE0   ? second >= 0xA0 && second <= 0xBF
                            : c == 0xED ? second >= 0x80 && second <= 0x9F
                            : c == 0xF0 ? second >= 0x90 && second <= 0xBF
                            : c == 0xF4 ? second >= 0x80 && second <= 0x8F
                                        : second >= 0x80 && second <= 0xBF;
      bool ok = secondOk;
      for (size_t k = 2; ok && k < length; ++k) {
        const auto next = static_cast<unsigned char>(aText[i + k]);
        ok = next >= 0x80 && next <= 0xBF;
      }
      if (!ok) length = 0;
    } else {
      length = 0;
    }
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(aText.substr(i, length));
      i += length;
    }
  }
  out += '"';
  return out;
}

std::string tkPosPrinter::Paint(std::string_view aText, const char* aCode) const {
  if (!fColours || aCode == nullptr) return std::string(aText);
  return std::string(aCode) + std::string(aText) + kReset;
}

void tkPosPrinter::Field(std::string_view aName, std::string_view aValue, const char* aCode) {
  std::string label(aName);
  if (label.size() < kLabelWidth) label.resize(kLabelWidth, ' ');
  else label += ' ';
  const std::vector<std::string_view> lines = DisplayLines(aValue);
  if (lines.empty()) {
    fOut << kIndent << aName << "\n";
    return;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    fOut << kIndent << (i == 0 ? label : std::string(label.size(), ' ')) << Paint(lines[i], aCode) << "\n";
  }
}

void tkPosPrinter::StepHeading(const tkStepView& aStep) {
  if (fJson) return;
  fOut << Paint("[" + std::to_string(aStep.Number) + "] " + aStep.Title, kBold) << "\n";
  if (!aStep.Command.empty()) fOut << kIndent << Paint("$ velo-pos " + aStep.Command, kDim) << "\n";
  if (fVerbose) Field("request", aStep.Request, kDim);
  fOut.flush();
}

void tkPosPrinter::JsonStep(const tkStepView& aStep) {
  const tkAnswer& answer = aStep.Answer;
  std::string line = "{\"step\":" + std::to_string(aStep.Number) + ",\"operation\":" + JsonString(aStep.Title) +
                     ",\"export\":" + JsonString(aStep.Export) + ",\"result\":" + std::to_string(answer.Result) +
                     ",\"ok\":" + (aStep.Succeeded ? "true" : "false");
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", aStep.Seconds < 0 ? 0.0 : aStep.Seconds);
  line += ",\"seconds\":";
  line += seconds;
  if (fVerbose) line += ",\"request\":" + JsonString(aStep.Request);
  std::vector<tkFragmentField> fields;
  if (aStep.Export != "VERSION" && ParseFragment(answer.Output, fields)) {
    line += ",\"answer\":{";
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) line += ',';
      line += JsonString(fields[i].Name) + ":" + JsonString(fields[i].Value);
    }
    line += '}';
  } else {
    line += ",\"output\":" + (answer.OutputNull ? std::string("null") : JsonString(answer.Output));
  }
  line += ",\"error\":" + (answer.ErrorNull ? std::string("null") : JsonString(answer.Error));
  if (!aStep.Note.empty()) line += ",\"note\":" + JsonString(aStep.Note);
  if (!aStep.Hint.empty()) line += ",\"hint\":" + JsonString(aStep.Hint);
  fOut << line << "}\n";
  fOut.flush();
}

void tkPosPrinter::StepOutcome(const tkStepView& aStep) {
  if (fJson) {
    JsonStep(aStep);
    return;
  }
  const tkAnswer& answer = aStep.Answer;
  std::string status = aStep.Export + " ";
  if (aStep.Succeeded) {
    status += Paint("ok", kGreen);
  } else if (answer.Result != 0) {
    status += Paint("FAILED (result " + std::to_string(answer.Result) + ")", kRed);
  } else {
    status += Paint("FAILED (no answer)", kRed);
  }
  status += " in " + FormatSeconds(aStep.Seconds);
  if (!aStep.Note.empty()) status += " - " + Paint(aStep.Note, aStep.NoteIsProblem ? kRed : nullptr);
  fOut << kIndent << status << "\n";

  if (aStep.Export == "VERSION") {
    if (!answer.Output.empty()) {
      fOut << kIndent << answer.Output << "\n";
    } else if (answer.Result == 0) {
      fOut << kIndent << Paint("no driver '" + aStep.Request + "' in this library", kRed) << "\n";
    }
  } else {
    std::vector<tkFragmentField> fields;
    if (!ParseFragment(answer.Output, fields)) {
      Field("answer", answer.Output, nullptr);
      fields.clear();
    }
    const bool everything = fVerbose || aStep.Export == "GETSTATUS";
    bool errorShown = false;
    for (const tkFragmentField& field : fields) {
      if (field.Name == "ErrorText") {
        errorShown = true;
        if (!field.Value.empty() || fVerbose) Field(field.Name, field.Value, aStep.Succeeded ? nullptr : kRed);
        continue;
      }
      if (!fVerbose && (field.Name == "Error" || field.Name == "LogFileName")) continue;
      if (!everything && IsZeroValue(field.Value)) continue;
      Field(field.Name, field.Value, nullptr);
    }
    if (!errorShown && !answer.Error.empty()) Field("error", answer.Error, aStep.Succeeded ? nullptr : kRed);
  }
  if (!aStep.Hint.empty()) Field("hint", aStep.Hint, kDim);
  fOut << "\n";
  fOut.flush();
}

void tkPosPrinter::Raw(const tkAnswer& aAnswer) {
  if (fJson) {
    fOut << "{\"result\":" << aAnswer.Result
         << ",\"output\":" << (aAnswer.OutputNull ? std::string("null") : JsonString(aAnswer.Output))
         << ",\"error\":" << (aAnswer.ErrorNull ? std::string("null") : JsonString(aAnswer.Error)) << "}\n";
  } else {
    fOut << FormatRawAnswer(aAnswer);
  }
  fOut.flush();
}

void tkPosPrinter::Expectation(std::string_view aWanted, bool aMet, std::string_view aFound) {
  if (fJson) {
    fOut << "{\"expect\":" << JsonString(aWanted) << ",\"met\":" << (aMet ? "true" : "false");
    if (!aMet) fOut << ",\"found\":" << JsonString(aFound);
    fOut << "}\n";
  } else if (aMet) {
    fOut << kIndent << "expect " << aWanted << ": " << Paint("yes", kGreen) << "\n\n";
  } else {
    fOut << kIndent << "expect " << aWanted << ": " << Paint("NO, " + std::string(aFound), kRed) << "\n\n";
  }
  fOut.flush();
}

void tkPosPrinter::Line(std::string_view aText) {
  if (!fJson) fOut << aText << "\n";
}

void tkPosPrinter::Problem(std::string_view aText) {
  if (fJson) {
    fOut << "{\"problem\":" << JsonString(aText) << "}\n";
  } else {
    fOut << Paint(aText, kRed) << "\n";
  }
}

void tkPosPrinter::Prompt(std::string_view aText) {
  fOut << aText;
  fOut.flush();
}
