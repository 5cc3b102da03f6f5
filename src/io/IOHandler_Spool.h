#pragma once
// Output to a printer through the print spooler: text or bytes as raw documents, or in
// normal mode one picture printed on a page. The printer is opened inside each Write.
#include <string>
#include <string_view>

#include "io/IOHandler_NoStream.h"
#include "platform/Spooler.h"

enum class tkSpoolOutputType { Raw = 0, Normal = 1 };

class kIOHandler_Spool : public kIOHandler_NoStream {
 public:
  static constexpr char kRawDocumentName[] = "Tarn Receipt";
  static constexpr char kNormalJobTitle[] = "Vendora Spool Output";

  kIOHandler_Spool(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);

  const char* ClassName() const override { return "kIOHandler_Spool"; }

  // Raw: aMessage in the handler's code page (the system's ANSI code page for 0); true
  // when the spooler took the data, else false with the system's text in ErrorMessage.
  // Normal: prints the picture; raises when the printer is not in the system's list or
  // no picture is set.
  bool Write(const std::string& aMessage) override;
  // The bytes unchanged as a raw document.
  bool WriteBytes(std::string_view aBytes);

  const std::string& PrinterName() const { return fPrinterName; }
  tkSpoolOutputType OutputType() const { return fOutputType; }
  void SetOutputType(tkSpoolOutputType aValue) { fOutputType = aValue; }
  // The picture stays the caller's; it must outlive the Write that prints it.
  const platform::SpoolPicture* Bitmap() const { return fBitmap; }
  void SetBitmap(const platform::SpoolPicture* aValue) { fBitmap = aValue; }

 private:
  bool WriteRaw(std::string_view aBytes);
  bool WriteNormal();

  std::string fPrinterName;
  tkSpoolOutputType fOutputType = tkSpoolOutputType::Normal;
  const platform::SpoolPicture* fBitmap = nullptr;
};
