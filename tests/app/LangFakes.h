// Windows in memory for the language tests: components with text and list properties, windows that own
// them, and the screen that lists the windows.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/MLAux.h"

class TFakeComponent : public ILangForm {
 public:
  explicit TFakeComponent(std::string Name, std::string Class = {})
      : OwnName(std::move(Name)), OwnClass(std::move(Class)) {}

  std::string Name() const override { return OwnName; }
  int32_t OwnedCount() const override { return static_cast<int32_t>(Children.size()); }
  IComponentNode* Owned(int32_t Index) const override { return Children[static_cast<size_t>(Index)]; }
  IComponentNode* ObjectProperty(const std::string&) const override { return nullptr; }
  std::string ClassName() const override { return OwnClass; }

  TLangPropKind PropertyKind(const std::string& PropName) const override {
    if (Texts.count(PropName)) return TLangPropKind::String;
    if (Lists.count(PropName)) return TLangPropKind::Strings;
    return TLangPropKind::None;
  }
  std::u16string GetStringProperty(const std::string& PropName) const override { return Texts.at(PropName); }
  void SetStringProperty(const std::string& PropName, const std::u16string& Value) override {
    Texts[PropName] = Value;
    ++Writes;
  }
  std::vector<std::u16string> GetStringsProperty(const std::string& PropName) const override {
    return Lists.at(PropName);
  }
  void SetStringsProperty(const std::string& PropName, const std::vector<std::u16string>& Items) override {
    Lists[PropName] = Items;
    Index = -1;  // a list control loses its selection when its items are replaced
    ++Writes;
  }
  int32_t ItemIndex() const override { return Index; }
  void SetItemIndex(int32_t I) override { Index = I; }

  std::string OwnName, OwnClass;
  std::vector<IComponentNode*> Children;
  std::map<std::string, std::u16string> Texts;
  std::map<std::string, std::vector<std::u16string>> Lists;
  int32_t Index = -1;
  int32_t Writes = 0;
};

class TFakeScreen : public ILangScreen {
 public:
  int32_t FormCount() const override { return static_cast<int32_t>(Forms.size()); }
  ILangForm* Form(int32_t Index) const override { return Forms[static_cast<size_t>(Index)]; }
  int32_t DataModuleCount() const override { return static_cast<int32_t>(Modules.size()); }
  ILangForm* DataModule(int32_t Index) const override { return Modules[static_cast<size_t>(Index)]; }

  std::vector<ILangForm*> Forms;
  std::vector<ILangForm*> Modules;
};
