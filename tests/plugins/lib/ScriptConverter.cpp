#include "tests/plugins/lib/ScriptConverter.h"

#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

#include "core/Exception.h"

namespace {

std::string ReadWholeFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  if (!In) throw Exception("Cannot open file " + FileName);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// The value of the line "Key: value", or nothing.
bool FindLine(const std::string& Script, const std::string& Key, std::string& Value) {
  std::istringstream Lines(Script);
  std::string Line;
  while (std::getline(Lines, Line)) {
    if (Line.compare(0, Key.size() + 1, Key + ":") != 0) continue;
    Value = Line.substr(Key.size() + 1);
    while (!Value.empty() && Value.front() == ' ') Value.erase(0, 1);
    return true;
  }
  return false;
}

bool HasWord(const std::string& Words, const std::string& Word) {
  std::istringstream In(Words);
  std::string W;
  while (In >> W) {
    if (W == Word) return true;
  }
  return false;
}

// Widens 8-bit text to UTF-16LE bytes when Unicode.
std::string Output(const std::string& Text, bool Unicode) {
  if (!Unicode) return Text;
  std::string Wide;
  for (char C : Text) {
    Wide += C;
    Wide += '\0';
  }
  return Wide;
}

bool Run(const char* Tag, const std::string& Script, const std::string& FileName, bool Unicode,
         IConvProgress* Progress, std::string& Text) {
  const std::string TagName = Tag;
  std::string Line;
  if (!FindLine(Script, TagName, Line)) throw Exception(TagName + ": nothing to do");
  std::string Command = Line.substr(0, Line.find(' '));
  std::string Words = Line.size() > Command.size() ? Line.substr(Command.size() + 1) : "";
  std::string Result;
  if (Command == "text") {
    Result = TagName + ":" + Words;
  } else if (Command == "warn") {
    Result = TagName + ":warned";
    SetWarningText(Words);
  } else if (Command == "name") {
    Result = TagName + ":" + FileName;
  } else if (Command == "fail") {
    throw Exception(Words);
  } else if (Command == "throwint") {
    throw 42;
  } else if (Command == "nomem") {
    throw std::bad_alloc();
  } else if (Command == "cancel") {
    for (int I = 0; Progress != nullptr && I < 1000; ++I) {
      if (!Progress->Check()) return false;
    }
    Result = TagName + ":not cancelled";
  } else if (Command == "progress") {
    for (int32_t I = 1; I <= 3; ++I) {
      if (Progress != nullptr && !Progress->Progress(I, 3)) return false;
    }
    Result = TagName + ":done";
  } else if (Command == "zeros") {
    Result = TagName + ":z" + std::string(3, '\0');
  } else if (Command == "longerror") {
    std::string Message;
    for (int I = 0; I < 700; ++I) Message += "\xC3\xA9";  // U+00E9
    throw Exception(Message);
  } else {
    throw Exception(TagName + ": unknown command " + Command);
  }
  Text = Output(Result, Unicode);
  return true;
}

const char* g_tag = "";

bool ContentTest(const std::string& FileName) {
  std::string Script = ReadWholeFile(FileName);
  std::string Tags;
  if (FindLine(Script, "claimfail", Tags) && HasWord(Tags, g_tag)) {
    throw Exception(std::string(g_tag) + ": content test failed");
  }
  return FindLine(Script, "claim", Tags) && HasWord(Tags, g_tag);
}

bool ConvertFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return Run(g_tag, ReadWholeFile(FileName), FileName, Unicode, Progress, Text);
}

bool ConvertMemory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress,
                   std::string& Text) {
  return Run(g_tag, std::string(static_cast<const char*>(Data), Size), "memory", Unicode, Progress, Text);
}

}  // namespace

TConverterDefinition ScriptDefinition(const char* Tag) {
  g_tag = Tag;
  TConverterDefinition Definition;
  Definition.ConvertFile = ConvertFile;
  Definition.ConvertMemory = ConvertMemory;
  Definition.IsFileSupported = ContentTest;
  return Definition;
}
