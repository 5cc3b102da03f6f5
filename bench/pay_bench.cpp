// PAY through the exports of the product library against the simulated terminal, next to
// the floor: the work that no request can avoid, done with the plainest means at hand:
// the request converted from UTF-16 once, parsed by pugixml, the same answer fragment
// built and converted back once, and as many log lines as a PAY writes queued to spdlog's
// asynchronous logger.
//   PayBackToBack / FloorBackToBack   one call right after the other;
//   PayFloor5msApart                  a call every 5 ms, as a POS calls, PAY and floor in turn;
//                                     only the calls timed;
//   PayParameters/N                   a PAY whose request has N Parameters children;
//   CloseAfter100Pays                 CLOSE right after 100 PAYs, until its log is on disk.
#include <pugixml.hpp>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Bench.h"
#include "hostlib/ProductLibrary.h"
#include "platform/Host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int kRepetitions = 7;
int64_t kBackToBack = 20'000;
int64_t kApartCalls = 200;
int kCloseRounds = 31;
constexpr auto kApart = std::chrono::milliseconds(5);
constexpr char kDriver[] = "VELO_VIROZI_10";
constexpr char kPayment[] =
    "<Payment><MerchantCode>M01</MerchantCode><StoreCode>S01</StoreCode><TillCode>T01</TillCode>"
    "<Reference>R0001</Reference><Amount>12.00</Amount><Currency>EUR</Currency>"
    "<DocumentAmount>12.00</DocumentAmount><OperatorId>OP1</OperatorId></Payment>";

std::string Request(int32_t aHandle, const std::string& aLogId, const std::string& aBody) {
  std::string xml = "<Request><Driver>";
  xml += kDriver;
  xml += "</Driver>";
  if (aHandle != 0) xml += "<Handle>" + std::to_string(aHandle) + "</Handle>";
  xml += "<LogId>" + aLogId + "</LogId><Connection><Type>COM</Type></Connection>";
  xml += aBody;
  xml += "</Request>";
  return xml;
}

std::u16string Widen(const std::string& aAscii) { return std::u16string(aAscii.begin(), aAscii.end()); }

fs::path LogFolder() { return fs::path(GetExePath()) / "LogFiles"; }

// The messages (time stamps cut off) of every device log of aLogId.
std::vector<std::string> LogMessages(const std::string& aLogId) {
  std::vector<std::string> messages;
  const std::string prefix = std::string(kDriver) + "_" + aLogId + "_";
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(LogFolder(), error)) {
    if (entry.path().filename().string().rfind(prefix, 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      messages.push_back(line.size() > 26 ? line.substr(26) : line);
    }
  }
  return messages;
}

// Devices have handles of their own; their lines are alike otherwise.
std::string WithoutHandle(std::string aMessage) {
  const size_t at = aMessage.find("handle ");
  if (at == std::string::npos) return aMessage;
  const size_t end = aMessage.find_first_not_of("0123456789", at + 7);
  return aMessage.erase(at + 7, end == std::string::npos ? std::string::npos : end - (at + 7));
}

// Whether every CLOSE benchmarked found all its lines on disk.
bool gCloseLinesComplete = true;

// The device logs of earlier runs would be read as this run's.
void RemoveBenchLogs() {
  const std::string prefix = std::string(kDriver) + "_bench_";
  std::vector<fs::path> logs;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(LogFolder(), error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) logs.push_back(entry.path());
  }
  for (const fs::path& log : logs) fs::remove(log, error);
}

// The product library, loaded once for every benchmark of this file.
class Product {
 public:
  Product() : fLibrary(tkLibraryFile{VELO_PRODUCT_LIBRARY}) {
    fPay = fLibrary.Export("PAY");
    fOpen = fLibrary.Export("OPEN");
    fClose = fLibrary.Export("CLOSE");
    if (!fPay || !fOpen || !fClose) throw std::runtime_error("exports missing");
  }
  // Calls aExport with aRequest, a string made before; the answer is released. The result.
  int16_t Call(tkExport16 aExport, platform::Bstr aRequest) {
    platform::Bstr output = nullptr, error = nullptr;
    const int16_t result = aExport(aRequest, &output, &error);
    fLibrary.Free(output);
    fLibrary.Free(error);
    return result;
  }
  tkAnswer CallText(const char* aExport, const std::string& aRequest) { return fLibrary.Call(aExport, aRequest); }
  int32_t Open(const std::string& aLogId) {
    const tkAnswer answer = fLibrary.Call("OPEN", Request(0, aLogId, ""));
    if (answer.Result != 0) throw std::runtime_error("OPEN failed: " + answer.Error);
    return std::stoi(Element(answer.Output, "Handle"));
  }
  void Close(int32_t aHandle, const std::string& aLogId) { fLibrary.Call("CLOSE", Request(aHandle, aLogId, "")); }
  platform::Bstr Alloc(const std::string& aText) { return fLibrary.Alloc(Widen(aText)); }
  void Free(platform::Bstr aText) { fLibrary.Free(aText); }

