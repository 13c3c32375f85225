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
    std::string pattern = (fs::temp_directory_path() / "regstore-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every byte value, NULs and high bytes included, so that nothing is lost as text.
std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  s += std::string("\0\0tail\r\n\xFF", 9);
  return s;
}

constexpr const char* kProgramKey = "Software\\Quorvane\\QVSearch";

class RegStoreTest : public ::testing::Test {
 protected:
  TempFolder user_;
  TempFolder machine_;
  TRegStore store_{{user_.path(), machine_.path()}};
};

TEST_F(RegStoreTest, BinaryValueWrittenByAnotherProcessReadsBackByteIdentical) {
  const std::string bytes = AllBytes();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A separate store object in a separate process.
    TRegStore writer({user_.path(), machine_.path()});
    TRegKey key;
    bool ok = writer.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key) == TRegStatus::Ok &&
              writer.WriteValue(key, "Options", REG_BINARY, bytes.data(), bytes.size()) == TRegStatus::Ok;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  TRegKey key;
  // Key and value names compare without case.
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, "SOFTWARE\\quorvane\\qvsearch", false, key),
            TRegStatus::Ok);
  TRegValue value;
  ASSERT_EQ(store_.ReadValue(key, "OPTIONS", value), TRegStatus::Ok);
  EXPECT_EQ(value.Type, REG_BINARY);
  EXPECT_EQ(value.Data, bytes);
  // "Software" names the root itself: the value lives in <config>/Quorvane/QVSearch.
  EXPECT_TRUE(fs::is_regular_file(user_.path() + "/Quorvane/QVSearch/Options.val"));
}

TEST_F(RegStoreTest, ReportsWhetherTheKeyWasNewlyCreated) {
  TRegKey key;
  bool created = false;
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key, &created), TRegStatus::Ok);
  EXPECT_TRUE(created);
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key, &created), TRegStatus::Ok);
  EXPECT_FALSE(created);
  // Only the last component counts: the parent exists, the child is new.
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, "software\\quorvane\\qvsearch\\Sub", true, key, &created),
            TRegStatus::Ok);
  EXPECT_TRUE(created);
  // No second folder for the same key in another case.
  EXPECT_EQ(FolderEntries(user_.path() + "/Quorvane"), std::vector<std::string>{"QVSearch"});
}

TEST_F(RegStoreTest, MissingKeysAndValues) {
  TRegKey key;
  EXPECT_EQ(store_.OpenKey(TRegRoot::CurrentUser, "Software\\Nobody", false, key), TRegStatus::NotFound);
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key), TRegStatus::Ok);
  TRegValue value;
  EXPECT_EQ(store_.ReadValue(key, "Options", value), TRegStatus::NotFound);
  EXPECT_EQ(store_.OpenKey(TRegRoot::Users, "x", false, key), TRegStatus::NotFound);
}

TEST_F(RegStoreTest, TypesAndEmptyValuesRoundTrip) {
  TRegKey key;
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key), TRegStatus::Ok);
  const uint32_t dword = 0x01020304;
  const std::string path("C:\\x\0", 5);
  ASSERT_EQ(store_.WriteValue(key, "Count", REG_DWORD, &dword, sizeof dword), TRegStatus::Ok);
  ASSERT_EQ(store_.WriteValue(key, "Path", REG_SZ, path.data(), path.size()), TRegStatus::Ok);
  ASSERT_EQ(store_.WriteValue(key, "Empty", REG_BINARY, nullptr, 0), TRegStatus::Ok);
  TRegValue value;
  ASSERT_EQ(store_.ReadValue(key, "count", value), TRegStatus::Ok);
  EXPECT_EQ(value.Type, REG_DWORD);
  EXPECT_EQ(value.Data, std::string("\x04\x03\x02\x01", 4));
  ASSERT_EQ(store_.ReadValue(key, "Path", value), TRegStatus::Ok);
  EXPECT_EQ(value.Type, REG_SZ);
  EXPECT_EQ(value.Data, path);
  ASSERT_EQ(store_.ReadValue(key, "Empty", value), TRegStatus::Ok);
  EXPECT_EQ(value.Data, "");
  // Writing with another case of the name replaces the value instead of adding a second one.
  ASSERT_EQ(store_.WriteValue(key, "COUNT", REG_BINARY, "z", 1), TRegStatus::Ok);
  ASSERT_EQ(store_.ReadValue(key, "Count", value), TRegStatus::Ok);
  EXPECT_EQ(value.Data, "z");
  EXPECT_EQ(FolderEntries(key.Folder), (std::vector<std::string>{"Count.val", "Empty.val", "Path.val"}));
}

