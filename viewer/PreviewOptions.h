// The rules of the preview options dialog that need no window: reading the numbers typed into its edits
// back into the view settings. A number is clamped into its range and stored when it differs; a text that
// is no number leaves the setting as it was (the edit then shows the stored value again).
#pragma once

#include <cstdint>
#include <string>

#include "viewer/ViewSettings.h"

constexpr int32_t kMinPreviewTabSize = 1;
constexpr int32_t kMaxPreviewTabSize = 16;
constexpr int32_t kMinPreviewGutter = 0;
constexpr int32_t kMaxPreviewGutter = 64;
// Page modes "Full Screen - 1", "Full Screen", "1/2 Screen".
constexpr int32_t kPreviewPageModes = 3;

// Text as a decimal integer (blanks around it allowed, an optional sign); false when it is none.
bool ParseIntText(const std::u16string& Text, int32_t& Value);
// Stores the number of Text, clamped to Lo..Hi, in Value; true when Value changed.
bool CommitNumberText(const std::u16string& Text, int32_t Lo, int32_t Hi, uint8_t& Value);

// The edits and the page list of the dialog into Options; true when anything changed. A page index
// outside the list leaves the page mode.
bool CommitPreviewEdits(TViewOptions& Options, const std::u16string& TabText,
                        const std::u16string& GutterText, int32_t PageIndex);
