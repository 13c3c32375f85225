#include "app/ui/ShortcutNames.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {

// Answers only the toolkit's name of the Ctrl key; everything else stays untranslated.
class TShortcutTranslator : public QTranslator {
 public:
  QString Ctrl = QStringLiteral("Ctrl");
  bool isEmpty() const override { return false; }
  QString translate(const char* Context, const char* Source, const char*, int) const override {
    if (qstrcmp(Context, "QShortcut") == 0 && qstrcmp(Source, "Ctrl") == 0) return Ctrl;
    return {};
  }
};

TShortcutTranslator* Translator = nullptr;

}  // namespace

void SetCtrlShortcutPrefix(const std::u16string& Prefix) {
  QString Name = QString::fromStdU16String(Prefix);
  if (Name.endsWith(u'+')) Name.chop(1);
  if (Name.isEmpty()) Name = QStringLiteral("Ctrl");
  if (Translator == nullptr) {
    Translator = new TShortcutTranslator;
    Translator->setParent(QCoreApplication::instance());
    Translator->Ctrl = Name;
    QCoreApplication::installTranslator(Translator);
    return;
  }
  if (Translator->Ctrl == Name) return;
  Translator->Ctrl = Name;
  // Installing again tells every widget that texts changed.
  QCoreApplication::removeTranslator(Translator);
  QCoreApplication::installTranslator(Translator);
}
