// The nine exported functions of the product library. The Windows build names them with
// ordinals in VELO_VIROZI_10.def; natively they are the only visible symbols besides the
// string helpers.
#include "drivers/Payment_VIROZI.h"
#include "entry/ExportCalls.h"
#include "entry/PaymentRegistry.h"

using platform::Bstr;

namespace {
[[maybe_unused]] const bool gUnloadInstalled = (InstallExportUnload(), true);
// The library's one payment driver, registered while it loads.
[[maybe_unused]] const bool gViroziRegistered = (RegisterDriver_VIROZI(PaymentDrivers()), true);
}

extern "C" {

VELO_EXPORT tkExportResult VELO_STDCALL PAY(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::PAY, aXml, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL REPRINT(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::REPRINT, aXml, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL OPEN(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::OPEN, aXml, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL GETSTATUS(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::GETSTATUS, aXml, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL DAYCLOSE(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::DAYCLOSE, aXml, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL GETTOTALS(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::GETTOTALS, aXml, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL CLOSE(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::CLOSE, aXml, aOutput, aErrorMessage);
}

// The first argument is a driver key; the third is set to null and never written.
VELO_EXPORT tkExportResult VELO_STDCALL VERSION(Bstr aDriverKey, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallVersionExport(aDriverKey, aOutput, aErrorMessage);
}

VELO_EXPORT tkExportResult VELO_STDCALL VERIFYTRAN(Bstr aXml, Bstr* aOutput, Bstr* aErrorMessage) {
  return CallOperationExport(tkExportOperation::VERIFYTRAN, aXml, aOutput, aErrorMessage);
}

}  // extern "C"
