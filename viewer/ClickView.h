// TClickableViewer: a viewer for a short text whose inline markup declares links, such as the About box's
// addresses. "<caption|target>" shows caption as a link to target, "<text>" shows text as a link to
// itself. Links are drawn blue (underlined when hot, or always), the one under the mouse is hot, and the
// host reads the hot link's target when the control is clicked. The text is word-wrapped, has no
// vertical scroll range and cannot be selected with the mouse.
//
// Ownership and threads: as TFileViewer64.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/NumVector.h"
#include "viewer/Viewer64.h"

// One link of parsed markup: its place in the shown text (0-based character offset, length) and target.
struct TMarkupLink {
  int32_t Start = 0;
  int32_t Length = 0;
  std::string Target;
};

// The shown text of Markup, and its links in order. A "<" without a closing ">" and everything after it
// are shown as they are.
std::string ParseLinkMarkup(const std::string& Markup, std::vector<TMarkupLink>& Links);

class TClickableViewer : public TFileViewer64 {
 public:
  // Links are drawn in blue, RGB (0, 0, 255).
  static constexpr uint32_t kLinkColor = 0xFF0000;

  explicit TClickableViewer(IFontMetrics* Metrics);

  // Parses the markup and shows the plain text (8-bit, in the ANSI mode).
  void SetLinkText(const std::string& Text);
  // Looks again at the link under the client point (X, Y); true when the hot link changed.
  bool UpdateHotLink(int32_t X, int32_t Y);
  // -1 for none (-2 right after new text, so that the next look always reports a change).
  int32_t GetHotLink() const { return HotLink_; }
  // The hot link's target, empty when none is hot.
  std::string GetHotLinkTarget() const;
  int32_t LinkCount() const { return Starts_.GetCount(); }

  bool AlwaysUnderline = false;

 protected:
  void UpdateAttributes() override;

 private:
  TInt32Vector Starts_;
  TInt32Vector Lengths_;
  std::vector<std::string> Targets_;
  int32_t HotLink_ = -1;
};
