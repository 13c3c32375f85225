#include "platform/registry/RegStore.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string Pattern = (fs::temp_directory_path() / "regstore-XXXXXX").string();
    if (mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Path_ = Pattern;
  }
  ~TempFolder() {
    std::error_code Ec;
    fs::remove_all(Path_, Ec);
  }
  const std::string& path() const { return Path_; }

 private:
  std::string Path_;
};

std::vector<std::string> FolderEntries(const std::string& Folder) {
  std::vector<std::string> Names;
  for (const auto& E : fs::directory_iterator(Folder)) Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

// Every byte value, NULs and high bytes included, so that nothing is lost as text.
std::string AllBytes() {
  std::string S;
  for (int I = 0; I < 256; ++I) S += static_cast<char>(I);
  S += std::string("\0\0tail\r\n\xFF", 9);
  return S;
}

constexpr const char* kProgramKey = "Software\\Quorvane\\QVSearch";

class RegStoreTest : public ::testing::Test {
 protected:
  TempFolder User_;
  TempFolder Machine_;
  TRegStore Store_{{User_.path(), Machine_.path()}};
};

TEST_F(RegStoreTest, BinaryValueWrittenByAnotherProcessReadsBackByteIdentical) {
  const std::string Bytes = AllBytes();
  pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    // A separate store object in a separate process.
    TRegStore Writer({User_.path(), Machine_.path()});
    TRegKey Key;
    bool Ok = Writer.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key) == TRegStatus::Ok &&
              Writer.WriteValue(Key, "Options", REG_BINARY, Bytes.data(), Bytes.size()) == TRegStatus::Ok;
    _exit(Ok ? 0 : 1);
  }
  int Status = 0;
  ASSERT_EQ(waitpid(Child, &Status, 0), Child);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);

  TRegKey Key;
  // Key and value names compare without case.
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, "SOFTWARE\\quorvane\\qvsearch", false, Key),
            TRegStatus::Ok);
  TRegValue Value;
  ASSERT_EQ(Store_.ReadValue(Key, "OPTIONS", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Type, REG_BINARY);
  EXPECT_EQ(Value.Data, Bytes);
  // "Software" names the root itself: the value lives in <config>/Quorvane/QVSearch.
  EXPECT_TRUE(fs::is_regular_file(User_.path() + "/Quorvane/QVSearch/Options.val"));
}

TEST_F(RegStoreTest, ReportsWhetherTheKeyWasNewlyCreated) {
  TRegKey Key;
  bool Created = false;
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key, &Created), TRegStatus::Ok);
  EXPECT_TRUE(Created);
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key, &Created), TRegStatus::Ok);
  EXPECT_FALSE(Created);
  // Only the last component counts: the parent exists, the child is new.
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, "software\\quorvane\\qvsearch\\Sub", true, Key, &Created),
            TRegStatus::Ok);
  EXPECT_TRUE(Created);
  // No second folder for the same key in another case.
  EXPECT_EQ(FolderEntries(User_.path() + "/Quorvane"), std::vector<std::string>{"QVSearch"});
}

TEST_F(RegStoreTest, MissingKeysAndValues) {
  TRegKey Key;
  EXPECT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, "Software\\Nobody", false, Key), TRegStatus::NotFound);
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key), TRegStatus::Ok);
  TRegValue Value;
  EXPECT_EQ(Store_.ReadValue(Key, "Options", Value), TRegStatus::NotFound);
  EXPECT_EQ(Store_.OpenKey(TRegRoot::Users, "x", false, Key), TRegStatus::NotFound);
}

