#pragma once
// The abstract payment device: the base of every payment driver. It owns the device's I/O
// handler (and so its log) and runs the template operations that the operation wrappers
// call; the driver fills the result records in its Do operations.
#include <cstdint>
#include <memory>
#include <string>

#include "payment/PaymentResults.h"

class kIOHandler;
class kPaymentHandler;
class kPaymentReceipt;
class kPaymentDayClose;
class kPaymentTotals;

class kPaymentDevice {
 public:
  virtual ~kPaymentDevice();
  kPaymentDevice(const kPaymentDevice&) = delete;
  kPaymentDevice& operator=(const kPaymentDevice&) = delete;

  // "Version " + version + " - " + release date in the regional short date format; the
  // same for every driver class.
  static std::string GetDriverVersion();
  // The host executable's folder + LogFiles + Payment.
  static std::string LogFolder();
  static std::string LogFolderOf(std::string aExeDirectory);

  // The template operations. Each starts from a record at its zero values, sets what it
  // owns (banner, log file name, time stamp, default codes), lets the driver fill the rest
  // and finally carries an error that the I/O handler recorded into ErrorText.
  _int_PAY_result Pub_Pay(const kPaymentHandler& aHandler);
  _int_PAY_result Pub_VerifyTran(const kPaymentHandler& aHandler);
  _int_REPRINT_result Pub_Reprint(const kPaymentHandler& aHandler);
  _int_DAYCLOSE_result Pub_DayClose(const kPaymentHandler& aHandler);
  _int_GETTOTALS_result Pub_GetTotals(const kPaymentHandler& aHandler);

  // 0 until the device registry gives the device its handle.
  int32_t Handle() const { return fHandle; }
  void SetHandle(int32_t aHandle) { fHandle = aHandle; }
  kIOHandler& IOHandler() const { return *fIOHandler; }

 protected:
  // Creates the I/O handler that the request's connection names, logging into
  // LogFolder(), and gives it the driver version. A driver copies in its own constructor
  // whatever it needs of aHandler; the device keeps no reference to it.
  explicit kPaymentDevice(const kPaymentHandler& aHandler);
  // For drivers and tests that supply their own handler.
  explicit kPaymentDevice(std::unique_ptr<kIOHandler> aIOHandler);

  // The driver's operations. The result flag is the driver's own; the templates ignore it.
  virtual bool DoPay(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) = 0;
  virtual bool DoRefund(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) = 0;
  virtual bool DoVoid(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) = 0;
  virtual bool DoReprint(const kPaymentReceipt& aReceipt, _int_REPRINT_result& aResult) = 0;
  virtual bool DoDayClose(const kPaymentDayClose& aDayClose, _int_DAYCLOSE_result& aResult) = 0;
  virtual bool DoGetTotals(const kPaymentTotals& aTotals, _int_GETTOTALS_result& aResult) = 0;
  virtual bool DoVerifyTran(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) = 0;

 private:
  template <class TResult>
  void CarryIOError(TResult& aResult) const;
  _int_PAY_result StartPayment(const char* aBanner);

  int32_t fHandle = 0;
  std::unique_ptr<kIOHandler> fIOHandler;
};

// A class reference to a payment driver: what the driver registry maps keys to, and how
// a device of that class is created.
class kPaymentClass {
 public:
  using Constructor = std::unique_ptr<kPaymentDevice> (*)(const kPaymentHandler& aHandler);

  constexpr kPaymentClass(const char* aClassName, Constructor aCreate)
      : fClassName(aClassName), fCreate(aCreate) {}
  template <class TDevice>
  static constexpr kPaymentClass Of(const char* aClassName) {
    return kPaymentClass(aClassName, [](const kPaymentHandler& aHandler) -> std::unique_ptr<kPaymentDevice> {
      return std::make_unique<TDevice>(aHandler);
    });
  }

  // The virtual constructor: a new device of this class for the request.
  std::unique_ptr<kPaymentDevice> Create(const kPaymentHandler& aHandler) const { return fCreate(aHandler); }
  std::string GetDriverVersion() const { return kPaymentDevice::GetDriverVersion(); }
  const char* ClassName() const { return fClassName; }

 private:
  const char* fClassName;
  Constructor fCreate;
};
