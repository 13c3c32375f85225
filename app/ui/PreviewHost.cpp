#include "app/ui/PreviewHost.h"

#include <QDesktopServices>
#include <QUrl>

#include "app/IO.h"

void TMainPreviewHost::ShowError(const std::u16string& Text) { ShowErrorText(Text); }

void TMainPreviewHost::ShowWarning(const std::u16string& Text) { MsgDlgText(Text, mtWarning, mbOK); }

void TMainPreviewHost::OpenURL(const std::u16string& URL) {
  QDesktopServices::openUrl(QUrl(QString::fromStdU16String(URL)));
}
