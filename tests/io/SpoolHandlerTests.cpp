#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "io/Connection.h"
#include "io/IOHandler_Spool.h"
#include "io/IoTestSupport.h"

namespace {

using namespace iotest;

const std::string kMissing = "velo_no_such_printer_4711";

class SpoolHandlerTest : public logtest::TempFolderTest {
 protected:
  std::unique_ptr<kIOHandler_Spool> Make(const std::string& aPrinter) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::Spool);
    connection.SetPrinterName(aPrinter);
    return std::make_unique<kIOHandler_Spool>(&connection, Folder(), "VELO_SPOOL_1");
  }
};

TEST_F(SpoolHandlerTest, StartsInNormalModeAndServesNoStream) {
  auto handler = Make(kMissing);
  EXPECT_EQ(handler->PrinterName(), kMissing);
  EXPECT_EQ(handler->OutputType(), tkSpoolOutputType::Normal);
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_EQ(handler->ReadChars(3), "");
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
}

TEST_F(SpoolHandlerTest, RawPrintToAMissingPrinterFailsWithTheSystemsTextOnly) {
  auto handler = Make(kMissing);
  handler->SetOutputType(tkSpoolOutputType::Raw);
  for (const auto& write : {std::function<bool()>([&] { return handler->Write("receipt\r\n"); }),
                            std::function<bool()>([&] { return handler->WriteBytes(std::string("\x1b@", 2)); })}) {
    handler->ResetCustomError();
    EXPECT_FALSE(write());
    EXPECT_FALSE(handler->ErrorMessage().empty());
    // Only the text is the failure's: the flag and the code stay.
    EXPECT_FALSE(handler->ErrorFound());
    EXPECT_EQ(handler->ErrorCode(), 0);
  }
  handler->SetCustomError(7, "earlier");
  EXPECT_FALSE(handler->Write(""));
  EXPECT_TRUE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 7);
  EXPECT_NE(handler->ErrorMessage(), "earlier");
}

TEST_F(SpoolHandlerTest, NormalModeNeedsAKnownPrinterAndAPicture) {
  auto handler = Make(kMissing);
  platform::SpoolPicture picture{2, 1, {0xFF0000, 0x0000FF}};
  handler->SetBitmap(&picture);
  EXPECT_EQ(ErrorOf([&] { handler->Write("ignored"); }),
            "kIOHandler_Spool.WriteNormal: Printer " + kMissing + " not found");
}

}  // namespace
