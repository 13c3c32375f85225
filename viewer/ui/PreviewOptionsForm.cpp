#include "viewer/ui/PreviewOptionsForm.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "viewer/PreviewModel.h"
#include "viewer/PreviewOptions.h"
#include "viewer/ViewSettings.h"
#include "viewer/ui/FileViewerWidget.h"
#include "viewer/ui/PreviewForm.h"

namespace {

std::u16string U(const QString& S) {
  return std::u16string(reinterpret_cast<const char16_t*>(S.utf16()), S.size());
}

// The dialog made on first use and kept.
QPointer<TPreviewOptions> KeptDialog;

QString ColorSheet(uint32_t Background, uint32_t Text) {
  return QString("QLabel { background-color: %1; color: %2; border: 1px solid gray; }")
      .arg(RGBToQColor(Background).name(), RGBToQColor(Text).name());
}

}  // namespace

TPreviewOptions::TPreviewOptions(QWidget* Parent) : QDialog(Parent) {
  setObjectName("PreviewOptions");
  setWindowTitle(tr("Preview Properties"));
  auto MakeSample = [this](const char* Name, const QString& Caption) {
    auto* L = new QLabel(Caption, this);
    L->setObjectName(Name);
    L->setAlignment(Qt::AlignCenter);
    L->setMinimumHeight(24);
    L->installEventFilter(this);
    return L;
  };
  auto MakeButton = [this](const char* Name, const QString& Caption) {
    auto* B = new QPushButton(Caption, this);
    B->setObjectName(Name);
    return B;
  };
  LText = MakeSample("lText", tr("Text Font"));
  LBk = MakeSample("lBk", QString());
  LSel = MakeSample("lSel", tr("Selected Text"));
  LGutter = MakeSample("lGutter", QString());
  LGutter->setFixedWidth(24);
  LHigh1 = MakeSample("lHigh1", tr("Highlighted Text 1"));
  LHigh2 = MakeSample("lHigh2", tr("Highlighted Text 2"));
  TextFontBtn = MakeButton("TextFontBtn", tr("&Text"));
  BkColorBtn = MakeButton("BkColorBtn", tr("&Background"));
  SelColorBtn = MakeButton("SelColorBtn", tr("&Selection"));
  SelBkColorBtn = MakeButton("SelBkColorBtn", tr("S&el. Bk."));
  GutterBtn = MakeButton("GutterBtn", tr("&Gutter"));
  HighBk1Btn = MakeButton("HighBk1Btn", tr("High&light Bk. 1"));
  HighText1Btn = MakeButton("HighText1Btn", tr("H&ighlight Text 1"));
  HighBk2Btn = MakeButton("HighBk2Btn", tr("Highlight B&k. 2"));
  HighText2Btn = MakeButton("HighText2Btn", tr("Highlight Te&xt 2"));
  Defaults1Btn = MakeButton("Defaults1Btn", tr("Defaults &1"));
  Defaults2Btn = MakeButton("Defaults2Btn", tr("Defaults &2"));
  CloseBtn = MakeButton("CloseBtn", tr("Close"));
  TabEdit = new QLineEdit("8", this);
  TabEdit->setObjectName("TabEdit");
  GutterEdit = new QLineEdit("16", this);
  GutterEdit->setObjectName("GutterEdit");
  PageCombo = new QComboBox(this);
  PageCombo->setObjectName("PageCombo");
  PageCombo->addItems({tr("Full Screen - 1"), tr("Full Screen"), tr("1/2 Screen")});
  AutodetectLinksCheck = new QCheckBox(tr("A&utodetect Internet links in plain text"), this);
  AutodetectLinksCheck->setObjectName("AutodetectLinksCheck");

  auto* FontBox = new QGroupBox(tr("Font"), this);
  FontBox->setObjectName("FontGroup");
  auto* FontLayout = new QHBoxLayout(FontBox);
  FontLayout->addWidget(LText, 1);
  FontLayout->addWidget(TextFontBtn);

  auto* ColorBox = new QGroupBox(tr("Colors"), this);
  ColorBox->setObjectName("ColorsGroup");
  auto* Grid = new QGridLayout(ColorBox);
  Grid->addWidget(LBk, 0, 0, 1, 2);
  Grid->addWidget(LGutter, 0, 2);
  Grid->addWidget(LSel, 1, 0, 1, 3);
  Grid->addWidget(LHigh1, 2, 0, 1, 3);
  Grid->addWidget(LHigh2, 3, 0, 1, 3);
  Grid->addWidget(BkColorBtn, 0, 3);
  Grid->addWidget(GutterBtn, 0, 4);
  Grid->addWidget(SelColorBtn, 1, 3);
  Grid->addWidget(SelBkColorBtn, 1, 4);
  Grid->addWidget(HighText1Btn, 2, 3);
  Grid->addWidget(HighBk1Btn, 2, 4);
  Grid->addWidget(HighText2Btn, 3, 3);
  Grid->addWidget(HighBk2Btn, 3, 4);
  Grid->addWidget(Defaults1Btn, 4, 3);
  Grid->addWidget(Defaults2Btn, 4, 4);

  auto* OtherBox = new QGroupBox(tr("Others"), this);
  OtherBox->setObjectName("OthersGroup");
  auto* Others = new QGridLayout(OtherBox);
  auto AddRow = [&](int Row, const char* Name, const QString& Caption, QWidget* W) {
    auto* L = new QLabel(Caption, OtherBox);
    L->setObjectName(Name);
    L->setBuddy(W);
    Others->addWidget(L, Row, 0);
    Others->addWidget(W, Row, 1);
  };
  AddRow(0, "lTabSize", tr("T&ab size:"), TabEdit);
  AddRow(1, "lGutterWidth", tr("Gutter &width:"), GutterEdit);
  AddRow(2, "lPageSize", tr("Page si&ze:"), PageCombo);
  Others->addWidget(AutodetectLinksCheck, 3, 0, 1, 2);

  auto* Main = new QVBoxLayout(this);
  Main->addWidget(FontBox);
  Main->addWidget(ColorBox);
  Main->addWidget(OtherBox);
  auto* Bottom = new QHBoxLayout;
  Bottom->addStretch(1);
  Bottom->addWidget(CloseBtn);
  Main->addLayout(Bottom);

  TViewOptions& V = PreviewViewOptions();
  connect(TextFontBtn, &QPushButton::clicked, this, [this] { EditFont(); });
  connect(BkColorBtn, &QPushButton::clicked, this, [this, &V] { EditColor(V.Background); });
  connect(SelColorBtn, &QPushButton::clicked, this, [this, &V] { EditColor(V.SelectedText); });
  connect(SelBkColorBtn, &QPushButton::clicked, this, [this, &V] { EditColor(V.Selection); });
  connect(GutterBtn, &QPushButton::clicked, this, [this, &V] { EditColor(V.Gutter); });
  connect(HighBk1Btn, &QPushButton::clicked, this, [this, &V] { EditColor(V.HitBack); });
  connect(HighText1Btn, &QPushButton::clicked, this, [this, &V] { EditColor(V.HitText); });
  connect(HighBk2Btn, &QPushButton::clicked, this, [this, &V] { EditColor(V.CurrentHitBack); });
  connect(HighText2Btn, &QPushButton::clicked, this, [this, &V] { EditColor(V.CurrentHitText); });
  connect(Defaults1Btn, &QPushButton::clicked, this, [this] {
    LoadViewerColorPreset1(PreviewViewOptions(), PreviewFont(), PreviewOffsetFont());
    Changed();
  });
  connect(Defaults2Btn, &QPushButton::clicked, this, [this] {
    LoadViewerColorPreset2(PreviewViewOptions(), PreviewFont(), PreviewOffsetFont());
    Changed();
  });
  connect(AutodetectLinksCheck, &QCheckBox::toggled, this, [this](bool On) {
    if (On == PreviewViewOptions().DetectLinks) return;
    PreviewViewOptions().DetectLinks = On;
    ApplyPreviewOptionsToAll();
  });
  connect(TabEdit, &QLineEdit::editingFinished, this, [this] { CommitEdits(); });
  connect(GutterEdit, &QLineEdit::editingFinished, this, [this] { CommitEdits(); });
  // Escape and the Close button both end in done(), which takes the edits.
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  ShowSettings();
}

