#include "core/ComponentPath.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A component tree in memory: owned components, object properties and collection items.
class TFakeComponent : public IComponentNode {
 public:
  explicit TFakeComponent(std::string Name) : OwnName(std::move(Name)) {}
  std::string Name() const override { return OwnName; }
  int32_t OwnedCount() const override { return static_cast<int32_t>(Children.size()); }
  IComponentNode* Owned(int32_t Index) const override { return Children[static_cast<size_t>(Index)]; }
  IComponentNode* ObjectProperty(const std::string& PropName) const override {
    const auto It = Properties.find(PropName);
    return It == Properties.end() ? nullptr : It->second;
  }
  int32_t CollectionCount() const override { return IsCollection ? static_cast<int32_t>(Items.size()) : -1; }
  IComponentNode* CollectionItem(int32_t Index) const override { return Items[static_cast<size_t>(Index)]; }

  std::string OwnName;
  std::vector<IComponentNode*> Children;
  std::map<std::string, IComponentNode*> Properties;
  bool IsCollection = false;
  std::vector<IComponentNode*> Items;
};

TEST(ComponentPath, ResolvesOwnedComponentsPropertiesAndCollectionItems) {
  TFakeComponent Form("MainForm"), Panel("Panel1"), Button("Button1"), Grid("Grid"), Font("TFont"),
      Columns("Columns"), Col0("Col0"), Col1("Col1"), Inner("Inner"), Deep("Deep");
  Form.Children = {&Panel, &Grid};
  Panel.Children = {&Button};
  Form.Properties["Font"] = &Font;
  Grid.Properties["Columns"] = &Columns;
  Columns.IsCollection = true;
  Columns.Items = {&Col0, &Col1};
  Font.Children = {&Inner};
  Inner.Children = {&Deep};

  struct TCase {
    const char* Path;
    IComponentNode* Found;
  } Cases[] = {
      {"Panel1", &Panel},
      {"panel1.BUTTON1", &Button},
      {"Panel1.Button1", &Button},
      {"Panel1.Buton1", nullptr},
      {"Pannel1.Button1", nullptr},
      {"Button1", nullptr},        // owned by the panel, not by the form
      {"Font.Inner", nullptr},     // one dot: the first name must be owned
      {"Font.Inner.Deep", &Deep},  // two dots: a property may lead the way
      {"Grid.Columns[1]", &Col1},
      {"grid.Columns[0]", &Col0},
      {"Grid.Columns[2]", nullptr},  // beyond the count
      {"Grid.Columns[-1]", nullptr},
      {"Grid.Columns[]", nullptr},
      {"Grid.Columns[99999999999]", nullptr},
      {"Grid.Columns[1", nullptr},
      {"Grid.Font[0]", nullptr},       // no such property
      {"Panel1.Button1[0]", nullptr},  // not a collection property
      {"Columns[0]", nullptr},         // no component part
      {"MainForm.Grid.Columns[1]", nullptr},
      {"", nullptr},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(FindComponentByPath(&Form, C.Path), C.Found) << C.Path;
  }
  EXPECT_EQ(FindComponentByPath(nullptr, "Panel1"), nullptr);
}

}  // namespace
