// velo-pos command lines into request documents.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "velo-pos/PosCommand.h"

namespace {

const std::map<std::string, std::string> kFiles = {{"pay.xml", "<R><Payment/></R>\r\n"}, {"-", "from stdin"}};

std::string ReadFake(const std::string& aSource) {
  auto it = kFiles.find(aSource);
  if (it == kFiles.end()) throw tkUsageError("cannot read the request file " + aSource);
  return it->second;
}

std::string Doc(const std::string& aInner) {
  return "<ReceiptPrinterManager Version=\"1.0\">" + aInner + "</ReceiptPrinterManager>";
}

// The device part as velo-pos writes it by default.
std::string Device(const std::string& aMethod, const std::string& aHandle = "") {
  return "<Method>" + aMethod + "</Method><Driver>VELO_VIROZI_10</Driver>" +
         (aHandle.empty() ? "" : "<Handle>" + aHandle + "</Handle>") +
         "<LogId>1</LogId><Connection><Type>COM</Type></Connection>";
}

// The requests of every operation of a command line, run with aCurrentHandle.
std::vector<std::string> Requests(const std::vector<std::string>& aArguments, int32_t aCurrentHandle) {
  const tkPosCommandLine line = ParseCommandLine(aArguments, ReadFake);
  std::vector<std::string> requests;
  for (const tkPosOperation& operation : line.Operations) {
    requests.push_back(BuildRequest(operation, line.Defaults, aCurrentHandle));
  }
  return requests;
}

struct tkRequestCase {
  const char* Name;
  std::vector<std::string> Arguments;
  int32_t CurrentHandle;
  std::vector<std::string> Expected;
};

class RequestDocuments : public testing::TestWithParam<tkRequestCase> {};

TEST_P(RequestDocuments, AreExactlyAsExpected) {
  const tkRequestCase& c = GetParam();
  EXPECT_EQ(Requests(c.Arguments, c.CurrentHandle), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachOperationAndFlag, RequestDocuments,
    testing::Values(
        tkRequestCase{"OpenAsksForANewDevice", {"open"}, 3, {Doc(Device("OPEN"))}},
        tkRequestCase{"OpenWithItsOwnHandle", {"open", "--handle", "3"}, 0, {Doc(Device("OPEN", "3"))}},
        tkRequestCase{"CloseNamesTheCurrentHandle", {"close"}, 3, {Doc(Device("CLOSE", "3"))}},
        tkRequestCase{"NoHandleBeforeOpen", {"close"}, 0, {Doc(Device("CLOSE"))}},
        tkRequestCase{"Status", {"status"}, 2, {Doc(Device("GETSTATUS", "2"))}},
        tkRequestCase{"PayWithAmount",
                      {"pay", "--amount", "12.34"},
                      1,
                      {Doc(Device("PAY", "1") + "<Payment><Amount>12.34</Amount></Payment>")}},
        tkRequestCase{"FlagWithEquals",
                      {"pay", "--amount=5", "--currency=EUR"},
                      0,
                      {Doc(Device("PAY") + "<Payment><Amount>5</Amount><Currency>EUR</Currency></Payment>")}},
        tkRequestCase{"PayWithoutFlags", {"pay"}, 0, {Doc(Device("PAY") + "<Payment></Payment>")}},
        // Written in one fixed order whatever the order of the flags.
        tkRequestCase{"EveryPaymentFlag",
                      {"pay", "--receipt-id", "RID", "--document-type", "invoice", "--operator", "OP",
                       "--print-location", "EFT", "--attributes", "satispay", "--tip", "1.00", "--currency",
                       "EUR", "--amount", "9.99", "--reference", "REF", "--till", "07", "--store", "0042",
                       "--merchant", "01", "--phase", "BEGIN", "--action", "REFUND", "--channel", "MVP"},
                      0,
                      {Doc(Device("PAY") +
                           "<Payment><PaymentChannel>MVP</PaymentChannel><Action>REFUND</Action>"
                           "<Phase>BEGIN</Phase><MerchantCode>01</MerchantCode><StoreCode>0042</StoreCode>"
                           "<TillCode>07</TillCode><Reference>REF</Reference><Amount>9.99</Amount>"
                           "<Currency>EUR</Currency><TipAmount>1.00</TipAmount><Attributes>satispay</Attributes>"
                           "<PrintLocation>EFT</PrintLocation><OperatorId>OP</OperatorId>"
                           "<DocumentType>invoice</DocumentType><ReceiptId>RID</ReceiptId></Payment>")}},
        tkRequestCase{"WalletAndCouponAreAttributesLastWins",
                      {"pay", "--wallet", "satispay", "pay", "--coupon", "C1", "--attributes", "C2"},
                      0,
                      {Doc(Device("PAY") + "<Payment><Attributes>satispay</Attributes></Payment>"),
                       Doc(Device("PAY") + "<Payment><Attributes>C2</Attributes></Payment>")}},
        tkRequestCase{"ExtraElementsAfterTheNamedOnes",
                      {"pay", "--element", "RequestTipAmount=true", "--amount", "1", "--element", "MaxItems=3"},
                      0,
                      {Doc(Device("PAY") +
                           "<Payment><Amount>1</Amount><RequestTipAmount>true</RequestTipAmount>"
                           "<MaxItems>3</MaxItems></Payment>")}},
        tkRequestCase{"ReprintAndVerify",
                      {"reprint", "verify", "--reference", "R"},
                      4,
                      {Doc(Device("REPRINT", "4") + "<Reprint></Reprint>"),
                       Doc(Device("VERIFYTRAN", "4") + "<VerifyTran><Reference>R</Reference></VerifyTran>")}},
        tkRequestCase{"TotalsAndDayClose",
                      {"totals", "dayclose", "--print-location", "ECR", "--reference", "Z", "--till", "2", "--store",
                       "1"},
                      1,
                      {Doc(Device("GETTOTALS", "1") + "<GetTotals></GetTotals>"),
                       Doc(Device("DAYCLOSE", "1") +
                           "<DayClose><StoreCode>1</StoreCode><TillCode>2</TillCode><Reference>Z</Reference>"
                           "<PrintLocation>ECR</PrintLocation></DayClose>")}},
        tkRequestCase{"DevicePartFlags",
                      {"open", "--driver", "OTHER", "--log-id", "till7", "--connection", "tcp", "--param",
                       "HexLog=true", "--param", "DeviceName=a&b"},
                      0,
                      {Doc("<Method>OPEN</Method><Driver>OTHER</Driver><LogId>till7</LogId>"
                           "<Connection><Type>tcp</Type></Connection>"
                           "<Parameters><HexLog>true</HexLog><DeviceName>a&amp;b</DeviceName></Parameters>")}},
        tkRequestCase{"ConnectionNoneLeavesItOut",
                      {"open", "--connection", "NONE"},
                      0,
                      {Doc("<Method>OPEN</Method><Driver>VELO_VIROZI_10</Driver><LogId>1</LogId>")}},
        // The library's own checks decide about handles that are no numbers.
        tkRequestCase{"HandleAsWritten",
                      {"pay", "--handle", "abc", "close", "--handle", "0"},
                      5,
                      {Doc(Device("PAY", "abc") + "<Payment></Payment>"), Doc(Device("CLOSE", "0"))}},
        tkRequestCase{"ValuesAreEscaped",
                      {"pay", "--reference", "a<b&c>\"d'"},
                      0,
                      {Doc(Device("PAY") + "<Payment><Reference>a&lt;b&amp;c&gt;\"d'</Reference></Payment>")}},
        tkRequestCase{"FlagsBeforeTheFirstOperationApplyWhereTheyFit",
                      {"--currency", "EUR", "--store", "9", "--log-id", "L", "--param", "HexLog=true", "pay",
                       "--amount", "2", "totals", "open", "--log-id", "M", "--param", "X=1"},
                      0,
                      {Doc("<Method>PAY</Method><Driver>VELO_VIROZI_10</Driver><LogId>L</LogId>"
                           "<Connection><Type>COM</Type></Connection><Parameters><HexLog>true</HexLog></Parameters>"
                           "<Payment><StoreCode>9</StoreCode><Amount>2</Amount><Currency>EUR</Currency></Payment>"),
                       Doc("<Method>GETTOTALS</Method><Driver>VELO_VIROZI_10</Driver><LogId>L</LogId>"
                           "<Connection><Type>COM</Type></Connection><Parameters><HexLog>true</HexLog></Parameters>"
                           "<GetTotals><StoreCode>9</StoreCode></GetTotals>"),
                       Doc("<Method>OPEN</Method><Driver>VELO_VIROZI_10</Driver><LogId>M</LogId>"
                           "<Connection><Type>COM</Type></Connection>"
                           "<Parameters><HexLog>true</HexLog><X>1</X></Parameters>")}},
        tkRequestCase{"VersionSendsTheDriverKey",
                      {"--driver", "D1", "version", "version", "--driver", "D2"},
                      3,
                      {"D1", "D2"}},
        tkRequestCase{"VersionDefault", {"version"}, 0, {"VELO_VIROZI_10"}},
        tkRequestCase{"OperationWordsInAnyCase",
                      {"GetTotals", "PAY", "VerifyTran", "GETSTATUS"},
                      0,
                      {Doc(Device("GETTOTALS") + "<GetTotals></GetTotals>"), Doc(Device("PAY") + "<Payment></Payment>"),
                       Doc(Device("VERIFYTRAN") + "<VerifyTran></VerifyTran>"), Doc(Device("GETSTATUS"))}},
        tkRequestCase{"RawSendsTheFileAsItIs", {"raw", "pay", "pay.xml"}, 3, {"<R><Payment/></R>\r\n"}},
        tkRequestCase{"RawFromStandardInput", {"raw", "OPEN"}, 0, {"from stdin"}}),
    [](const testing::TestParamInfo<tkRequestCase>& aInfo) { return std::string(aInfo.param.Name); });

TEST(CommandLine, RawOperationsChainWithOthers) {
  const tkPosCommandLine line = ParseCommandLine({"raw", "open", "pay.xml", "pay", "raw", "CLOSE", "open"}, ReadFake);
  ASSERT_EQ(line.Operations.size(), 4u);
  EXPECT_TRUE(line.Operations[0].Raw);
  EXPECT_EQ(line.Operations[0].Export, "OPEN");
  EXPECT_EQ(line.Operations[0].RawSource, "pay.xml");
  EXPECT_EQ(line.Operations[1].Export, "PAY");
  // An operation word after the export is the next operation: the request comes from stdin.
  EXPECT_EQ(line.Operations[2].Export, "CLOSE");
  EXPECT_EQ(line.Operations[2].RawSource, "-");
  EXPECT_EQ(line.Operations[3].Export, "OPEN");
  EXPECT_FALSE(line.Operations[3].Raw);
}

TEST(CommandLine, ModesAndHostOptions) {
  struct tkCase {
    std::vector<std::string> Arguments;
    tkPosMode Mode;
  };
  const tkCase cases[] = {
      {{"demo"}, tkPosMode::Demo},
      {{"--log-id", "x", "shell", "--currency", "EUR"}, tkPosMode::Shell},
      {{"SHELL"}, tkPosMode::Shell},
      {{"--help"}, tkPosMode::Help},
      {{"-h", "pay", "--amount", "1"}, tkPosMode::Help},
      {{"help"}, tkPosMode::Help},
      {{"pay"}, tkPosMode::Operations},
      {{"run", "day.txt"}, tkPosMode::Run},
      {{"--json", "RUN", "day.txt"}, tkPosMode::Run},
      {{"--version"}, tkPosMode::Version},
      {{"--version", "pay"}, tkPosMode::Version},
      {{"--version", "--help"}, tkPosMode::Help},
  };
  for (const tkCase& c : cases) {
    EXPECT_EQ(ParseCommandLine(c.Arguments, ReadFake).Mode, c.Mode) << testing::PrintToString(c.Arguments);
  }

  const tkPosCommandLine shell = ParseCommandLine({"--log-id", "x", "shell", "--currency", "EUR"}, ReadFake);
  EXPECT_EQ(shell.Defaults.Values.at("LogId"), "x");
  EXPECT_EQ(shell.Defaults.Values.at("Currency"), "EUR");

  const tkPosCommandLine host = ParseCommandLine({"--library", "lib/x.so", "-v", "--no-color", "open"}, ReadFake);
  EXPECT_EQ(host.LibraryPath, "lib/x.so");
  EXPECT_TRUE(host.Verbose);
  EXPECT_TRUE(host.NoColour);
  const tkPosCommandLine plain = ParseCommandLine({"open"}, ReadFake);
  EXPECT_EQ(plain.LibraryPath, "");
  EXPECT_FALSE(plain.Verbose);
  EXPECT_FALSE(plain.NoColour);
  EXPECT_FALSE(plain.Json);

  const tkPosCommandLine script = ParseCommandLine({"--json", "--store", "0042", "run", "my day.txt"}, ReadFake);
  EXPECT_EQ(script.ScriptPath, "my day.txt");
  EXPECT_TRUE(script.Json);
  EXPECT_EQ(script.Defaults.Values.at("StoreCode"), "0042");
}

TEST(CommandLine, TitlesAreTheWordsAsGiven) {
  const tkPosCommandLine line =
      ParseCommandLine({"pay", "--amount=5", "--reference", "a b", "close", "raw", "pay", "pay.xml"}, ReadFake);
  ASSERT_EQ(line.Operations.size(), 3u);
  EXPECT_EQ(line.Operations[0].Title, "pay --amount=5 --reference 'a b'");
  EXPECT_EQ(line.Operations[1].Title, "close");
  EXPECT_EQ(line.Operations[2].Title, "raw PAY pay.xml");
}

struct tkUsageCase {
  std::vector<std::string> Arguments;
  std::string Message;
};

void ExpectUsageError(const tkUsageCase& aCase, bool aCommandLine) {
  try {
    if (aCommandLine) {
      ParseCommandLine(aCase.Arguments, ReadFake);
    } else {
      ParseOperations(aCase.Arguments, ReadFake, false);
    }
    ADD_FAILURE() << "no error for " << testing::PrintToString(aCase.Arguments);
  } catch (const tkUsageError& e) {
    EXPECT_EQ(e.what(), aCase.Message) << testing::PrintToString(aCase.Arguments);
  }
}

TEST(CommandLine, RefusesWhatCannotRun) {
  const tkUsageCase cases[] = {
      {{"bogus"}, "unknown operation 'bogus'"},
      {{"pay", "--amount"}, "--amount needs a value"},
      {{"pay", "--nope", "1"}, "unknown flag --nope"},
      {{"pay", "-x"}, "unknown flag -x"},
      {{"open", "--amount", "5"}, "--amount does not apply to open"},
      {{"totals", "--amount", "5"}, "--amount does not apply to totals"},
      {{"version", "--log-id", "x"}, "--log-id does not apply to version"},
      {{"raw", "PAY", "pay.xml", "--handle", "1"}, "--handle does not apply to raw"},
      {{"pay", "--param", "HexLog"}, "--param needs NAME=VALUE with NAME an XML element name, not 'HexLog'"},
      {{"pay", "--element", "1x=2"}, "--element needs NAME=VALUE with NAME an XML element name, not '1x=2'"},
      {{"pay", "--element", "=2"}, "--element needs NAME=VALUE with NAME an XML element name, not '=2'"},
      {{"pay", "--library", "x"}, "--library goes before the first operation"},
      {{"pay", "-v"}, "--verbose goes before the first operation"},
      {{"--library"}, "--library needs a value"},
      {{"--library="}, "--library needs a file name"},
      {{"--verbose=yes", "pay"}, "--verbose takes no value"},
      {{"demo", "pay"}, "demo runs on its own, without operations"},
      {{"pay", "demo"}, "demo runs on its own, without operations"},
      {{"shell", "demo"}, "demo runs on its own, without operations"},
      {{"raw"}, "raw needs an export name: raw PAY [FILE|-]"},
      {{"raw", "--amount"}, "raw needs an export name: raw PAY [FILE|-]"},
      {{"raw", "PA.Y"}, "'PA.Y' is no export name"},
      {{"raw", "PAY", "missing.xml"}, "cannot read the request file missing.xml"},
      {{"raw", "PAY", "-", "raw", "OPEN"}, "only one raw request can come from standard input"},
      {{"run"}, "run needs a script file: run FILE"},
      {{"run", "day.txt", "pay"}, "run runs on its own, without operations"},
      {{"pay", "run", "day.txt"}, "run runs on its own, without operations"},
      {{"pay", "--json"}, "--json goes before the first operation"},
      {{"--json=yes", "pay"}, "--json takes no value"},
  };
  for (const tkUsageCase& c : cases) ExpectUsageError(c, true);
}

TEST(CommandLine, ShellLinesTakeOperationsOnly) {
  const tkUsageCase cases[] = {
      {{"--library", "x", "pay"}, "--library goes on the velo-pos command line"},
      {{"demo"}, "unknown operation 'demo'"},
      {{"raw", "PAY"}, "raw here needs a request file: raw PAY FILE"},
      {{"raw", "PAY", "-"}, "raw here needs a request file: raw PAY FILE"},
  };
  for (const tkUsageCase& c : cases) ExpectUsageError(c, false);

  const std::vector<tkPosOperation> operations = ParseOperations({"pay", "--amount", "1", "close"}, ReadFake, false);
  ASSERT_EQ(operations.size(), 2u);
  EXPECT_EQ(operations[0].Settings.Values.at("Amount"), "1");
  EXPECT_EQ(operations[1].Export, "CLOSE");
}

TEST(CommandLine, RequestHandle) {
  const tkPosSettings none;
  tkPosSettings fromDefaults;
  fromDefaults.Values["Handle"] = "9";
  struct tkCase {
    std::vector<std::string> Words;
    const tkPosSettings* Defaults;
    int32_t Current;
    int32_t Expected;
  };
  const tkCase cases[] = {
      {{"pay"}, &none, 4, 4},
      {{"pay"}, &none, 0, 0},
      {{"open"}, &none, 4, 0},
      {{"open", "--handle", "4"}, &none, 0, 4},
      {{"close", "--handle", "2"}, &none, 4, 2},
      {{"close", "--handle", "-1"}, &none, 4, -1},
      {{"close", "--handle", "x"}, &none, 4, 0},
      {{"close", "--handle", "2x"}, &none, 4, 0},
      {{"close"}, &fromDefaults, 4, 9},
  };
  for (const tkCase& c : cases) {
    const std::vector<tkPosOperation> operations = ParseOperations(c.Words, ReadFake, false);
    ASSERT_EQ(operations.size(), 1u);
    EXPECT_EQ(RequestHandle(operations[0], *c.Defaults, c.Current), c.Expected) << testing::PrintToString(c.Words);
  }
}

TEST(SplitLine, WordsAndQuotes) {
  struct tkCase {
    std::string Line;
    std::vector<std::string> Words;
  };
  const tkCase cases[] = {
      {"pay --amount 5", {"pay", "--amount", "5"}},
      {"  pay \t --reference 'a b'  \r", {"pay", "--reference", "a b"}},
      {"pay --reference \"it's\"", {"pay", "--reference", "it's"}},
      {"pay --reference 'say \"hi\"'", {"pay", "--reference", "say \"hi\""}},
      {"pay --reference a\\ b", {"pay", "--reference", "a b"}},
      {"pay --reference 'a\\b'", {"pay", "--reference", "a\\b"}},
      {"pay --reference ''", {"pay", "--reference", ""}},
      {"pay --reference x'y z'", {"pay", "--reference", "xy z"}},
      {"", {}},
      // A '#' that starts a word starts a comment; inside a word or quoted it is text.
      {"pay --amount 5 # the customer's coffee", {"pay", "--amount", "5"}},
      {"# a whole line", {}},
      {"pay --amount 5 #no blank after it", {"pay", "--amount", "5"}},
      {"pay --reference a#b", {"pay", "--reference", "a#b"}},
      {"pay --reference 'a # b'", {"pay", "--reference", "a # b"}},
      {"pay --reference \\#1", {"pay", "--reference", "#1"}},
      {"pay # 'an unclosed quote in a comment", {"pay"}},
  };
  for (const tkCase& c : cases) EXPECT_EQ(SplitLine(c.Line), c.Words) << c.Line;
  EXPECT_THROW(SplitLine("pay --reference 'open"), tkUsageError);
  EXPECT_THROW(SplitLine("pay --reference \"open"), tkUsageError);
}

}  // namespace
