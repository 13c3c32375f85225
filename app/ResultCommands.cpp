#include "app/ResultCommands.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/MsgStr.h"
#include "app/PathSelection.h"
#include "archive/ArcNested.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "core/VFileSys.h"
#include "platform/registry/RegStore.h"
#include "search/QVConvIntf.h"

TPendingPreview::TRequest TPendingPreview::Request(bool RowFocused, const TFoundFileInfo& Info,
                                                   bool ConvertersBusy) {
  if (PreviewPending || !RowFocused) return prIgnored;
  if (!ConvertersBusy) return prOpenNow;
  PendingPreviewInfo = Info;
  PreviewPending = true;
  return prDeferred;
}

bool TPendingPreview::BusyChanged(bool Busy, TFoundFileInfo& Info) {
  if (Busy || !PreviewPending) return false;
  PreviewPending = false;
  Info = PendingPreviewInfo;
  return true;
}

bool PreviewConvert(bool PatternEmpty, bool ConvertBox, const TFoundFileInfo& Info, TScanModes TableMode) {
  if (PatternEmpty) return ConvertBox;
  return Info.Encoding == seFileName && (TableMode & smConvert) != 0;
}

void SplitResultName(const std::u16string& Name, std::u16string& Folder, std::u16string& FileName) {
  const size_t Slash = Name.rfind(u'/');
  if (Slash == std::u16string::npos) {
    Folder.clear();
    FileName = Name;
    return;
  }
  Folder = Name.substr(0, Slash == 0 ? 1 : Slash);  // the root keeps its "/"
  FileName = Name.substr(Slash + 1);
}

std::u16string ItemArchiveName(const std::u16string& Name) {
  const size_t Bar = Name.rfind(u'|');
  return Bar == std::u16string::npos ? Name : Name.substr(0, Bar);
}

std::u16string ItemFileName(const std::u16string& Name) {
  const size_t Bar = Name.rfind(u'|');
  std::u16string Item = Bar == std::u16string::npos ? Name : Name.substr(Bar + 1);
  const size_t Slash = Item.rfind(u'/');
  return Slash == std::u16string::npos ? Item : Item.substr(Slash + 1);
}

std::u16string OuterArchiveFolder(const std::u16string& Name) {
  const size_t Bar = Name.find(u'|');
  std::u16string Folder, File;
  SplitResultName(Bar == std::u16string::npos ? Name : Name.substr(0, Bar), Folder, File);
  return Folder;
}

std::u16string ContainingFolder(const TFoundFileInfo& Info) {
  if (Info.InArchive && Info.ItemPath.size() >= 2) {
    // The archive's file on disk, whose name may hold a "|" of its own.
    std::u16string Folder, File;
    SplitResultName(Utf8ToUtf16(Info.ItemPath.front()), Folder, File);
    return Folder;
  }
  if (Info.InArchive) return OuterArchiveFolder(Info.Name);
  std::u16string Folder, File;
  SplitResultName(Info.Name, Folder, File);
  return Folder;
}

