#include "platform/profile/profile.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/file_access.hpp"

namespace tralvex {
namespace {

namespace fs = std::filesystem;
using testing::PermissionBits;
using testing::ReadFileBytes;
using testing::TemporaryDirectory;
using testing::WriteFileBytes;

constexpr std::size_t kBuffer = 10240;

class ProfileTest : public ::testing::Test {
  protected:
    fs::path File() const { return dir_.path() / "test.ini"; }
    Text Read(std::string_view section, std::string_view key, std::string_view fallback = "?",
              std::size_t size = kBuffer) const {
        return GetPrivateProfileString(section, key, fallback, size, File());
    }
    bool Write(std::string_view section, std::string_view key, std::string_view value) const {
        return WritePrivateProfileString(section, key, value, File());
    }

    TemporaryDirectory dir_;
};

struct ReadCase {
    const char* what;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
};

TEST_F(ProfileTest, ReadsByThePlatformRules) {
    const std::vector<ReadCase> cases = {
        {"plain", "[s]\r\nk=v\r\n", "s", "k", "v"},
        {"names ignore ASCII case", "[Section1]\r\nName1=v\r\n", "sECTION1", "NaMe1", "v"},
        {"blanks inside brackets", "[ section1 ]\r\nk=v\r\n", "section1", "k", "v"},
        {"blanks around names given", "[s]\r\nk=v\r\n", " s ", "\tk ", "v"},
        {"text after the bracket", "[s] ; note\r\nk=v\r\n", "s", "k", "v"},
        {"blanks around key and value", "[s]\r\n  k \t=  v w \t\r\n", "s", "k", "v w"},
        {"double quotes removed", "[s]\r\nk=\"val2\"\r\n", "s", "k", "val2"},
        {"single quotes removed", "[s]\r\nk='val2'\r\n", "s", "k", "val2"},
        {"quoted blanks kept", "[s]\r\nk= \" a \" \r\n", "s", "k", " a "},
        {"only one pair removed", "[s]\r\nk=\"'a'\"\r\n", "s", "k", "'a'"},
        {"mismatched quotes kept", "[s]\r\nk=\"val'\r\n", "s", "k", "\"val'"},
        {"one-sided quote kept", "[s]\r\nk=\"val\r\n", "s", "k", "\"val"},
        {"lone quote kept", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        {"empty quotes", "[s]\r\nk=\"\"\r\n", "s", "k", ""},
        {"empty value is a value", "[s]\r\nk=\r\n", "s", "k", ""},
        {"value holding =", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        {"CR line ends", "[a]\rk=1\r[s]\rk=v\r", "s", "k", "v"},
        {"LF line ends", "[a]\nk=1\n[s]\nk=v\n", "s", "k", "v"},
        {"mixed line ends", "[a]\r\nk=1\n[s]\rk=v", "s", "k", "v"},
        {"last line without line end", "[s]\r\nk=v", "s", "k", "v"},
        {"first key wins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        {"first section wins", "[s]\r\nk=1\r\n[S]\r\nk=2\r\n", "s", "k", "1"},
        {"only the first section is searched", "[s]\r\na=1\r\n[s]\r\nk=2\r\n", "s", "k", "?"},
        {"key in another section", "[t]\r\nk=1\r\n[s]\r\nj=2\r\n", "s", "k", "?"},
        {"lines before the first section", "k=0\r\n[s]\r\nj=1\r\n", "s", "k", "?"},
        {"line without = is no key", "[s]\r\nk\r\n", "s", "k", "?"},
        {"comment is no key", "[s]\r\n;k=1\r\nk=2\r\n", "s", "k", "2"},
        {"missing section", "[t]\r\nk=v\r\n", "s", "k", "?"},
        {"empty file", "", "s", "k", "?"},
        {"empty section name asked", "[]\r\nk=v\r\n", "", "k", "?"},
        {"empty key name asked", "[s]\r\n=v\r\n", "s", "", "?"},
        {"value cut at a zero byte", std::string("[s]\r\nk=ab\0cd\r\n", 13), "s", "k", "ab"},
        {"code page 936 names", "[\xC5\xE4\xD6\xC3]\r\nIP=1.2.3.4\r\n", "\xC5\xE4\xD6\xC3", "ip",
         "1.2.3.4"},
        // B0 5D is one double-byte character whose trail byte is "]".
        {"] as a trail byte", "[\xB0\x5D]\r\nk=v\r\n", "\xB0\x5D", "k", "v"},
        {"] as a trail byte is no end", "[\xB0\x5D]\r\nk=v\r\n", "\xB0", "k", "?"},
        // B0 41 and B0 61 are two different characters, not one in two cases.
        {"trail bytes keep their case", "[\xB0\x41]\r\nk=v\r\n", "\xB0\x61", "k", "?"},
    };
    for (const ReadCase& c : cases) {
        WriteFileBytes(File(), c.content);
        EXPECT_EQ(Read(c.section, c.key), c.expected) << c.what;
    }
}

TEST_F(ProfileTest, DefaultLosesTrailingBlanksWhenNothingIsFound) {
    EXPECT_EQ(Read("s", "k", "default  "), "default");
    EXPECT_EQ(Read("s", "k", "one two  "), "one two");
    EXPECT_EQ(Read("s", "k", "  lead"), "  lead");
    EXPECT_FALSE(fs::exists(File())) << "reading creates nothing";
}

TEST_F(ProfileTest, DirectoryOrPipeUnderTheNameGivesTheDefault) {
    fs::create_directory(File());
    EXPECT_EQ(Read("s", "k", "d"), "d");
    fs::remove(File());
    ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
    EXPECT_EQ(Read("s", "k", "d"), "d") << "a pipe is not waited on";
}

struct CutCase {
    std::string value;
    std::size_t bufferSize;
    std::string expected;
};

TEST_F(ProfileTest, ResultHoldsAtMostBufferSizeLessOneBytes) {
    const std::string longValue(10300, 'x');
    const std::vector<CutCase> cases = {
        {"val1", 5, "val1"},
        {"val1", 4, "val"},
        {"val1", 1, ""},
        {"val1", 0, ""},
        {longValue, kBuffer, std::string(10239, 'x')},
        // A double-byte character that does not fit whole is left out.
        {"\xC5\xE4\xD6\xC3", 4, "\xC5\xE4"},
        {"a\xC5\xE4\xD6\xC3", 4, "a\xC5\xE4"},
        // A lead byte with nothing after it is a character of its own.
        {"ab\xC5", 4, "ab\xC5"},
    };
    for (const CutCase& c : cases) {
        WriteFileBytes(File(), "[s]\r\nk=" + c.value + "\r\n");
        EXPECT_EQ(Read("s", "k", "", c.bufferSize), c.expected) << c.bufferSize;
    }
    EXPECT_EQ(GetPrivateProfileString("s", "missing", "default", 4, File()), "def");
}

TEST_F(ProfileTest, WritesTheBytesOfThePlatform) {
    ASSERT_TRUE(Write("App", "key", "string"));
    EXPECT_EQ(ReadFileBytes(File()), "[App]\r\nkey=string\r\n");

    fs::remove(File());
    ASSERT_TRUE(Write("App1", "key1", "string1"));
    ASSERT_TRUE(Write("App1", "key2", "string2"));
    ASSERT_TRUE(Write("App1", "key3", "string3"));
    ASSERT_TRUE(Write("App2", "key4", "string4"));
    ASSERT_TRUE(Write("App3", "key5", "string5"));
    EXPECT_EQ(ReadFileBytes(File()),
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
              "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");

    ASSERT_TRUE(Write("app2", "KEY4", ""));
    EXPECT_EQ(ReadFileBytes(File()),
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
              "[App2]\r\nkey4=\r\n[App3]\r\nkey5=string5\r\n")
        << "replaced in place, keeping the stored spelling of the name";
}

struct EditCase {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

TEST_F(ProfileTest, WriteChangesOnlyTheOneKey) {
    const std::string head = std::string("free text\0\x01 before sections\n;comment\n", 37);
    const std::vector<EditCase> cases = {
        {"replace, keep the rest", head + "[a]\nx = 1 \n[s]\n; about k\nk = \"old\"\nj=2\n[b]\ny\n",
         "s", "k", "new", head + "[a]\nx = 1 \n[s]\n; about k\nk=new\r\nj=2\n[b]\ny\n"},
        {"new key after the section's last line", "[s]\nk=1\n;last\n\n[b]\nj=2\n", "s", "n", "v",
         "[s]\nk=1\n;last\nn=v\r\n\n[b]\nj=2\n"},
        {"new key in a section with no keys", "[s]\n[b]\n", "s", "n", "v", "[s]\nn=v\r\n[b]\n"},
        {"new key after a last line without line end", "[s]\r\nk=1", "s", "n", "v",
         "[s]\r\nk=1\r\nn=v\r\n"},
        {"new section at the end", "[a]\r\nk=1\r\n\r\n", "s", "k", "v",
         "[a]\r\nk=1\r\n\r\n[s]\r\nk=v\r\n"},
        {"new section after a last line without line end", "[a]\nk=1", "s", "k", "v",
         "[a]\nk=1\r\n[s]\r\nk=v\r\n"},
        {"new section after text only", "just text", "s", "k", "v", "just text\r\n[s]\r\nk=v\r\n"},
        {"key before the first section is not the key", "k=0\r\n", "s", "k", "v",
         "k=0\r\n[s]\r\nk=v\r\n"},
        {"blanks around the names given", "[s]\r\nk=1\r\n", " s\t", " k ", "2", "[s]\r\nk=2\r\n"},
        {"CR line ends", "[s]\rk=1\r[t]\r", "s", "k", "2", "[s]\rk=2\r\n[t]\r"},
    };
    for (const EditCase& c : cases) {
        WriteFileBytes(File(), c.before);
        EXPECT_TRUE(Write(c.section, c.key, c.value)) << c.what;
        EXPECT_EQ(ReadFileBytes(File()), c.after) << c.what;
    }
}

TEST_F(ProfileTest, ValuesThatReadingWouldChangeAreQuoted) {
    const std::vector<std::string> values = {
        " a ", "a ", "\tb", "\"x\"", "'y'", "\"'z'\"", "\"", "a\"", "\xC5\xE4 \xD6\xC3", "=", ""};
    for (const std::string& value : values) {
        ASSERT_TRUE(Write("s", "k", value)) << value;
        EXPECT_EQ(Read("s", "k"), value) << "round trip of [" << value << "]";
    }
    ASSERT_TRUE(Write("s", "k", " a "));
    EXPECT_EQ(ReadFileBytes(File()), "[s]\r\nk=\" a \"\r\n");
    ASSERT_TRUE(Write("s", "k", "plain value"));
    EXPECT_EQ(ReadFileBytes(File()), "[s]\r\nk=plain value\r\n");
}

TEST_F(ProfileTest, WriteRefusesWhatWouldBreakTheFile) {
    const std::string before = "[s]\r\nk=1\r\n";
    struct Refused {
        std::string section, key, value;
    };
    const std::vector<Refused> cases = {
        {"s", "k", "a\r\nb=2"}, {"s", "k", "a\nb"},
        {"s", "k", "a\rb"},     {"s", "k", std::string("a\0b", 3)},
        {"s", "k=x", "v"},      {"s", "[x]", "v"},
        {"s]x", "k", "v"},      {"s\n", "k", "v"},
        {"", "k", "v"},         {"s", "", "v"},
        {"  ", "k", "v"},
    };
    WriteFileBytes(File(), before);
    for (const Refused& c : cases) {
        EXPECT_FALSE(Write(c.section, c.key, c.value)) << c.section << "/" << c.key;
        EXPECT_EQ(ReadFileBytes(File()), before);
    }
    fs::remove(File());
    EXPECT_FALSE(Write("s", "k", "a\nb"));
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(ProfileTest, NewFileIsForTheOwnerOnlyAndAnOldOneKeepsItsMode) {
    ::umask(022);
    ASSERT_TRUE(Write("s", "k", "secret"));
    EXPECT_EQ(PermissionBits(File()), 0600);

    fs::permissions(File(), fs::perms(0644));
    ASSERT_TRUE(Write("s", "k", "other"));
    EXPECT_EQ(PermissionBits(File()), 0644);
}

TEST_F(ProfileTest, WriteThroughALinkChangesItsTarget) {
    const fs::path target = dir_.path() / "real.ini";
    WriteFileBytes(target, "[s]\r\nk=1\r\n");
    fs::create_symlink(target, File());
    ASSERT_TRUE(Write("s", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_EQ(ReadFileBytes(target), "[s]\r\nk=2\r\n");
}

TEST_F(ProfileTest, WriteFailsWhereNoFileCanBe) {
    fs::create_directory(File());
    EXPECT_FALSE(Write("s", "k", "v"));
    EXPECT_TRUE(fs::is_directory(File()));

    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", dir_.path() / "no" / "such.ini"));
    EXPECT_FALSE(fs::exists(dir_.path() / "no"));
}

// Lets writes in this process fail once a file grows past `bytes`, as on a
// full disk, and restores the limit when it goes.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldSignal_);
    }

  private:
    rlimit saved_{};
    void (*oldSignal_)(int) = nullptr;
};

std::vector<fs::path> Entries(const fs::path& dir) {
    std::vector<fs::path> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        entries.push_back(entry.path().filename());
    }
    return entries;
}

TEST_F(ProfileTest, FailedWriteLeavesTheOldContentWhole) {
    const std::string before = "[s]\r\nk=old\r\n";
    WriteFileBytes(File(), before);
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(Write("s", "k", std::string(1000, 'n')));
    }
    EXPECT_EQ(ReadFileBytes(File()), before);
    EXPECT_EQ(Entries(dir_.path()), std::vector<fs::path>{"test.ini"}) << "no temporary file left";
    EXPECT_TRUE(Write("s", "k", std::string(1000, 'n')));
}

TEST_F(ProfileTest, WriteFailsInADirectoryThatTakesNoNewFiles) {
    const std::string before = "[s]\r\nk=old\r\n";
    WriteFileBytes(File(), before);
    fs::permissions(dir_.path(), fs::perms(0555));
    bool checked = false;
    bool ran = testing::RunObeyingPermissionBits([&] {
        if (testing::CanCreateFileIn(dir_.path())) return;
        checked = true;
        EXPECT_FALSE(Write("s", "k", "new"));
        EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", dir_.path() / "other.ini"));
        EXPECT_EQ(Read("s", "k"), "old") << "reading still works";
    });
    fs::permissions(dir_.path(), fs::perms(0755));
    if (!ran || !checked) GTEST_SKIP() << "this file system lets this process write anywhere";
    EXPECT_EQ(ReadFileBytes(File()), before);
    EXPECT_FALSE(fs::exists(dir_.path() / "other.ini"));
}

}  // namespace
}  // namespace tralvex
