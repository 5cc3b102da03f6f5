#include "velo-pos/PosOutput.h"

#include <charconv>
#include <cstdio>

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
  fOut << Paint("[" + std::to_string(aStep.Number) + "] " + aStep.Title, kBold) << "\n";
  if (!aStep.Command.empty()) fOut << kIndent << Paint("$ velo-pos " + aStep.Command, kDim) << "\n";
  if (fVerbose) Field("request", aStep.Request, kDim);
  fOut.flush();
}

void tkPosPrinter::StepOutcome(const tkStepView& aStep) {
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
  fOut << "\n";
  fOut.flush();
}

void tkPosPrinter::Raw(const tkAnswer& aAnswer) {
  fOut << FormatRawAnswer(aAnswer);
  fOut.flush();
}

void tkPosPrinter::Line(std::string_view aText) { fOut << aText << "\n"; }

void tkPosPrinter::Problem(std::string_view aText) { fOut << Paint(aText, kRed) << "\n"; }

void tkPosPrinter::Prompt(std::string_view aText) {
  fOut << aText;
  fOut.flush();
}
