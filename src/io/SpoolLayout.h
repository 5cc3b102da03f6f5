#pragma once
// Where a picture laid out for 300 dpi lands on a printer's page: scaled to the printer's
// resolution, shrunk to fit the printable area, centred on it.
#include <cstdint>

#include "platform/Spooler.h"

using tkPageMetrics = platform::SpoolPageMetrics;
using tkPicturePlacement = platform::SpoolPlacement;

tkPicturePlacement PlacePicture(int32_t aPictureWidth, int32_t aPictureHeight, const tkPageMetrics& aPage);
