// The main window's commands on one found file besides the preview: the properties window of Alt+Enter and
// the password questions of extracting an archive item.
#include <QTreeView>
#include <memory>

#include "app/MainForm.h"
#include "app/ResultCommands.h"
#include "app/ui/FilePropertiesForm.h"
#include "app/ui/MainWindow.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "search/SrchRes.h"

void TMain::ShowFileProperties() {
  const QModelIndex Current = ResultView_->currentIndex();
  if (!Current.isValid() || Current.row() >= Results().Count()) return;
  TFoundFileInfo Info;
  Results().GetInfo(Current.row(), Info);
  if (Info.InArchive) return;  // an archive item has no entry of its own in the file system
  auto* Form = new TFilePropertiesForm(this);
  Localize(Form->LangForm());
  if (!Form->ShowFile(Info.Name)) {
    delete Form;
    return;
  }
  Form->show();
  Form->raise();
  Form->activateWindow();
}

TArcPasswordEvent TMain::ExtractPasswordHook(const TFoundFileInfo& Info) {
  const std::string ArcName = Utf16ToUtf8(ItemArchiveName(Info.Name));
  auto First = std::make_shared<bool>(true);
  return [this, ArcName, First](const std::string&, const std::string& ItemName, std::string& Password) {
    if (*First) Run_->BeginExtraction();
    *First = false;
    return Run_->ExtractionPassword(ArcName, Password, ItemName);
  };
}
