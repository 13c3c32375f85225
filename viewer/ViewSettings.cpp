#include "viewer/ViewSettings.h"

namespace {

struct TBound {
  TViewOptions* Options = nullptr;
  TFontRec* Font = nullptr;
  TFontRec* OffsetFont = nullptr;
};

TBound& Bound() {
  static TBound B;
  return B;
}

}  // namespace

TViewOptions& PreviewViewOptions() {
  static TViewOptions Own;
  return Bound().Options != nullptr ? *Bound().Options : Own;
}

TFontRec& PreviewFont() {
  static TFontRec Own;
  return Bound().Font != nullptr ? *Bound().Font : Own;
}

TFontRec& PreviewOffsetFont() {
  static TFontRec Own;
  return Bound().OffsetFont != nullptr ? *Bound().OffsetFont : Own;
}

void BindPreviewSettings(TViewOptions& Options, TFontRec& Font, TFontRec& OffsetFont) {
  Bound().Options = &Options;
  Bound().Font = &Font;
  Bound().OffsetFont = &OffsetFont;
}

void LoadViewerColorPreset1(TViewOptions& Options, TFontRec& Font, TFontRec& OffsetFont) {
  TViewOptions& V = Options;
  V.WrapText = true;
  V.Background = clWindow;
  V.SelectedText = RGBColor(255, 255, 255);
  V.Selection = clHighlight;
  V.Gutter = clBtnFace;
  V.HitBack = clHighlight;
  V.HitText = RGBColor(255, 255, 255);
  V.CurrentHitBack = RGBColor(255, 0, 0);
  V.CurrentHitText = RGBColor(255, 255, 255);
  Font.Charset = 1;
  Font.Color = clWindowText;
  Font.Height = kViewerFontHeight;
  Font.Name = kViewerFontName;
  OffsetFont = Font;
}

void LoadViewerColorPreset2(TViewOptions& Options, TFontRec& Font, TFontRec& OffsetFont) {
  TViewOptions& V = Options;
  V.WrapText = true;
  V.Background = RGBColor(0, 0, 160);
  V.SelectedText = RGBColor(255, 255, 0);
  V.Selection = RGBColor(0, 128, 0);
  V.Gutter = clBtnFace;
  V.HitBack = RGBColor(0, 128, 128);
  V.HitText = RGBColor(255, 255, 255);
  V.CurrentHitBack = RGBColor(255, 0, 0);
  V.CurrentHitText = RGBColor(255, 255, 255);
  Font = TFontRec{1, RGBColor(255, 255, 0), kViewerFontHeight, kViewerFontName, Font.Style};
  OffsetFont = Font;
  OffsetFont.Color = RGBColor(0, 255, 255);
}
