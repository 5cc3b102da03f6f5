// Whatever the host passes, every export returns normally with a sound answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/Text.h"
#include "e2e/ProductLibrary.h"

namespace {

constexpr char kDriver[] = "VELO_TEST_DRIVER";
constexpr const char* kOperations[] = {"PAY", "REPRINT", "OPEN", "GETSTATUS", "DAYCLOSE",
                                       "GETTOTALS", "CLOSE", "VERIFYTRAN"};

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fLogId = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveDeviceLogs(kDriver, fLogId);
  }
  void TearDown() override { RemoveDeviceLogs(kDriver, fLogId); }

  std::string fLogId;
};

TEST_F(RobustnessTest, NullOrMalformedRequests) {
  tkProductLibrary lib(kTestDriverLibrary);
  const std::string inputs[] = {"", "<", "<Request>", "<?xml version=\"1.0\"?>", "<a></b>", std::string("\0\0<x/>", 6)};
  for (const char* name : kOperations) {
    const bool status = std::strcmp(name, "GETSTATUS") == 0;
    tkAnswer none = lib.CallWith(name, nullptr);
    EXPECT_EQ(none.Result, status ? 0 : -1) << name;
    EXPECT_EQ(none.ErrorNull, status) << name;
    EXPECT_FALSE(none.OutputNull) << name;
    for (const std::string& input : inputs) {
      tkAnswer answer = lib.Call(name, input);
      EXPECT_EQ(answer.Result, status ? 0 : -1) << name << " " << input;
      EXPECT_EQ(answer.Error.empty(), status) << name << " " << input;
      EXPECT_EQ(Element(answer.Output, "Error"), status ? "False" : "True") << name;
    }
  }
  tkAnswer version = lib.CallWith("VERSION", nullptr);
  EXPECT_EQ(version.Result, 0);
  EXPECT_TRUE(version.OutputNull);
}

// A dangling last byte and unpaired surrogates are read as U+FFFD.
TEST_F(RobustnessTest, BrokenUtf16IsReadAsReplacementCharacters) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Request(kDriver, 0, fLogId)).Result, 0);
  const std::string replacement = "\xEF\xBF\xBD";

  std::u16string request = Utf8ToUtf16(Request(kDriver, 1, fLogId, "<Payment><Reference>@</Reference></Payment>"));
  std::u16string broken = u"a";
  broken += char16_t(0xD800);  // high surrogate without its pair
  broken += u"b";
  broken += char16_t(0xDC00);  // low surrogate alone
  request.replace(request.find(u'@'), 1, broken);
  tkAnswer answer = lib.CallWith("PAY", lib.Alloc(request));
  EXPECT_EQ(answer.Result, 0) << answer.Error;
  EXPECT_EQ(Element(answer.Output, "DeviceId"), "a" + replacement + "b" + replacement);

  // Three bytes: "V" and half a unit.
  const char bytes[] = {'V', 0, 'X'};
  platform::Bstr odd = platform::BstrAllocBytes(bytes, sizeof bytes);
  ASSERT_EQ(platform::BstrByteLength(odd), 3u);
  platform::Bstr out = nullptr, error = nullptr;
  EXPECT_EQ(lib.Export("OPEN")(odd, &out, &error), -1);
  ASSERT_NE(error, nullptr);
  lib.Free(out);
  lib.Free(error);
  // The odd request is the caller's to release.
  EXPECT_EQ(platform::BstrByteLength(odd), 3u);

  // The same byte count around a whole request: the document itself is intact.
  const std::u16string whole = Utf8ToUtf16(Request(kDriver, 1, fLogId, "<Payment><Reference>odd</Reference></Payment>"));
  std::string raw(reinterpret_cast<const char*>(whole.data()), whole.size() * 2);
  raw += 'Z';
  platform::Bstr oddWhole = platform::BstrAllocBytes(raw.data(), static_cast<uint32_t>(raw.size()));
  out = error = nullptr;
  const int16_t result = lib.Export("PAY")(oddWhole, &out, &error);
  const std::string fragment = Utf16ToUtf8(std::u16string_view(out ? out : u"", lib.Length(out)));
  lib.Free(out);
  lib.Free(error);
  platform::BstrFree(oddWhole);
  platform::BstrFree(odd);
  // The replacement character after the root element is text outside it: whether the
  // parser accepts that or not, the answer is a complete one.
  if (result == 0) {
    EXPECT_EQ(Element(fragment, "DeviceId"), "odd");
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_NE(Element(fragment, "ErrorText"), "");
  }
}

