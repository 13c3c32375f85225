#include "app/ui/QtLang.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeView>
#include <QWidget>

namespace {

QString ToQ(const std::u16string& S) { return QString::fromStdU16String(S); }
std::u16string FromQ(const QString& S) { return S.toStdU16String(); }

// The tab widget whose page Object is, with the page's index; null for anything else.
QTabWidget* TabOfPage(QObject* Object, int& Index) {
  auto* Page = qobject_cast<QWidget*>(Object);
  auto* Stack = Page != nullptr ? qobject_cast<QStackedWidget*>(Page->parentWidget()) : nullptr;
  auto* Tabs = Stack != nullptr ? qobject_cast<QTabWidget*>(Stack->parentWidget()) : nullptr;
  Index = Tabs != nullptr ? Tabs->indexOf(Page) : -1;
  return Index >= 0 ? Tabs : nullptr;
}

// The named objects below Root that are Root's own: those inside a frame below Root belong to the frame.
std::vector<QObject*> NamedOwned(QObject* Root) {
  std::vector<QObject*> Found;
  for (QObject* Child : Root->findChildren<QObject*>()) {
    QString Name = Child->objectName();
    if (Name.isEmpty() || Name.startsWith(QLatin1String("qt_"))) continue;
    bool InFrame = false;
    for (QObject* Up = Child->parent(); Up != nullptr && Up != Root && !InFrame; Up = Up->parent())
      InFrame = Up->property(kLanguageFrame).toBool();
    if (!InFrame) Found.push_back(Child);
  }
  return Found;
}

// A label that shows a picture: its text is no caption (setting one would replace the picture).
bool IsPicture(QObject* Object) {
  auto* L = qobject_cast<QLabel*>(Object);
  return L != nullptr && !L->pixmap().isNull();
}

}  // namespace

TQtHeaderNode::TQtHeaderNode(QAbstractItemView* View, TPart Part, int Column)
    : View_(View), Part_(Part), Column_(Column) {}

TQtHeaderNode::~TQtHeaderNode() = default;

std::string TQtHeaderNode::Name() const {
  return Part_ == TPart::Header ? "Header" : Part_ == TPart::Columns ? "Columns" : std::string();
}

IComponentNode* TQtHeaderNode::ObjectProperty(const std::string& PropName) const {
  if (Part_ != TPart::Header || PropName != "Columns") return nullptr;
  if (!Columns_) Columns_ = std::make_unique<TQtHeaderNode>(View_, TPart::Columns);
  return Columns_.get();
}

int32_t TQtHeaderNode::CollectionCount() const {
  if (Part_ != TPart::Columns) return -1;
  return View_ && View_->model() ? View_->model()->columnCount() : 0;
}

IComponentNode* TQtHeaderNode::CollectionItem(int32_t Index) const {
  if (Index < 0 || Index >= CollectionCount()) return nullptr;
  while (static_cast<int32_t>(Items_.size()) <= Index)
    Items_.push_back(std::make_unique<TQtHeaderNode>(View_, TPart::Column, static_cast<int>(Items_.size())));
  return Items_[static_cast<size_t>(Index)].get();
}

TLangPropKind TQtHeaderNode::PropertyKind(const std::string& PropName) const {
  return Part_ == TPart::Column && PropName == "Text" ? TLangPropKind::String : TLangPropKind::None;
}

std::u16string TQtHeaderNode::GetStringProperty(const std::string& PropName) const {
  if (PropertyKind(PropName) != TLangPropKind::String || !View_ || !View_->model()) return {};
  return FromQ(View_->model()->headerData(Column_, Qt::Horizontal, Qt::DisplayRole).toString());
}

void TQtHeaderNode::SetStringProperty(const std::string& PropName, const std::u16string& Value) {
  if (PropertyKind(PropName) != TLangPropKind::String || !View_ || !View_->model()) return;
  View_->model()->setHeaderData(Column_, Qt::Horizontal, ToQ(Value), Qt::DisplayRole);
}

TQtLangNode::TQtLangNode(QObject* Object) : Object_(Object) {}

TQtLangNode::~TQtLangNode() = default;

int32_t TQtLangNode::OwnedCount() const {
  OwnedObjects_.clear();
  for (auto It = OwnedNodes_.begin(); It != OwnedNodes_.end();)
    It = It->second->Name().empty() ? OwnedNodes_.erase(It) : std::next(It);
  if (Object_ && Object_->property(kLanguageFrame).toBool()) OwnedObjects_ = NamedOwned(Object_);
  return static_cast<int32_t>(OwnedObjects_.size());
}

IComponentNode* TQtLangNode::Owned(int32_t Index) const {
  if (Index < 0 || Index >= static_cast<int32_t>(OwnedObjects_.size())) return nullptr;
  QObject* Child = OwnedObjects_[static_cast<size_t>(Index)];
  auto& Node = OwnedNodes_[Child];
  if (!Node) Node = std::make_unique<TQtLangNode>(Child);
  return Node.get();
}

IComponentNode* TQtLangNode::ObjectProperty(const std::string& PropName) const {
  // Only a list that shows its header has column captions.
  auto* View = qobject_cast<QTreeView*>(Object_);
  if (View == nullptr || View->isHeaderHidden() || PropName != "Header") return nullptr;
  if (!Header_) Header_ = std::make_unique<TQtHeaderNode>(View, TQtHeaderNode::TPart::Header);
  return Header_.get();
}

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
  if (PropName != "Caption" || IsPicture(Object_)) return TLangPropKind::None;
  int Page = -1;
  if (TabOfPage(Object_, Page) != nullptr) return TLangPropKind::String;
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
  int Page = -1;
  if (QTabWidget* Tabs = TabOfPage(Object_, Page)) return FromQ(Tabs->tabText(Page));
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
  int Page = -1;
  if (QTabWidget* Tabs = TabOfPage(Object_, Page))
    Tabs->setTabText(Page, V);
  else if (IsPicture(Object_))
    return;
  else if (auto* B = qobject_cast<QAbstractButton*>(Object_))
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
  Children_ = NamedOwned(Window_);
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
