// "Edit Masks": the file masks of a search as a plain list of entries to add, edit, delete or clear.
// The list rules come from TMaskEditList (app/FileTypesEnum). Main thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "app/FileTypesEnum.h"
#include "app/ui/QtLang.h"

class QListWidget;

class TEditMasks : public QDialog {
  Q_OBJECT
 public:
  explicit TEditMasks(QWidget* Parent = nullptr);
  // The window as the language layer sees it.
  TQtLangForm& LangForm() { return Lang_; }
  // True on OK with MaskText replaced by the list.
  bool Execute(std::u16string& MaskText);

  // Asks for a mask (title and prompt messages, the text to start from); false on cancel. Unassigned:
  // the program's input dialog.
  std::function<bool(int32_t CaptionMsg, int32_t LabelMsg, std::u16string& Text)> AskMask;
  // Confirms the all-files mask. Unassigned: the program's question.
  std::function<bool()> ConfirmAnyFile;

  void AddMask();
  void EditMask();
  void DeleteMask();
  QListWidget* MasksBox;

 private:
  void Fill(int32_t Selected);
  TMaskEditList List_;
  TQtLangForm Lang_{this, "TEditMasks"};
};