TEST_F(RegStoreTest, TypesAndEmptyValuesRoundTrip) {
  TRegKey Key;
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key), TRegStatus::Ok);
  const uint32_t Dword = 0x01020304;
  const std::string Path("C:\\x\0", 5);
  ASSERT_EQ(Store_.WriteValue(Key, "Count", REG_DWORD, &Dword, sizeof Dword), TRegStatus::Ok);
  ASSERT_EQ(Store_.WriteValue(Key, "Path", REG_SZ, Path.data(), Path.size()), TRegStatus::Ok);
  ASSERT_EQ(Store_.WriteValue(Key, "Empty", REG_BINARY, nullptr, 0), TRegStatus::Ok);
  TRegValue Value;
  ASSERT_EQ(Store_.ReadValue(Key, "count", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Type, REG_DWORD);
  EXPECT_EQ(Value.Data, std::string("\x04\x03\x02\x01", 4));
  ASSERT_EQ(Store_.ReadValue(Key, "Path", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Type, REG_SZ);
  EXPECT_EQ(Value.Data, Path);
  ASSERT_EQ(Store_.ReadValue(Key, "Empty", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Data, "");
  // Writing with another case of the name replaces the value instead of adding a second one.
  ASSERT_EQ(Store_.WriteValue(Key, "COUNT", REG_BINARY, "z", 1), TRegStatus::Ok);
  ASSERT_EQ(Store_.ReadValue(Key, "Count", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Data, "z");
  EXPECT_EQ(FolderEntries(Key.Folder), (std::vector<std::string>{"Count.val", "Empty.val", "Path.val"}));
}

TEST_F(RegStoreTest, NamesThatFileNamesCannotHoldAreKeptApart) {
  TRegKey Key;
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key), TRegStatus::Ok);
  // The default value, a value named "@", and names with "/", "%" and a leading dot are five values.
  const std::vector<std::string> Names = {"", "@", "a/b", "100%", ".hidden"};
  for (size_t I = 0; I < Names.size(); ++I)
    ASSERT_EQ(Store_.WriteValue(Key, Names[I], REG_BINARY, &I, 1), TRegStatus::Ok) << Names[I];
  for (size_t I = 0; I < Names.size(); ++I) {
    TRegValue Value;
    ASSERT_EQ(Store_.ReadValue(Key, Names[I], Value), TRegStatus::Ok) << Names[I];
    EXPECT_EQ(Value.Data, std::string(1, static_cast<char>(I))) << Names[I];
  }
  TRegKey Sub;
  for (const char* Name : {"b/c", "..", "A"})
    ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, std::string(kProgramKey) + "\\" + Name, true, Sub),
              TRegStatus::Ok);
  std::vector<std::string> Keys;
  ASSERT_EQ(Store_.EnumKeys(Key, Keys), TRegStatus::Ok);
  EXPECT_EQ(Keys, (std::vector<std::string>{"..", "A", "b/c"}));
}

TEST_F(RegStoreTest, MachineKeysAreReadOnly) {
  // Another store whose user root is the machine folder plays the administrator who wrote them.
  TRegStore Admin({Machine_.path(), ""});
  TRegKey Key;
  ASSERT_EQ(Admin.OpenKey(TRegRoot::CurrentUser, "Software\\Quorvane", true, Key), TRegStatus::Ok);
  ASSERT_EQ(Admin.WriteValue(Key, "SharedFilesDir", REG_SZ, "/opt/q\0", 7), TRegStatus::Ok);
  ASSERT_EQ(Admin.OpenKey(TRegRoot::CurrentUser, "Software\\Classes\\http", true, Key), TRegStatus::Ok);

  ASSERT_EQ(Store_.OpenKey(TRegRoot::LocalMachine, "SOFTWARE\\Quorvane", false, Key), TRegStatus::Ok);
  TRegValue Value;
  ASSERT_EQ(Store_.ReadValue(Key, "SharedFilesDir", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Data, std::string("/opt/q\0", 7));
  EXPECT_EQ(Store_.WriteValue(Key, "SharedFilesDir", REG_SZ, "x", 1), TRegStatus::AccessDenied);
  EXPECT_EQ(Store_.OpenKey(TRegRoot::LocalMachine, "Software\\Quorvane", true, Key),
            TRegStatus::AccessDenied);
  EXPECT_EQ(Store_.OpenKey(TRegRoot::LocalMachine, "Software\\New", true, Key), TRegStatus::AccessDenied);
  // The classes root is the machine's "Software\Classes".
  EXPECT_EQ(Store_.OpenKey(TRegRoot::ClassesRoot, "http", false, Key), TRegStatus::Ok);
  EXPECT_FALSE(fs::exists(Machine_.path() + "/New"));
}

TEST_F(RegStoreTest, FailedUpdateKeepsTheOldValueAndLeavesNoTemporaryFile) {
  struct Case {
    TRegWriteStep Step;
    int Err;
    TRegStatus Status;
  };
  const Case Cases[] = {
      {TRegWriteStep::CreateTemp, ENOSPC, TRegStatus::Failed},
      {TRegWriteStep::WriteData, ENOSPC, TRegStatus::Failed},
      {TRegWriteStep::Sync, EIO, TRegStatus::Failed},
      {TRegWriteStep::Rename, EACCES, TRegStatus::AccessDenied},
  };
  TRegKey Key;
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key), TRegStatus::Ok);
  ASSERT_EQ(Store_.WriteValue(Key, "Options", REG_BINARY, "old", 3), TRegStatus::Ok);
  const std::string Big(100000, 'n');
  for (const Case& C : Cases) {
    Store_.FailPoint = [&](TRegWriteStep Step) { return Step == C.Step ? C.Err : 0; };
    EXPECT_EQ(Store_.WriteValue(Key, "Options", REG_BINARY, Big.data(), Big.size()), C.Status);
    Store_.FailPoint = nullptr;
    TRegValue Value;
    ASSERT_EQ(Store_.ReadValue(Key, "Options", Value), TRegStatus::Ok);
    EXPECT_EQ(Value.Data, "old") << static_cast<int>(C.Step);
    EXPECT_EQ(FolderEntries(Key.Folder), std::vector<std::string>{"Options.val"}) << static_cast<int>(C.Step);
  }
}

