// Integer rectangle helpers. right and bottom are exclusive bounds for emptiness, so an
// inverted rectangle counts as empty.
#pragma once

#include "platform/pf_basic.h"

namespace tavu::host {

bool IsEmptyRect(const PF_LRect* rect);

// Widens *dst to cover *src. An empty *dst simply takes *src, whatever *src holds.
void UnionLRect(const PF_LRect* src, PF_LRect* dst);

// True when (x, y) lies on one of the four border lines; right and bottom are themselves
// border lines here, not one past them.
bool IsEdgePixel(PF_LRect* rect, int x, int y);

}  // namespace tavu::host
