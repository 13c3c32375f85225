// The status bar of the main window and the preview windows: panels of UTF-16 text with a width, an
// alignment and a bevel; the last panel takes the rest of the bar; a simple mode shows one text across
// the whole bar. Qt's own strings are UTF-16, so every text shows as given.
//
// Main thread only; owned by its window.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <functional>
#include <string>
#include <vector>

// The most panels a bar lays out; panels beyond are kept but not shown.
constexpr int kMaxStatusPanels = 128;

struct TWideStatusPanel {
  std::u16string Text;
  int Width = 50;
  uint8_t Alignment = 0;  // 0 left, 1 right, 2 centre
  uint8_t Bevel = 1;      // 0 none, 1 lowered, 2 raised
};

class TWideStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit TWideStatusBar(QWidget* Parent = nullptr);

  // Panels: added at the end; changed one at a time.
  int AddPanel(const TWideStatusPanel& Panel);
  int PanelCount() const { return static_cast<int>(Panels_.size()); }
  const TWideStatusPanel& Panel(int Index) const { return Panels_[static_cast<size_t>(Index)]; }
  void SetPanelText(int Index, const std::u16string& Text);
  void SetPanelWidth(int Index, int Width);
  // The widget that shows panel Index (null beyond kMaxStatusPanels).
  QLabel* PanelLabel(int Index) const;

  void SetSimplePanel(bool On);
  bool SimplePanel() const { return Simple_; }
  // Stored and shown when it differs from the current simple text.
  void SetSimpleText(const std::u16string& Text);
  const std::u16string& SimpleText() const { return SimpleText_; }

  // An automatic hint: OnHint when assigned (answering true), else the hint goes to the simple text (simple
  // mode or no panels) or the first panel.
  bool DoHint();
  void ShowHint(const std::u16string& Hint);
  std::function<void(TWideStatusBar*)> OnHint;

 private:
  void ApplyPanel(int Index);
  std::vector<TWideStatusPanel> Panels_;
  std::vector<QLabel*> Labels_;
  QLabel* SimpleLabel_;
  bool Simple_ = false;
  std::u16string SimpleText_;
};
