#include "entry/ExportCalls.h"

#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>

#include "app/Application.h"
#include "entry/BstrText.h"
#include "entry/PaymentRegistry.h"
#include "platform/Module.h"

namespace {

// Hosts may call from several threads; the registries, the handle counter and the devices
// are not built for concurrent calls, so the exports run one at a time.
std::mutex gExportLock;

// Stands in for an output that the caller gave no address for.
struct ScratchBstr {
  ~ScratchBstr() { platform::BstrFree(fText); }
  platform::Bstr fText = nullptr;
};

void SetNull(platform::Bstr* aTarget) {
  if (aTarget) *aTarget = nullptr;
}

// What can still be said when there is no memory for the whole answer.
void TellOutOfMemory(platform::Bstr* aErrorMessage) noexcept {
  if (!aErrorMessage || *aErrorMessage) return;
  static constexpr char16_t kText[] = u"Out of memory";
  *aErrorMessage = platform::BstrAlloc(kText, sizeof kText / sizeof kText[0] - 1);
}

// A wrapper lives for one call, on the stack: the call makes no trip to the heap for it.
template <class TWrapper>
void RunWrapper(const std::string& aXml, platform::Bstr* aOutput, platform::Bstr* aErrorMessage, int16_t& aResult) {
  TWrapper wrapper;
  wrapper.Process(aXml);
  ScratchBstr output, errorMessage;
  wrapper.Format(aOutput ? *aOutput : output.fText, aErrorMessage ? *aErrorMessage : errorMessage.fText, aResult);
}

void UnloadLibrary(bool aOtherThreadsRun) {
  try {
    // A call still running on another thread finishes first; at process exit on Windows
    // its thread may have died holding the lock.
    std::unique_lock lock(gExportLock, std::defer_lock);
    if (aOtherThreadsRun) lock.lock();
    UnloadPaymentLibrary(aOtherThreadsRun);
  } catch (...) {
    // Unloading goes on whatever a destructor's log could not write.
  }
}

}  // namespace

tkExportResult CallOperationExport(tkExportOperation aOperation, const char16_t* aXml,
                                   platform::Bstr* aOutput, platform::Bstr* aErrorMessage) noexcept {
  SetNull(aOutput);
  SetNull(aErrorMessage);
  int16_t result = -1;
  try {
    std::lock_guard lock(gExportLock);
    const std::string xml = BstrToUtf8(aXml);
    const auto run = [&](auto aWrapper) {
      RunWrapper<typename decltype(aWrapper)::type>(xml, aOutput, aErrorMessage, result);
    };
    using std::type_identity;
    switch (aOperation) {
      case tkExportOperation::PAY: run(type_identity<kPaymentWrapper_PAY>()); break;
      case tkExportOperation::REPRINT: run(type_identity<kPaymentWrapper_REPRINT>()); break;
      case tkExportOperation::OPEN: run(type_identity<kPaymentWrapper_OPEN>()); break;
      case tkExportOperation::GETSTATUS: run(type_identity<kPaymentWrapper_GETSTATUS>()); break;
      case tkExportOperation::DAYCLOSE: run(type_identity<kPaymentWrapper_DAYCLOSE>()); break;
      case tkExportOperation::GETTOTALS: run(type_identity<kPaymentWrapper_GETTOTALS>()); break;
      case tkExportOperation::CLOSE: run(type_identity<kPaymentWrapper_CLOSE>()); break;
      case tkExportOperation::VERIFYTRAN: run(type_identity<kPaymentWrapper_VERIFYTRAN>()); break;
    }
  } catch (const std::bad_alloc&) {
    result = -1;
    TellOutOfMemory(aErrorMessage);
  } catch (...) {
    result = -1;
  }
  return ExportResult(result);
}

tkExportResult CallVersionExport(const char16_t* aDriverKey, platform::Bstr* aOutput,
                                 platform::Bstr* aErrorMessage) noexcept {
  SetNull(aOutput);
  SetNull(aErrorMessage);
  try {
    std::lock_guard lock(gExportLock);
    const std::string key = BstrToUtf8(aDriverKey);
    if (const kPaymentClass* driver = PaymentDrivers().Find(key); driver && aOutput) {
      AssignBstr(*aOutput, driver->GetDriverVersion());
    }
  } catch (...) {
    // The version stays unknown: the output remains null.
  }
  return ExportResult(0);
}

void InstallExportUnload() {
  // Built before the unload is arranged, so that natively they are destroyed after it.
  PaymentDrivers();
  tMx_Application::InstanceIfBuilt();
  platform::SetUnloadHandler(&UnloadLibrary);
}
