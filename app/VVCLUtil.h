// The window and form routines that decide something: the validation of typed mask and path lists with
// the user's consent, the rule of the size boxes, window placement on the screen, the splitter clamp and
// the items of the logic box. The window layer applies the results to its widgets.
// Main thread only (the validations may show a question).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Options.h"

// The smallest window that FitRectToScreen leaves, and how far it may be larger than the screen.
constexpr int32_t kMinFitWidth = 112;
constexpr int32_t kMinFitHeight = 56;
constexpr int32_t kFitOversize = 14;

// Value above Limit becomes Limit; else a negative Value becomes 0.
void ClampToRange(int32_t& Value, int32_t Limit);
// Keeps a Width x Height window with its left-top corner at (Left, Top) on a screen of that size.
void ClampToScreen(int32_t& Left, int32_t& Top, int32_t Width, int32_t Height, int32_t ScreenWidth,
                   int32_t ScreenHeight);
// Width clamped to 112 .. screen width + 14, height to 56 .. screen height + 14, then the corner kept on
// the screen.
void FitRectToScreen(TRect32& Rect, int32_t ScreenWidth, int32_t ScreenHeight);
// Value clamped to Minimum .. Total - Reserve; Minimum wins when the two cross.
int32_t ClampSplitter(int32_t Total, int32_t Minimum, int32_t Reserve, int32_t Value);

// The items of the logic box: "Any word (OR)", "All words (AND)" and, when AllowPhrase (exact mode),
// "Entire phrase". Index becomes 0 unless it is still a valid item.
std::vector<std::u16string> LogicComboItems(bool AllowPhrase, int32_t& Index);

// A mask list typed by the user: an item with a forbidden character is invalid. At the first invalid
// item the user is asked (AskDelInvMasks_s); No answers false with Text unchanged, Yes drops that and
// every later invalid item. The rest is normalised and joined into Text.
bool ValidateMaskList(std::u16string& Text);
// As ValidateMaskList for paths: an item that is not an absolute path is invalid (AskDelInvPaths_s); the
// rest is joined unchanged.
bool ValidatePathList(std::u16string& Text);

// The target a link text opens: a text with "@" gets the mail scheme, one starting with "www." the web
// scheme, a path (holding "/") stays as it is, any other text names a file in ProgramDir.
std::u16string LinkTarget(const std::u16string& Text, const std::u16string& ProgramDir);
// The first of Names that Installed answers true for; empty when none.
std::string FirstAvailableFont(const std::vector<std::string>& Names,
                               const std::function<bool(const std::string&)>& Installed);
// The file's version and product-version texts from its version record; false without one.
bool GetFileVersionText(const std::u16string& FileName, std::string& Version, std::string& Build);

// A size box's text after editing: the trimmed decimal number as plain digits, or empty when the text is
// not a number or is negative.
std::u16string NormalizeSizeEditText(const std::u16string& Text);
