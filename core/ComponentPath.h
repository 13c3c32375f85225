// Finding a window's component by a dotted path of names ("Panel1.Button1", "Grid.Columns[2]"), the way
// the interface-language files address the texts they translate. The walk knows components only through
// IComponentNode, which the window layer implements over its widgets; the rules of the walk live here so
// that they hold for every window and can be tested without a display.
#pragma once

#include <cstdint>
#include <string>

// One component, as the path walk sees it. Nodes belong to the window layer and stay valid for the walk.
class IComponentNode {
 public:
  virtual ~IComponentNode() = default;
  // The component's name.
  virtual std::string Name() const = 0;
  // The components this one owns, in order.
  virtual int32_t OwnedCount() const = 0;
  virtual IComponentNode* Owned(int32_t Index) const = 0;
  // The object held by the published property PropName when the property is of an object type and holds
  // one; null otherwise.
  virtual IComponentNode* ObjectProperty(const std::string& PropName) const = 0;
  // For a collection: its item count (-1 for anything else) and item Index.
  virtual int32_t CollectionCount() const { return -1; }
  virtual IComponentNode* CollectionItem(int32_t) const { return nullptr; }
};

// Resolves Path below Root; null when any step fails. Names of owned components are compared without
// ASCII case.
//   - two or more ".": the first name is an owned component, else an object property, and the rest of the
//     path is resolved below it;
//   - "Comp.Prop[N]": Comp owned or an object property, Prop an object property holding a collection, N a
//     decimal below its count: item N;
//   - "Comp.Name": Name resolved below the owned component Comp; a bare name: the owned component.
IComponentNode* FindComponentByPath(IComponentNode* Root, const std::string& Path);
