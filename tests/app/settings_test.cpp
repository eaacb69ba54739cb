#include "app/settings.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/file_access.hpp"

namespace tralvex {
namespace {

namespace fs = std::filesystem;
using testing::PermissionBits;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

// The section name 配置 in code page 936.
const std::string kSection = "[\xC5\xE4\xD6\xC3]";

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ::umask(022); }
    fs::path File() const { return SettingsFilePath(dir_.path()); }

    testing::TemporaryDirectory dir_;
};

TEST_F(SettingsTest, FileLiesInTheGivenDirectoryAndBesideTheProgram) {
    EXPECT_EQ(File(), dir_.path() / "IPconfig.ini");
    EXPECT_TRUE(fs::is_regular_file(ExecutableDirectory() / "app_core_test"));
}

TEST_F(SettingsTest, FirstStartCreatesAnEmptyFileForTheOwnerOnly) {
    const LoadedSettings first = LoadSettings(dir_.path());
    EXPECT_FALSE(first.fileExisted);
    EXPECT_EQ(first.address, "");
    EXPECT_EQ(first.password, "");
    ASSERT_TRUE(fs::is_regular_file(File()));
    EXPECT_EQ(fs::file_size(File()), 0u);
    EXPECT_EQ(PermissionBits(File()), 0600);

    const LoadedSettings second = LoadSettings(dir_.path());
    EXPECT_TRUE(second.fileExisted);
    EXPECT_EQ(second.address, "");
    EXPECT_EQ(second.password, "");
}

TEST_F(SettingsTest, FirstSaveWritesTheSectionWithBothKeysInOrder) {
    LoadSettings(dir_.path());
    EXPECT_TRUE(SaveSettings(dir_.path(), "", ""));
    EXPECT_EQ(ReadFileBytes(File()), kSection + "\r\nIP=\r\nPassword=\r\n");

    EXPECT_TRUE(SaveSettings(dir_.path(), "192.168.1.1", "s3cret \xC3\xDC"));
    EXPECT_EQ(ReadFileBytes(File()),
              kSection + "\r\nIP=192.168.1.1\r\nPassword=s3cret \xC3\xDC\r\n");
    EXPECT_EQ(PermissionBits(File()), 0600);

    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_TRUE(loaded.fileExisted);
    EXPECT_EQ(loaded.address, "192.168.1.1");
    EXPECT_EQ(loaded.password, "s3cret \xC3\xDC");
}

TEST_F(SettingsTest, SaveWithoutAFileCreatesItForTheOwnerOnly) {
    EXPECT_TRUE(SaveSettings(dir_.path(), "1.2.3.4", "pw"));
    EXPECT_EQ(ReadFileBytes(File()), kSection + "\r\nIP=1.2.3.4\r\nPassword=pw\r\n");
    EXPECT_EQ(PermissionBits(File()), 0600);
}

TEST_F(SettingsTest, MissingSectionLoadsEmptyAndSaveAddsIt) {
    const std::string before = "; router tool\r\n[other]\r\nIP=9.9.9.9\r\n";
    WriteFileBytes(File(), before);
    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_TRUE(loaded.fileExisted);
    EXPECT_EQ(loaded.address, "");
    EXPECT_EQ(loaded.password, "");

    EXPECT_TRUE(SaveSettings(dir_.path(), "1.2.3.4", "pw"));
    EXPECT_EQ(ReadFileBytes(File()), before + kSection + "\r\nIP=1.2.3.4\r\nPassword=pw\r\n");
}

TEST_F(SettingsTest, MissingKeyLoadsEmptyAndSaveAddsIt) {
    WriteFileBytes(File(), kSection + "\r\nPassword=pw\r\n");
    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_EQ(loaded.address, "");
    EXPECT_EQ(loaded.password, "pw");

    EXPECT_TRUE(SaveSettings(dir_.path(), "1.2.3.4", "new"));
    EXPECT_EQ(ReadFileBytes(File()), kSection + "\r\nPassword=new\r\nIP=1.2.3.4\r\n");
}

