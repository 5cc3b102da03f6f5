#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/AppInfo.h"
#include "core/Errors.h"
#include "core/DateTime.h"
#include "core/Utils.h"
#include "testdriver/TestDriver.h"
#include "io/IOHandler.h"
#include "payment/PaymentHandler.h"
#include "platform/Host.h"
#include "platform/Platform.h"

namespace {

// A handler read from a request for the test driver with the given operation part.
std::unique_ptr<kPaymentHandler> Handler(std::string_view aBody, tkPaymentHandlerDocumentType aType,
                                         std::string_view aParameters = {}) {
  auto handler = std::make_unique<kPaymentHandler>();
  handler->Deserialize("<Request><Driver>" + std::string(kTestDriverKey) +
                           "</Driver><LogId>device</LogId><Connection><Type>COM</Type></Connection>" +
                           std::string(aParameters) + std::string(aBody) + "</Request>",
                       {aType});
  return handler;
}

std::string ReadFile(const std::string& aPath) {
  std::ifstream file(std::filesystem::path(aPath), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDevice = std::make_unique<kTestPaymentDevice>(*Handler("", dt_Open));
    fLogName = fDevice->IOHandler().GetLogFileName();
  }
  void TearDown() override {
    fDevice.reset();
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(fLogName), error);
  }

  std::unique_ptr<kTestPaymentDevice> fDevice;
  std::string fLogName;
};

TEST_F(DeviceTest, PayDispatchesOnTheAction) {
  const struct {
    const char* body;
    bool verify;
    const char* reached;
  } cases[] = {
      {"<Payment/>", false, "DoPay"},
      {"<Payment><Action>PAY</Action></Payment>", false, "DoPay"},
      {"<Payment><Action>REFUND</Action></Payment>", false, "DoRefund"},
      {"<Payment><Action>VOID</Action></Payment>", false, "DoVoid"},
      {"<Payment><Action>REFUND</Action></Payment>", true, "DoVerifyTran"},
      {"<Payment><Action>VOID</Action></Payment>", true, "DoVerifyTran"},
  };
  for (const auto& c : cases) {
    auto handler = Handler(c.body, c.verify ? dt_VerifyTran : dt_Pay);
    _int_PAY_result r = c.verify ? fDevice->Pub_VerifyTran(*handler) : fDevice->Pub_Pay(*handler);
    EXPECT_EQ(r.ReceiptText, c.reached) << c.body;
  }
}

// A driver that sets nothing reports success with what the template stamped.
TEST_F(DeviceTest, TemplateStampsPaymentResults) {
  auto handler = Handler("<Payment><Attributes>leave</Attributes></Payment>", dt_Pay);
  for (bool verify : {false, true}) {
    const TDateTime before = Now();
    _int_PAY_result r = verify ? fDevice->Pub_VerifyTran(*handler) : fDevice->Pub_Pay(*handler);
    const TDateTime after = Now();
    EXPECT_FALSE(r.Error);
    EXPECT_TRUE(r.ErrorText.empty());
    EXPECT_EQ(r.TransactionType, ptt_Other);
    EXPECT_EQ(r.PaymentNetwork, tkPaymentNetwork::Other);
    EXPECT_EQ(r.LogFileName, fDevice->IOHandler().GetLogFileName());
    EXPECT_FALSE(r.LogFileName.empty());
    EXPECT_GE(r.PaymentDateTime, before);
    EXPECT_LE(r.PaymentDateTime, after);
  }
}

TEST_F(DeviceTest, OtherTemplatesStampTheirTime) {
  const TDateTime before = Now();
  _int_DAYCLOSE_result close = fDevice->Pub_DayClose(*Handler("<DayClose/>", dt_DayClose));
  _int_GETTOTALS_result totals = fDevice->Pub_GetTotals(*Handler("<GetTotals/>", dt_GetTotals));
  const TDateTime after = Now();
  EXPECT_GE(close.ClosureDateTime, before);
  EXPECT_LE(close.ClosureDateTime, after);
  EXPECT_GE(totals.DateTime, before);
  EXPECT_LE(totals.DateTime, after);
  EXPECT_EQ(close.LogFileName, fDevice->IOHandler().GetLogFileName());
  EXPECT_EQ(totals.LogFileName, fDevice->IOHandler().GetLogFileName());

  _int_REPRINT_result reprint = fDevice->Pub_Reprint(*Handler("<Reprint/>", dt_PayReprint));
  EXPECT_EQ(reprint.ReceiptText, "DoReprint");
  EXPECT_TRUE(reprint.LogFileName.empty());
  EXPECT_FALSE(reprint.Error);
}

