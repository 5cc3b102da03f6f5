#pragma once
// What every fuzz target shares: the nine exports called as a host calls them, and the
// checks that hold after every call whatever the input - each answer is well-formed
// XML 1.0 and each log line is one whole record without a card number in it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Bstr.h"

namespace fuzz {

using ExportFunction = uint32_t (*)(platform::Bstr, platform::Bstr*, platform::Bstr*);

enum Operation : uint8_t { kPay, kReprint, kOpen, kGetStatus, kDayClose, kGetTotals, kClose, kVersion, kVerifyTran };
inline constexpr int kOperationCount = 9;
const char* OperationName(Operation aOperation);

struct Answer {
  uint32_t Result = 0;
  std::string Output;  // UTF-8
  std::string Error;
};

// Calls the export with aRequest as the UTF-16 units given (lone surrogates included) and
// checks its answer; aborts the run when a check fails.
Answer Call(Operation aOperation, const std::u16string& aRequest);
Answer Call(Operation aOperation, std::string_view aUtf8Request);

// The text of element aName in an answer fragment; empty when absent.
std::string Element(const std::string& aOutput, std::string_view aName);

// A request document with a device part for the VIROZI driver and aBody after it.
std::string Request(int32_t aHandle, std::string_view aLogId, std::string_view aBody);
// aText escaped for an XML text node, characters XML does not allow included as they are
// (as a hostile POS would send them).
std::string XmlText(std::string_view aText);

// Closes every device the run opened, then checks the log lines written since the last
// check; now and then removes the log files so that long runs keep the disk free.
void EndRun();

// A short text that now and then holds line breaks, control characters, forged log
// lines, card numbers or bytes that are not UTF-8.
std::string HostileText(FuzzedDataProvider& aData, size_t aMaxLength);

[[noreturn]] void Fail(const std::string& aWhat, std::string_view aDetail);

}  // namespace fuzz
