#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceHandler.h"
#include "device/TestXml.h"
#include "io/IOHandler.h"
#include "io/IOHandler_OPOS.h"
#include "platform/Automation.h"
#include "log/LogTestSupport.h"
#include "support/SerialLine.h"

namespace {

using devtest::ErrorOf;

std::string Today() {
  const std::string d = logtest::DateNow();
  return d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2);
}

class CreateIOHandlerTest : public logtest::TempFolderTest {
 protected:
  std::unique_ptr<kIOHandler> Create(const std::string& aDeviceXml) {
    kDeviceHandler h;
    h.Deserialize("<Request><Driver>VELO_VIROZI_10</Driver><LogId>1</LogId>" + aDeviceXml + "</Request>");
    return h.CreateIOHandler(Folder());
  }
};

TEST_F(CreateIOHandlerTest, ComConnectionLogsUnderDriverAndLogId) {
  auto handler = Create("<Connection><Type>com</Type><ConnectTimeout>2500</ConnectTimeout>"
                        "<ReadTimeout>4000</ReadTimeout></Connection>");
  ASSERT_TRUE(handler);
  EXPECT_STREQ(handler->ClassName(), "kIOHandler_Com");
  EXPECT_EQ(handler->ConnectTimeout(), 2500);
  EXPECT_EQ(handler->ReadTimeout(), 4000);
  EXPECT_FALSE(handler->HexLog());
  const std::string file = handler->GetLogFileName();
  EXPECT_EQ(file, Path("VELO_VIROZI_10_1_" + Today() + ".log"));
  handler.reset();
  EXPECT_EQ(logtest::Messages(file).size(), 2u);  // START and STOP
}

TEST_F(CreateIOHandlerTest, HexLogOnlyForTheWordTrue) {
  const struct {
    const char* parameters;
    bool hexLog;
  } cases[] = {
      {"<HexLog>TRUE</HexLog>", true},  {"<HexLog>True</HexLog>", true}, {"<hexlog>true</hexlog>", true},
      {"<HexLog>yes</HexLog>", false},  {"<HexLog>1</HexLog>", false},   {"<HexLog/>", false},
      {"<HexLog> true</HexLog>", false}, {"", false},
      // The first of two lines of that name decides.
      {"<HexLog>false</HexLog><hexlog>true</hexlog>", false},
  };
  for (const auto& c : cases) {
    auto handler = Create(std::string("<Connection><Type>COM</Type></Connection><Parameters>") + c.parameters +
                          "</Parameters>");
    EXPECT_EQ(handler->HexLog(), c.hexLog) << c.parameters;
  }
}

TEST_F(CreateIOHandlerTest, DllConnectionLoadsItsLibrary) {
  const std::string library = platform::kPathDelim == '\\' ? "msvcrt.dll" : "libc.so.6";
  auto handler = Create("<Connection><Type>DLL</Type><LibraryName>" + library + "</LibraryName></Connection>");
  EXPECT_STREQ(handler->ClassName(), "kIOHandler_Dll");

  const std::string message = ErrorOf(
      [&] { Create("<Connection><Type>DLL</Type><LibraryName>velo_missing_vendor.dll</LibraryName></Connection>"); });
  const std::string prefix = "Unable to Load Library velo_missing_vendor.dll. ";
  EXPECT_EQ(message.substr(0, prefix.size()), prefix) << message;
}

TEST_F(CreateIOHandlerTest, TcpAndHttpConnectionsGetTheirTransportsWithoutConnecting) {
  auto tcp = Create("<Connection><Type>tcp</Type><Address>127.0.0.1</Address><Port>65536</Port>"
                    "<ReadTimeout>3000</ReadTimeout></Connection>");
  EXPECT_STREQ(tcp->ClassName(), "kIOHandler_TCP");
  EXPECT_EQ(tcp->ReadTimeout(), 3000);
  EXPECT_FALSE(tcp->Connected());
  tcp.reset();
  auto http = Create("<Connection><Type>HTTP</Type><Address>10.0.0.5</Address><Port>8080</Port></Connection>");
  EXPECT_STREQ(http->ClassName(), "kIOHandler_HTTP");
  EXPECT_FALSE(http->Connected());
  http.reset();
  EXPECT_EQ(logtest::Messages(Path("VELO_VIROZI_10_1_" + Today() + ".log")),
            (std::vector<std::string>{"*************************** START ***************************",
                                      "*************************** STOP ****************************",
                                      "*************************** START ***************************",
                                      "*************************** STOP ****************************"}));
}

TEST_F(CreateIOHandlerTest, SerialConnectionLogsItsLineWhenConnected) {
  tkSerialLine line;
  auto handler = Create("<Connection><Type>Serial</Type><SerialPort>" + line.PortName() +
                        "</SerialPort><Speed>19200</Speed><DataBits>7</DataBits><Parity>EVEN</Parity>"
                        "<StopBits>2</StopBits><ReadTimeout>1500</ReadTimeout></Connection>");
  EXPECT_STREQ(handler->ClassName(), "kIOHandler_Serial");
  EXPECT_FALSE(handler->Connected());
  ASSERT_TRUE(handler->Connect());
  EXPECT_EQ(line.SpeedAndStopBits(), "19200 2");
  const std::string file = handler->GetLogFileName();
  handler.reset();
  const std::vector<std::string> messages = logtest::Messages(file);
  ASSERT_EQ(messages.size(), 13u);
  EXPECT_EQ(std::vector<std::string>(messages.begin() + 2, messages.end() - 1),
            (std::vector<std::string>{"kIOHandler_Serial", "", "ConnectTimeout=1000", "ReadTimeout=1500",
                                      "Serial Driver Version: 1.0", "SerialPort=" + line.PortName(), "Speed=19200",
                                      "Parity=even", "DataBits=7", "StopBits=2"}));
}

TEST_F(CreateIOHandlerTest, NoConnectionMeansTheFiscalPrinterControl) {
  for (const char* connection : {"", "<Connection><Type>opos</Type><DeviceName>FP1</DeviceName></Connection>"}) {
    if (platform::AutomationUsesCom()) {
      // The Windows tests register the simulated control.
      auto handler = Create(connection);
      ASSERT_STREQ(handler->ClassName(), "kIOHandler_OPOS") << connection;
      EXPECT_EQ(static_cast<kIOHandler_OPOS&>(*handler).DeviceName(), *connection ? "FP1" : "") << connection;
      EXPECT_FALSE(handler->Connected());
    } else {
      // Natively only the product library installs a control.
      EXPECT_EQ(ErrorOf([&] { Create(connection); }),
                "Class not registered, ClassID: {CCB90072-B81E-11D2-AB74-0040054C3719}")
          << connection;
    }
  }
}

TEST_F(CreateIOHandlerTest, LogIdCannotLeaveTheLogFolder) {
  kDeviceHandler h;
  h.Deserialize("<Request><Driver>..\\VELO</Driver><LogId>../../x:1</LogId>"
                "<Connection><Type>COM</Type></Connection></Request>");
  const std::string logDir = Path("logs");
  {
    auto handler = h.CreateIOHandler(logDir);
    EXPECT_EQ(handler->GetLogFileName(),
              logDir + platform::kPathDelim + "___VELO_______x_1_" + Today() + ".log");
  }
  EXPECT_EQ(FileNamesIn(Folder()), std::vector<std::string>{"logs"});
  EXPECT_EQ(FileNamesIn(logDir).size(), 1u);
}

}  // namespace
