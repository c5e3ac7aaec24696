// The real registry and file system behind the install location discovery,
// inside the test prefix: values are written to the uninstall key of each
// root, the marker files created in temporary folders.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/file_system.h"
#include "core/utf.h"
#include "core/wide_win32.h"
#include "runner/install_location.h"

namespace quarvel {
namespace {

constexpr wchar_t kKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuarvelOnline";

class RegisteredLocation : public testing::Test {
 protected:
  void TearDown() override {
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
  }
  static void set(HKEY root, DWORD type, const std::u16string& data) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"InstallLocation", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
  }
  // A temporary folder holding the markers that are asked for.
  static std::string folder(const char* name, bool record, bool application) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string path = win32::narrow(temp) + name;
    FileSystem& files = system_file_system();
    EXPECT_TRUE(files.create_directories(path).ok());
    if (record)
      EXPECT_TRUE(replace_file_contents(files, path + "\\quarvel-install.json", "{}").ok());
    if (application)
      EXPECT_TRUE(replace_file_contents(files, path + "\\Quarvel.exe", "MZ").ok());
    return path;
  }
  static std::string discover() {
    return discover_install_location(system_install_registry(), system_file_system(),
                                     system_paths());
  }
};

TEST_F(RegisteredLocation, PerMachineFoundWhenThePerUserOneLacksTheApplication) {
  const std::string user = folder("quarvel-user-half", true, false);
  const std::string machine = folder("quarvel-machine", true, true);
  set(HKEY_CURRENT_USER, REG_SZ, utf8_to_utf16(user));
  set(HKEY_LOCAL_MACHINE, REG_SZ, utf8_to_utf16(machine));
  EXPECT_EQ(discover(), machine);
}

TEST_F(RegisteredLocation, ValueTypesAndALongValue) {
  const std::string location = folder("quarvel-types", true, true);
  const std::u16string text = utf8_to_utf16(location);
  set(HKEY_CURRENT_USER, REG_EXPAND_SZ, text);
  EXPECT_EQ(system_install_registry().install_location(RegistryRoot::kCurrentUser), location);
  set(HKEY_CURRENT_USER, REG_MULTI_SZ, text + u'\0' + u"second");
  EXPECT_EQ(system_install_registry().install_location(RegistryRoot::kCurrentUser),
            location + "\nsecond");
  // Longer than the first 2048-byte buffer: read after growing it.
  const std::u16string long_text(3000, u'x');
  set(HKEY_CURRENT_USER, REG_SZ, long_text);
  EXPECT_EQ(system_install_registry().install_location(RegistryRoot::kCurrentUser),
            std::string(3000, 'x'));
  HKEY key;
  RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  const DWORD number = 7;
  RegSetValueExW(key, L"InstallLocation", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof number);
  RegCloseKey(key);
  EXPECT_EQ(system_install_registry().install_location(RegistryRoot::kCurrentUser), std::nullopt);
}

TEST_F(RegisteredLocation, AFolderNamedLikeTheRecordDoesNotCount) {
  const std::string location = folder("quarvel-folder-record", false, true);
  ASSERT_TRUE(system_file_system().create_directories(location + "\\quarvel-install.json").ok());
  set(HKEY_CURRENT_USER, REG_SZ, utf8_to_utf16(location));
  EXPECT_NE(discover(), location);
}

TEST_F(RegisteredLocation, UnexpandedReferenceIsUsedLiterallyAndSkipped) {
  set(HKEY_CURRENT_USER, REG_EXPAND_SZ, u"%TEMP%\\quarvel-types");
  folder("quarvel-types", true, true);
  EXPECT_EQ(system_install_registry().install_location(RegistryRoot::kCurrentUser),
            "%TEMP%\\quarvel-types");
  EXPECT_NE(discover(), "%TEMP%\\quarvel-types");
}

TEST_F(RegisteredLocation, NothingRegisteredGivesTheDefaultUnderLocalAppData) {
  wchar_t local[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
  EXPECT_EQ(discover(), win32::narrow(local) + "\\Programs\\Quarvel");
}

}  // namespace
}  // namespace quarvel
