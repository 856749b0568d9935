#include "host/rect_helpers.h"

namespace tavu::host {

bool IsEmptyRect(const PF_LRect* rect) {
  return rect->left >= rect->right || rect->top >= rect->bottom;
}

void UnionLRect(const PF_LRect* src, PF_LRect* dst) {
  if (IsEmptyRect(dst)) {
    *dst = *src;
    return;
  }
  if (IsEmptyRect(src)) return;
  if (src->left < dst->left) dst->left = src->left;
  if (src->top < dst->top) dst->top = src->top;
  if (src->right > dst->right) dst->right = src->right;
  if (src->bottom > dst->bottom) dst->bottom = src->bottom;
}

bool IsEdgePixel(PF_LRect* rect, int x, int y) {
  // A point on a vertical border line is decided by that line alone.
  if (x == rect->left || x == rect->right) return rect->top <= y && y <= rect->bottom;
  if (y == rect->top || y == rect->bottom) return rect->left <= x && x <= rect->right;
  return false;
}

}  // namespace tavu::host
