// IFontMetrics: how the viewer measures text. The window that hosts a viewer supplies one for its text
// font (a Qt widget answers from QFontMetricsF); tests use a fixed-width stand-in. The viewer asks only
// for advance widths of single characters and for the line height, so that the widths it sums for
// wrapping and hit tests are the widths the painter advances by.
//
// The object must outlive every viewer and line source that uses it; it is called from the viewer's
// thread only.
#pragma once

#include <cstdint>

class IFontMetrics {
 public:
  virtual ~IFontMetrics() = default;
  // Advance width in pixels of one character (a whole code point: a surrogate pair arrives joined).
  // 0 when it cannot be measured.
  virtual int32_t CharWidth(char32_t Ch) = 0;
  // Height in pixels of one text line.
  virtual int32_t LineHeight() = 0;
};
