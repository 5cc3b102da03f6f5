#include "io/SpoolLayout.h"

tkPicturePlacement PlacePicture(int32_t aPictureWidth, int32_t aPictureHeight, const tkPageMetrics& aPage) {
  tkPicturePlacement placed;
  placed.Scale = aPage.DpiX == 300 ? 1.0 : aPage.DpiX / 300.0;
  if (aPictureWidth * placed.Scale > aPage.Width) placed.Scale = static_cast<double>(aPage.Width) / aPictureWidth;
  if (aPictureHeight * placed.Scale > aPage.Height) placed.Scale = static_cast<double>(aPage.Height) / aPictureHeight;
  placed.Width = static_cast<int32_t>(aPictureWidth * placed.Scale);
  placed.Height = static_cast<int32_t>(aPictureHeight * placed.Scale);
  // Integer division truncates toward zero, as the layout wants for a picture wider than
  // the page too.
  placed.Left = (aPage.Width - placed.Width) / 2 + aPage.OffsetX;
  placed.Top = (aPage.Height - placed.Height) / 2 + aPage.OffsetY;
  placed.Stretch = placed.Scale != 1.0;
  return placed;
}
