#pragma once
// What each exported function does, behind the thin functions of Exports.cpp: copy the
// request, run the operation's wrapper, write the outputs. Nothing raised and no failure
// leaves these functions.
#include <cstdint>

#include "entry/PaymentWrapper.h"
#include "platform/Bstr.h"

enum class tkExportOperation : uint8_t { PAY, REPRINT, OPEN, GETSTATUS, DAYCLOSE, GETTOTALS, CLOSE, VERIFYTRAN };

// The 16-bit result code zero-extended to the full register: a caller that reads 32 bits
// sees 65535 for a failure, and 0 with all bits clear for success.
using tkExportResult = uint32_t;
constexpr tkExportResult ExportResult(int16_t aCode) { return static_cast<uint16_t>(aCode); }

// Both outputs are set to null first, without releasing what they held; a null output
// address is skipped. The request is read, never released.
tkExportResult CallOperationExport(tkExportOperation aOperation, const char16_t* aXml,
                                   platform::Bstr* aOutput, platform::Bstr* aErrorMessage) noexcept;
// The driver version of a registered key in aOutput (null otherwise); aErrorMessage is set
// to null and left so. Always 0.
tkExportResult CallVersionExport(const char16_t* aDriverKey, platform::Bstr* aOutput,
                                 platform::Bstr* aErrorMessage) noexcept;

// Called from the product library's start-up code: arranges the unload (devices, then
// drivers, then the application object).
void InstallExportUnload();