TEST_F(RegStoreTest, KeyNameTakenByARegularFileCannotBeOpenedOrMade) {
  // The file stands where the last component, a middle component or the root folder would be.
  for (const std::string& Taken : {"/Quorvane/QVSearch", "/Quorvane", ""}) {
    TempFolder User;
    const std::string Root = User.path() + "/config";
    fs::create_directories(Root);
    if (Taken.empty()) fs::remove(Root);
    if (!Taken.empty() && Taken != "/Quorvane") fs::create_directories(Root + "/Quorvane");
    std::ofstream(Root + Taken) << "not a key";
    TRegStore Store({Root, Machine_.path()});
    TRegKey Key;
    bool Created = true;
    EXPECT_EQ(Store.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key, &Created), TRegStatus::Failed)
        << Taken;
    EXPECT_FALSE(Created);
    EXPECT_NE(Store.OpenKey(TRegRoot::CurrentUser, kProgramKey, false, Key), TRegStatus::Ok) << Taken;
    std::ifstream In(Root + Taken);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(In), {}), "not a key") << Taken;
  }
}

TEST_F(RegStoreTest, TemporariesOfInterruptedUpdatesAreRemovedAndNothingElse) {
  TRegKey Key, Sub;
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key), TRegStatus::Ok);
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, std::string(kProgramKey) + "\\Viewer", true, Sub),
            TRegStatus::Ok);
  ASSERT_EQ(Store_.WriteValue(Key, "Options", REG_BINARY, "kept", 4), TRegStatus::Ok);
  ASSERT_EQ(Store_.WriteValue(Key, ".hidden", REG_SZ, "x", 1), TRegStatus::Ok);  // stored as "%2Ehidden.val"
  // What a crash between mkstemp and rename leaves behind, in the key and in a sub-key.
  std::ofstream(Key.Folder + "/.Options.val.a1B2c3") << "half";
  std::ofstream(Key.Folder + "/.Pattern.val.XyZ123") << "";
  std::ofstream(Sub.Folder + "/.@.val.000000") << "half";
  // Not temporaries: another program's dot-file and a value literally named like one.
  std::ofstream(Key.Folder + "/.lock") << "";
  ASSERT_EQ(Store_.WriteValue(Key, "Pattern.val.abcdef", REG_SZ, "y", 1), TRegStatus::Ok);

  EXPECT_EQ(Store_.RemoveTemporaries(Key), 3u);
  EXPECT_EQ(FolderEntries(Key.Folder), (std::vector<std::string>{"%2Ehidden.val", ".lock", "Options.val",
                                                                 "Pattern.val.abcdef.val", "Viewer"}));
  EXPECT_TRUE(FolderEntries(Sub.Folder).empty());
  TRegValue Value;
  ASSERT_EQ(Store_.ReadValue(Key, "Options", Value), TRegStatus::Ok);
  EXPECT_EQ(Value.Data, "kept");
  EXPECT_EQ(Store_.RemoveTemporaries(Key), 0u);
}

TEST_F(RegStoreTest, DamagedValueFileIsAnErrorNotAValue) {
  TRegKey Key;
  ASSERT_EQ(Store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, Key), TRegStatus::Ok);
  std::ofstream(Key.Folder + "/Short.val") << "ab";  // shorter than the type field
  TRegValue Value;
  EXPECT_EQ(Store_.ReadValue(Key, "Short", Value), TRegStatus::Failed);
}

TEST(RegStoreEnvironment, UserRootFollowsXdgConfigHome) {
  const char* Old = std::getenv("XDG_CONFIG_HOME");
  std::string Saved = Old != nullptr ? Old : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(TRegStore::FromEnvironment().Roots().CurrentUser, "/somewhere/config");
  // A relative value is not a usable root: the base-directory rules say to ignore it.
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  if (std::getenv("HOME") == nullptr) setenv("HOME", "/root", 1);
  EXPECT_EQ(TRegStore::FromEnvironment().Roots().CurrentUser, std::string(std::getenv("HOME")) + "/.config");
  EXPECT_EQ(TRegStore::FromEnvironment().Roots().Machine, "/etc/xdg");
  if (Old != nullptr)
    setenv("XDG_CONFIG_HOME", Saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
