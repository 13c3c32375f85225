#include "server/ConvTemp.h"

#include <cerrno>
#include <cstring>

#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "platform/registry/RegStore.h"
#include "plugins/frame/ConvCmmn.h"

namespace {

std::string g_override;

// The key whose default value names the installed program; its folder may hold a "Temp" folder.
constexpr const char* kInstallKey = "Software\\Quorvane\\Scopewise\\1.0";
// The longest installation path taken from that value, as the buffer that reads it allows.
constexpr size_t kMaxInstallPath = 261;

std::string FolderOf(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

}  // namespace

bool SetTempFolderOverride(const std::string& Folder) {
  if (!DirExists(Folder)) return false;
  g_override = Folder;
  return true;
}

void ClearTempFolderOverride() { g_override.clear(); }

bool GetPluginTempFolder(std::string& Folder) {
  if (!g_override.empty() && DirExists(g_override)) {
    Folder = IncludeTrailingSlash(g_override);
    return true;
  }
  Folder = GetTempDir();
  if (Folder.empty()) {
    SetLastErrorText("GetTempPath error: " + std::string(std::strerror(ENOENT)));
    return false;
  }
  Folder = IncludeTrailingSlash(Folder);
  return true;
}

bool MakeTempFileNameIn(const std::string& Folder, const std::string& Prefix, std::string& FileName) {
  std::string Name = IncludeTrailingSlash(Folder) + Prefix + "XXXXXX";
  const int Fd = FileLayer().MakeTemp(Name);
  if (Fd < 0) {
    SetLastErrorText("GetTempFileName error: " + std::string(std::strerror(errno)));
    return false;
  }
  FileLayer().Close(Fd);
  FileName = Name;
  return true;
}

bool MakePluginTempFile(std::string& FileName) {
  std::string Folder;
  return GetPluginTempFolder(Folder) && MakeTempFileNameIn(Folder, "QV", FileName);
}

void InitPluginTempFolder() {
  const std::string ProgramFolder = FolderOf(ModuleFileName(nullptr));
  if (!ProgramFolder.empty() && SetTempFolderOverride(ProgramFolder + "Temp")) return;
  TRegKey Key;
  TRegValue Value;
  if (RegStore().OpenKey(TRegRoot::LocalMachine, kInstallKey, false, Key) != TRegStatus::Ok ||
      RegStore().ReadValue(Key, "", Value) != TRegStatus::Ok || Value.Type != REG_SZ)
    return;
  std::string Path = Value.Data.substr(0, std::min(Value.Data.size(), kMaxInstallPath));
  Path = Path.substr(0, Path.find('\0'));
  const std::string Folder = FolderOf(Path);
  if (!Folder.empty()) SetTempFolderOverride(Folder + "Temp");
}

TTempFile::~TTempFile() {
  if (!Name_.empty()) ForceDeleteFile(Name_);
}

bool TTempFile::Make() {
  if (!Name_.empty()) return true;
  return MakePluginTempFile(Name_);
}
