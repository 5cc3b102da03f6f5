#include "entry/PaymentWrapper.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

#include "core/Errors.h"
#include "entry/BstrText.h"
#include "entry/PaymentRegistry.h"
#include "io/IOHandler.h"
#include "platform/HttpClient.h"

namespace {

// Fits the short-string buffer, so reporting it needs no memory.
constexpr char kOutOfMemory[] = "Out of memory";

// Runs aStep; false with the error's message when it raises.
template <class TStep>
bool RunGuarded(TStep&& aStep, std::string& aMessage) {
  try {
    aStep();
    return true;
  } catch (const std::bad_alloc&) {
    aMessage = kOutOfMemory;
  } catch (const std::exception& e) {
    aMessage = e.what();
  } catch (...) {
    aMessage = "Unknown error";
  }
  return false;
}

}  // namespace

std::string WithoutPasswords(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  size_t at = 0;
  while (at < aText.size()) {
    const size_t end = std::min(aText.find_first_of(" \t\r\n", at), aText.size());
    const std::string_view word = aText.substr(at, end - at);
    if (word.find("://") != std::string_view::npos) {
      out += platform::UrlWithoutPassword(word);
    } else {
      out += word;
    }
    if (end < aText.size()) out += aText[end];
    at = end + 1;
  }
  return out;
}

// ---- kPaymentWrapper -----------------------------------------------------------------

kPaymentWrapper::kPaymentWrapper() = default;

kPaymentWrapper::~kPaymentWrapper() = default;

kPaymentDevice& kPaymentWrapper::GetDevice(bool aCreate) {
  const int32_t handle = fHandler.DeviceHandle();
  if (handle > 0) {
    // An open device is used as it is, whatever driver or connection the request names.
    kPaymentDevice* device = PaymentDevices().Find(handle);
    if (!device) throw EMxError("Device Handle not found");
    return *device;
  }
  if (!aCreate) throw EMxError("Payment Device has not previously opened");
  const kPaymentClass* driver = PaymentDrivers().Find(fHandler.Driver());
  if (!driver) throw EMxError("Payment Driver [" + fHandler.Driver() + "] not registered.");
  std::unique_ptr<kPaymentDevice> device = driver->Create(fHandler);
  if (!device) throw EMxError("Payment Driver [" + fHandler.Driver() + "] created no device.");
  return PaymentDevices().Add(std::move(device));
}

void kPaymentWrapper::LogOutcome(kPaymentDevice& aDevice, bool aFailed, std::string_view aErrorText) const noexcept {
  try {
    std::string line = std::string(Operation()) + " outcome: handle " + std::to_string(aDevice.Handle()) +
                       ", result " + (aFailed ? "-1" : "0");
    if (aFailed) line += ", error: " + WithoutPasswords(aErrorText);
    aDevice.IOHandler().Debug(aFailed ? let_error : let_info, line);
  } catch (...) {
    // The answer goes back whether or not its log line could be written.
  }
}

kPaymentDevice* kPaymentWrapper::AddressedDevice() const {
  const int32_t handle = fHandler.DeviceHandle();
  return handle > 0 ? PaymentDevices().Find(handle) : nullptr;
}

// ---- rendering -----------------------------------------------------------------------

template <class TResult>
void kPaymentWrapperOf<TResult>::Format(platform::Bstr& aOutput, platform::Bstr& aErrorMessage,
                                        int16_t& aResult) {
  // A caller that gets only part of the answer gets a failure with it.
  aResult = -1;
  // The error text first: it is the smaller one and says the most when memory is short.
  AssignBstr(aErrorMessage, fResult.ErrorText);
  AssignBstr(aOutput, FormatFragment(fResult));
  aResult = fResult.Error ? -1 : 0;
}

// ---- processing ----------------------------------------------------------------------

template <class TResult, TResult (kPaymentDevice::*Operation)(const kPaymentHandler&),
          tkPaymentHandlerDocumentType DocumentType>
void kDeviceOperationWrapper<TResult, Operation, DocumentType>::Process(const std::string& aXml) {
  std::string message;
  kPaymentDevice* reached = nullptr;
  // The device's answer is taken only when it returns: on failure whatever the device had
  // filled in, log file name and time included, goes.
  const bool done = RunGuarded(
      [&] {
        this->fHandler.Deserialize(aXml, {DocumentType});
        reached = &this->GetDevice(true);
        this->fResult = (reached->*Operation)(this->fHandler);
      },
      message);
  if (!done) this->fResult.ErrorText = std::move(message);
  if (!reached) reached = this->AddressedDevice();
  if (reached) this->LogOutcome(*reached, this->fResult.Error, this->fResult.ErrorText);
}

void kPaymentWrapper_OPEN::Process(const std::string& aXml) {
  std::string message;
  kPaymentDevice* reached = nullptr;
  if (RunGuarded(
          [&] {
            fHandler.Deserialize(aXml, {dt_Open});
            reached = &GetDevice(true);
            fResult.Handle = reached->Handle();
          },
          message)) {
    fResult.Error = false;
  } else {
    fResult.Error = true;
    fResult.ErrorText = std::move(message);
  }
  if (!reached) reached = AddressedDevice();
  if (reached) LogOutcome(*reached, fResult.Error, fResult.ErrorText);
}

void kPaymentWrapper_CLOSE::Process(const std::string& aXml) {
  std::string message;
  if (RunGuarded(
          [&] {
            fHandler.Deserialize(aXml, {});
            kPaymentDevice& device = GetDevice(false);
            // Its last line before the STOP line: removing the device ends its log.
            LogOutcome(device, false, {});
            PaymentDevices().Remove(device.Handle());
          },
          message)) {
    fResult.Error = false;
  } else {
    fResult.Error = true;
    fResult.ErrorText = std::move(message);
    if (kPaymentDevice* addressed = AddressedDevice()) LogOutcome(*addressed, true, fResult.ErrorText);
  }
}

void kPaymentWrapper_GETSTATUS::Process(const std::string&) {
  fResult.Error = false;
}

template class kPaymentWrapperOf<_int_PAY_result>;
template class kPaymentWrapperOf<_int_REPRINT_result>;
template class kPaymentWrapperOf<_int_GETSTATUS_result>;
template class kPaymentWrapperOf<_int_OPEN_result>;
template class kPaymentWrapperOf<_int_CLOSE_result>;
template class kPaymentWrapperOf<_int_DAYCLOSE_result>;
template class kPaymentWrapperOf<_int_GETTOTALS_result>;
template class kDeviceOperationWrapper<_int_PAY_result, &kPaymentDevice::Pub_Pay, dt_Pay>;
template class kDeviceOperationWrapper<_int_REPRINT_result, &kPaymentDevice::Pub_Reprint, dt_PayReprint>;
template class kDeviceOperationWrapper<_int_PAY_result, &kPaymentDevice::Pub_VerifyTran, dt_VerifyTran>;
template class kDeviceOperationWrapper<_int_DAYCLOSE_result, &kPaymentDevice::Pub_DayClose, dt_DayClose>;
template class kDeviceOperationWrapper<_int_GETTOTALS_result, &kPaymentDevice::Pub_GetTotals, dt_GetTotals>;
