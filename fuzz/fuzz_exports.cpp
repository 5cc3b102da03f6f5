// Each export with arbitrary bytes: the first byte picks the export and how the rest
// becomes the request (UTF-8 text, or raw UTF-16 units with lone surrogates and all).
#include "FuzzSupport.h"

#include "core/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const auto operation = static_cast<fuzz::Operation>(aData[0] % fuzz::kOperationCount);
  const bool rawUnits = (aData[0] / fuzz::kOperationCount) % 2 == 1;
  const std::string_view bytes(reinterpret_cast<const char*>(aData + 1), aSize - 1);
  std::u16string request;
  if (rawUnits) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      request.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
  } else {
    request = Utf8ToUtf16(bytes);
  }
  fuzz::Call(operation, request);
  fuzz::EndRun();
  return 0;
}
