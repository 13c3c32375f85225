#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "app/Options.h"
#include "app/ui/EditMasksForm.h"
#include "app/ui/SelectFileTypesForm.h"
#include "core/StrLst.h"
#include "core/WSSDic.h"
#include "tests/app/ui/dialogs/UiFixtures.h"

namespace {

QTreeWidgetItem* FindType(QTreeWidget* List, const QString& Ext) {
  for (int I = 0; I < List->topLevelItemCount(); ++I)
    if (List->topLevelItem(I)->text(0) == Ext) return List->topLevelItem(I);
  return nullptr;
}

}  // namespace

TEST(TypeDialogs, MaskEditorAddsEditsAndCancels) {
  TEditMasks E;
  ExpectObjectNames(&E, {"MasksBox", "AddBtn", "DelBtn", "EditBtn", "ClearBtn", "OKBtn", "CancelBtn"});
  std::vector<std::u16string> Answers{u"txt", u"*.*", u"rtf"};
  E.AskMask = [&](int32_t, int32_t, std::u16string& Text) {
    Text = Answers.front();
    Answers.erase(Answers.begin());
    return true;
  };
  int Confirms = 0;
  E.ConfirmAnyFile = [&] {
    ++Confirms;
    return false;
  };
  std::u16string Masks = u"*.doc";
  WhenModal(
      [&](QDialog*) {
        E.AddMask();  // txt becomes *.txt
        E.AddMask();  // *.* refused
        E.MasksBox->setCurrentRow(0);
        E.EditMask();  // *.doc becomes *.rtf
      },
      true);
  EXPECT_TRUE(E.Execute(Masks));
  EXPECT_EQ(Masks, u"*.rtf;*.txt");
  EXPECT_EQ(Confirms, 1);
  WhenModal([&](QDialog*) { E.findChild<QPushButton*>("ClearBtn")->click(); }, false);
  EXPECT_FALSE(E.Execute(Masks));
  EXPECT_EQ(Masks, u"*.rtf;*.txt");
}

TEST(TypeDialogs, FileTypesFromTheMimeDatabaseAndTheSelection) {
  SetDefaultOptions();
  FileTypes().Source = MimeFileTypeSource;
  FileTypes().Ready = false;
  TSelectFileTypes F;
  ExpectObjectNames(
      &F, {"AllTypesList", "SelTypesList", "MasksEdit", "AllRadio", "SelectedRadio", "RefreshBtn", "ClearBtn",
           "DefinedTypesCombo", "SaveBtn", "ExtDefBtn", "EditMasksBtn", "OKBtn", "CancelBtn"});
  TWideStrLst Masks;
  Masks.Add(u"readme.*");
  Masks.Add(u"*.txt");
  std::u16string GroupName = u"notes";
  F.AskGroupName = [&](std::u16string& Name, const std::vector<std::u16string>&) {
    Name = GroupName;
    return true;
  };
  F.ConfirmDelete = [](const std::u16string&) { return true; };
  WhenModal(
      [&](QDialog*) {
        ASSERT_NE(FileTypes().Find("TXT"), nullptr);
        EXPECT_TRUE(F.SelectedRadio->isChecked());
        ASSERT_EQ(F.SelTypesList->topLevelItemCount(), 2);
        EXPECT_EQ(F.SelTypesList->topLevelItem(0)->text(0), "readme.*");
        EXPECT_EQ(F.SelTypesList->topLevelItem(0)->text(1), "Unknown");
        EXPECT_EQ(F.SelTypesList->topLevelItem(1)->text(0), "TXT");
        QTreeWidgetItem* Txt = FindType(F.AllTypesList, "TXT");
        ASSERT_NE(Txt, nullptr);
        EXPECT_EQ(Txt->checkState(0), Qt::Checked);
        // Unchecking the readme.* row removes readme.* (the row's own mask) once the notification is over.
        F.SelTypesList->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCoreApplication::processEvents();
        EXPECT_EQ(F.MasksEdit->text(), "*.txt");
        // Ticking a type adds its mask; the group is saved under its name.
        QTreeWidgetItem* Html = FindType(F.AllTypesList, "HTML");
        ASSERT_NE(Html, nullptr);
        Html->setCheckState(0, Qt::Checked);
        EXPECT_EQ(F.MasksEdit->text(), "*.html;*.txt");
        // A double click on a type's row toggles it.
        emit F.AllTypesList->itemDoubleClicked(Html, 0);
        EXPECT_EQ(F.MasksEdit->text(), "*.txt");
        emit F.AllTypesList->itemDoubleClicked(FindType(F.AllTypesList, "HTML"), 0);
        EXPECT_EQ(F.MasksEdit->text(), "*.html;*.txt");
        // Dragging the type TXT's selected row onto the type list drops it; dragging the type back adds it.
        F.SelTypesList->clearSelection();
        F.SelTypesList->topLevelItem(1)->setSelected(true);
        F.DropRowsOnTypes();
        EXPECT_EQ(F.MasksEdit->text(), "*.html");
        F.AllTypesList->clearSelection();
        FindType(F.AllTypesList, "TXT")->setSelected(true);
        F.DropTypesOnSelected();
        EXPECT_EQ(F.MasksEdit->text(), "*.html;*.txt");
        F.SaveGroup();
        EXPECT_EQ(F.DefinedTypesCombo->currentText(), "notes");
      },
      true);
  ASSERT_TRUE(F.Execute(Masks));
  EXPECT_EQ(Masks.GetCount(), 2);
  EXPECT_EQ(ProgramSettings().FileTypeGroups.Get(u"notes"), u"*.html;*.txt");

  // From "*.*", choosing selected types only leaves an empty selection with Save disabled.
  TWideStrLst All;
  All.Add(u"*.*");
  WhenModal(
      [&](QDialog*) {
        EXPECT_TRUE(F.AllRadio->isChecked());
        EXPECT_FALSE(F.AllTypesList->isEnabled());
        F.SelectedRadio->click();
        EXPECT_EQ(F.MasksEdit->text(), "");
        EXPECT_FALSE(F.SaveBtn->isEnabled());
        F.ChooseGroup(u"notes");
        EXPECT_EQ(F.MasksEdit->text(), "*.html;*.txt");
        const int Groups = F.DefinedTypesCombo->count();
        F.DeleteGroup();
        EXPECT_EQ(F.DefinedTypesCombo->count(), Groups - 1);
        EXPECT_EQ(F.DefinedTypesCombo->findText("notes"), -1);
      },
      false);
  EXPECT_FALSE(F.Execute(All));
  EXPECT_EQ(All.Get(0), u"*.*");
  SetDefaultOptions();
}
