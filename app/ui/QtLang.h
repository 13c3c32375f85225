// The language layer's view of Qt windows: a window and the named objects inside it (widgets, actions,
// menus) as ILangForm and ILangComponent nodes, so that language files can set and capture their texts.
// The property names are those of the language files: "Caption" (a window's title, a button's, label's,
// action's text, a group box's or menu's title, a tab page's tab), "Hint" (the tool tip) and "Items" (a
// combo box's items); a label showing a picture has no caption. A list's column captions are
// "List.Header.Columns[N].Text". A component's name is its objectName; the window owns every named object
// below it, but for the controls of a frame (a widget with the property kLanguageFrame set): they are
// the frame's own, addressed as "Frame.Control".
//
// Main thread only; a form node lives as long as its window.
#pragma once

#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "app/MLAux.h"

class QAbstractItemView;

// The dynamic property that makes a widget a frame for the language files.
inline constexpr char kLanguageFrame[] = "languageFrame";

// A list's header, its column collection and one column, as the language files address them.
class TQtHeaderNode : public ILangComponent {
 public:
  enum class TPart { Header, Columns, Column };
  TQtHeaderNode(QAbstractItemView* View, TPart Part, int Column = -1);
  ~TQtHeaderNode() override;
  std::string Name() const override;
  int32_t OwnedCount() const override { return 0; }
  IComponentNode* Owned(int32_t) const override { return nullptr; }
  IComponentNode* ObjectProperty(const std::string& PropName) const override;
  int32_t CollectionCount() const override;
  IComponentNode* CollectionItem(int32_t Index) const override;
  TLangPropKind PropertyKind(const std::string& PropName) const override;
  std::u16string GetStringProperty(const std::string& PropName) const override;
  void SetStringProperty(const std::string& PropName, const std::u16string& Value) override;
  std::vector<std::u16string> GetStringsProperty(const std::string&) const override { return {}; }
  void SetStringsProperty(const std::string&, const std::vector<std::u16string>&) override {}

 private:
  QPointer<QAbstractItemView> View_;
  TPart Part_;
  int Column_;
  mutable std::unique_ptr<TQtHeaderNode> Columns_;
  mutable std::vector<std::unique_ptr<TQtHeaderNode>> Items_;
};

class TQtLangNode : public ILangComponent {
 public:
  explicit TQtLangNode(QObject* Object);
  ~TQtLangNode() override;
  std::string Name() const override;
  // A frame's named controls.
  int32_t OwnedCount() const override;
  IComponentNode* Owned(int32_t Index) const override;
  // A list's "Header".
  IComponentNode* ObjectProperty(const std::string& PropName) const override;
  TLangPropKind PropertyKind(const std::string& PropName) const override;
  std::u16string GetStringProperty(const std::string& PropName) const override;
  void SetStringProperty(const std::string& PropName, const std::u16string& Value) override;
  std::vector<std::u16string> GetStringsProperty(const std::string& PropName) const override;
  void SetStringsProperty(const std::string& PropName, const std::vector<std::u16string>& Items) override;
  int32_t ItemIndex() const override;
  void SetItemIndex(int32_t Index) override;

 protected:
  QPointer<QObject> Object_;
  mutable std::unique_ptr<TQtHeaderNode> Header_;
  mutable std::vector<QObject*> OwnedObjects_;
  mutable std::map<QObject*, std::unique_ptr<TQtLangNode>> OwnedNodes_;
};

class TQtLangForm : public ILangForm {
 public:
  // ClassName: "T" + the form name the language files use ("TMain" for section [Main]).
  TQtLangForm(QObject* Window, std::string ClassName);
  std::string Name() const override;
  int32_t OwnedCount() const override;
  IComponentNode* Owned(int32_t Index) const override;
  IComponentNode* ObjectProperty(const std::string&) const override { return nullptr; }
  std::string ClassName() const override { return Class_; }
  TLangPropKind PropertyKind(const std::string& PropName) const override {
    return Self_.PropertyKind(PropName);
  }
  std::u16string GetStringProperty(const std::string& PropName) const override {
    return Self_.GetStringProperty(PropName);
  }
  void SetStringProperty(const std::string& PropName, const std::u16string& Value) override {
    Self_.SetStringProperty(PropName, Value);
  }
  std::vector<std::u16string> GetStringsProperty(const std::string& PropName) const override {
    return Self_.GetStringsProperty(PropName);
  }
  void SetStringsProperty(const std::string& PropName, const std::vector<std::u16string>& Items) override {
    Self_.SetStringsProperty(PropName, Items);
  }

 private:
  // The named objects below the window, refreshed at every count.
  void Refresh() const;
  QPointer<QObject> Window_;
  std::string Class_;
  TQtLangNode Self_;
  mutable std::vector<QObject*> Children_;
  mutable std::map<QObject*, std::unique_ptr<TQtLangNode>> Nodes_;
};

// The program's open windows for the language layer.
class TQtLangScreen : public ILangScreen {
 public:
  int32_t FormCount() const override { return static_cast<int32_t>(Forms.size()); }
  ILangForm* Form(int32_t Index) const override { return Forms[static_cast<size_t>(Index)]; }
  std::vector<ILangForm*> Forms;
};