void TPreviewOptions::ShowSettings() {
  PaintSamples();
  TabEdit->setText(QString::number(PreviewViewOptions().TabSize));
  GutterEdit->setText(QString::number(PreviewViewOptions().GutterWidth));
  PageCombo->setCurrentIndex(std::clamp<int>(PreviewViewOptions().PageMode, 0, kPreviewPageModes - 1));
  const bool Blocked = AutodetectLinksCheck->blockSignals(true);
  AutodetectLinksCheck->setChecked(PreviewViewOptions().DetectLinks);
  AutodetectLinksCheck->blockSignals(Blocked);
}

void TPreviewOptions::PaintSamples() {
  const TViewOptions& V = PreviewViewOptions();
  const QFont Font = FontRecToFont(PreviewFont());
  const uint32_t Bk = ColorToRGB(V.Background);
  const uint32_t Text = ColorToRGB(PreviewFont().Color);
  for (QLabel* L : {LText, LSel, LHigh1, LHigh2}) L->setFont(Font);
  LText->setStyleSheet(ColorSheet(Bk, Text));
  LBk->setStyleSheet(ColorSheet(Bk, Text));
  LSel->setStyleSheet(ColorSheet(ColorToRGB(V.Selection), ColorToRGB(V.SelectedText)));
  LGutter->setStyleSheet(ColorSheet(ColorToRGB(V.Gutter), Text));
  LHigh1->setStyleSheet(ColorSheet(ColorToRGB(V.HitBack), ColorToRGB(V.HitText)));
  LHigh2->setStyleSheet(ColorSheet(ColorToRGB(V.CurrentHitBack), ColorToRGB(V.CurrentHitText)));
}

