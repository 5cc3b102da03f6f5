// Printing through CUPS: raw documents go to the named queue unchanged; a picture page is
// rendered here into a portable pixmap (300 dpi A4) and submitted as an image. A build
// without the CUPS headers has no printing system: every printer is missing.
#include "platform/Spooler.h"

#include <string>

#include "core/Errors.h"

#if __has_include(<cups/cups.h>) && defined(VELO_HAVE_CUPS)
#include <cups/cups.h>
#define VELO_SPOOL_CUPS 1
#endif

namespace platform {

namespace {

constexpr char kNoPrintSystem[] = "No printing system is available";

// A4 at 300 dpi: the page the rendered picture fills.
constexpr SpoolPageMetrics kPage{2480, 3508, 0, 0, 300};

// The page as a binary portable pixmap, white but for the picture.
std::string RenderPage(const SpoolPicture& aPicture, const SpoolPlacement& aPlaced) {
  const std::string header = "P6\n" + std::to_string(kPage.Width) + " " + std::to_string(kPage.Height) + "\n255\n";
  std::string page(header.size() + static_cast<size_t>(kPage.Width) * kPage.Height * 3, '\xFF');
  page.replace(0, header.size(), header);
  const int32_t width = aPlaced.Stretch ? aPlaced.Width : aPicture.Width;
  const int32_t height = aPlaced.Stretch ? aPlaced.Height : aPicture.Height;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t pageY = aPlaced.Top + y;
    if (pageY < 0 || pageY >= kPage.Height) continue;
    const int32_t sourceY = static_cast<int32_t>(static_cast<int64_t>(y) * aPicture.Height / height);
    for (int32_t x = 0; x < width; ++x) {
      const int32_t pageX = aPlaced.Left + x;
      if (pageX < 0 || pageX >= kPage.Width) continue;
      const int32_t sourceX = static_cast<int32_t>(static_cast<int64_t>(x) * aPicture.Width / width);
      const uint32_t pixel = aPicture.Pixels[static_cast<size_t>(sourceY) * aPicture.Width + sourceX];
      char* out = &page[header.size() + (static_cast<size_t>(pageY) * kPage.Width + pageX) * 3];
      out[0] = static_cast<char>(pixel >> 16);
      out[1] = static_cast<char>(pixel >> 8);
      out[2] = static_cast<char>(pixel);
    }
  }
  return page;
}

#ifdef VELO_SPOOL_CUPS
// One document of aFormat as one job; true when the queue took all of it.
bool SubmitDocument(const std::string& aPrinter, std::string_view aData, const std::string& aTitle,
                    const char* aFormat, std::string& aError) {
  const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, aPrinter.c_str(), aTitle.c_str(), 0, nullptr);
  if (job == 0) {
    aError = cupsLastErrorString();
    return false;
  }
  bool written = cupsStartDocument(CUPS_HTTP_DEFAULT, aPrinter.c_str(), job, aTitle.c_str(), aFormat, 1) ==
                 HTTP_STATUS_CONTINUE;
  if (written && !aData.empty())
    written = cupsWriteRequestData(CUPS_HTTP_DEFAULT, aData.data(), aData.size()) == HTTP_STATUS_CONTINUE;
  const bool finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, aPrinter.c_str()) == IPP_STATUS_OK;
  if (!written || !finished) {
    aError = cupsLastErrorString();
    if (!finished) cupsCancelJob2(CUPS_HTTP_DEFAULT, aPrinter.c_str(), job, 0);
    return false;
  }
  return true;
}
#endif

}  // namespace

bool SpoolRawDocument(const std::string& aPrinter, std::string_view aBytes, const std::string& aDocumentName,
                      std::string& aError) {
#ifdef VELO_SPOOL_CUPS
  // CUPS refuses a document without data; there is nothing to print, so no job is made,
  // but a printer that does not exist is still a failure.
  if (aBytes.empty()) {
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, aPrinter.c_str(), nullptr);
    if (dest == nullptr) {
      aError = cupsLastError() == IPP_STATUS_OK ? "The printer or class does not exist." : cupsLastErrorString();
      return false;
    }
    cupsFreeDests(1, dest);
    return true;
  }
  return SubmitDocument(aPrinter, aBytes, aDocumentName, CUPS_FORMAT_RAW, aError);
#else
  aError = kNoPrintSystem;
  return false;
#endif
}

std::vector<std::string> PrinterNames() {
  std::vector<std::string> names;
#ifdef VELO_SPOOL_CUPS
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  for (int k = 0; k < count; ++k)
    if (dests[k].instance == nullptr) names.emplace_back(dests[k].name);
  cupsFreeDests(count, dests);
#endif
  return names;
}

void SpoolPicturePage(const std::string& aPrinter, const std::string& aTitle, const SpoolPicture& aPicture,
                      const std::function<SpoolPlacement(const SpoolPageMetrics&)>& aPlace) {
  const std::string page = RenderPage(aPicture, aPlace(kPage));
  std::string error;
#ifdef VELO_SPOOL_CUPS
  if (SubmitDocument(aPrinter, page, aTitle, "image/x-portable-anymap", error)) return;
#else
  error = kNoPrintSystem;
#endif
  throw EMxError(error);
}

}  // namespace platform
