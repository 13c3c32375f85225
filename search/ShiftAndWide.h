// Matches a UTF-16 pattern in UTF-16 text with at most MaxErrors errors; characters are UTF-16 code
// units. The engine and its contract are those of the 8-bit searcher (ShiftAnd.h).
#pragma once

#include "search/ShiftAnd.h"

class TWideShiftAndSearcher final : public TBasicShiftAndSearcher<char16_t> {};
