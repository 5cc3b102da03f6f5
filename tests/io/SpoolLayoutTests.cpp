#include <gtest/gtest.h>

#include "io/SpoolLayout.h"

namespace {

TEST(SpoolLayout, ScalesToTheResolutionShrinksToFitAndCentres) {
  const struct {
    const char* what;
    int32_t pictureWidth, pictureHeight;
    tkPageMetrics page;
    double scale;
    int32_t left, top, width, height;
    bool stretch;
  } cases[] = {
      {"600 dpi doubles the 300 dpi layout", 2400, 1000, {4800, 6000, 0, 0, 600}, 2, 0, 2000, 4800, 2000, true},
      {"300 dpi draws unscaled", 2400, 1000, {4800, 6000, 0, 0, 300}, 1, 1200, 2500, 2400, 1000, false},
      {"physical offsets move the centred picture", 600, 300, {1000, 1000, 25, 40, 300}, 1, 225, 390, 600, 300,
       false},
      {"too wide for the page shrinks to its width", 2000, 500, {1000, 5000, 0, 0, 300}, 0.5, 0, 2375, 1000, 250,
       true},
      {"too tall after the width rule shrinks to its height", 500, 4000, {1000, 1000, 0, 0, 600}, 0.25, 437, 0, 125,
       1000, true},
      {"203 dpi thermal printer", 576, 300, {1000, 2000, 0, 0, 203}, 203.0 / 300, 305, 898, 389, 203, true},
      {"odd remainder truncates the centring", 3, 3, {10, 10, 0, 0, 300}, 1, 3, 3, 3, 3, false},
  };
  for (const auto& c : cases) {
    const tkPicturePlacement placed = PlacePicture(c.pictureWidth, c.pictureHeight, c.page);
    EXPECT_DOUBLE_EQ(placed.Scale, c.scale) << c.what;
    EXPECT_EQ(placed.Left, c.left) << c.what;
    EXPECT_EQ(placed.Top, c.top) << c.what;
    EXPECT_EQ(placed.Width, c.width) << c.what;
    EXPECT_EQ(placed.Height, c.height) << c.what;
    EXPECT_EQ(placed.Stretch, c.stretch) << c.what;
  }
}

}  // namespace
