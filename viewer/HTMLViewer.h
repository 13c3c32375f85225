// THTMLViewer64: a viewer that finds web and e-mail addresses in the plain text it shows, marks them,
// tracks the one under the mouse (the hot URL) and reports clicks on it. The preview window uses it.
//
// Detection runs after every rebuild of the visible lines: the addresses of the visible text are listed
// (whole logical lines with word wrap, so that an address broken over display lines is found whole) and
// marked vaURL, the hot one vaHotURL; the host's own marks (search hits) follow and win where they
// overlap. A second list takes links that a converted HTML text declares (codes vaLink and vaHotLink);
// nothing fills it in this program.
//
// FindURL and CompleteURL are the address rules on their own.
//
// Ownership and threads: as TFileViewer64 (one thread, the window's). The host sets OnHotLinkChange and
// OnLinkClick; OnGetAttrColors is set to GetAttrColors on creation, and a host that replaces it passes
// the codes it does not handle on to GetAttrColors.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "viewer/HTMLLink.h"
#include "viewer/Viewer64.h"

// How links of one kind are drawn. The hot background is BkColor too: HotBkColor is carried, not used.
struct TLinkStyle {
  bool Underline = true;
  bool Opaque = false;
  bool HighlightHot = true;
  uint32_t TextColor = 0;
  uint32_t BkColor = 0;
  uint32_t HotTextColor = 0;
  uint32_t HotBkColor = 0;
};

// Character offset of the first web or e-mail address in Text, -1 for none; Length receives its length
// in characters.
int32_t FindURL(std::u16string_view Text, int32_t& Length);
// Makes URL something the shell can open: text with a ":" stays as it is; otherwise, for a detected
// address only, "mailto:" goes before an address with "@" after its first character and "http://" before
// one with "." after its first character that does not start with "/". False when it cannot be made.
bool CompleteURL(std::u16string& URL, bool Detected);

class THTMLViewer64 : public TFileViewer64 {
 public:
  // Notified when the hot link or hot URL changes.
  using TNotifyEvent = std::function<void(THTMLViewer64* Sender)>;
  // A click on a link: its address and index (-1 for a detected address).
  using TLinkClickEvent =
      std::function<void(THTMLViewer64* Sender, const std::u16string& URL, int32_t LinkIndex)>;

  explicit THTMLViewer64(IFontMetrics* Metrics);

  // Clears the hot link and hot URL and the detected addresses, tells OnHotLinkChange, then opens.
  void Open(std::unique_ptr<TVStream> Stream, const std::u16string& Name) override;

  void SetAutodetectLinks(bool On);
  bool GetAutodetectLinks() const { return AutodetectLinks_; }

  // Looks again at the address under the client point (X, Y); true when the hot URL changed.
  bool UpdateHotLink(int32_t X, int32_t Y);
  // No hot link or URL any more (marks reset, repaint, OnHotLinkChange) when there was one.
  void ClearHotLink();
  bool HasHotLink() const { return HotLink_ >= 0 || HotUrlStart_ >= 0; }
  // The hot HTML link's text, else the hot URL's (empty when none).
  std::u16string GetHotLinkURL();
  // The hot HTML link's index, -1 for a detected address or none.
  int32_t GetHotLinkIndex() const { return HotLink_; }
  int32_t GetHotURLStart() const { return HotUrlStart_; }

  // Left button press at (X, Y): the viewer's own handling, remembering whether it selected.
  void MouseDown(TMouseButton Button, uint32_t Shift, int32_t X, int32_t Y);
  // The click that ends a press at (X, Y). False without OnLinkClick (the host's plain click applies).
  // Otherwise the hot URL is updated; without a selection by this press OnLinkClick gets the hot
  // address, after a selection OnHotLinkChange is told unless the hot URL changed anyway.
  bool Click(int32_t X, int32_t Y);

  // The colour rule of the link codes: 1 and 2 by HTMLLinkStyle, the others by URLStyle.
  void GetAttrColors(TFileViewer64* Sender, TAttrColors& Colors);

  // The addresses found on the visible lines (empty until detection is first switched on).
  const THTMLLinks* GetDetectedURLs() const { return UrLs_.get(); }
  // The list of links of a converted HTML text.
  IHTMLLinks& GetHTMLLinks() { return *HtmlLinks_; }

  TLinkStyle URLStyle;
  TLinkStyle HTMLLinkStyle;
  TNotifyEvent OnHotLinkChange;
  TLinkClickEvent OnLinkClick;

 protected:
  void UpdateAttributes() override;

 private:
  void DetectURLs();
  void AddURLs(const std::u16string& Text, int32_t LineStart);
  void HotLinkChanged();

  bool AutodetectLinks_ = false;
  std::unique_ptr<THTMLLinks> UrLs_;
  std::unique_ptr<IHTMLLinks> HtmlLinks_;
  int32_t HotLink_ = -1;
  int32_t HotUrlStart_ = -1;
  std::u16string HotUrlText_;
  // The selection as the last press left it, and whether that press itself changed it (Shift).
  int32_t PressSelStart_ = -1;
  int32_t PressSelLength_ = 0;
  bool PressSelected_ = false;
};
