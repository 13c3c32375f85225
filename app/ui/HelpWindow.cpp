#include "app/ui/HelpWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "core/EndingSignals.h"

namespace {

QPointer<THelpWindow> HelpWindow;

// The help window's first size, and how much of the screen it takes at most.
constexpr int kHelpWidth = 760, kHelpHeight = 600;

}  // namespace

THelpWindow::THelpWindow(QWidget* Parent) : QWidget(Parent, Qt::Window), Browser_(new QTextBrowser) {
  setObjectName(QStringLiteral("HelpWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  Browser_->setObjectName(QStringLiteral("HelpBrowser"));
  // Links inside the document are followed here; links to the web go to the desktop's browser.
  Browser_->setOpenExternalLinks(true);
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(Browser_);
  QSize Size(kHelpWidth, kHelpHeight);
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    Size = Size.boundedTo(Screen->availableGeometry().size() * 9 / 10);
  resize(Size);
  // Without a window manager the window has no title bar to close it with: Escape and Ctrl+W close it.
  for (const QKeySequence& Key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    auto* Close = new QShortcut(Key, this);
    connect(Close, &QShortcut::activated, this, &QWidget::close);
  }
  connect(Browser_, &QTextBrowser::sourceChanged, this, [this] {
    const QString Title = Browser_->documentTitle();
    setWindowTitle(Title.isEmpty() ? QFileInfo(Browser_->source().toLocalFile()).fileName() : Title);
  });
}

void THelpWindow::ShowDocument(const QString& File) {
  const QUrl Url = QUrl::fromLocalFile(File);
  if (Browser_->source() != Url) Browser_->setSource(Url);
  show();
  raise();
  activateWindow();
}

void OpenWithDesktopOrElse(const QString& File, std::function<void()> Fallback) {
  auto* Opener = new QProcess(qApp);
  Opener->setProgram(QStringLiteral("xdg-open"));
  Opener->setArguments({File});
  Opener->setProcessChannelMode(QProcess::ForwardedChannels);
  // The opener and what it starts get the signals as the program had them before it blocked its own.
  Opener->setChildProcessModifier([] { RestoreSignalsInChild(); });
  auto Failed = std::make_shared<std::function<void()>>(std::move(Fallback));
  QObject::connect(Opener, &QProcess::errorOccurred, Opener, [Opener, Failed](QProcess::ProcessError Error) {
    if (Error != QProcess::FailedToStart) return;
    Opener->deleteLater();
    if (*Failed) (*Failed)();
  });
  QObject::connect(Opener, &QProcess::finished, Opener,
                   [Opener, Failed](int Code, QProcess::ExitStatus Status) {
                     Opener->deleteLater();
                     if (Status == QProcess::NormalExit && Code == 0) return;
                     if (*Failed) (*Failed)();
                   });
  Opener->start();
}

THelpWindow* ShowHelpWindow(const QString& File, QWidget* Owner) {
  QWidget* Parent = QApplication::activeModalWidget() != nullptr ? QApplication::activeModalWidget() : Owner;
  if (HelpWindow && HelpWindow->parentWidget() != Parent) delete HelpWindow.data();
  if (!HelpWindow) HelpWindow = new THelpWindow(Parent);
  HelpWindow->ShowDocument(File);
  return HelpWindow;
}

THelpWindow* OpenHelpWindow() { return HelpWindow; }