TEST_F(RegStoreTest, NamesThatFileNamesCannotHoldAreKeptApart) {
  TRegKey key;
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key), TRegStatus::Ok);
  // The default value, a value named "@", and names with "/", "%" and a leading dot are five values.
  const std::vector<std::string> names = {"", "@", "a/b", "100%", ".hidden"};
  for (size_t i = 0; i < names.size(); ++i)
    ASSERT_EQ(store_.WriteValue(key, names[i], REG_BINARY, &i, 1), TRegStatus::Ok) << names[i];
  for (size_t i = 0; i < names.size(); ++i) {
    TRegValue value;
    ASSERT_EQ(store_.ReadValue(key, names[i], value), TRegStatus::Ok) << names[i];
    EXPECT_EQ(value.Data, std::string(1, static_cast<char>(i))) << names[i];
  }
  TRegKey sub;
  for (const char* name : {"b/c", "..", "A"})
    ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, std::string(kProgramKey) + "\\" + name, true, sub),
              TRegStatus::Ok);
  std::vector<std::string> keys;
  ASSERT_EQ(store_.EnumKeys(key, keys), TRegStatus::Ok);
  EXPECT_EQ(keys, (std::vector<std::string>{"..", "A", "b/c"}));
}

TEST_F(RegStoreTest, MachineKeysAreReadOnly) {
  // Another store whose user root is the machine folder plays the administrator who wrote them.
  TRegStore admin({machine_.path(), ""});
  TRegKey key;
  ASSERT_EQ(admin.OpenKey(TRegRoot::CurrentUser, "Software\\Quorvane", true, key), TRegStatus::Ok);
  ASSERT_EQ(admin.WriteValue(key, "SharedFilesDir", REG_SZ, "/opt/q\0", 7), TRegStatus::Ok);
  ASSERT_EQ(admin.OpenKey(TRegRoot::CurrentUser, "Software\\Classes\\http", true, key), TRegStatus::Ok);

  ASSERT_EQ(store_.OpenKey(TRegRoot::LocalMachine, "SOFTWARE\\Quorvane", false, key), TRegStatus::Ok);
  TRegValue value;
  ASSERT_EQ(store_.ReadValue(key, "SharedFilesDir", value), TRegStatus::Ok);
  EXPECT_EQ(value.Data, std::string("/opt/q\0", 7));
  EXPECT_EQ(store_.WriteValue(key, "SharedFilesDir", REG_SZ, "x", 1), TRegStatus::AccessDenied);
  EXPECT_EQ(store_.OpenKey(TRegRoot::LocalMachine, "Software\\Quorvane", true, key),
            TRegStatus::AccessDenied);
  EXPECT_EQ(store_.OpenKey(TRegRoot::LocalMachine, "Software\\New", true, key), TRegStatus::AccessDenied);
  // The classes root is the machine's "Software\Classes".
  EXPECT_EQ(store_.OpenKey(TRegRoot::ClassesRoot, "http", false, key), TRegStatus::Ok);
  EXPECT_FALSE(fs::exists(machine_.path() + "/New"));
}

TEST_F(RegStoreTest, FailedUpdateKeepsTheOldValueAndLeavesNoTemporaryFile) {
  struct Case {
    TRegWriteStep step;
    int err;
    TRegStatus status;
  };
  const Case cases[] = {
      {TRegWriteStep::CreateTemp, ENOSPC, TRegStatus::Failed},
      {TRegWriteStep::WriteData, ENOSPC, TRegStatus::Failed},
      {TRegWriteStep::Sync, EIO, TRegStatus::Failed},
      {TRegWriteStep::Rename, EACCES, TRegStatus::AccessDenied},
  };
  TRegKey key;
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key), TRegStatus::Ok);
  ASSERT_EQ(store_.WriteValue(key, "Options", REG_BINARY, "old", 3), TRegStatus::Ok);
  const std::string big(100000, 'n');
  for (const Case& c : cases) {
    store_.FailPoint = [&](TRegWriteStep step) { return step == c.step ? c.err : 0; };
    EXPECT_EQ(store_.WriteValue(key, "Options", REG_BINARY, big.data(), big.size()), c.status);
    store_.FailPoint = nullptr;
    TRegValue value;
    ASSERT_EQ(store_.ReadValue(key, "Options", value), TRegStatus::Ok);
    EXPECT_EQ(value.Data, "old") << static_cast<int>(c.step);
    EXPECT_EQ(FolderEntries(key.Folder), std::vector<std::string>{"Options.val"}) << static_cast<int>(c.step);
  }
}