  tkExport16 fPay = nullptr, fOpen = nullptr, fClose = nullptr;

 private:
  tkProductLibrary fLibrary;
};

Product& TheProduct() {
  static Product product;
  return product;
}

// What one PAY leaves for the floor to do: its answer as name/value pairs and its log lines.
struct PayShape {
  std::vector<std::pair<std::string, std::string>> Fragment;
  std::vector<std::string> LogLines;
};

std::vector<std::pair<std::string, std::string>> SplitFragment(const std::string& aFragment) {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t pos = 0;
  while ((pos = aFragment.find('<', pos)) != std::string::npos) {
    const size_t nameEnd = aFragment.find('>', pos);
    const std::string name = aFragment.substr(pos + 1, nameEnd - pos - 1);
    const size_t close = aFragment.find("</" + name + ">", nameEnd);
    pairs.emplace_back(name, aFragment.substr(nameEnd + 1, close - nameEnd - 1));
    pos = close + name.size() + 3;
  }
  return pairs;
}

const PayShape& Shape() {
  static const PayShape shape = [] {
    RemoveBenchLogs();
    Product& product = TheProduct();
    PayShape result;
    // The lines of a device that only opened and closed, against one that paid once too.
    const int32_t quiet = product.Open("bench_quiet");
    product.Close(quiet, "bench_quiet");
    const int32_t paid = product.Open("bench_paid");
    const tkAnswer answer = product.CallText("PAY", Request(paid, "bench_paid", kPayment));
    if (answer.Result != 0) throw std::runtime_error("PAY failed: " + answer.Error);
    product.Close(paid, "bench_paid");
    result.Fragment = SplitFragment(answer.Output);
    std::multimap<std::string, int> seen;
    for (const std::string& m : LogMessages("bench_quiet")) seen.emplace(WithoutHandle(m), 0);
    for (const std::string& m : LogMessages("bench_paid")) {
      const auto it = seen.find(WithoutHandle(m));
      if (it != seen.end()) {
        seen.erase(it);
      } else {
        result.LogLines.push_back(m);
      }
    }
    return result;
  }();
  return shape;
}

// ---- the floor --------------------------------------------------------------------------

std::string PlainUtf8(std::u16string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    const char32_t u = aText[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    char32_t cp = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < aText.size()) cp = 0x10000 + ((u - 0xD800) << 10) + (aText[++i] - 0xDC00);
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out;
}

