#include "entry/PaymentWrapper.h"

#include <exception>
#include <new>

#include "core/Errors.h"
#include "entry/BstrText.h"
#include "entry/PaymentRegistry.h"

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

// ---- kPaymentWrapper -----------------------------------------------------------------

kPaymentWrapper::kPaymentWrapper() : fHandler(std::make_unique<kPaymentHandler>()) {}

kPaymentWrapper::~kPaymentWrapper() = default;

kPaymentDevice& kPaymentWrapper::GetDevice(bool aCreate) {
  const int32_t handle = fHandler->DeviceHandle();
  if (handle > 0) {
    // An open device is used as it is, whatever driver or connection the request names.
    kPaymentDevice* device = PaymentDevices().Find(handle);
    if (!device) throw EMxError("Device Handle not found");
    return *device;
  }
  if (!aCreate) throw EMxError("Payment Device has not previously opened");
  const kPaymentClass* driver = PaymentDrivers().Find(fHandler->Driver());
  if (!driver) throw EMxError("Payment Driver [" + fHandler->Driver() + "] not registered.");
  std::unique_ptr<kPaymentDevice> device = driver->Create(*fHandler);
  if (!device) throw EMxError("Payment Driver [" + fHandler->Driver() + "] created no device.");
  return PaymentDevices().Add(std::move(device));
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
  this->ResetResult();
  std::string message;
  TResult answer;
  const bool done = RunGuarded(
      [&] {
        this->fHandler->Deserialize(aXml, {DocumentType});
        kPaymentDevice& device = this->GetDevice(true);
        answer = (device.*Operation)(*this->fHandler);
      },
      message);
  // On failure whatever the device had filled in, log file name and time included, goes.
  if (done) {
    this->fResult = std::move(answer);
  } else {
    this->fResult.ErrorText = std::move(message);
  }
}

void kPaymentWrapper_OPEN::Process(const std::string& aXml) {
  ResetResult();
  std::string message;
  if (RunGuarded(
          [&] {
            fHandler->Deserialize(aXml, {dt_Open});
            fResult.Handle = GetDevice(true).Handle();
          },
          message)) {
    fResult.Error = false;
  } else {
    fResult.Error = true;
    fResult.ErrorText = std::move(message);
  }
}

void kPaymentWrapper_CLOSE::Process(const std::string& aXml) {
  ResetResult();
  std::string message;
  if (RunGuarded(
          [&] {
            fHandler->Deserialize(aXml, {});
            PaymentDevices().Remove(GetDevice(false).Handle());
          },
          message)) {
    fResult.Error = false;
  } else {
    fResult.Error = true;
    fResult.ErrorText = std::move(message);
  }
}

void kPaymentWrapper_GETSTATUS::Process(const std::string&) {
  ResetResult();
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