void TPreviewOptions::Changed() {
  PaintSamples();
  ApplyPreviewOptionsToAll();
}

void TPreviewOptions::EditColor(uint32_t& Setting) {
  uint32_t C = ColorToRGB(Setting);
  bool Ok = false;
  if (ChooseColor) {
    Ok = ChooseColor(C);
  } else {
    const QColor Picked = QColorDialog::getColor(RGBToQColor(C), this);
    Ok = Picked.isValid();
    if (Ok)
      C = RGBColor(static_cast<uint8_t>(Picked.red()), static_cast<uint8_t>(Picked.green()),
                   static_cast<uint8_t>(Picked.blue()));
  }
  if (!Ok) return;
  Setting = C;
  Changed();
}

void TPreviewOptions::EditFont() {
  bool Ok = false;
  const QFont F = QFontDialog::getFont(&Ok, FontRecToFont(PreviewFont()), this);
  if (!Ok) return;
  const uint8_t Charset = PreviewFont().Charset;
  PreviewFont() = FontToFontRec(F, PreviewFont().Color);
  PreviewFont().Charset = Charset;
  Changed();
}

void TPreviewOptions::CommitEdits() {
  const bool Any = CommitPreviewEdits(PreviewViewOptions(), U(TabEdit->text()), U(GutterEdit->text()),
                                      PageCombo->currentIndex());
  TabEdit->setText(QString::number(PreviewViewOptions().TabSize));
  GutterEdit->setText(QString::number(PreviewViewOptions().GutterWidth));
  if (Any) ApplyPreviewOptionsToAll();
}

void TPreviewOptions::done(int Result) {
  CommitEdits();
  QDialog::done(Result);
}

bool TPreviewOptions::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::MouseButtonRelease) {
    TViewOptions& V = PreviewViewOptions();
    if (Watched == LText) EditFont();
    if (Watched == LBk) EditColor(V.Background);
    if (Watched == LSel) EditColor(V.SelectedText);
    if (Watched == LGutter) EditColor(V.Gutter);
    if (Watched == LHigh1) EditColor(V.HitText);
    if (Watched == LHigh2) EditColor(V.CurrentHitText);
  }
  return QDialog::eventFilter(Watched, Event);
}

TPreviewOptions& PreviewOptionsDialog() {
  if (!KeptDialog) {
    KeptDialog = new TPreviewOptions(nullptr);
    PreviewWindowMade(KeptDialog);
  }
  return *KeptDialog;
}

void DropPreviewOptionsDialog() { delete KeptDialog.data(); }

void ShowPreviewOptions(QWidget* Parent) {
  TPreviewOptions& D = PreviewOptionsDialog();
  D.ShowSettings();
  D.adjustSize();
  if (Parent) D.move(Parent->geometry().center() - D.rect().center());
  D.exec();
}
