// "Select Filters": switches each loaded converter plug-in on or off and sets the largest file that is
// converted to text. One root row per converter (module file name and its banner), one child per file
// type it lists. The choices take effect only with OK. Main thread only.
#pragma once

#include <QDialog>

#include "app/OptionPages.h"
#include "app/ui/QtLang.h"

class QLineEdit;
class QTreeWidget;
class TQVConverters;

class TEditFilters : public QDialog {
  Q_OBJECT
 public:
  // Converters must outlive the dialog.
  explicit TEditFilters(TQVConverters& Converters, QWidget* Parent = nullptr);
  // True when closed with OK (the settings and the converters' flags are then updated).
  bool Execute();
  TQtLangForm& LangForm() { return Lang_; }

  QTreeWidget* FiltersTree;
  QLineEdit* MaxSizeEdit;

 private:
  void FillTree();
  void NormalizeMaxSize();
  TQVConverters& Converters_;
  TConverterFilters Filters_;
  bool Filling_ = false;
  TQtLangForm Lang_;
};
