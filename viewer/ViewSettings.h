// The settings types the viewer reads and stores (the view options and the font record), and where the
// preview windows find the program's settings. The program's settings object (app/Options.h) holds these
// types; the program hands its view options and viewer font over with BindPreviewSettings, so that the
// viewer reads them without depending on the program. Main thread only.
#pragma once

#include <cstdint>
#include <string>

// A colour: blue, green and red in bytes 2, 1 and 0; a system colour has the top bit set and the system
// colour index in the low bits.
using TColor = uint32_t;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clHighlight = 0x8000000D;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor RGBColor(uint8_t Red, uint8_t Green, uint8_t Blue) {
  return static_cast<TColor>(Red) | static_cast<TColor>(Green) << 8 | static_cast<TColor>(Blue) << 16;
}

struct TRect32 {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TRect32&) const = default;
};

// The 83 bytes at offset 62 of the value, in this order.
struct TViewOptions {
  TRect32 MainRect;            // the main window's normal position
  uint8_t InterfaceStyle = 0;  // 0 search panel in the main window, 1 dialog style
  bool LogWindow = false;      // "Enable Log Window"
  bool StatusBar = false;
  bool Maximized = false;
  uint8_t LanguageIndex = 0;  // the interface language
  uint8_t Animation = 0;      // 0 on the Start button, 1 in the status bar, 2 none
  TRect32 PreviewRect;
  bool PreviewMaximized = false;
  bool WrapText = false;
  bool ShowEOL = false;
  bool ShowTabs = false;
  bool DetectLinks = false;
  uint8_t GutterWidth = 0;  // 0..64
  uint8_t TabSize = 0;      // 1..16
  uint8_t PageMode = 0;     // 0 "Full Screen - 1", 1 "Full Screen", 2 "1/2 Screen"
  TColor Background = 0, SelectedText = 0, Selection = 0, Gutter = 0;
  TColor HitBack = 0, HitText = 0, CurrentHitBack = 0, CurrentHitText = 0;
  bool LargeButtons = false;
  bool ButtonCaptions = false;
  bool FlatToolbar = false;
  bool ToolTips = false;
  uint8_t WarningBits = 0;  // don't-ask-again bits: 0 empty pattern, 1 all-files mask
  bool operator==(const TViewOptions&) const = default;
};

// Font styles (bits of TFontRec::Style).
constexpr uint8_t fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;

struct TFontRec {
  uint8_t Charset = 1;
  TColor Color = 0;
  int32_t Height = 0;  // negative: the character height in pixels
  std::string Name;
  uint8_t Style = 0;
  bool operator==(const TFontRec&) const = default;
};

// The viewer font of both colour presets.
inline constexpr char kViewerFontName[] = "Monospace";
constexpr int32_t kViewerFontHeight = -13;

// The two colour presets of the viewer (with word wrap on) into Options, Font and OffsetFont.
void LoadViewerColorPreset1(TViewOptions& Options, TFontRec& Font, TFontRec& OffsetFont);
void LoadViewerColorPreset2(TViewOptions& Options, TFontRec& Font, TFontRec& OffsetFont);

// The view options and viewer fonts that previews read and the preview options dialog edits: the ones
// bound last, or a default set of the viewer's own while none is bound.
TViewOptions& PreviewViewOptions();
TFontRec& PreviewFont();
TFontRec& PreviewOffsetFont();
// Binds the previews to the program's settings; they must outlive every use.
void BindPreviewSettings(TViewOptions& Options, TFontRec& Font, TFontRec& OffsetFont);
