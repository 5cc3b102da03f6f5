// docs/contract.md is what an integrator reads: its examples are run through the exports of
// the product library, in the order written, and must answer exactly as shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlib/ProductLibrary.h"
#include "support/ScopedEnv.h"
#include "support/ScratchFile.h"

namespace {

struct tkExample {
  size_t Line = 0;  // where the request block starts
  std::string Export;
  std::string Request;
  std::optional<std::string> Response;
};

// Fenced blocks whose info words hold "request EXPORT", each followed by one holding
// "response"; other blocks are prose.
std::vector<tkExample> ExamplesOf(const std::string& aMarkdown) {
  std::vector<tkExample> examples;
  std::vector<std::string> lines;
  for (size_t start = 0; start <= aMarkdown.size();) {
    size_t end = aMarkdown.find('\n', start);
    if (end == std::string::npos) end = aMarkdown.size();
    std::string line = aMarkdown.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("```", 0) != 0 || lines[i].size() == 3) continue;
    std::vector<std::string> info;
    for (size_t at = 3; at < lines[i].size();) {
      const size_t blank = lines[i].find(' ', at);
      const size_t end = blank == std::string::npos ? lines[i].size() : blank;
      if (end > at) info.push_back(lines[i].substr(at, end - at));
      at = end + 1;
    }
    std::string body;
    size_t j = i + 1;
    for (; j < lines.size() && lines[j] != "```"; ++j) body += lines[j] + "\n";
    for (size_t k = 0; k + 1 < info.size(); ++k) {
      if (info[k] == "request") examples.push_back({i + 1, info[k + 1], body, std::nullopt});
    }
    for (const std::string& word : info) {
      if (word == "response" && !examples.empty() && !examples.back().Response) examples.back().Response = body;
    }
    i = j;
  }
  return examples;
}

// The answer as the contract shows it: result, fragment and error text on lines of their
// own; what changes from run to run (times, log paths, the version's date) as placeholders.
std::string Shown(const std::string& aExport, const tkAnswer& aAnswer) {
  std::string output = aAnswer.Output;
  for (size_t at = output.find("\r\n"); at != std::string::npos; at = output.find("\r\n", at)) output.erase(at, 1);
  auto placeholder = [&](std::string_view aNameEnd, std::string_view aText, std::string_view aKeep) {
    for (size_t open = output.find('<'); open != std::string::npos; open = output.find('<', open + 1)) {
      const size_t close = output.find('>', open);
      if (close == std::string::npos) break;
      const std::string name = output.substr(open + 1, close - open - 1);
      if (name.empty() || name[0] == '/' || name.size() < aNameEnd.size() ||
          name.compare(name.size() - aNameEnd.size(), aNameEnd.size(), aNameEnd) != 0) {
        continue;
      }
      const size_t end = output.find("</" + name + ">", close);
      if (end == std::string::npos) continue;
      const std::string value = output.substr(close + 1, end - close - 1);
      if (value.empty() || value == aKeep) continue;
      output.replace(close + 1, end - close - 1, aText);
    }
  };
  placeholder("DateTime", "{date and time}", "1899-12-30T00:00:00");
  placeholder("LogFileName", "{log file}", "");
  if (aExport == "VERSION" && output.rfind("Version ", 0) == 0 && output.find(" - ") != std::string::npos) {
    output = "Version {version} - {release date}";
  }
  std::string text = "result: " + std::to_string(aAnswer.Result) + "\n";
  if (!output.empty()) text += output + "\n";
  return text + "error: " + aAnswer.Error + "\n";
}

TEST(Contract, ExamplesAnswerAsWritten) {
  const char* path = std::getenv("VELO_CONTRACT");
  ASSERT_NE(path, nullptr) << "VELO_CONTRACT names the contract page";
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  ASSERT_TRUE(file) << "cannot read " << path;
  const std::vector<tkExample> examples =
      ExamplesOf(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
  // Every export has an example, and every example a response to compare.
  for (const char* name : {"OPEN", "CLOSE", "GETSTATUS", "PAY", "REPRINT", "VERIFYTRAN", "DAYCLOSE", "GETTOTALS",
                           "VERSION"}) {
    bool found = false;
    for (const tkExample& example : examples) found = found || example.Export == name;
    EXPECT_TRUE(found) << "no example of " << name;
  }

  // The simulated terminal as it starts, nothing scripted.
  tkScratchFile script("contract-script");
  script.Write("");
  ScopedEnv scriptEnv("VIROZI_SIM_SCRIPT", script.Path());
  ScopedEnv journalEnv("VIROZI_SIM_JOURNAL", std::nullopt);
  ScopedEnv createEnv("VIROZI_SIM_CREATE", std::nullopt);
  ScopedEnv delayEnv("VIROZI_SIM_DELAY", std::nullopt);
  ScopedEnv hangEnv("VIROZI_SIM_HANG", std::nullopt);
  tkProductLibrary library(kProductLibrary);
  for (const tkExample& example : examples) {
    SCOPED_TRACE("the " + example.Export + " example at line " + std::to_string(example.Line));
    ASSERT_TRUE(example.Response.has_value()) << "no response block after the request";
    std::string request = example.Request;
    // VERSION takes a driver key, not a document: the block's one line.
    if (example.Export == "VERSION" && !request.empty() && request.back() == '\n') request.pop_back();
    EXPECT_EQ(Shown(example.Export, library.Call(example.Export.c_str(), request)), *example.Response);
  }
}

}  // namespace
