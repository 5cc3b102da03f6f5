#pragma once
// Where a picture laid out for 300 dpi lands on a printer's page: scaled to the printer's
// resolution, shrunk to fit the printable area, centred on it.
#include <cstdint>

struct tkPageMetrics {
  int32_t Width = 0;    // printable area in device pixels
  int32_t Height = 0;
  int32_t OffsetX = 0;  // physical offset of the printable area
  int32_t OffsetY = 0;
  int32_t DpiX = 0;     // horizontal resolution
};

struct tkPicturePlacement {
  double Scale = 1;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;  // printed size, truncated
  int32_t Height = 0;
  // Drawn unscaled at (Left, Top) when false, else stretched into the printed size.
  bool Stretch = false;
};

tkPicturePlacement PlacePicture(int32_t aPictureWidth, int32_t aPictureHeight, const tkPageMetrics& aPage);
