// TPreviewOptions: the "Preview Properties" dialog. It edits the viewer part of the view settings
// (PreviewViewOptions, PreviewFont) on sample panels and applies every change at once to all open previews.
// The tab size, gutter width and page size are taken when their edit loses the focus and when the dialog
// closes, however it closes.
//
// GUI thread only. Made once, on first use, and kept.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPreviewOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TPreviewOptions(QWidget* Parent = nullptr);

  // Shows the settings as they are now.
  void ShowSettings();
  // The edits and the page list into the settings (previews follow when anything changed).
  void CommitEdits();

  QLabel *LText, *LBk, *LSel, *LGutter, *LHigh1, *LHigh2;
  QPushButton *TextFontBtn, *BkColorBtn, *SelColorBtn, *SelBkColorBtn, *GutterBtn;
  QPushButton *HighBk1Btn, *HighText1Btn, *HighBk2Btn, *HighText2Btn;
  QPushButton *Defaults1Btn, *Defaults2Btn, *CloseBtn;
  QLineEdit *TabEdit, *GutterEdit;
  QComboBox* PageCombo;
  QCheckBox* AutodetectLinksCheck;

  // Chooses a colour (the colour dialog unless set): false when cancelled.
  std::function<bool(uint32_t& Color)> ChooseColor;

 public slots:
  void done(int Result) override;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void PaintSamples();
  void EditColor(uint32_t& Setting);
  void EditFont();
  void Changed();
};

// Shows the dialog modally, centred over Parent.
void ShowPreviewOptions(QWidget* Parent);
// The dialog, made on first use (and handed to the preview environment's WindowMade then).
TPreviewOptions& PreviewOptionsDialog();
// Deletes the kept dialog, if any: the next use makes a new one.
void DropPreviewOptionsDialog();
