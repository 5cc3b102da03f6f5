#include "io/IOHandler_Spool.h"

#include "core/Errors.h"
#include "core/Text.h"
#include "io/Connection.h"
#include "io/SpoolLayout.h"
#include "platform/Platform.h"

kIOHandler_Spool::kIOHandler_Spool(const kConnection* aConnection, const std::string& aDirectory,
                                   const std::string& aFileName)
    : kIOHandler_NoStream(aConnection, aDirectory, aFileName) {
  if (aConnection != nullptr) fPrinterName = aConnection->PrinterName();
}

bool kIOHandler_Spool::Write(const std::string& aMessage) {
  if (fOutputType == tkSpoolOutputType::Raw) return WriteRaw(platform::EncodeText(aMessage, CodePage() > 0 ? CodePage() : platform::AnsiCodePage()));
  return WriteNormal();
}

bool kIOHandler_Spool::WriteBytes(std::string_view aBytes) { return WriteRaw(aBytes); }

bool kIOHandler_Spool::WriteRaw(std::string_view aBytes) {
  std::string error;
  if (platform::SpoolRawDocument(fPrinterName, aBytes, kRawDocumentName, error)) return true;
  // Only the text: the error flag and code stay as they were.
  StoreErrorMessage(std::move(error));
  return false;
}

bool kIOHandler_Spool::WriteNormal() {
  const std::vector<std::string> printers = platform::PrinterNames();
  const std::string wanted = LowerCase(fPrinterName);
  const std::string* printer = nullptr;
  for (const std::string& name : printers)
    if (printer == nullptr && LowerCase(name) == wanted) printer = &name;
  if (printer == nullptr) throw EMxError("kIOHandler_Spool.WriteNormal: Printer " + fPrinterName + " not found");
  // Printing nothing would still feed an empty page.
  if (fBitmap == nullptr) throw EMxError("kIOHandler_Spool.WriteNormal: no picture to print");
  if (fBitmap->Width < 0 || fBitmap->Height < 0 ||
      fBitmap->Pixels.size() != static_cast<size_t>(fBitmap->Width) * static_cast<size_t>(fBitmap->Height))
    throw EMxError("kIOHandler_Spool.WriteNormal: the picture's pixels do not match its size");
  platform::SpoolPicturePage(*printer, kNormalJobTitle, *fBitmap, [&](const platform::SpoolPageMetrics& aPage) {
    return PlacePicture(fBitmap->Width, fBitmap->Height, aPage);
  });
  return true;
}