TEST_F(RegStoreTest, KeyNameTakenByARegularFileCannotBeOpenedOrMade) {
  // The file stands where the last component, a middle component or the root folder would be.
  for (const std::string& taken : {"/Quorvane/QVSearch", "/Quorvane", ""}) {
    TempFolder user;
    const std::string root = user.path() + "/config";
    fs::create_directories(root);
    if (taken.empty()) fs::remove(root);
    if (!taken.empty() && taken != "/Quorvane") fs::create_directories(root + "/Quorvane");
    std::ofstream(root + taken) << "not a key";
    TRegStore store({root, machine_.path()});
    TRegKey key;
    bool created = true;
    EXPECT_EQ(store.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key, &created), TRegStatus::Failed)
        << taken;
    EXPECT_FALSE(created);
    EXPECT_NE(store.OpenKey(TRegRoot::CurrentUser, kProgramKey, false, key), TRegStatus::Ok) << taken;
    std::ifstream in(root + taken);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a key") << taken;
  }
}

TEST_F(RegStoreTest, TemporariesOfInterruptedUpdatesAreRemovedAndNothingElse) {
  TRegKey key, sub;
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key), TRegStatus::Ok);
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, std::string(kProgramKey) + "\\Viewer", true, sub),
            TRegStatus::Ok);
  ASSERT_EQ(store_.WriteValue(key, "Options", REG_BINARY, "kept", 4), TRegStatus::Ok);
  ASSERT_EQ(store_.WriteValue(key, ".hidden", REG_SZ, "x", 1), TRegStatus::Ok);  // stored as "%2Ehidden.val"
  // What a crash between mkstemp and rename leaves behind, in the key and in a sub-key.
  std::ofstream(key.Folder + "/.Options.val.a1B2c3") << "half";
  std::ofstream(key.Folder + "/.Pattern.val.XyZ123") << "";
  std::ofstream(sub.Folder + "/.@.val.000000") << "half";
  // Not temporaries: another program's dot-file and a value literally named like one.
  std::ofstream(key.Folder + "/.lock") << "";
  ASSERT_EQ(store_.WriteValue(key, "Pattern.val.abcdef", REG_SZ, "y", 1), TRegStatus::Ok);

  EXPECT_EQ(store_.RemoveTemporaries(key), 3u);
  EXPECT_EQ(FolderEntries(key.Folder), (std::vector<std::string>{"%2Ehidden.val", ".lock", "Options.val",
                                                                 "Pattern.val.abcdef.val", "Viewer"}));
  EXPECT_TRUE(FolderEntries(sub.Folder).empty());
  TRegValue value;
  ASSERT_EQ(store_.ReadValue(key, "Options", value), TRegStatus::Ok);
  EXPECT_EQ(value.Data, "kept");
  EXPECT_EQ(store_.RemoveTemporaries(key), 0u);
}

TEST_F(RegStoreTest, DamagedValueFileIsAnErrorNotAValue) {
  TRegKey key;
  ASSERT_EQ(store_.OpenKey(TRegRoot::CurrentUser, kProgramKey, true, key), TRegStatus::Ok);
  std::ofstream(key.Folder + "/Short.val") << "ab";  // shorter than the type field
  TRegValue value;
  EXPECT_EQ(store_.ReadValue(key, "Short", value), TRegStatus::Failed);
}

TEST(RegStoreEnvironment, UserRootFollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old != nullptr ? old : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(TRegStore::FromEnvironment().Roots().CurrentUser, "/somewhere/config");
  // A relative value is not a usable root: the base-directory rules say to ignore it.
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  if (std::getenv("HOME") == nullptr) setenv("HOME", "/root", 1);
  EXPECT_EQ(TRegStore::FromEnvironment().Roots().CurrentUser, std::string(std::getenv("HOME")) + "/.config");
  EXPECT_EQ(TRegStore::FromEnvironment().Roots().Machine, "/etc/xdg");
  if (old != nullptr)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
