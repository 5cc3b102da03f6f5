#pragma once
// The end-to-end tests drive the product library through the same host side as velo-pos:
// loaded by file name from this program's folder, strings from the system's allocator.
#include <cstdint>
#include <string>
#include <string_view>

#include "hostlib/ProductLibrary.h"

inline constexpr char kTestDriverLibrary[] = "VELO_VIROZI_10_testdrv";

// Unloads aLibrary and waits until it has left the process (a test failure when it does
// not, in time). True when it was still there right after its release: on Windows a log
// worker still writing holds the library, and the unload comes when that worker ends.
bool UnloadAndWait(tkProductLibrary& aLibrary);

// A request for the test driver (or the driver aDriver): LogId aLogId, the channel-less
// COM connection, aHandle when not 0, then aBody inside the root element.
std::string Request(std::string_view aDriver, int32_t aHandle, std::string_view aLogId,
                    std::string_view aBody = {});

// Folder of this program's device logs, ending with the separator.
std::string PaymentLogFolder();
// Every device log of aDriver and aLogId (any date), concatenated; removed with aRemove.
std::string ReadDeviceLogs(std::string_view aDriver, std::string_view aLogId);
void RemoveDeviceLogs(std::string_view aDriver, std::string_view aLogId);
