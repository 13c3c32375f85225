// TPreview: the window that shows a found file as text with every hit marked, with buttons that walk the
// hits, a status bar, the viewer's popup menus and a find dialog. Several can be open at once; each is an
// ordinary top-level window. The decisions (what to read, the hits, their colours) are TPreviewModel's;
// this unit holds the widgets.
//
// Entry points for the main window:
//   - SetPreviewEnvironment once, with what the previews borrow from it (converters, status text,
//     the password question, its View-menu hooks, the interface language of new windows);
//   - OpenPreview for a result; it brings an open window of the same file forward instead of opening
//     another;
//   - ApplyPreviewOptionsToAll after the view settings changed; PreviewIdle from the idle handler.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "viewer/PreviewModel.h"
#include "viewer/ui/FileViewerWidget.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

// What the previews borrow from the main window. Unset members: no converters, no status text of its
// own, no password, no menu entries.
struct TPreviewEnvironment {
  QWidget* MainWindow = nullptr;
  TQVConverters* Converters = nullptr;
  std::function<std::u16string()> GetStatusText;
  std::function<void(const std::u16string&)> SetStatusText;
  std::function<bool(const std::string& ArcName, const std::string& ItemName, std::string& Password)>
      ExtractPassword;
  std::function<void(class TPreview*)> AddPreviewMenuItem;
  std::function<void(class TPreview*)> RemovePreviewMenuItem;
  // Each window of the viewer (a preview, the options dialog) as soon as it is built, before it shows:
  // the main window makes it show the current interface language and keeps it in step with later
  // changes for as long as it lives. Its form name for the language files is its object name.
  std::function<void(QWidget*)> WindowMade;
};
// A new environment drops the options dialog kept for the previous one, so that the next is made for
// the new main window.
void SetPreviewEnvironment(const TPreviewEnvironment& Environment);
// Hands a newly built viewer window to the environment's WindowMade.
void PreviewWindowMade(QWidget* Window);
// The host the previews report through; null restores the one with message boxes.
void SetPreviewHost(IPreviewHost* Host);

// The find dialog of a preview: a text, match case, whole word.
class TPreviewFindDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TPreviewFindDialog(QWidget* Parent);
  std::u16string Text() const;
  bool MatchCase() const;
  bool WholeWord() const;
  std::function<void()> OnFind;

 private:
  QLineEdit* Edit_;
  QCheckBox* CaseCheck_;
  QCheckBox* WordCheck_;
};

class TPreview : public QMainWindow {
  Q_OBJECT

 public:
  explicit TPreview(QWidget* Parent = nullptr);
  ~TPreview() override;

  TPreviewModel& Model() { return *PreviewModel_; }
  THTMLViewer64& Viewer() { return static_cast<THTMLViewer64&>(ViewerWidget_->Model()); }
  TFileViewerWidget& ViewerControl() { return *ViewerWidget_; }

  void ShowHit(int32_t N);
  // Find Next: the dialog when its text is empty, else the next place of the text.
  void FindNext();
  // "Wrap Text", "Show EOL" (every preview and the settings), "Show Tabs and Spaces" (this one).
  void ToggleWrap();
  void ToggleEOL();
  void ToggleShowTabs();
  void ConvertToText();
  // The status bar's text now.
  QString StatusText() const;
  // The interface language changed (its texts were applied already): the status text follows.
  void LanguageChanged();

  QToolButton* FirstBtn;
  QToolButton* PriorBtn;
  QToolButton* NextBtn;
  QToolButton* LastBtn;
  QPushButton* ConvToTextBtn;
  QMenu* MainPopup;
  QMenu* HTMLPopup;
  TPreviewFindDialog* FindDlg;

  // Placement changes go to the settings once the window shows its file.
  bool TrackPlacement = false;

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void moveEvent(QMoveEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  void UpdateNavigation();
  void HotLinkChanged();
  void ShowPopup(const QPoint& GlobalPos);
  bool ViewerKeyDown(QKeyEvent* Event);
  void StorePlacement();
  QAction* AddAction(QMenu* Menu, const char* Name, const QString& Caption, const QKeySequence& Key,
                     const std::function<void()>& Do);

  TFileViewerWidget* ViewerWidget_;
  std::unique_ptr<TPreviewModel> PreviewModel_;
  QAction* FindAct_;
  QAction* FindNextAct_;
  QAction* WrapAct_;
  QAction* EolAct_;
  QAction* TabsAct_;
  QAction* CopyAct_;
  QAction* OpenLinkAct_;
  QAction* CopyUrlAct_;
  std::u16string PopupUrl_;
  int32_t PopupLinkIndex_ = -1;
};

// Shows the preview of a result (see the unit comment): null when no window opened (the host was told
// why). A failure to read the file raises; no window is left open then.
TPreview* OpenPreview(const TFoundFileInfo& Info, bool Convert, const std::u16string& Pattern,
                      const TPreviewSearchSettings& Settings);
// Hot-link upkeep: a hot link is dropped once the mouse left the viewer.
void PreviewIdle(TPreview* Window);
// The view settings (PreviewViewOptions, PreviewFont) into one preview / every open preview.
void ApplyPreviewOptions(TPreview* Window);
void ApplyPreviewOptionsToAll();
// The open preview windows, oldest first.
const std::vector<TPreview*>& PreviewWindows();
// The viewer's font of a settings font record.
QFont FontRecToFont(const TFontRec& Rec);
TFontRec FontToFontRec(const QFont& Font, TColor Color);
