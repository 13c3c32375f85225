// The reader of the test converter libraries. The document itself says what each library does with it,
// one line per library tag ("xls: text Hello", "htm: fail Broken table"), and which libraries recognise
// it by content ("claim: htm mp3"). Commands:
//   text WORDS   the text "<tag>:WORDS"
//   name         the text "<tag>:" followed by the file name the library was given
//   fail WORDS   raises an exception with the message WORDS
//   throwint     throws an int (not an exception class)
//   nomem        throws std::bad_alloc
//   cancel       polls for cancel 1000 times, then the text "<tag>:not cancelled"
//   progress     reports 1, 2 and 3 of 3, then the text "<tag>:done"
//   zeros        the text "<tag>:z" followed by zero characters
//   longerror    raises an exception whose message is 700 two-byte UTF-8 characters
// A line "claimfail: TAGS" makes the content test of those libraries raise.
#pragma once

#include <cstddef>
#include <string>

#include "plugins/frame/ConvCmmn.h"

bool ScriptContentTest(const char* Tag, const std::string& FileName);
bool ScriptConvertFile(const char* Tag, const std::string& FileName, bool Unicode, IConvProgress* Progress,
                       std::string& Text);
bool ScriptConvertMemory(const char* Tag, const void* Data, std::size_t Size, bool Unicode,
                         IConvProgress* Progress, std::string& Text);
