// The window placement kept in a file's properties stream, and where it puts
// the window.
#pragma once
#include <cstdint>

struct StoredPlacement {
  int32_t x, y, width, height;
  bool maximized, minimized;
};

// A window frame in screen pixels.
struct Frame {
  int32_t left, top, right, bottom;
};

// The frame a stored placement asks for; false when it asks for none (a width
// or height of zero or less).
bool StoredFrame(const StoredPlacement& placement, Frame* frame);

// Moves a frame inside the work area when it touches no monitor.
Frame KeepOnMonitor(const Frame& frame, bool onAnyMonitor, const Frame& nearestWorkArea);