TEST_F(RobustnessTest, TenMegabyteDocuments) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Request(kDriver, 0, fLogId)).Result, 0);
  const std::string big(10 * 1024 * 1024, 'x');

  tkAnswer echoed = lib.Call("PAY", Request(kDriver, 1, fLogId, "<Payment><Reference>" + big + "</Reference></Payment>"));
  EXPECT_EQ(echoed.Result, 0);
  EXPECT_EQ(Element(echoed.Output, "DeviceId").size(), big.size());

  // Escaping makes the answer five times the size.
  const std::string amps(2 * 1024 * 1024, '&');
  std::string inRequest;
  for (size_t i = 0; i < amps.size(); ++i) inRequest += "&amp;";
  tkAnswer failed = lib.Call("PAY", Request(kDriver, 1, fLogId,
                                            "<Payment><Reference>" + inRequest + "</Reference><Attributes>raise</Attributes></Payment>"));
  EXPECT_EQ(failed.Result, -1);
  EXPECT_EQ(failed.Error, amps);
  EXPECT_EQ(Element(failed.Output, "ErrorText").size(), amps.size() * 5);

  tkAnswer unclosed = lib.Call("PAY", "<Request><Payment><Reference>" + big);
  EXPECT_EQ(unclosed.Result, -1);
  EXPECT_FALSE(unclosed.Error.empty());
}

// Hosts may call from several threads: every device gets its own handle, none is lost.
TEST_F(RobustnessTest, ConcurrentCallsKeepTheRegistriesSound) {
  tkProductLibrary lib(kTestDriverLibrary);
  constexpr int kThreads = 4;
  constexpr int kPerThread = 15;
  std::vector<std::vector<int>> handles(kThreads);
  std::atomic<int> failures{0};
  auto logId = [&](int aThread) { return fLogId + std::to_string(aThread); };
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < kPerThread; ++i) {
          tkAnswer open = lib.Call("OPEN", Request(kDriver, 0, logId(t)));
          if (open.Result != 0) ++failures;
          handles[t].push_back(std::stoi(Element(open.Output, "Handle")));
          tkAnswer status = lib.Call("GETSTATUS", "");
          if (status.Result != 0) ++failures;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
  std::set<int> all;
  for (const auto& list : handles) all.insert(list.begin(), list.end());
  ASSERT_EQ(all.size(), size_t{kThreads * kPerThread});
  EXPECT_EQ(*all.begin(), 1);
  EXPECT_EQ(*all.rbegin(), kThreads * kPerThread);

  {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int handle : handles[t]) {
          tkAnswer pay = lib.Call("PAY", Request(kDriver, handle, logId(t), "<Payment><Amount>1</Amount></Payment>"));
          if (pay.Result != 0) ++failures;
          if (lib.Call("CLOSE", Request(kDriver, handle, logId(t))).Result != 0) ++failures;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(lib.Call("CLOSE", Request(kDriver, 1, fLogId)).Error, "Device Handle not found");
  EXPECT_EQ(Element(lib.Call("OPEN", Request(kDriver, 0, fLogId)).Output, "Handle"),
            std::to_string(kThreads * kPerThread + 1));
  for (int t = 0; t < kThreads; ++t) RemoveDeviceLogs(kDriver, logId(t));
}

}  // namespace