std::u16string PlainUtf16(std::string_view aText) {
  std::u16string out(aText.size(), u'\0');
  size_t n = 0;
  for (size_t i = 0; i < aText.size();) {
    const auto b = static_cast<unsigned char>(aText[i]);
    char32_t cp;
    if (b < 0x80) {
      cp = b;
      i += 1;
    } else if (b < 0xE0) {
      cp = (b & 0x1F) << 6 | (aText[i + 1] & 0x3F);
      i += 2;
    } else if (b < 0xF0) {
      cp = (b & 0x0F) << 12 | (aText[i + 1] & 0x3F) << 6 | (aText[i + 2] & 0x3F);
      i += 3;
    } else {
      cp = (b & 0x07) << 18 | (aText[i + 1] & 0x3F) << 12 | (aText[i + 2] & 0x3F) << 6 | (aText[i + 3] & 0x3F);
      i += 4;
    }
    if (cp >= 0x10000) {
      out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
  }
  out.resize(n);
  return out;
}

class Floor {
 public:
  explicit Floor(const std::string& aRequest) : fRequest(Widen(aRequest)) {
    fs::create_directories(LogFolder());
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>((LogFolder() / "bench_floor.log").string());
    fPool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
    fLogger = std::make_shared<spdlog::async_logger>("floor", sink, fPool, spdlog::async_overflow_policy::block);
    fLogger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%Y-%m-%d %H:%M:%S:%e - %v", spdlog::pattern_time_type::local, "\r\n"));
    fLogger->flush_on(spdlog::level::trace);
  }
  ~Floor() {
    fLogger.reset();
    fPool.reset();
    fs::remove(LogFolder() / "bench_floor.log");
  }
  void Run(Product& aProduct) {
    const PayShape& shape = Shape();
    const std::string utf8 = PlainUtf8(fRequest);
    pugi::xml_document document;
    if (!document.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8)) {
      throw std::runtime_error("floor: parse failed");
    }
    benchmark::DoNotOptimize(document.document_element().first_child());
    std::string fragment;
    for (const auto& [name, value] : shape.Fragment) {
      if (!fragment.empty()) fragment += "\r\n";
      fragment += '<';
      fragment += name;
      fragment += '>';
      fragment += value;
      fragment += "</";
      fragment += name;
      fragment += '>';
    }
    const std::u16string wide = PlainUtf16(fragment);
    aProduct.Free(aProduct.Alloc(std::string()));  // what handing a string over costs at least
    benchmark::DoNotOptimize(wide.data());
    for (const std::string& line : shape.LogLines) fLogger->info(line);
  }

 private:
  std::u16string fRequest;
  std::shared_ptr<spdlog::details::thread_pool> fPool;
  std::shared_ptr<spdlog::async_logger> fLogger;
};

// ---- benchmarks ----------------------------------------------------------------------------

// A device open for the benchmark's span; its request strings made once.
struct OpenDevice {
  explicit OpenDevice(const std::string& aLogId, const std::string& aPayBody = kPayment)
      : fLogId(aLogId), fHandle(TheProduct().Open(aLogId)) {
    fText = Request(fHandle, fLogId, aPayBody);
    fPay = TheProduct().Alloc(fText);
  }
  ~OpenDevice() {
    TheProduct().Free(fPay);
    TheProduct().Close(fHandle, fLogId);
  }
  std::string fLogId;
  int32_t fHandle;
  std::string fText;
  platform::Bstr fPay = nullptr;
};

void PayBackToBack(benchmark::State& state) {
  Product& product = TheProduct();
  OpenDevice device("bench_b2b");
  for (auto _ : state) {
    if (product.Call(product.fPay, device.fPay) != 0) state.SkipWithError("PAY failed");
  }
}

void FloorBackToBack(benchmark::State& state) {
  Product& product = TheProduct();
  Floor floor(Request(1, "bench_b2b", kPayment));
  for (auto _ : state) floor.Run(product);
}

double Median(std::vector<double>& aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues.empty() ? 0.0 : aValues[aValues.size() / 2];
}

// A PAY and its floor in turn, each kApart after the call before: both meet the machine
// in the same state. Only the calls are timed; the medians of each go to the counters.
void PayFloor5msApart(benchmark::State& state) {
  Product& product = TheProduct();
  OpenDevice device("bench_apart");
  Floor floor(Request(device.fHandle, "bench_apart", kPayment));
  std::vector<double> pay, floorTimes;
  auto next = Clock::now();
  const auto timed = [&](auto&& aCall) {
    std::this_thread::sleep_until(next);
    const auto start = Clock::now();
    next = start + kApart;
    aCall();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  };
  for (auto _ : state) {
    pay.push_back(timed([&] {
      if (product.Call(product.fPay, device.fPay) != 0) state.SkipWithError("PAY failed");
    }));
    floorTimes.push_back(timed([&] { floor.Run(product); }));
    state.SetIterationTime((pay.back() + floorTimes.back()) / 1e6);
  }
  state.counters["pay_us"] = Median(pay);
  state.counters["floor_us"] = Median(floorTimes);
}

void PayParameters(benchmark::State& state) {
  std::string body = "<Parameters>";
  for (int64_t i = 0; i < state.range(0); ++i) {
    const std::string name = "P" + std::to_string(i);
    body += "<" + name + ">value " + std::to_string(i) + "</" + name + ">";
  }
  body += "</Parameters>";
  body += kPayment;
  Product& product = TheProduct();
  OpenDevice device("bench_params", body);
  for (auto _ : state) {
    if (product.Call(product.fPay, device.fPay) != 0) state.SkipWithError("PAY failed");
  }
}

