// The "msconv" back-end: word-processor text-import converters turn a document into RTF, which the
// rich-text reader turns into text. This system has no such converters installed, so every request that
// names an existing file fails with "No appropriate converters found for "<file>"".
#pragma once

#include <string>

bool ConvertWithTextConverters(const std::string& Source, const std::string& Target);
