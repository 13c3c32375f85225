// The reader of interface-language files.
//
// Grammar, line by line (comments cut, lines trimmed, empty lines skipped):
//   [!META]          the meta section: LANGUAGE=Name[,Charset] and LANGID=Id; other keys ignored
//   [$Prefix]        a string section: Key=Value gives the string entry Prefix.Key ("[$]": Key alone)
//   [Form.Path]      a property section: Key=Value gives the property entry Form.Path.Key
//   Key={            a list value: every line up to "}" is one item
//   Value+ / Value\  the value goes on in the following lines
// What the reader checks, each with its own reason: a section name that is empty, a line without "=" or
// with "=" first, a charset that is not a number from 0 to 255, an entry before any LANGUAGE line, a list
// that the file ends inside; a line before any section fails without a reason. A line longer than the read
// buffer, and a file that cannot be read, fail with the reason the text stream gives.
#include <memory>

#include "app/MLAux.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "core/TextStream.h"
#include "core/WideFormat.h"

namespace {

std::string TrimRight(const std::string& S) {
  size_t E = S.size();
  while (E > 0 && static_cast<unsigned char>(S[E - 1]) <= ' ') --E;
  return S.substr(0, E);
}

// A value that goes on in the next line ends with one of these (which is dropped).
bool IsContinued(const std::string& Value) {
  return !Value.empty() && (Value.back() == '+' || Value.back() == '\\');
}

enum class TSection { None, Meta, String, Property };

class TLangFileReader {
 public:
  TLangFileReader(const std::u16string& FileName, TLangFileContent& Content)
      : FileName_(FileName), Content_(Content) {}

  void Run() {
    try {
      Stream_ = std::make_unique<TTextStream>(FileName_, tsmRead, kLangFileLineBuffer);
      std::string Line;
      while (NextLine(Line)) ParseLine(Line);
    } catch (const EMultiLang&) {
      throw;
    } catch (const Exception& E) {
      // The stream failed on the line after the last one it delivered (a line too long); a file that
      // could not be opened has no line.
      Fail(E.Message(), Stream_ ? 1 : 0);
    }
  }

 private:
  // The next line that is not empty once its comment is cut; false at the end of the file.
  bool NextLine(std::string& Line) {
    std::string Raw;
    while (!Stream_->Eof()) {
      Stream_->ReadLine(Raw);
      Line = StripLangComment(Raw);
      if (!Line.empty()) return true;
    }
    return false;
  }

  [[noreturn]] void Fail(const std::string& Reason, int32_t LinesAhead = 0) const {
    const int32_t LineNo = (Stream_ ? Stream_->GetLineCount() : 0) + LinesAhead;
    std::string Msg =
        Format("Error importing language file '%s' (line %d)", {Utf16ToUtf8(FileName_), LineNo});
    if (!Reason.empty()) Msg += "\r\n" + Reason;
    throw EMultiLang(Msg);
  }

  void ParseLine(const std::string& Line) {
    if (Line.size() >= 2 && Line.front() == '[' && Line.back() == ']') {
      StartSection(TrimLangText(Line.substr(1, Line.size() - 2)));
      return;
    }
    if (Section_ == TSection::None) Fail("");
    const size_t Eq = Line.find('=');
    if (Eq == std::string::npos || Eq == 0) Fail("'=' expected");
    const std::string Key = TrimLangText(Line.substr(0, Eq));
    const std::string Value = TrimLangText(Line.substr(Eq + 1));
    if (Section_ == TSection::Meta) {
      MetaLine(Key, Value);
      return;
    }
    if (Content_.CurrentLanguage < 0) Fail("Language not specified");
    TLangFileContent::TItem Item;
    Item.IsString = Section_ == TSection::String;
    Item.Key = Prefix_ + Key;
    Item.Language = Content_.CurrentLanguage;
    if (!Item.IsString && Value == "{") {
      Item.IsList = true;
      ReadList(Item.Items);
    } else {
      Item.Text = ReadValue(Value);
    }
    Content_.Items.push_back(std::move(Item));
  }

  void StartSection(const std::string& Name) {
    if (Name.empty()) Fail("Illegal section name");
    if (SameLangText(Name, "!META")) {
      Section_ = TSection::Meta;
      Prefix_.clear();
      return;
    }
    if (Name.front() == '$') {
      Section_ = TSection::String;
      Prefix_ = Name.substr(1);
    } else {
      Section_ = TSection::Property;
      Prefix_ = Name;
    }
    if (!Prefix_.empty()) Prefix_ += '.';
  }

  void MetaLine(const std::string& Key, const std::string& Value) {
    if (SameLangText(Key, "LANGUAGE")) {
      const size_t Comma = Value.find(',');
      const std::string Name = TrimLangText(Value.substr(0, Comma));
      uint8_t Charset = kDefaultLangCharset;
      if (Comma != std::string::npos && !ParseLangCharset(Value.substr(Comma + 1), Charset))
        Fail("Illegal charset");
      if (Name.empty()) Fail("Language not specified");
      int32_t Index = -1;
      for (size_t I = 0; I < Content_.Languages.size(); ++I)
        if (SameLangText(Content_.Languages[I].Name, Name)) Index = static_cast<int32_t>(I);
      if (Index < 0) {
        Content_.Languages.push_back({Name, Charset});
        Index = static_cast<int32_t>(Content_.Languages.size()) - 1;
      } else {
        Content_.Languages[static_cast<size_t>(Index)].Charset = Charset;
      }
      Content_.CurrentLanguage = Index;
    } else if (SameLangText(Key, "LANGID")) {
      Content_.LanguageId = Value;
    }
  }

  // A value, with the lines that continue it.
  std::string ReadValue(const std::string& First) {
    if (!IsContinued(First)) return UnquoteLangValue(First);
    std::string Result = UnquoteLangValue(TrimRight(First.substr(0, First.size() - 1)));
    std::string Line;
    while (NextLine(Line)) {
      if (!IsContinued(Line)) {
        Result += UnquoteLangValue(Line);
        break;
      }
      Result += UnquoteLangValue(TrimRight(Line.substr(0, Line.size() - 1)));
    }
    return Result;
  }

  void ReadList(std::vector<std::string>& Items) {
    std::string Line;
    while (NextLine(Line)) {
      if (Line == "}") return;
      Items.push_back(ReadValue(Line));
    }
    Fail("'}' expected");
  }

  const std::u16string& FileName_;
  TLangFileContent& Content_;
  std::unique_ptr<TTextStream> Stream_;
  TSection Section_ = TSection::None;
  std::string Prefix_;
};

}  // namespace

std::string StripLangComment(const std::string& Line) {
  char Quote = 0;  // the open quote, 0 outside quotes
  for (size_t I = 0; I < Line.size(); ++I) {
    const char Ch = Line[I];
    if (Quote == 0) {
      if (Ch == ';') return TrimLangText(Line.substr(0, I));
      if (Ch == '"' || Ch == '\'') Quote = Ch;
    } else if (Quote == '"' && Ch == '\\') {
      ++I;  // an escaped character never ends the text
    } else if (Ch == Quote) {
      Quote = 0;
    }
  }
  return TrimLangText(Line);
}

std::string UnquoteLangValue(const std::string& Value) {
  if (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"')
    return DecodeEscapes(Value.substr(1, Value.size() - 2));
  if (Value.size() >= 2 && Value.front() == '\'' && Value.back() == '\'') return UnquoteStr(Value);
  return Value;
}

void ReadLanguageFile(const std::u16string& FileName, TLangFileContent& Content) {
  TLangFileReader(FileName, Content).Run();
}
