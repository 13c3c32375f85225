#include "app/ui/QtLang.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace {

QString ToQ(const std::u16string& S) { return QString::fromStdU16String(S); }
std::u16string FromQ(const QString& S) { return S.toStdU16String(); }

}  // namespace

std::string TQtLangNode::Name() const { return Object ? Object->objectName().toStdString() : std::string(); }

TLangPropKind TQtLangNode::PropertyKind(const std::string& PropName) const {
  if (!Object) return TLangPropKind::None;
  if (PropName == "Items")
    return qobject_cast<QComboBox*>(Object) ? TLangPropKind::Strings : TLangPropKind::None;
  if (PropName == "Hint")
    return qobject_cast<QWidget*>(Object) || qobject_cast<QAction*>(Object) ? TLangPropKind::String
                                                                            : TLangPropKind::None;
  if (PropName != "Caption") return TLangPropKind::None;
  auto* Widget = qobject_cast<QWidget*>(Object);
  bool HasCaption = qobject_cast<QAbstractButton*>(Object) || qobject_cast<QLabel*>(Object) ||
                    qobject_cast<QGroupBox*>(Object) || qobject_cast<QAction*>(Object) ||
                    qobject_cast<QMenu*>(Object) || (Widget && Widget->isWindow());
  return HasCaption ? TLangPropKind::String : TLangPropKind::None;
}

std::u16string TQtLangNode::GetStringProperty(const std::string& PropName) const {
  if (!Object) return {};
  if (PropName == "Hint") {
    if (auto* A = qobject_cast<QAction*>(Object)) return FromQ(A->toolTip());
    return FromQ(static_cast<QWidget*>(Object.data())->toolTip());
  }
  if (auto* B = qobject_cast<QAbstractButton*>(Object)) return FromQ(B->text());
  if (auto* L = qobject_cast<QLabel*>(Object)) return FromQ(L->text());
  if (auto* G = qobject_cast<QGroupBox*>(Object)) return FromQ(G->title());
  if (auto* A = qobject_cast<QAction*>(Object)) return FromQ(A->text());
  if (auto* M = qobject_cast<QMenu*>(Object)) return FromQ(M->title());
  if (auto* W = qobject_cast<QWidget*>(Object)) return FromQ(W->windowTitle());
  return {};
}

void TQtLangNode::SetStringProperty(const std::string& PropName, const std::u16string& Value) {
  if (!Object) return;
  QString V = ToQ(Value);
  if (PropName == "Hint") {
    if (auto* A = qobject_cast<QAction*>(Object))
      A->setToolTip(V);
    else if (auto* W = qobject_cast<QWidget*>(Object))
      W->setToolTip(V);
    return;
  }
  if (auto* B = qobject_cast<QAbstractButton*>(Object))
    B->setText(V);
  else if (auto* L = qobject_cast<QLabel*>(Object))
    L->setText(V);
  else if (auto* G = qobject_cast<QGroupBox*>(Object))
    G->setTitle(V);
  else if (auto* A = qobject_cast<QAction*>(Object))
    A->setText(V);
  else if (auto* M = qobject_cast<QMenu*>(Object))
    M->setTitle(V);
  else if (auto* W = qobject_cast<QWidget*>(Object))
    W->setWindowTitle(V);
}

std::vector<std::u16string> TQtLangNode::GetStringsProperty(const std::string&) const {
  std::vector<std::u16string> Items;
  if (auto* C = qobject_cast<QComboBox*>(Object))
    for (int I = 0; I < C->count(); ++I) Items.push_back(FromQ(C->itemText(I)));
  return Items;
}

void TQtLangNode::SetStringsProperty(const std::string&, const std::vector<std::u16string>& Items) {
  auto* C = qobject_cast<QComboBox*>(Object);
  if (!C) return;
  C->clear();
  for (const auto& Item : Items) C->addItem(ToQ(Item));
}

int32_t TQtLangNode::ItemIndex() const {
  auto* C = qobject_cast<QComboBox*>(Object);
  return C ? C->currentIndex() : -1;
}

void TQtLangNode::SetItemIndex(int32_t Index) {
  if (auto* C = qobject_cast<QComboBox*>(Object)) C->setCurrentIndex(Index);
}

TQtLangForm::TQtLangForm(QObject* Window, std::string ClassName)
    : Window(Window), Class(std::move(ClassName)), Self(Window) {}

std::string TQtLangForm::Name() const { return Class.size() > 1 ? Class.substr(1) : Class; }

void TQtLangForm::Refresh() const {
  Children.clear();
  for (auto It = Nodes.begin(); It != Nodes.end();)
    It = It->second->Name().empty() ? Nodes.erase(It) : std::next(It);
  if (!Window) return;
  for (QObject* Child : Window->findChildren<QObject*>()) {
    QString Name = Child->objectName();
    if (Name.isEmpty() || Name.startsWith(QLatin1String("qt_"))) continue;
    Children.push_back(Child);
  }
}

int32_t TQtLangForm::OwnedCount() const {
  Refresh();
  return static_cast<int32_t>(Children.size());
}

IComponentNode* TQtLangForm::Owned(int32_t Index) const {
  if (Index < 0 || Index >= static_cast<int32_t>(Children.size())) return nullptr;
  QObject* Child = Children[static_cast<size_t>(Index)];
  auto& Node = Nodes[Child];
  if (!Node) Node = std::make_unique<TQtLangNode>(Child);
  return Node.get();
}
