// Printing to a real print queue. tests/io/with-print-queue.sh starts a private CUPS server
// whose queue turns every job into a file; without it these tests are skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "io/Connection.h"
#include "io/IOHandler_Spool.h"
#include "io/IoTestSupport.h"
#include "io/SpoolLayout.h"

namespace {

using namespace iotest;
namespace fs = std::filesystem;

class SpoolQueueTest : public logtest::TempFolderTest {
 protected:
  void SetUp() override {
    logtest::TempFolderTest::SetUp();
    const char* queue = std::getenv("VELO_TEST_QUEUE");
    const char* out = std::getenv("VELO_TEST_QUEUE_OUT");
    if (queue == nullptr || out == nullptr) GTEST_SKIP() << "no print queue: run through tests/io/with-print-queue.sh";
    fQueue = queue;
    fOut = out;
    for (const auto& entry : fs::directory_iterator(fOut)) fSeen.insert(entry.path().filename().string());
  }

  std::unique_ptr<kIOHandler_Spool> Make(const std::string& aPrinter) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::Spool);
    connection.SetPrinterName(aPrinter);
    return std::make_unique<kIOHandler_Spool>(&connection, Folder(), "VELO_SPOOL_1");
  }

  // The next job the queue has finished, as the bytes that reached the device.
  std::string NextJob() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      for (const auto& entry : fs::directory_iterator(fOut)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".bin" || !fSeen.insert(name).second) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no job reached the queue's device within 30 s";
    return {};
  }

  // Jobs that arrived but were not taken by NextJob.
  size_t UnseenJobs() const {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(fOut))
      count += entry.path().extension() == ".bin" && fSeen.count(entry.path().filename().string()) == 0;
    return count;
  }

  std::string fQueue;
  fs::path fOut;
  std::set<std::string> fSeen;
};

TEST_F(SpoolQueueTest, RawDocumentsReachThePrinterByteForByte) {
  auto handler = Make(fQueue);
  handler->SetOutputType(tkSpoolOutputType::Raw);
  std::string every(256, '\0');
  for (int k = 0; k < 256; ++k) every[k] = static_cast<char>(k);
  const std::string escPos = std::string("\x1b@\x1b!\x08TOTALE\n\x1dV\x00", 15) + every;

  ASSERT_TRUE(handler->WriteBytes(escPos)) << handler->ErrorMessage();
  EXPECT_EQ(NextJob(), escPos);
  ASSERT_TRUE(handler->Write("SCONTRINO 0001\r\nTOTALE 17,50\r\n")) << handler->ErrorMessage();
  EXPECT_EQ(NextJob(), "SCONTRINO 0001\r\nTOTALE 17,50\r\n");
  // Nothing to print is no failure, and no job.
  EXPECT_TRUE(handler->WriteBytes("")) << handler->ErrorMessage();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(UnseenJobs(), 0u);
}

// Reads a binary portable pixmap; false when aData is not one.
bool ReadPixmap(const std::string& aData, int& aWidth, int& aHeight, std::string& aPixels) {
  std::istringstream in(aData);
  std::string magic;
  int depth = 0;
  if (!(in >> magic >> aWidth >> aHeight >> depth) || magic != "P6" || depth != 255) return false;
  in.get();
  aPixels.assign(std::istreambuf_iterator<char>(in), {});
  return aPixels.size() == static_cast<size_t>(aWidth) * aHeight * 3;
}

TEST_F(SpoolQueueTest, NormalModePrintsThePictureCentredOnAPage) {
  // Left half red, right half blue, so a mirrored or shifted page shows.
  platform::SpoolPicture picture{300, 200, {}};
  for (int y = 0; y < picture.Height; ++y)
    for (int x = 0; x < picture.Width; ++x) picture.Pixels.push_back(x < picture.Width / 2 ? 0xFF0000u : 0x0000FFu);
  auto handler = Make(fQueue);
  handler->SetBitmap(&picture);
  ASSERT_TRUE(handler->Write("ignored in this mode")) << handler->ErrorMessage();

  int width = 0, height = 0;
  std::string pixels;
  ASSERT_TRUE(ReadPixmap(NextJob(), width, height, pixels));
  const tkPicturePlacement place = PlacePicture(picture.Width, picture.Height, tkPageMetrics{width, height, 0, 0, 300});
  ASSERT_FALSE(place.Stretch);
  EXPECT_EQ(place.Left, (width - picture.Width) / 2);
  EXPECT_EQ(place.Top, (height - picture.Height) / 2);
  auto at = [&](int aX, int aY) {
    const char* p = &pixels[(static_cast<size_t>(aY) * width + aX) * 3];
    return (uint32_t(uint8_t(p[0])) << 16) | (uint32_t(uint8_t(p[1])) << 8) | uint8_t(p[2]);
  };
  const int left = place.Left, top = place.Top, right = left + picture.Width - 1, bottom = top + picture.Height - 1;
  EXPECT_EQ(at(left, top), 0xFF0000u);
  EXPECT_EQ(at(left + 149, bottom), 0xFF0000u);
  EXPECT_EQ(at(left + 150, top), 0x0000FFu);
  EXPECT_EQ(at(right, bottom), 0x0000FFu);
  for (auto [x, y] : {std::pair{left - 1, top}, {right + 1, bottom}, {left, top - 1}, {right, bottom + 1},
                      {0, 0}, {width - 1, height - 1}})
    EXPECT_EQ(at(x, y), 0xFFFFFFu) << "at " << x << "," << y;
}

TEST_F(SpoolQueueTest, APrinterTheServerDoesNotKnowPrintsNothing) {
  const std::string missing = "velo_no_such_printer_4711";
  auto handler = Make(missing);
  handler->SetOutputType(tkSpoolOutputType::Raw);
  for (const std::string bytes : {"receipt", ""}) {
    handler->ResetCustomError();
    EXPECT_FALSE(handler->WriteBytes(bytes)) << "'" << bytes << "'";
    EXPECT_FALSE(handler->ErrorMessage().empty());
  }

  platform::SpoolPicture picture{1, 1, {0}};
  handler->SetOutputType(tkSpoolOutputType::Normal);
  handler->SetBitmap(&picture);
  EXPECT_EQ(ErrorOf([&] { handler->Write(""); }), "kIOHandler_Spool.WriteNormal: Printer " + missing + " not found");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(UnseenJobs(), 0u);
}

}  // namespace
