#include "app/ui/LogWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "core/FileLayer.h"

TLog::TLog(QWidget* Parent) : QDialog(Parent, Qt::Tool), Edit_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("Log"));
  setWindowTitle(QStringLiteral("Log"));
  resize(520, 260);
  Edit_->setObjectName(QStringLiteral("Memo"));
  Edit_->setReadOnly(true);
  Edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(Edit_);

  auto* Menu = new QMenu(this);
  Menu->setObjectName(QStringLiteral("PopupMenu"));
  auto* Close = Menu->addAction(QStringLiteral("Close"), this, &QWidget::hide);
  Close->setObjectName(QStringLiteral("mClose"));
  Close->setShortcut(Qt::Key_Escape);
  auto* Copy = Menu->addAction(QStringLiteral("&Copy to clipboard"), this, [this] {
    QApplication::clipboard()->setText(QString::fromStdU16String(Log_.Text()));
  });
  Copy->setObjectName(QStringLiteral("mCopy"));
  auto* ClearItem = Menu->addAction(QStringLiteral("Clea&r"), this, &TLog::Clear);
  ClearItem->setObjectName(QStringLiteral("mClear"));
  ClearItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
  StayOnTop_ = Menu->addAction(QStringLiteral("&Stay on Top"));
  StayOnTop_->setObjectName(QStringLiteral("mStayOnTop"));
  StayOnTop_->setCheckable(true);
  connect(StayOnTop_, &QAction::toggled, this, [this](bool On) {
    bool WasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, On);
    if (WasVisible) show();
  });
  addActions(Menu->actions());
  Edit_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Edit_, &QWidget::customContextMenuRequested, this,
          [this, Menu](const QPoint& At) { Menu->exec(Edit_->mapToGlobal(At)); });
}

void TLog::AddLine(const std::string& Text, bool Show) {
  QString Line = QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
  Line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QTextCursor Caret = Edit_->textCursor();
  QTextDocument* Doc = Edit_->document();
  // A reader whose caret is before the end keeps reading where they are.
  bool CaretBeforeEnd = Caret.position() < Doc->characterCount() - 1;
  int Scroll = Edit_->verticalScrollBar()->value();
  int Dropped = Log_.AddLine(Line.toStdU16String());
  if (Dropped > 0) {
    // Rebuild from the kept lines: the oldest entries went.
    Edit_->setPlainText(QString::fromStdU16String(Log_.Text()));
  } else {
    Edit_->appendPlainText(Line);
  }
  if (Show && !isVisible()) {
    CaretBeforeEnd = false;
    show();
  }
  if (CaretBeforeEnd && Dropped == 0) {
    Caret.clearSelection();
    Edit_->setTextCursor(Caret);
    Edit_->verticalScrollBar()->setValue(Scroll);
  } else {
    Edit_->moveCursor(QTextCursor::End);
  }
}

void TLog::Clear() {
  Log_.Clear();
  Edit_->clear();
}
