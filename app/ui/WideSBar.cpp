#include "app/ui/WideSBar.h"

TWideStatusBar::TWideStatusBar(QWidget* Parent) : QStatusBar(Parent), SimpleLabel_(new QLabel(this)) {
  setSizeGripEnabled(true);
  SimpleLabel_->hide();
  addWidget(SimpleLabel_, 1);
}

int TWideStatusBar::AddPanel(const TWideStatusPanel& Panel) {
  Panels_.push_back(Panel);
  int Index = PanelCount() - 1;
  if (Index < kMaxStatusPanels) {
    auto* Label = new QLabel(this);
    Label->setObjectName(QStringLiteral("StatusPanel%1").arg(Index));
    Labels_.push_back(Label);
    addWidget(Label, 0);
    // Only the last laid-out panel stretches to the right end.
    for (size_t I = 0; I < Labels_.size(); ++I) {
      removeWidget(Labels_[I]);
      addWidget(Labels_[I], I + 1 == Labels_.size() ? 1 : 0);
      Labels_[I]->setVisible(!Simple_);
    }
    ApplyPanel(Index);
  }
  return Index;
}

QLabel* TWideStatusBar::PanelLabel(int Index) const {
  return Index >= 0 && Index < static_cast<int>(Labels_.size()) ? Labels_[static_cast<size_t>(Index)]
                                                                : nullptr;
}

void TWideStatusBar::ApplyPanel(int Index) {
  QLabel* Label = PanelLabel(Index);
  if (!Label) return;
  const TWideStatusPanel& P = Panels_[static_cast<size_t>(Index)];
  Label->setText(QString::fromStdU16String(P.Text));
  Qt::Alignment Align = P.Alignment == 1   ? Qt::AlignRight
                        : P.Alignment == 2 ? Qt::AlignHCenter
                                           : Qt::AlignLeft;
  Label->setAlignment(Align | Qt::AlignVCenter);
  Label->setFrameShape(P.Bevel == 0 ? QFrame::NoFrame : QFrame::Panel);
  Label->setFrameShadow(P.Bevel == 2 ? QFrame::Raised : QFrame::Sunken);
  if (Index + 1 < static_cast<int>(Labels_.size())) {
    Label->setFixedWidth(P.Width);
  } else {
    Label->setMinimumWidth(P.Width);
    Label->setMaximumWidth(QWIDGETSIZE_MAX);
  }
  Label->setVisible(!Simple_ && (P.Width > 0 || Index + 1 == static_cast<int>(Labels_.size())));
}

void TWideStatusBar::SetPanelText(int Index, const std::u16string& Text) {
  Panels_.at(static_cast<size_t>(Index)).Text = Text;
  ApplyPanel(Index);
}

void TWideStatusBar::SetPanelWidth(int Index, int Width) {
  Panels_.at(static_cast<size_t>(Index)).Width = Width;
  for (int I = 0; I < static_cast<int>(Labels_.size()); ++I) ApplyPanel(I);
}

void TWideStatusBar::SetSimplePanel(bool On) {
  Simple_ = On;
  SimpleLabel_->setVisible(On);
  for (int I = 0; I < static_cast<int>(Labels_.size()); ++I) ApplyPanel(I);
}

void TWideStatusBar::SetSimpleText(const std::u16string& Text) {
  if (Text == SimpleText_) return;
  SimpleText_ = Text;
  SimpleLabel_->setText(QString::fromStdU16String(Text));
}

bool TWideStatusBar::DoHint() {
  if (!OnHint) return false;
  OnHint(this);
  return true;
}

void TWideStatusBar::ShowHint(const std::u16string& Hint) {
  if (DoHint()) return;
  if (Simple_ || Panels_.empty())
    SetSimpleText(Hint);
  else
    SetPanelText(0, Hint);
}