namespace {

std::string UserName(uid_t Uid) {
  std::vector<char> Buffer(16384);
  passwd Entry{};
  passwd* Found = nullptr;
  if (getpwuid_r(Uid, &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found != nullptr)
    return Found->pw_name;
  return std::to_string(Uid);
}

std::string GroupName(gid_t Gid) {
  std::vector<char> Buffer(16384);
  group Entry{};
  group* Found = nullptr;
  if (getgrgid_r(Gid, &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found != nullptr)
    return Found->gr_name;
  return std::to_string(Gid);
}

}  // namespace

bool ReadFileProperties(const std::u16string& Path, TFileProperties& Properties, std::string& Error) {
  Properties = TFileProperties{};
  const std::string Name = Utf16ToUtf8(Path);
  struct stat Link {};
  if (lstat(Name.c_str(), &Link) != 0) {
    Error = std::strerror(errno);
    return false;
  }
  struct stat Info = Link;
  Properties.IsLink = S_ISLNK(Link.st_mode);
  if (Properties.IsLink) {
    std::vector<char> Target(4096);
    const ssize_t Length = readlink(Name.c_str(), Target.data(), Target.size() - 1);
    if (Length > 0)
      Properties.LinkTarget = Utf8ToUtf16(std::string(Target.data(), static_cast<size_t>(Length)));
    // A link that leads nowhere is described by itself.
    if (stat(Name.c_str(), &Info) != 0) Info = Link;
  }
  SplitResultName(Path, Properties.Folder, Properties.Name);
  Properties.IsFolder = S_ISDIR(Info.st_mode);
  Properties.Owner = UserName(Info.st_uid);
  Properties.Group = GroupName(Info.st_gid);
  Properties.Mode = Info.st_mode & 07777;
  int64_t Size = 0;
  if (!GetFileInfo(Name, &Size, &Properties.Modified, &Properties.Created, &Properties.Accessed, nullptr))
    Size = Info.st_size;
  Properties.Size = Size;
  return true;
}

std::string PermissionsText(uint32_t Mode) {
  std::string Text = "---------";
  const char Letters[3] = {'r', 'w', 'x'};
  for (int Bit = 0; Bit < 9; ++Bit)
    if (Mode & (0400u >> Bit)) Text[static_cast<size_t>(Bit)] = Letters[Bit % 3];
  // The set-id and sticky bits show in the execute places: lower case when execute is set as well.
  auto Special = [&Text](size_t At, bool On, char Letter) {
    if (On) Text[At] = Text[At] == 'x' ? Letter : static_cast<char>(Letter - 32);
  };
  Special(2, Mode & 04000, 's');
  Special(5, Mode & 02000, 's');
  Special(8, Mode & 01000, 't');
  char Octal[8];
  std::snprintf(Octal, sizeof Octal, "%04o", Mode & 07777);
  return Text + " (" + Octal + ")";
}

std::vector<TResultMenuItem> PlanResultMenu(const TFoundFileInfo& Info, const std::u16string& PreviewCaption,
                                            bool SummarizerFound) {
  std::vector<TResultMenuItem> Menu;
  Menu.push_back({rmPreview, PreviewCaption});
  if (SummarizerFound) Menu.push_back({rmSummarizer, u"Quorvane &Synopta"});
  if (Info.InArchive) Menu.push_back({rmExtract, u"E&xtract to..."});
  Menu.push_back({rmNone, {}});
  Menu.push_back({rmOpenFolder, GetMsgW(TMsgIndex::OpenFolderContainingItem)});
  if (!Info.InArchive) {
    Menu.push_back({rmNone, {}});
    Menu.push_back({rmOpen, u"&Open"});
    Menu.push_back({rmCopyPath, u"&Copy Path"});
  }
  return Menu;
}

std::u16string ResultFileName(const TFoundFileInfo& Info) {
  if (!Info.InArchive || Info.ItemPath.size() < 2) return ItemFileName(Info.Name);
  const std::string& Item = Info.ItemPath.back();
  const size_t Slash = Item.rfind('/');
  return Utf8ToUtf16(Slash == std::string::npos ? Item : Item.substr(Slash + 1));
}

std::u16string ExtractDialogTitle(const TFoundFileInfo& Info) {
  return FormatMsgW(TMsgIndex::ExtractItemAs_s, {ResultFileName(Info)});
}

void ExtractResultItem(const TFoundFileInfo& Info, const std::string& DestFile,
                       const TArcPasswordEvent& PasswordCallback) {
  // By the item's path in parts when the row has them: a "|" in an item's name is no separator there.
  if (Info.ItemPath.size() >= 2)
    ExtractArchivePathToFile(Info.ItemPath, DestFile, true, nullptr, nullptr, PasswordCallback);
  else
    ExtractArchivePathToFile(Utf16ToUtf8(Info.Name), DestFile, true, nullptr, nullptr, PasswordCallback);
}

bool FindSummarizer(std::string& Path) {
  TRegKey Key;
  TRegValue Value;
  if (RegStore().OpenKey(TRegRoot::LocalMachine, kSummarizerRegKey, false, Key) != TRegStatus::Ok ||
      RegStore().ReadValue(Key, kSummarizerExecValue, Value) != TRegStatus::Ok)
    return false;
  std::string Exec = Value.Data.substr(0, kMaxSummarizerExecBytes);
  Exec = Exec.substr(0, Exec.find('\0'));
  if (Exec.empty()) return false;
  const size_t Slash = Exec.rfind('/');
  Path = (Slash == std::string::npos ? std::string() : Exec.substr(0, Slash + 1)) + kSummarizerFileName;
  return FileExists(Path);
}

std::vector<std::string> SummarizerArguments(const std::string& Name, bool Unicode, bool DeleteInput) {
  std::vector<std::string> Args;
  Args.push_back(Unicode ? "/UNICODE=" + Name : Name);
  if (DeleteInput) Args.push_back("/DELETEINPUTFILE");
  return Args;
}

namespace {

// A temporary file deleted when its owner goes, unless it was handed over.
class TTempFileOwner {
 public:
  TTempFileOwner() = default;
  TTempFileOwner(const TTempFileOwner&) = delete;
  TTempFileOwner& operator=(const TTempFileOwner&) = delete;
  ~TTempFileOwner() { Reset(); }
  void Reset(const std::string& NewName = {}) {
    if (!Name_.empty()) ForceDeleteFile(Name_);
    Name_ = NewName;
  }
  void Release() { Name_.clear(); }
  const std::string& Get() const { return Name_; }
  bool Empty() const { return Name_.empty(); }

 private:
  std::string Name_;
};

}  // namespace

bool LaunchSummarizer(const std::string& SummarizerPath, const TFoundFileInfo& Info, bool PatternEmpty,
                      bool ConvertBox, const TSummarizerEnv& Env) {
  const bool Convert = Info.Converter != nullptr || (PatternEmpty && ConvertBox);
  bool Unicode = Info.Encoding == seUnicode;
  std::string Name = Utf16ToUtf8(Info.Name);
  TTempFileOwner Temp;
  try {
    if (Info.InArchive) {
      std::string TempName;
      MakeTempFileNameOrRaise("QV", TempName, Info.Size);
      Temp.Reset(TempName);
      Env.ExtractItem(Name, TempName);
      Name = TempName;
    }
    if (Convert) {
      TSummarizerEnv::TConversion Conversion{Info.Converter, Name, Unicode, {}, Unicode, {}};
      if (!Env.Convert(Conversion)) {
        Env.ShowError(!Conversion.ErrorText.empty()
                          ? Utf8ToUtf16(Conversion.ErrorText)
                          : FormatMsgW(TMsgIndex::FileConvError_s, {Utf8ToUtf16(Name)}));
        return false;
      }
      Unicode = Conversion.IsUnicode;
      const std::string& Text = Conversion.Text;
      std::string TextFile;
      MakeTempFileNameOrRaise("QV", TextFile, static_cast<int64_t>(Text.size()));
      Temp.Reset(TextFile);  // the extracted item is no longer needed
      std::FILE* F = std::fopen(TextFile.c_str(), "wb");
      const bool Written = F != nullptr && std::fwrite(Text.data(), 1, Text.size(), F) == Text.size();
      if (F != nullptr && std::fclose(F) != 0) throw Exception("Error writing " + TextFile);
      if (!Written) throw Exception("Error writing " + TextFile);
      Name = TextFile;
    }
  } catch (const Exception& E) {
    Env.ShowError(Utf8ToUtf16(E.what()));
    return false;
  }
  if (!Env.Start(SummarizerPath, SummarizerArguments(Name, Unicode, !Temp.Empty()))) {
    Env.ShowError(FormatMsgW(TMsgIndex::ExecuteError_s, {Utf8ToUtf16(SummarizerPath)}));
    return false;
  }
  Temp.Release();  // the summarizer deletes it
  return true;
}

bool ConvertForSummarizer(TQVConverters& Converters, TQVConverter* Converter, const std::string& File,
                          bool Unicode, std::string& Text, bool& IsUnicode, std::string& ErrorText) {
  int32_t Size = 0;
  TResultBlock Block;
  if (Converter != nullptr) {
    Block = Converter->ConvertFile(File, Unicode, Converters.OnProgress, ErrorText, Size);
    IsUnicode = Unicode;
    if (Block == nullptr && ErrorText.empty()) ErrorText = Converter->GetErrorText();
  } else {
    TQVConverter* Used = nullptr;
    Block = Converters.ConvertFile(File, kUnicodeModeNative, std::string(), ErrorText, Used, Size, IsUnicode);
  }
  if (Block == nullptr) return false;
  Text.assign(static_cast<const char*>(Block.get()), static_cast<size_t>(Size));
  return true;
}

std::u16string PreviewMenuCaption(const std::u16string& Name) {
  const std::u16string Short = WideShortenPath(Name, kPreviewMenuNameLength, u"/|");
  return u" " + DoubleAmpersands(Short);  // a single "&" would underline the next character
}

void RenumberPreviewCaptions(std::vector<std::u16string>& Captions) {
  for (size_t I = 0; I < Captions.size(); ++I) {
    char16_t Lead = u' ';
    if (I < 10)
      Lead = static_cast<char16_t>(u'0' + I);
    else if (I < 36)
      Lead = static_cast<char16_t>(u'A' + (I - 10));
    const size_t Blank = Captions[I].find(u' ');
    const std::u16string Rest =
        Blank == std::u16string::npos ? std::u16string() : Captions[I].substr(Blank + 1);
    Captions[I] = std::u16string(1, Lead) + u" " + WideTrim(Rest);
  }
}
