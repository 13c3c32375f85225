// The "powerpoint" back-end: the office's presentation program saves a presentation as PDF, whose text the
// PDF back-end writes to the target.
#pragma once

#include <string>

bool ConvertPowerPointPresentation(const std::string& Source, const std::string& Target, bool Unicode);
