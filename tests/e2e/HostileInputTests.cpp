// What a hostile shop can put into requests and what a terminal can put into replies:
// answers stay XML 1.0 a strict parser takes, a log line stays one record, and a device
// library named in a request is only ever a regular file.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "core/Text.h"
#include "e2e/ViroziFixture.h"
#include "platform/Platform.h"

namespace virozi_e2e {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Why aFragment is no well-formed XML 1.0 inside a root element; empty when it is. Besides
// the parser's verdict, every character must be one XML 1.0 allows, also when written as
// a character reference, which pugixml does not check.
std::string XmlFault(const std::string& aFragment) {
  for (const char16_t u : Utf8ToUtf16(aFragment)) {
    if ((u < 0x20 && u != 0x9 && u != 0xA && u != 0xD) || u == 0xFFFE || u == 0xFFFF) {
      return "character U+" + std::to_string(static_cast<unsigned>(u)) + " in " + aFragment;
    }
  }
  if (aFragment.find("&#") != std::string::npos) return "character reference in " + aFragment;
  const std::string wrapped = "<Answer>" + aFragment + "</Answer>";
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default, pugi::encoding_utf8);
  return parsed ? std::string() : std::string(parsed.description()) + " in " + aFragment;
}

// Each line of a device log, as the file has it: a record starts with its stamp and holds
// no control character.
void ExpectOneRecordPerLine(const std::string& aLog) {
  size_t start = 0;
  for (size_t end; (end = aLog.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = aLog.substr(start, end - start);
    EXPECT_TRUE(line.size() > 26 && line[4] == '-' && line[10] == ' ' && line.compare(23, 3, " - ") == 0) << line;
    for (const char c : line) {
      EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line;
    }
  }
  EXPECT_EQ(start, aLog.size()) << "the log ends inside a line";
}

TEST_F(ViroziExports, AnswersStayXmlWhateverTheTextsHold) {
  Script({
      "Pagamento\t1\tT1\x1b;1234;OK;;2;Ricevuta\x01\x02 \xEF\xBF\xBE fine;3",
      "Pagamento\tHRESULT\tRPC\x07 down",
  });
  const int32_t handle = Open();
  // A character reference in the request puts U+0001 into the currency, which the answer
  // echoes.
  tkAnswer answer = Pay(handle, "<Amount>12.34</Amount><Currency>EU&#1;R</Currency>");
  EXPECT_EQ(answer.Result, 0) << answer.Error;
  EXPECT_EQ(XmlFault(answer.Output), "");
  EXPECT_EQ(Element(answer.Output, "DeviceId"), std::string("T1") + kReplacement);
  EXPECT_EQ(Element(answer.Output, "ReceiptText"),
            std::string("Ricevuta") + kReplacement + kReplacement + " " + kReplacement + " fine");
  EXPECT_EQ(Element(answer.Output, "PaymentCurrency"), std::string("EU") + kReplacement + "R");

  // The plain error text is no XML: it keeps what the component said.
  answer = Pay(handle, "<Amount>12.34</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "RPC\x07 down");
  EXPECT_EQ(XmlFault(answer.Output), "");
  EXPECT_EQ(Element(answer.Output, "ErrorText"), std::string("RPC") + kReplacement + " down");

  // A request value in an error message, a NUL among them.
  answer = Pay(handle, "<Amount>1</Amount><PaymentChannel>X&#0;&#27;</PaymentChannel>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(XmlFault(answer.Output), "");
}

TEST_F(ViroziExports, RequestTextsCannotForgeLogLines) {
  // As character references, so that the parser keeps CR LF as they are.
  const std::string forged = "&#13;&#10;2025-01-31 09:15:02:007 - fVirPay.Pagamento:Response:T1;1000;OK;;2;;";
  const int32_t handle = Open();
  Pay(handle, "<Amount>10</Amount><PaymentChannel>MVP</PaymentChannel><Phase>BEGIN</Phase>"
              "<StoreCode>1&#13;&#10;23</StoreCode><TillCode>4&#10;5</TillCode><Reference>R" + forged + "</Reference>");
  ASSERT_EQ(Close(handle).Result, 0);
  const std::string log = ReadDeviceLogs(kDriver, fLogId);
  ExpectOneRecordPerLine(log);
  // The forged text is in the log, inside the record of the call that carried it.
  EXPECT_NE(log.find("R\\r\\n2025-01-31 09:15:02:007 - fVirPay.Pagamento:Response:"), std::string::npos) << log;
  EXPECT_NE(log.find("1\\r\\n23"), std::string::npos) << log;
}

TEST_F(ViroziExports, DllDeviceLoadsOnlyARegularFile) {
  const bool windows = platform::kPathDelim == '\\';
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("velo_dll_" + fLogId);
  std::filesystem::create_directories(folder);
  std::vector<std::pair<std::string, std::string>> cases = {
      {folder.string(), folder.string() + " is a folder, not a library file"},
      {windows ? "sub\\vendor.dll" : "sub/vendor.so", "A library is named by a plain file name or an absolute path"},
  };
  if (windows) {
    cases.push_back({"\\\\.\\pipe\\velo_e2e", "\\\\.\\pipe\\velo_e2e is a device path, not a library file"});
    cases.push_back({"NUL", "NUL is a device, not a library file"});
  } else {
#ifndef _WIN32
    const std::string fifo = (folder / "vendor.so").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Before the check a pipe made OPEN wait for a writer that never comes.
    cases.push_back({fifo, fifo + " is a pipe, not a library file"});
    cases.push_back({"/dev/null", "/dev/null is a device, not a library file"});
#endif
  }
  for (const auto& [library, reason] : cases) {
    const auto start = std::chrono::steady_clock::now();
    const tkAnswer open =
        fLibrary->Call("OPEN", std::string("<Request><Driver>") + kDriver + "</Driver><LogId>" + fLogId +
                                   "</LogId><Connection><Type>DLL</Type><LibraryName>" + library +
                                   "</LibraryName></Connection></Request>");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << library;
    EXPECT_EQ(open.Result, -1);
    EXPECT_EQ(open.Error, "Unable to Load Library " + library + ". " + reason + " [0]");
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace virozi_e2e
