#include "tests/plugins/lib/ScriptConverter.h"

#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

#include "core/Exception.h"

namespace {

std::string ReadWholeFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw Exception("Cannot open file " + FileName);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The value of the line "Key: value", or nothing.
bool FindLine(const std::string& Script, const std::string& Key, std::string& Value) {
  std::istringstream lines(Script);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, Key.size() + 1, Key + ":") != 0) continue;
    Value = line.substr(Key.size() + 1);
    while (!Value.empty() && Value.front() == ' ') Value.erase(0, 1);
    return true;
  }
  return false;
}

bool HasWord(const std::string& Words, const std::string& Word) {
  std::istringstream in(Words);
  std::string w;
  while (in >> w) {
    if (w == Word) return true;
  }
  return false;
}

// Widens 8-bit text to UTF-16LE bytes when Unicode.
std::string Output(const std::string& Text, bool Unicode) {
  if (!Unicode) return Text;
  std::string wide;
  for (char c : Text) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

bool Run(const char* Tag, const std::string& Script, const std::string& FileName, bool Unicode,
         IConvProgress* Progress, std::string& Text) {
  const std::string tag = Tag;
  std::string line;
  if (!FindLine(Script, tag, line)) throw Exception(tag + ": nothing to do");
  std::string command = line.substr(0, line.find(' '));
  std::string words = line.size() > command.size() ? line.substr(command.size() + 1) : "";
  std::string text;
  if (command == "text") {
    text = tag + ":" + words;
  } else if (command == "name") {
    text = tag + ":" + FileName;
  } else if (command == "fail") {
    throw Exception(words);
  } else if (command == "throwint") {
    throw 42;
  } else if (command == "nomem") {
    throw std::bad_alloc();
  } else if (command == "cancel") {
    for (int i = 0; Progress != nullptr && i < 1000; ++i) {
      if (!Progress->Check()) return false;
    }
    text = tag + ":not cancelled";
  } else if (command == "progress") {
    for (int32_t i = 1; i <= 3; ++i) {
      if (Progress != nullptr && !Progress->Progress(i, 3)) return false;
    }
    text = tag + ":done";
  } else if (command == "zeros") {
    text = tag + ":z" + std::string(3, '\0');
  } else if (command == "longerror") {
    std::string message;
    for (int i = 0; i < 700; ++i) message += "\xC3\xA9";  // U+00E9
    throw Exception(message);
  } else {
    throw Exception(tag + ": unknown command " + command);
  }
  Text = Output(text, Unicode);
  return true;
}

const char* g_tag = "";

bool ContentTest(const std::string& FileName) {
  std::string script = ReadWholeFile(FileName);
  std::string tags;
  if (FindLine(script, "claimfail", tags) && HasWord(tags, g_tag)) {
    throw Exception(std::string(g_tag) + ": content test failed");
  }
  return FindLine(script, "claim", tags) && HasWord(tags, g_tag);
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
  TConverterDefinition definition;
  definition.ConvertFile = ConvertFile;
  definition.ConvertMemory = ConvertMemory;
  definition.IsFileSupported = ContentTest;
  return definition;
}
