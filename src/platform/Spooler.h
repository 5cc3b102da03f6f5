#pragma once
// The print spooler: raw documents to a named printer, and one picture printed on a page.
// Windows: the spooler and a printer device context. Natively: CUPS, where the build has it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SpoolPageMetrics {
  int32_t Width = 0;    // printable area in device pixels
  int32_t Height = 0;
  int32_t OffsetX = 0;  // physical offset of the printable area
  int32_t OffsetY = 0;
  int32_t DpiX = 0;     // horizontal resolution
};

struct SpoolPlacement {
  double Scale = 1;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;  // printed size
  int32_t Height = 0;
  // Drawn unscaled at (Left, Top) when false, else stretched into the printed size.
  bool Stretch = false;
};

// A picture: rows from the top, each pixel 0x00RRGGBB.
struct SpoolPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;
};

// Prints aBytes unchanged as one raw document named aDocumentName. True when the data
// were written to the spooler; otherwise aError holds the system's text for the failure.
bool SpoolRawDocument(const std::string& aPrinter, std::string_view aBytes, const std::string& aDocumentName,
                      std::string& aError);

// The names of the system's printers, in the system's order.
std::vector<std::string> PrinterNames();

// Prints aPicture on one page of aPrinter in a job titled aTitle, where aPlace puts it on
// the printer's page. Raises EMxError when the printing system fails.
void SpoolPicturePage(const std::string& aPrinter, const std::string& aTitle, const SpoolPicture& aPicture,
                      const std::function<SpoolPlacement(const SpoolPageMetrics&)>& aPlace);

}  // namespace platform
