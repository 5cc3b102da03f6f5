// The Windows print spooler: raw documents through the spooler calls, pictures through a
// printer device context.
#include "platform/Spooler.h"

#include <windows.h>
#include <winspool.h>

#include <limits>
#include <string>

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/Library.h"

namespace platform {

namespace {

std::wstring Wide(std::string_view aText) {
  const std::u16string wide = Utf8ToUtf16(aText);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const wchar_t* aText) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), wcslen(aText)));
}

[[noreturn]] void Fail() { throw EMxError(SystemErrorMessage(GetLastError())); }

}  // namespace

bool SpoolRawDocument(const std::string& aPrinter, std::string_view aBytes, const std::string& aDocumentName,
                      std::string& aError) {
  std::wstring printer = Wide(aPrinter);
  std::wstring document = Wide(aDocumentName);
  wchar_t noFile[] = L"";
  wchar_t raw[] = L"RAW";
  DOC_INFO_1W info{document.data(), noFile, raw};
  HANDLE handle = nullptr;
  bool written = false;
  DWORD failure = 0;
  const bool opened = OpenPrinterW(printer.data(), &handle, nullptr) != FALSE;
  if (!opened) failure = GetLastError();
  if (opened && StartDocPrinterW(handle, 1, reinterpret_cast<LPBYTE>(&info)) != 0) {
    if (StartPagePrinter(handle)) {
      DWORD count = 0;
      if (aBytes.size() > std::numeric_limits<DWORD>::max()) {
        failure = ERROR_NOT_ENOUGH_MEMORY;
      } else {
        written = WritePrinter(handle, const_cast<char*>(aBytes.data()), static_cast<DWORD>(aBytes.size()), &count) !=
                  FALSE;
        if (!written) failure = GetLastError();
      }
    } else {
      failure = GetLastError();
    }
    EndPagePrinter(handle);
    EndDocPrinter(handle);
  } else if (opened) {
    failure = GetLastError();
  }
  // The failing call's error, not what closing left behind.
  if (!written) aError = SystemErrorMessage(failure);
  if (opened) ClosePrinter(handle);
  return written;
}

std::vector<std::string> PrinterNames() {
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  std::vector<std::string> names;
  if (needed == 0 || !EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, buffer.data(), needed,
                                    &needed, &count))
    return names;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD k = 0; k < count; ++k) names.push_back(Narrow(printers[k].pPrinterName));
  return names;
}

void SpoolPicturePage(const std::string& aPrinter, const std::string& aTitle, const SpoolPicture& aPicture,
                      const std::function<SpoolPlacement(const SpoolPageMetrics&)>& aPlace) {
  const std::wstring printer = Wide(aPrinter);
  const std::wstring title = Wide(aTitle);
  HDC dc = CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr);
  if (dc == nullptr) Fail();
  struct DcGuard {
    HDC fDc;
    ~DcGuard() { DeleteDC(fDc); }
  } guard{dc};
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title.c_str();
  if (StartDocW(dc, &info) <= 0) Fail();
  if (StartPage(dc) <= 0) {
    const DWORD error = GetLastError();
    AbortDoc(dc);
    throw EMxError(SystemErrorMessage(error));
  }
  const SpoolPageMetrics page{GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES),
                              GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY),
                              GetDeviceCaps(dc, LOGPIXELSX)};
  const SpoolPlacement placed = aPlace(page);
  BITMAPINFO bitmap{};
  bitmap.bmiHeader.biSize = sizeof bitmap.bmiHeader;
  bitmap.bmiHeader.biWidth = aPicture.Width;
  bitmap.bmiHeader.biHeight = -aPicture.Height;  // rows from the top
  bitmap.bmiHeader.biPlanes = 1;
  bitmap.bmiHeader.biBitCount = 32;
  bitmap.bmiHeader.biCompression = BI_RGB;
  const int drawn = placed.Stretch
                        ? StretchDIBits(dc, placed.Left, placed.Top, placed.Width, placed.Height, 0, 0, aPicture.Width,
                                        aPicture.Height, aPicture.Pixels.data(), &bitmap, DIB_RGB_COLORS, SRCCOPY)
                        : SetDIBitsToDevice(dc, placed.Left, placed.Top, aPicture.Width, aPicture.Height, 0, 0, 0,
                                            aPicture.Height, aPicture.Pixels.data(), &bitmap, DIB_RGB_COLORS);
  if (drawn == 0 && aPicture.Height > 0) {
    const DWORD error = GetLastError();
    AbortDoc(dc);
    throw EMxError(SystemErrorMessage(error));
  }
  EndPage(dc);
  if (EndDoc(dc) <= 0) Fail();
}

}  // namespace platform
