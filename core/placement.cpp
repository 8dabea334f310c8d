#include "core/placement.h"

#include <algorithm>

// The stored numbers are anyone's: the arithmetic is done in 64 bits, so
// that no sum of two of them wraps around.
bool StoredFrame(const StoredPlacement& placement, Frame* frame) {
  if (placement.width <= 0 || placement.height <= 0) return false;
  // Past the largest coordinate, the frame keeps its size and ends there.
  int64_t left = std::min<int64_t>(placement.x, INT32_MAX - int64_t(placement.width));
  int64_t top = std::min<int64_t>(placement.y, INT32_MAX - int64_t(placement.height));
  *frame = Frame{int32_t(left), int32_t(top), int32_t(left + placement.width), int32_t(top + placement.height)};
  return true;
}

Frame KeepOnMonitor(const Frame& frame, bool onAnyMonitor, const Frame& work) {
  if (onAnyMonitor) return frame;
  int64_t width = std::min(int64_t(frame.right) - frame.left, int64_t(work.right) - work.left);
  int64_t height = std::min(int64_t(frame.bottom) - frame.top, int64_t(work.bottom) - work.top);
  int64_t left = frame.left, top = frame.top;
  if (left + width > work.right) left = work.right - width;
  if (left < work.left) left = work.left;
  if (top + height > work.bottom) top = work.bottom - height;
  if (top < work.top) top = work.top;
  return Frame{int32_t(left), int32_t(top), int32_t(left + width), int32_t(top + height)};
}
