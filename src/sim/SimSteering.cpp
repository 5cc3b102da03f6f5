#include "sim/SimSteering.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/Errors.h"

namespace sim {

std::string JournalEscape(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (char c : aText) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string ScriptUnescape(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] == '\\' && i + 1 < aText.size()) {
      switch (aText[i + 1]) {
        case '\\': out += '\\'; ++i; continue;
        case 't': out += '\t'; ++i; continue;
        case 'r': out += '\r'; ++i; continue;
        case 'n': out += '\n'; ++i; continue;
        default: break;
      }
    }
    out += aText[i];
  }
  return out;
}

bool JournalKept(const char* aVariable) {
  const char* path = std::getenv(aVariable);
  return path != nullptr && *path != '\0';
}

void AppendJournal(const char* aVariable, std::string_view aName, const std::vector<std::string>& aFields) {
  const char* path = std::getenv(aVariable);
  if (path == nullptr || *path == '\0') return;
  std::string line(aName);
  for (const std::string& field : aFields) {
    line += '\t';
    line += JournalEscape(field);
  }
  line += '\n';
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << line;
  out.flush();
  if (!out) throw EMxError("Cannot write the simulator journal " + std::string(path));
}

std::optional<std::vector<std::string>> tSimScript::Take(std::string_view aName) {
  const char* path = std::getenv(fVariable);
  if (path == nullptr || *path == '\0') return std::nullopt;
  std::string text;
  if (std::ifstream in(path, std::ios::binary); in)  // not written yet: nothing scripted
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  const bool grown = text.size() >= fText.size() && text.compare(0, fText.size(), fText) == 0;
  if (path != fPath || !grown) fTaken.clear();
  fPath = path;
  fText = std::move(text);

  std::vector<std::vector<std::string>> lines = LinesOf(aName);
  size_t& taken = fTaken[std::string(aName)];
  if (taken >= lines.size()) return std::nullopt;
  return std::move(lines[taken++]);
}

void tSimScript::Reset() {
  fPath.clear();
  fText.clear();
  fTaken.clear();
}

// Checks the whole file, so a bad line shows up on the first call, not when reached.
std::vector<std::vector<std::string>> tSimScript::LinesOf(std::string_view aName) const {
  std::vector<std::vector<std::string>> lines;
  std::string_view text = fText;
  size_t number = 0;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    const size_t tab = line.find('\t');
    const std::string_view name = line.substr(0, tab);
    std::vector<std::string> fields;
    for (std::string_view rest = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);;) {
      const size_t next = rest.find('\t');
      fields.push_back(ScriptUnescape(rest.substr(0, next)));
      if (next == std::string_view::npos) break;
      rest = rest.substr(next + 1);
    }
    if (tab == std::string_view::npos) fields.clear();
    const std::string refused = tab == std::string_view::npos ? "no TAB after the method name" : fCheck(name, fields);
    if (!refused.empty())
      throw EMxError("Simulator script " + fPath + " line " + std::to_string(number) + ": " + refused);
    if (name == aName) lines.push_back(std::move(fields));
  }
  return lines;
}

}  // namespace sim