// The handler's recorded error replaces the driver's text; Error stays the driver's.
TEST_F(DeviceTest, RecordedIoErrorReplacesErrorText) {
  _int_PAY_result pay = fDevice->Pub_Pay(*Handler("<Payment><Attributes>ioerror</Attributes></Payment>", dt_Pay));
  EXPECT_EQ(pay.ErrorText, "I/O failure in DoPay");
  EXPECT_FALSE(pay.Error);
  // Never cleared by the templates: a later operation still carries it.
  _int_DAYCLOSE_result close = fDevice->Pub_DayClose(*Handler("<DayClose/>", dt_DayClose));
  EXPECT_EQ(close.ErrorText, "I/O failure in DoPay");
  _int_PAY_result declined =
      fDevice->Pub_Pay(*Handler("<Payment><Reference>own</Reference><Attributes>decline</Attributes></Payment>", dt_Pay));
  EXPECT_TRUE(declined.Error);
  EXPECT_EQ(declined.ErrorText, "I/O failure in DoPay");
  fDevice->IOHandler().ResetCustomError();
  _int_REPRINT_result reprint =
      fDevice->Pub_Reprint(*Handler("<Reprint><Attributes>ioerror</Attributes></Reprint>", dt_PayReprint));
  EXPECT_EQ(reprint.ErrorText, "I/O failure in DoReprint");
}

TEST_F(DeviceTest, DriverErrorsLeaveTheTemplate) {
  EXPECT_THROW(fDevice->Pub_Pay(*Handler("<Payment><Attributes>raise</Attributes></Payment>", dt_Pay)), EMxError);
  EXPECT_THROW(fDevice->Pub_GetTotals(*Handler("<GetTotals><Reference>raise</Reference></GetTotals>", dt_GetTotals)),
               EMxError);
}

TEST_F(DeviceTest, BannersAndVersionGoToTheLog) {
  EXPECT_EQ(fDevice->IOHandler().Version(), kPaymentDevice::GetDriverVersion());
  fDevice->Pub_Pay(*Handler("<Payment/>", dt_Pay));
  fDevice->Pub_VerifyTran(*Handler("<VerifyTran/>", dt_VerifyTran));
  fDevice->Pub_DayClose(*Handler("<DayClose/>", dt_DayClose));
  fDevice->Pub_GetTotals(*Handler("<GetTotals/>", dt_GetTotals));
  fDevice->Pub_Reprint(*Handler("<Reprint/>", dt_PayReprint));
  fDevice.reset();
  const std::string text = ReadFile(fLogName);
  size_t at = 0;
  for (const char* banner :
       {" - *************************** START ***************************\r\n",
        " - ------------------------------------------------------------ Pay\r\n",
        " - ------------------------------------------------------------ VerifyTran\r\n",
        " - ------------------------------------------------------- DayClose\r\n",
        " - ------------------------------------------------------- GetTotals\r\n",
        " - *************************** STOP ****************************\r\n"}) {
    const size_t found = text.find(banner, at);
    ASSERT_NE(found, std::string::npos) << banner;
    at = found;
  }
}

TEST(DeviceBase, DriverVersionIsTheLibrarysOwn) {
  const std::string expected = "Version 1.10 - " + ShortDateText(EncodeDate(2025, 1, 30));
  EXPECT_EQ(kPaymentDevice::GetDriverVersion(), expected);
  EXPECT_EQ(kPaymentClass::Of<kTestPaymentDevice>("a").GetDriverVersion(), expected);
}

TEST(DeviceBase, LogFolderLiesUnderTheHostsFolder) {
  const std::string d(1, platform::kPathDelim);
  EXPECT_EQ(kPaymentDevice::LogFolderOf("host" + d), "host" + d + "LogFiles" + d + "Payment");
  EXPECT_EQ(kPaymentDevice::LogFolderOf("host"), "host" + d + "LogFiles" + d + "Payment");
  EXPECT_EQ(kPaymentDevice::LogFolder(), GetExePath() + "LogFiles" + d + "Payment");
}

}  // namespace
