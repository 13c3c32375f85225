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

std::string TQtLangNode::Name() const {
  return Object_ ? Object_->objectName().toStdString() : std::string();
}

TLangPropKind TQtLangNode::PropertyKind(const std::string& PropName) const {
  if (!Object_) return TLangPropKind::None;
  if (PropName == "Items")
    return qobject_cast<QComboBox*>(Object_) ? TLangPropKind::Strings : TLangPropKind::None;
  if (PropName == "Hint")
    return qobject_cast<QWidget*>(Object_) || qobject_cast<QAction*>(Object_) ? TLangPropKind::String
                                                                              : TLangPropKind::None;
  if (PropName != "Caption") return TLangPropKind::None;
  auto* Widget = qobject_cast<QWidget*>(Object_);
  bool HasCaption = qobject_cast<QAbstractButton*>(Object_) || qobject_cast<QLabel*>(Object_) ||
                    qobject_cast<QGroupBox*>(Object_) || qobject_cast<QAction*>(Object_) ||
                    qobject_cast<QMenu*>(Object_) || (Widget && Widget->isWindow());
  return HasCaption ? TLangPropKind::String : TLangPropKind::None;
}

std::u16string TQtLangNode::GetStringProperty(const std::string& PropName) const {
  if (!Object_) return {};
  if (PropName == "Hint") {
    if (auto* A = qobject_cast<QAction*>(Object_)) return FromQ(A->toolTip());
    return FromQ(static_cast<QWidget*>(Object_.data())->toolTip());
  }
  if (auto* B = qobject_cast<QAbstractButton*>(Object_)) return FromQ(B->text());
  if (auto* L = qobject_cast<QLabel*>(Object_)) return FromQ(L->text());
  if (auto* G = qobject_cast<QGroupBox*>(Object_)) return FromQ(G->title());
  if (auto* A = qobject_cast<QAction*>(Object_)) return FromQ(A->text());
  if (auto* M = qobject_cast<QMenu*>(Object_)) return FromQ(M->title());
  if (auto* W = qobject_cast<QWidget*>(Object_)) return FromQ(W->windowTitle());
  return {};
}

void TQtLangNode::SetStringProperty(const std::string& PropName, const std::u16string& Value) {
  if (!Object_) return;
  QString V = ToQ(Value);
  if (PropName == "Hint") {
    if (auto* A = qobject_cast<QAction*>(Object_))
      A->setToolTip(V);
    else if (auto* W = qobject_cast<QWidget*>(Object_))
      W->setToolTip(V);
    return;
  }
  if (auto* B = qobject_cast<QAbstractButton*>(Object_))
    B->setText(V);
  else if (auto* L = qobject_cast<QLabel*>(Object_))
    L->setText(V);
  else if (auto* G = qobject_cast<QGroupBox*>(Object_))
    G->setTitle(V);
  else if (auto* A = qobject_cast<QAction*>(Object_))
    A->setText(V);
  else if (auto* M = qobject_cast<QMenu*>(Object_))
    M->setTitle(V);
  else if (auto* W = qobject_cast<QWidget*>(Object_))
    W->setWindowTitle(V);
}

std::vector<std::u16string> TQtLangNode::GetStringsProperty(const std::string&) const {
  std::vector<std::u16string> Items;
  if (auto* C = qobject_cast<QComboBox*>(Object_))
    for (int I = 0; I < C->count(); ++I) Items.push_back(FromQ(C->itemText(I)));
  return Items;
}

void TQtLangNode::SetStringsProperty(const std::string&, const std::vector<std::u16string>& Items) {
  auto* C = qobject_cast<QComboBox*>(Object_);
  if (!C) return;
  C->clear();
  for (const auto& Item : Items) C->addItem(ToQ(Item));
}

int32_t TQtLangNode::ItemIndex() const {
  auto* C = qobject_cast<QComboBox*>(Object_);
  return C ? C->currentIndex() : -1;
}

void TQtLangNode::SetItemIndex(int32_t Index) {
  if (auto* C = qobject_cast<QComboBox*>(Object_)) C->setCurrentIndex(Index);
}

TQtLangForm::TQtLangForm(QObject* Window, std::string ClassName)
    : Window_(Window), Class_(std::move(ClassName)), Self_(Window) {}

std::string TQtLangForm::Name() const { return Class_.size() > 1 ? Class_.substr(1) : Class_; }

void TQtLangForm::Refresh() const {
  Children_.clear();
  for (auto It = Nodes_.begin(); It != Nodes_.end();)
    It = It->second->Name().empty() ? Nodes_.erase(It) : std::next(It);
  if (!Window_) return;
  for (QObject* Child : Window_->findChildren<QObject*>()) {
    QString Name = Child->objectName();
    if (Name.isEmpty() || Name.startsWith(QLatin1String("qt_"))) continue;
    Children_.push_back(Child);
  }
}

int32_t TQtLangForm::OwnedCount() const {
  Refresh();
  return static_cast<int32_t>(Children_.size());
}

IComponentNode* TQtLangForm::Owned(int32_t Index) const {
  if (Index < 0 || Index >= static_cast<int32_t>(Children_.size())) return nullptr;
  QObject* Child = Children_[static_cast<size_t>(Index)];
  auto& Node = Nodes_[Child];
  if (!Node) Node = std::make_unique<TQtLangNode>(Child);
  return Node.get();
}