// CLOSE timed alone, right after 100 PAYs; the device log is then checked line by line.
void CloseAfter100Pays(benchmark::State& state) {
  Product& product = TheProduct();
  const size_t linesPerPay = Shape().LogLines.size();
  std::vector<double> milliseconds;
  int round = 0;
  for (auto _ : state) {
    const std::string logId = "bench_close" + std::to_string(round++);
    const int32_t handle = product.Open(logId);
    const platform::Bstr pay = product.Alloc(Request(handle, logId, kPayment));
    for (int i = 0; i < 100; ++i) product.Call(product.fPay, pay);
    product.Free(pay);
    const platform::Bstr close = product.Alloc(Request(handle, logId, ""));
    const auto start = Clock::now();
    const int16_t result = product.Call(product.fClose, close);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    product.Free(close);
    state.SetIterationTime(elapsed);
    milliseconds.push_back(elapsed * 1e3);
    if (result != 0) state.SkipWithError("CLOSE failed");
    std::vector<std::string> lines = LogMessages(logId);
    const std::string payEnd = WithoutHandle(Shape().LogLines.back());
    size_t pays = 0;
    for (const std::string& line : lines) pays += WithoutHandle(line) == payEnd;
    if (pays != 100 || lines.size() < 100 * linesPerPay) {
      gCloseLinesComplete = false;
      state.SkipWithError("lines missing after CLOSE");
    }
  }
  state.counters["median_ms"] = Median(milliseconds);
}

}  // namespace

void RegisterPayBenchmarks(bool aSmoke) {
  if (aSmoke) {
    kRepetitions = 1;
    kBackToBack = 200;
    kApartCalls = 10;
    kCloseRounds = 3;
  }
  // Each next to its floor; main shuffles the repetitions of all, so that the machine's
  // load falls alike on the call and its floor.
  for (auto* b : {benchmark::RegisterBenchmark("PayBackToBack", PayBackToBack),
                  benchmark::RegisterBenchmark("FloorBackToBack", FloorBackToBack)}) {
    b->Repetitions(kRepetitions)->Iterations(kBackToBack)->UseRealTime()->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("PayFloor5msApart", PayFloor5msApart)
      ->Repetitions(kRepetitions)->Iterations(kApartCalls)->UseManualTime()->Unit(benchmark::kMicrosecond);
  for (const int64_t children : {10, 100, 1000, 10000}) {
    benchmark::RegisterBenchmark("PayParameters", PayParameters)
        ->Arg(children)
        // Enough calls that the first of a repetition, which finds the caches taken by the
        // benchmark run before it, does not weigh on the figure.
        ->Iterations(aSmoke ? 1 : std::max<int64_t>(10, 20'000 / children))
        ->Repetitions(aSmoke ? 1 : 5)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("CloseAfter100Pays", CloseAfter100Pays)
      ->Iterations(kCloseRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
}

void PrintPaySummary(const SummaryReporter& aReporter) {
  RemoveBenchLogs();
  std::printf("\nPAY against its floor (medians of %d repetitions; %zu log lines per PAY)\n", kRepetitions,
              Shape().LogLines.size());
  const double b2b = aReporter.Time("PayBackToBack"), b2bFloor = aReporter.Time("FloorBackToBack");
  std::printf("  back to back: PAY %.2f us, floor %.2f us (PAY/floor %.2f; target <= 1.30)\n", b2b, b2bFloor,
              Ratio(b2b, b2bFloor));
  const double apart = aReporter.Counter("PayFloor5msApart", "pay_us");
  const double apartFloor = aReporter.Counter("PayFloor5msApart", "floor_us");
  std::printf("  5 ms apart:   PAY %.2f us, floor %.2f us (PAY/floor %.2f; target <= 1.50)\n", apart, apartFloor,
              Ratio(apart, apartFloor));
  std::printf("  Parameters children:");
  for (const char* n : {"10", "100", "1000", "10000"}) {
    std::printf(" %s: %.1f us;", n, aReporter.Time(std::string("PayParameters/") + n));
  }
  std::printf(" 10000/1000 %.2f (target <= 12)\n",
              Ratio(aReporter.Time("PayParameters/10000"), aReporter.Time("PayParameters/1000")));
  std::printf("  CLOSE after 100 PAYs: median %.2f ms (target < 2), %s\n",
              aReporter.Counter("CloseAfter100Pays", "median_ms"),
              gCloseLinesComplete ? "every line on disk" : "LINES MISSING on disk after CLOSE");
}
