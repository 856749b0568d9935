#include <gtest/gtest.h>

#include "host/rect_helpers.h"

using tavu::host::IsEdgePixel;
using tavu::host::IsEmptyRect;
using tavu::host::UnionLRect;

namespace {

bool Same(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(RectHelpers, Emptiness) {
  const struct {
    PF_LRect r;
    bool empty;
  } cases[] = {
      {{0, 0, 0, 0}, true},  {{0, 0, 1, 1}, false}, {{5, 0, 3, 10}, true},
      {{0, 5, 10, 5}, true}, {{-3, -3, -2, -2}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsEmptyRect(&c.r), c.empty);
}

TEST(RectHelpers, Union) {
  const struct {
    PF_LRect src, dst, expected;
  } cases[] = {
      {{0, 0, 10, 10}, {0, 0, 0, 0}, {0, 0, 10, 10}},       // empty destination takes the source
      {{5, 5, 5, 5}, {0, 0, 10, 10}, {0, 0, 10, 10}},       // empty source changes nothing
      {{-5, 2, 3, 20}, {0, 0, 10, 10}, {-5, 0, 10, 20}},    // bounding box
      {{7, 7, 3, 3}, {0, 0, 0, 0}, {7, 7, 3, 3}},           // empty into empty: copied as is
      {{2, 2, 4, 4}, {0, 0, 10, 10}, {0, 0, 10, 10}},       // contained
  };
  for (const auto& c : cases) {
    PF_LRect dst = c.dst;
    UnionLRect(&c.src, &dst);
    EXPECT_TRUE(Same(dst, c.expected))
        << dst.left << "," << dst.top << "," << dst.right << "," << dst.bottom;
  }
}

TEST(RectHelpers, EdgePixels) {
  PF_LRect r{0, 0, 10, 10};
  const struct {
    int x, y;
    bool edge;
  } cases[] = {{10, 5, true}, {5, 10, true},  {0, 0, true},   {10, 10, true},
               {5, 5, false}, {0, 11, false}, {11, 0, false}, {-1, 5, false}};
  for (const auto& c : cases) EXPECT_EQ(IsEdgePixel(&r, c.x, c.y), c.edge) << c.x << "," << c.y;

  // On a vertical border line the vertical bounds decide alone.
  PF_LRect inverted{0, 10, 20, 5};
  EXPECT_FALSE(IsEdgePixel(&inverted, 0, 10));
}

}  // namespace
