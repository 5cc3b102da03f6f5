#pragma once
// How tests steer a simulator through the environment: a script file that answers the
// next calls of a name, and a journal file that records every call. Shared by the
// simulators, each with its own variables and line checks.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Inside journal and script texts a backslash is "\\", TAB "\t", CR "\r" and LF "\n".
std::string JournalEscape(std::string_view aText);
// A backslash before any other character stands for itself.
std::string ScriptUnescape(std::string_view aText);

// Appends "aName<TAB>field<TAB>field..." (fields escaped) and LF to the file named by
// the variable aVariable, when it is set. Raises EMxError "Cannot write the simulator
// journal <file>" when the file cannot be written.
void AppendJournal(const char* aVariable, std::string_view aName, const std::vector<std::string>& aFields);
// Whether the variable aVariable names a journal: callers need not gather fields otherwise.
bool JournalKept(const char* aVariable);

// A script file named by the variable aVariable: one line per scripted call,
// "Name<TAB>field<TAB>field...". Each Take of a name returns the fields (unescaped) of
// the first line of that name no earlier Take has returned. Blank lines, lines starting
// with '#' and a CR before LF are skipped. The file is read again at each Take; taken
// lines are remembered as long as the same path holds the same text or that text with
// more appended, otherwise the new script starts from its first lines.
class tSimScript {
 public:
  // Returns the reason a line is refused, or an empty text; a refused line fails every
  // Take while the file holds it (EMxError "Simulator script <file> line <n>: <reason>").
  using tCheck = std::function<std::string(std::string_view aName, const std::vector<std::string>& aFields)>;

  tSimScript(const char* aVariable, tCheck aCheck) : fVariable(aVariable), fCheck(std::move(aCheck)) {}

  std::optional<std::vector<std::string>> Take(std::string_view aName);
  void Reset();

 private:
  std::vector<std::vector<std::string>> LinesOf(std::string_view aName) const;

  const char* fVariable;
  tCheck fCheck;
  std::string fPath;
  std::string fText;
  std::map<std::string, size_t, std::less<>> fTaken;
};

}  // namespace sim
