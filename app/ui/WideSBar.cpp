#include "app/ui/WideSBar.h"

TWideStatusBar::TWideStatusBar(QWidget* Parent) : QStatusBar(Parent), SimpleLabel(new QLabel(this)) {
  setSizeGripEnabled(true);
  SimpleLabel->hide();
  addWidget(SimpleLabel, 1);
}

int TWideStatusBar::AddPanel(const TWideStatusPanel& Panel) {
  Panels.push_back(Panel);
  int Index = PanelCount() - 1;
  if (Index < kMaxStatusPanels) {
    auto* Label = new QLabel(this);
    Label->setObjectName(QStringLiteral("StatusPanel%1").arg(Index));
    Labels.push_back(Label);
    addWidget(Label, 0);
    // Only the last laid-out panel stretches to the right end.
    for (size_t I = 0; I < Labels.size(); ++I) {
      removeWidget(Labels[I]);
      addWidget(Labels[I], I + 1 == Labels.size() ? 1 : 0);
      Labels[I]->setVisible(!Simple);
    }
    ApplyPanel(Index);
  }
  return Index;
}

QLabel* TWideStatusBar::PanelLabel(int Index) const {
  return Index >= 0 && Index < static_cast<int>(Labels.size()) ? Labels[static_cast<size_t>(Index)] : nullptr;
}

void TWideStatusBar::ApplyPanel(int Index) {
  QLabel* Label = PanelLabel(Index);
  if (!Label) return;
  const TWideStatusPanel& P = Panels[static_cast<size_t>(Index)];
  Label->setText(QString::fromStdU16String(P.Text));
  Qt::Alignment Align = P.Alignment == 1   ? Qt::AlignRight
                        : P.Alignment == 2 ? Qt::AlignHCenter
                                           : Qt::AlignLeft;
  Label->setAlignment(Align | Qt::AlignVCenter);
  Label->setFrameShape(P.Bevel == 0 ? QFrame::NoFrame : QFrame::Panel);
  Label->setFrameShadow(P.Bevel == 2 ? QFrame::Raised : QFrame::Sunken);
  if (Index + 1 < static_cast<int>(Labels.size())) {
    Label->setFixedWidth(P.Width);
  } else {
    Label->setMinimumWidth(P.Width);
    Label->setMaximumWidth(QWIDGETSIZE_MAX);
  }
  Label->setVisible(!Simple && (P.Width > 0 || Index + 1 == static_cast<int>(Labels.size())));
}

void TWideStatusBar::SetPanelText(int Index, const std::u16string& Text) {
  Panels.at(static_cast<size_t>(Index)).Text = Text;
  ApplyPanel(Index);
}

void TWideStatusBar::SetPanelWidth(int Index, int Width) {
  Panels.at(static_cast<size_t>(Index)).Width = Width;
  for (int I = 0; I < static_cast<int>(Labels.size()); ++I) ApplyPanel(I);
}

void TWideStatusBar::SetSimplePanel(bool On) {
  Simple = On;
  SimpleLabel->setVisible(On);
  for (int I = 0; I < static_cast<int>(Labels.size()); ++I) ApplyPanel(I);
}

void TWideStatusBar::SetSimpleText(const std::u16string& Text) {
  if (Text == Simple_Text) return;
  Simple_Text = Text;
  SimpleLabel->setText(QString::fromStdU16String(Text));
}

bool TWideStatusBar::DoHint() {
  if (!OnHint) return false;
  OnHint(this);
  return true;
}

void TWideStatusBar::ShowHint(const std::u16string& Hint) {
  if (DoHint()) return;
  if (Simple || Panels.empty())
    SetSimpleText(Hint);
  else
    SetPanelText(0, Hint);
}
