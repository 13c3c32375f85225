// "Options": the options window of the main program, a tree of pages on the left and the chosen page on
// the right. Its pages work directly on the program's settings; most changes act on the main window at
// once through TPreferencesHooks. The pages: TInterfaceOptions (interface style, main font, histories,
// warnings, animation), TToolbarOptions (button look, and the customising dialog), TSystemOptions (file
// size limit, excluded folders) and TArchiveOptions (app/ui/ArchiveOptionsFrame). Main thread only.
#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>

#include "app/Options.h"
#include "app/ui/QtLang.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TArchiveOptions;
class TCustomizeToolbar;
class TMultiLang;

// What the options change on the main window; an unassigned hook is skipped.
struct TPreferencesHooks {
  std::function<void(int32_t Style)> SetInterfaceStyle;
  std::function<void(int32_t Mode)> SetAnimationMode;
  std::function<void()> ApplyMainFont;
  std::function<void()> LoadHistories;
  // Rebuild the toolbar; Recreate false when only the tool tips changed.
  std::function<void(bool Recreate)> BuildToolbar;
  std::function<QIcon(int32_t Action)> ActionIcon;
  // The folder picker; an empty answer is a cancel.
  std::function<std::u16string(const std::u16string& Title)> BrowseForFolder;
  int32_t* PasswordAskMode = nullptr;
  const TMultiLang* Languages = nullptr;
  // Gives a window the page opens its designed texts and the current language; unassigned: English.
  std::function<void(TQtLangForm&)> Localize;
};

class TInterfaceOptions : public QWidget {
  Q_OBJECT
 public:
  TInterfaceOptions(TPreferencesHooks& Hooks, QWidget* Parent);
  void LoadPage();
  QButtonGroup* InterfaceStyleRadio;
  QButtonGroup* AnimRadio;
  QLabel* LSample;
  QPushButton* MainFontBtn;
  QPushButton* ClearHistBtn;
  QPushButton* WarningsOnBtn;

 private:
  void ChooseFont();
  TPreferencesHooks& Hooks_;
  // The program's settings, which the page shows and changes.
  TSettings& Settings_ = ProgramSettings();
  bool Loading_ = false;
};

class TToolbarOptions : public QWidget {
  Q_OBJECT
 public:
  TToolbarOptions(TPreferencesHooks& Hooks, QWidget* Parent);
  void LoadPage();
  QCheckBox* Boxes[4];  // large buttons, button text, flat buttons, tool tips (by tab order)
  QPushButton* SelTBBtnsBtn;
  // Made once, at the first use.
  TCustomizeToolbar* Customize = nullptr;

 private:
  TPreferencesHooks& Hooks_;
  // The program's settings, which the page shows and changes.
  TSettings& Settings_ = ProgramSettings();
  bool Loading_ = false;
};

class TSystemOptions : public QWidget {
  Q_OBJECT
 public:
  TSystemOptions(TPreferencesHooks& Hooks, QWidget* Parent);
  void LoadPage();
  void SavePage();
  void NormalizeMaxSize();
  void RefreshList();
  void AddFolder();
  void DeleteSelected();
  QLineEdit* MaxSizeEdit;
  QListWidget* ExcludePathsList;

 private:
  TPreferencesHooks& Hooks_;
  // The program's settings, which the page shows and changes.
  TSettings& Settings_ = ProgramSettings();
};

class TPreferences : public QDialog {
  Q_OBJECT
 public:
  explicit TPreferences(TPreferencesHooks Hooks, QWidget* Parent = nullptr);
  // Shows the window modally, on Page (0 interface, 1 toolbar, 2 system, 3 archives) when given.
  void Execute(int32_t Page = -1);
  // Rebuilds the tree's captions and the archive page's rows (a language change).
  void LanguageChanged();
  void ShowPage(int32_t Page);
  TQtLangForm& LangForm() { return Lang_; }

  QTreeWidget* OptionsTree;
  QStackedWidget* Pages;
  TInterfaceOptions* InterfacePage;
  TToolbarOptions* ToolbarPage;
  TSystemOptions* SystemPage;
  TArchiveOptions* ArchivePage;

  // The page tree takes the width of its widest caption.
  void FitTreeWidth();

 protected:
  void done(int Result) override;

 private:
  void BuildTree();
  TPreferencesHooks Hooks_;
  int32_t CurrentPage_ = 0;
  TQtLangForm Lang_;
};
