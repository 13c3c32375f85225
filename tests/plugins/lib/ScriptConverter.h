// The reader of the test converter libraries. The document itself says what each library does with it,
// one line per library tag ("xls: text Hello", "htm: fail Broken table"), and which libraries recognise
// it by content ("claim: htm mp3"). Commands:
//   text WORDS   the text "<tag>:WORDS"
//   warn WORDS   the text "<tag>:warned" with the warning WORDS
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

#include "plugins/frame/ConverterFrame.h"

// A definition whose readers and content test follow the lines for Tag; the library fills in the rest.
// Each library links its own copy of this reader, so the tag is the library's.
TConverterDefinition ScriptDefinition(const char* Tag);
