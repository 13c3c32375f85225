// How a viewer's visible lines are drawn, decided without a device: for each line, the runs of characters
// that share one drawing state (text colour, background, opaque or transparent, underline), with the
// advance of every character, after tabs were expanded; and the stripes of the gutter. A window's paint
// handler draws what these routines give.
//
// Rules: a line that meets the selection is drawn in up to three pieces (before, selected, after), the
// selected one in the selected-text colour on the selection background, opaque; in the 16-bit mode a
// selection is widened to whole characters. An empty line inside the selection shows one selected blank
// unless an end-of-line mark is shown (a shown mark is selected with its line). Each piece is cut into runs
// of equal attribute codes; a run with a code other than 0 takes the host's colours (OnGetAttrColors,
// told whether the piece is the selected one), a run with code 0 the piece's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/Viewer64.h"

// The colours of one paint, as RGB values.
struct TPaintColors {
  uint32_t Background = 0xFFFFFF;
  uint32_t Text = 0;
  uint32_t SelText = 0xFFFFFF;
  uint32_t SelBk = 0x800000;
};

struct TPaintRun {
  std::u16string Text;            // display characters (tabs expanded, glyphs in place)
  std::vector<int32_t> Advances;  // pixel advance of each UTF-16 unit (0 for a pair's second half)
  int32_t X = 0;                  // from the line's left end
  int32_t Width = 0;
  uint32_t TextColor = 0;
  uint32_t BkColor = 0;
  bool Opaque = false;
  bool Underline = false;
  bool Selected = false;
};

// The runs of visible line Index of V, left to right.
std::vector<TPaintRun> BuildLineRuns(TFileViewer64& V, int32_t Index, const TPaintColors& Colors);

// One stripe of the gutter: columns X..X+Width-1, in the gutter colour or the background colour.
struct TGutterStripe {
  int32_t X = 0;
  int32_t Width = 0;
  bool GutterColor = true;
};
// The gutter of Width pixels: its body and a thin double line at its right edge.
std::vector<TGutterStripe> GutterStripes(int32_t Width);
