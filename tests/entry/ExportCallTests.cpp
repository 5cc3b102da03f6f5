// The work behind the exports: the calling contract, text across the boundary, and what
// is answered when memory runs out.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "core/Text.h"
#include "entry/BstrText.h"
#include "entry/ExportCalls.h"
#include "entry/PaymentRegistry.h"
#include "testdriver/TestDriver.h"

// The replacements below pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
// Allocations through operator new of at least this many bytes fail while it is set.
std::atomic<size_t> gFailFrom{std::numeric_limits<size_t>::max()};
}  // namespace

void* operator new(size_t aSize) {
  if (aSize >= gFailFrom.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* p = std::malloc(aSize ? aSize : 1)) return p;
  throw std::bad_alloc();
}

void operator delete(void* aPointer) noexcept { std::free(aPointer); }
void operator delete(void* aPointer, size_t) noexcept { std::free(aPointer); }

namespace {

std::string Text(platform::Bstr aText) {
  return Utf16ToUtf8(std::u16string_view(aText ? aText : u"", platform::BstrLength(aText)));
}

platform::Bstr Make(std::string_view aUtf8) {
  const std::u16string wide = Utf8ToUtf16(aUtf8);
  return platform::BstrAlloc(wide.data(), static_cast<uint32_t>(wide.size()));
}

TEST(BstrText, ReadsTheWholePrefixedLength) {
  EXPECT_EQ(BstrToUtf8(nullptr), "");

  platform::Bstr embedded = platform::BstrAlloc(u"a\0b", 3);
  EXPECT_EQ(BstrToUtf8(embedded), std::string("a\0b", 3));
  platform::BstrFree(embedded);

  const char oddBytes[] = {'A', 0, 'B'};
  platform::Bstr odd = platform::BstrAllocBytes(oddBytes, 3);
  EXPECT_EQ(BstrToUtf8(odd), "A\xEF\xBF\xBD");
  platform::BstrFree(odd);

  const char16_t surrogates[] = {0xD834, 0xDD1E, 0xD800, u'x', 0xDC00};
  platform::Bstr mixed = platform::BstrAlloc(surrogates, 5);
  EXPECT_EQ(BstrToUtf8(mixed), "\xF0\x9D\x84\x9E\xEF\xBF\xBDx\xEF\xBF\xBD");
  platform::BstrFree(mixed);
}

TEST(BstrText, AssignReplacesAndReleases) {
  platform::Bstr target = platform::BstrAlloc(u"old", 3);
  AssignBstr(target, "\xE2\x82\xAC\xF0\x9D\x84\x9E");  // euro sign and a character beyond 16 bits
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(platform::BstrLength(target), 3u);
  EXPECT_EQ(target[3], u'\0');
  EXPECT_EQ(Text(target), "\xE2\x82\xAC\xF0\x9D\x84\x9E");
  AssignBstr(target, "");
  EXPECT_EQ(target, nullptr);
}

class ExportCallTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterTestDriver(); }
  void TearDown() override {
    gFailFrom = std::numeric_limits<size_t>::max();
    PaymentDevices().Clear();
    PaymentDrivers().Remove(kTestDriverKey);
  }

  // Runs aOperation on aRequest with allocations from aFailFrom bytes on failing.
  tkExportResult Call(tkExportOperation aOperation, const std::string& aRequest, size_t aFailFrom,
                      std::string& aOutput, std::string& aError, bool& aOutputNull) {
    platform::Bstr request = Make(aRequest);
    platform::Bstr output = nullptr, error = nullptr;
    gFailFrom = aFailFrom;
    const tkExportResult result = CallOperationExport(aOperation, request, &output, &error);
    gFailFrom = std::numeric_limits<size_t>::max();
    aOutputNull = output == nullptr;
    aOutput = Text(output);
    aError = Text(error);
    platform::BstrFree(output);
    platform::BstrFree(error);
    platform::BstrFree(request);
    return result;
  }
};

TEST_F(ExportCallTest, OutOfMemoryWhileFormattingStillAnswers) {
  // Quotes take six times their room once escaped: only the fragment is too large.
  const std::string quotes(100000, '"');
  const std::string payment = "<Request><Driver>VELO_TEST_DRIVER</Driver><LogId>oom</LogId><Connection><Type>COM"
                              "</Type></Connection><Payment><Reference>" + quotes + "</Reference></Payment></Request>";
  std::string output, error;
  bool outputNull = false;

  // A payment that went through, but whose answer cannot be written, is not a success.
  EXPECT_EQ(Call(tkExportOperation::PAY, payment, 300000, output, error, outputNull), 65535u);
  EXPECT_TRUE(outputNull);
  EXPECT_EQ(error, "Out of memory");
  // With memory the same request succeeds.
  EXPECT_EQ(Call(tkExportOperation::PAY, payment, std::numeric_limits<size_t>::max(), output, error, outputNull), 0u);
  EXPECT_EQ(output.find("<DeviceId>&quot;&quot;"), 0u);

  // A failure whose message fits keeps it, though the fragment is lost.
  const std::string unknown = "<Request><Driver>" + quotes + "</Driver></Request>";
  EXPECT_EQ(Call(tkExportOperation::OPEN, unknown, 300000, output, error, outputNull), 65535u);
  EXPECT_TRUE(outputNull);
  EXPECT_EQ(error, "Payment Driver [" + quotes + "] not registered.");

  // Nothing fits at all.
  PaymentDevices().Clear();
  for (tkExportOperation operation : {tkExportOperation::PAY, tkExportOperation::GETSTATUS, tkExportOperation::CLOSE}) {
    EXPECT_EQ(Call(operation, payment, 16, output, error, outputNull), 65535u);
    EXPECT_EQ(error, "Out of memory");
  }
}

TEST_F(ExportCallTest, NullOutputAddressesAreSkipped) {
  platform::Bstr request = Make("<Request><Driver>VELO_TEST_DRIVER</Driver><Connection><Type>COM</Type>"
                                "</Connection></Request>");
  platform::Bstr error = nullptr;
  EXPECT_EQ(CallOperationExport(tkExportOperation::OPEN, request, nullptr, &error), 0u);
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(CallOperationExport(tkExportOperation::CLOSE, nullptr, nullptr, nullptr), 65535u);
  EXPECT_EQ(CallVersionExport(request, nullptr, nullptr), 0u);
  platform::BstrFree(request);
}

TEST_F(ExportCallTest, VersionLeavesItsThirdArgumentNull) {
  platform::Bstr key = Make(kTestDriverKey);
  platform::Bstr output = reinterpret_cast<platform::Bstr>(uintptr_t{0x20});
  platform::Bstr third = reinterpret_cast<platform::Bstr>(uintptr_t{0x20});
  EXPECT_EQ(CallVersionExport(key, &output, &third), 0u);
  EXPECT_EQ(third, nullptr);
  EXPECT_EQ(Text(output), kPaymentDevice::GetDriverVersion());
  platform::BstrFree(output);
  platform::BstrFree(key);
}

}  // namespace
