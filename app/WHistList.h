// The input histories of the pattern, path and mask boxes: lists of recent entries, the newest first,
// each entry once, at most kMaxHistoryItems added. Each history is a registry value of the program's key
// ("Pattern", "Paths", "Masks") holding the list as comma text (items joined by ",", quoted where
// needed) in UTF-16LE, without terminator.
//
// A box is seen as its item storage (TWideStrings) and its text. Main thread only.
#pragma once

#include <cstdint>
#include <string>

class TWideStrings;

// A history stops growing at this many entries: a new one then replaces the oldest.
constexpr int32_t kMaxHistoryItems = 32;
// The most bytes of a history value read.
constexpr uint32_t kMaxHistoryBytes = 0x8000;

// Makes Text the first entry: an entry equal to it (with case for CaseSensitive, else without) moves to
// the front; a new one goes in front, dropping the last entry when the list holds kMaxHistoryItems or
// more. An empty Text changes nothing.
void AddToHistory(TWideStrings& Items, const std::u16string& Text, bool CaseSensitive);
// Fills Items from the value (at most kMaxHistoryBytes of it, cut to whole UTF-16 units and at the first
// NUL); empty pieces are kept. A missing key or value clears Items.
void LoadHistory(const std::string& KeyPath, const std::string& ValueName, TWideStrings& Items);
// Stores Items as the value; false when the registry refused it.
bool SaveHistory(const std::string& KeyPath, const std::string& ValueName, const TWideStrings& Items);
// LoadHistory of the program's key into a box's items; when that gives nothing and the box has a text,
// the text becomes the only entry.
void LoadComboHistory(TWideStrings& Items, const std::u16string& Text, const std::string& ValueName);
// Adds the box's text to its items (the text stays as it was) and saves the items under the program's key.
bool SaveComboHistory(TWideStrings& Items, std::u16string& Text, const std::string& ValueName,
                      bool CaseSensitive);
