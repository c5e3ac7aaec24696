#include "runner/install_location.h"

#include <gtest/gtest.h>

#include <map>

#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using testing_support::MemoryFileSystem;

struct FakeRegistry final : InstallRegistry {
  std::map<RegistryRoot, std::string> values;
  std::optional<std::string> install_location(RegistryRoot root) override {
    const auto it = values.find(root);
    if (it == values.end())
      return std::nullopt;
    return it->second;
  }
};

struct FakePaths final : SystemPaths {
  std::optional<std::string> local = "C:\\Users\\u\\AppData\\Local";
  std::optional<std::string> local_app_data() override { return local; }
  std::string temp_dir() override { return "C:\\Users\\u\\AppData\\Local\\Temp\\"; }
};

struct Discovery : testing::Test {
  FakeRegistry registry;
  MemoryFileSystem files;
  FakePaths paths;
  void install_markers(const std::string& folder) {
    files.files[folder + "\\quarvel-install.json"] = "{}";
    files.files[folder + "\\Quarvel.exe"] = "MZ";
  }
  std::string discover() { return discover_install_location(registry, files, paths); }
};

TEST_F(Discovery, DefaultsToProgramsUnderLocalAppData) {
  EXPECT_EQ(discover(), "C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel");
  paths.local.reset();
  EXPECT_EQ(discover(), "C:\\Users\\u\\AppData\\Local\\Temp\\Programs\\Quarvel");
}

TEST_F(Discovery, SkipsARegistrationWithoutBothMarkerFiles) {
  registry.values[RegistryRoot::kCurrentUser] = "D:\\Half";
  files.files["D:\\Half\\quarvel-install.json"] = "{}";
  registry.values[RegistryRoot::kLocalMachine] = "D:\\Machine";
  install_markers("D:\\Machine");
  EXPECT_EQ(discover(), "D:\\Machine");
}

TEST_F(Discovery, PrefersThePerUserRegistration) {
  registry.values[RegistryRoot::kCurrentUser] = "D:\\User";
  registry.values[RegistryRoot::kLocalMachine] = "D:\\Machine";
  install_markers("D:\\User");
  install_markers("D:\\Machine");
  EXPECT_EQ(discover(), "D:\\User");
}

TEST_F(Discovery, ReturnsATrailingBackslashAsReadWithoutDoublingIt) {
  registry.values[RegistryRoot::kCurrentUser] = "D:\\Apps\\Quarvel\\";
  install_markers("D:\\Apps\\Quarvel");
  EXPECT_EQ(discover(), "D:\\Apps\\Quarvel\\");
}

TEST(RegistryValueText, AcceptsTheThreeStringTypesOnly) {
  EXPECT_EQ(registry_value_text(1, u"D:\\Q\0\0"), "D:\\Q");
  EXPECT_EQ(registry_value_text(2, u"%ProgramFiles%\\Q"), "%ProgramFiles%\\Q") << "not expanded";
  EXPECT_EQ(registry_value_text(7, std::u16string_view(u"a\0b\0\0", 5)), "a\nb");
  EXPECT_EQ(registry_value_text(3, u"D:\\Q"), std::nullopt) << "REG_BINARY";
  EXPECT_EQ(registry_value_text(4, u"D:"), std::nullopt) << "REG_DWORD";
  EXPECT_EQ(registry_value_text(1, std::u16string{char16_t(0xD800)}), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace quarvel