TEST_F(SettingsTest, NamesMatchRegardlessOfCaseAndLayout) {
    WriteFileBytes(File(), " " + kSection + " \nip = \"10.0.0.1\"\nPASSWORD= 'a b' \n");
    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_EQ(loaded.address, "10.0.0.1");
    EXPECT_EQ(loaded.password, "a b");
}

TEST_F(SettingsTest, SaveKeepsEverythingElseByteForByte) {
    const std::string head = "; written by hand\nfree line\n[first]\nkey = value \n\n";
    const std::string tail = "[last]\r\n;comment=1\r\nx=\"q\"\r\n";
    WriteFileBytes(File(), head + kSection + "\nIP=1.1.1.1\nother=keep\nPassword=old\n" + tail);
    EXPECT_TRUE(SaveSettings(dir_.path(), "2.2.2.2", "new"));
    EXPECT_EQ(ReadFileBytes(File()),
              head + kSection + "\nIP=2.2.2.2\r\nother=keep\nPassword=new\r\n" + tail);
}

TEST_F(SettingsTest, LongValuesLoadCutTo10239Bytes) {
    const std::string longAddress(10300, '1');
    const std::string longPassword(10239, 'p');
    WriteFileBytes(File(),
                   kSection + "\r\nIP=" + longAddress + "\r\nPassword=" + longPassword + "x\r\n");
    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_EQ(loaded.address, longAddress.substr(0, 10239));
    EXPECT_EQ(loaded.password, longPassword);
}

TEST_F(SettingsTest, DirectoryUnderTheNameCountsAsTheFile) {
    fs::create_directory(File());
    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_TRUE(loaded.fileExisted);
    EXPECT_EQ(loaded.address, "");
    EXPECT_EQ(loaded.password, "");
    EXPECT_FALSE(SaveSettings(dir_.path(), "1.2.3.4", "pw"));
    EXPECT_TRUE(fs::is_directory(File()));
    EXPECT_TRUE(fs::is_empty(File()));
}

TEST_F(SettingsTest, DanglingLinkUnderTheNameCountsAsTheFile) {
    fs::create_symlink(dir_.path() / "nowhere.ini", File());
    const LoadedSettings loaded = LoadSettings(dir_.path());
    EXPECT_TRUE(loaded.fileExisted);
    EXPECT_FALSE(fs::exists(dir_.path() / "nowhere.ini")) << "nothing created through the link";
}

TEST_F(SettingsTest, ReadOnlyDirectoryKeepsNothingAndReportsNothing) {
    const fs::path readOnly = dir_.path() / "ro";
    const fs::path withFile = dir_.path() / "ro-with-file";
    fs::create_directory(readOnly);
    fs::create_directory(withFile);
    const std::string before = kSection + "\r\nIP=1.1.1.1\r\nPassword=old\r\n";
    WriteFileBytes(SettingsFilePath(withFile), before);
    fs::permissions(readOnly, fs::perms(0555));
    fs::permissions(withFile, fs::perms(0555));

    bool checked = false;
    const bool ran = testing::RunObeyingPermissionBits([&] {
        if (testing::CanCreateFileIn(readOnly)) return;
        checked = true;
        const LoadedSettings first = LoadSettings(readOnly);
        EXPECT_FALSE(first.fileExisted);
        EXPECT_FALSE(SaveSettings(readOnly, "1.2.3.4", "pw"));
        EXPECT_FALSE(LoadSettings(readOnly).fileExisted) << "the next start shows blank boxes";

        EXPECT_EQ(LoadSettings(withFile).address, "1.1.1.1");
        EXPECT_FALSE(SaveSettings(withFile, "2.2.2.2", "new"));
    });
    fs::permissions(readOnly, fs::perms(0755));
    fs::permissions(withFile, fs::perms(0755));
    if (!ran || !checked) GTEST_SKIP() << "this file system lets this process write anywhere";
    EXPECT_TRUE(fs::is_empty(readOnly));
    EXPECT_EQ(ReadFileBytes(SettingsFilePath(withFile)), before);
}

}  // namespace
}  // namespace tralvex
