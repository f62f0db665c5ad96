// The path buffer's edits at and across the 259-character bound, and the registry round trip.
#include "../common/pathbuf.h"
#include "driver.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace driver;

namespace {

// A path of exactly `length` characters ending in `tail`.
std::string PathOfLength(size_t length, const std::string& tail = "")
{
    std::string path = "C:\\";
    while (path.size() + tail.size() < length)
        path += (path.size() % 9 == 0) ? '\\' : 'a';
    return (path + tail).substr(0, length);
}

// Puts the text in the buffer and fills the rest with '#', so that a missing terminator shows.
void Load(const std::string& text)
{
    ASSERT_LT(text.size(), sizeof PathBuffer);
    memset(PathBuffer, '#', sizeof PathBuffer);
    memcpy(PathBuffer, text.c_str(), text.size() + 1);
}

std::string Buffer()
{
    EXPECT_NE(memchr(PathBuffer, '\0', sizeof PathBuffer), nullptr) << "buffer not terminated";
    return PathBuffer;
}

}  // namespace

TEST(PathEdits, SeparatorsAndSuffix)
{
    Load("C:");
    EXPECT_TRUE(EnsureTrailingSeparator());
    EXPECT_EQ(Buffer(), "C:\\");
    EXPECT_TRUE(EnsureTrailingSeparator());
    EXPECT_EQ(Buffer(), "C:\\");
    Load("");
    EXPECT_TRUE(EnsureTrailingSeparator());
    EXPECT_EQ(Buffer(), "");

    Load("D:\\x\\\\");
    StripTrailingSeparator();
    EXPECT_EQ(Buffer(), "D:\\x\\");
    Load("");
    StripTrailingSeparator();
    EXPECT_EQ(Buffer(), "");

    Load("Ambit");
    EXPECT_TRUE(ApplyProductSuffix());
    EXPECT_EQ(Buffer(), "Ambit\\AmbitKnob");
    Load("D:\\x\\AMBITKNOB");
    EXPECT_TRUE(ApplyProductSuffix());
    EXPECT_EQ(Buffer(), "D:\\x\\AMBITKNOB");
    Load("D:\\xAmbitKnob");
    EXPECT_TRUE(ApplyProductSuffix());
    EXPECT_EQ(Buffer(), "D:\\xAmbitKnob\\AmbitKnob");
    Load("D:");
    EXPECT_TRUE(ApplyProductSuffix());
    EXPECT_EQ(Buffer(), "D:\\AmbitKnob");
}

TEST(PathEdits, RefuseWhatWouldPassTheBound)
{
    // A separator fits up to 258 characters and is refused at 259.
    for (size_t length : {257u, 258u}) {
        std::string path = PathOfLength(length, "x");
        Load(path);
        EXPECT_TRUE(EnsureTrailingSeparator()) << length;
        EXPECT_EQ(Buffer(), path + "\\");
    }
    std::string full = PathOfLength(259, "x");
    Load(full);
    EXPECT_FALSE(EnsureTrailingSeparator());
    EXPECT_EQ(Buffer(), full);
    EXPECT_EQ(PathBuffer[259], '\0');

    // The ten-character suffix fits up to 249 characters.
    std::string fits = PathOfLength(249, "x");
    Load(fits);
    EXPECT_TRUE(ApplyProductSuffix());
    EXPECT_EQ(Buffer(), fits + "\\AmbitKnob");
    EXPECT_EQ(Buffer().size(), 259u);
    for (size_t length : {250u, 258u, 259u}) {
        std::string path = PathOfLength(length, "x");
        Load(path);
        EXPECT_FALSE(ApplyProductSuffix()) << length;
        EXPECT_EQ(Buffer(), path) << length;
    }
    // A long path that already ends in the suffix needs no room.
    std::string suffixed = PathOfLength(259, "\\ambitknob");
    Load(suffixed);
    EXPECT_TRUE(ApplyProductSuffix());
    EXPECT_EQ(Buffer(), suffixed);

    Load(PathOfLength(250, "x"));
    EXPECT_TRUE(AppendToPath("123456789"));
    EXPECT_EQ(Buffer().size(), 259u);
    EXPECT_FALSE(AppendToPath("1"));
    EXPECT_EQ(Buffer().size(), 259u);
}

TEST(PathEdits, BoundedCopyAndAppend)
{
    char small[8];
    memset(small, '#', sizeof small);
    EXPECT_TRUE(CopyText(small, sizeof small, "1234567"));
    EXPECT_STREQ(small, "1234567");
    EXPECT_FALSE(CopyText(small, sizeof small, "12345678"));
    EXPECT_STREQ(small, "1234567");

    EXPECT_TRUE(CopyText(small, sizeof small, "1234"));
    EXPECT_TRUE(AppendText(small, sizeof small, "567"));
    EXPECT_STREQ(small, "1234567");
    EXPECT_FALSE(AppendText(small, sizeof small, "8"));
    EXPECT_STREQ(small, "1234567");
}

TEST(PathEdits, FullyQualifiedPaths)
{
    for (const char* good : {"C:\\", "c:\\AmbitKnob", "D:\\A\\B\\C\\", "\\\\server\\share", "\\\\server\\share\\dir"})
        EXPECT_TRUE(IsFullyQualifiedPath(good)) << good;
    for (const char* bad : {"", "AmbitKnob", "C:AmbitKnob", "C:", "\\AmbitKnob", "\\\\", "\\\\server",
                            "\\\\server\\", "\\\\\\share", "1:\\x", ".\\x", "\\\\?\\D:\\x", "\\\\.\\D:\\x",
                            "\\\\./D:\\x", "\\\\?\\UNC\\server\\share"})
        EXPECT_FALSE(IsFullyQualifiedPath(bad)) << bad;
}

TEST(StartUp, SkipsTheProgramNameAndTheBlanksAfterIt)
{
    char quoted[] = "\"C:\\Program Files\\setup.exe\"  /x y";
    EXPECT_STREQ(SkipProgramName(quoted), "/x y");
    char plain[] = "setup.exe\t /x";
    EXPECT_STREQ(SkipProgramName(plain), "/x");
    char alone[] = "setup.exe";
    EXPECT_STREQ(SkipProgramName(alone), "");
    char unclosed[] = "\"C:\\setup.exe";
    EXPECT_STREQ(SkipProgramName(unclosed), "");
}

class Registry : public ::testing::Test {
protected:
    const std::string key = "Software\\Cindertop\\AmbitKnobTests";
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()); }
    void Put(DWORD type, const void* data, DWORD size) { WriteValue(HKEY_CURRENT_USER, key, "v", type, data, size); }
    bool Read() { return ReadRegistryString(HKEY_CURRENT_USER, key.c_str(), "v"); }
};

TEST_F(Registry, RoundTripAndEmptyString)
{
    WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "v", "D:\\Tools\\AmbitKnob");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, key, "v"), "D:\\Tools\\AmbitKnob");
    Load("old text");
    EXPECT_TRUE(Read());
    EXPECT_EQ(Buffer(), "D:\\Tools\\AmbitKnob");

    WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "v", "");
    HKEY hKey;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, key.c_str(), &hKey), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(hKey, "v", NULL, &type, NULL, &size), ERROR_SUCCESS);
    RegCloseKey(hKey);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(size, 1u);
    Load("old text");
    EXPECT_TRUE(Read());
    EXPECT_EQ(Buffer(), "");
}

TEST_F(Registry, FailedReadsLeaveTheBufferEmpty)
{
    Load("old text");
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, "Software\\Cindertop\\NoSuchKey", "v"));
    EXPECT_EQ(Buffer(), "");

    WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "other", "x");
    Load("old text");
    EXPECT_FALSE(Read());
    EXPECT_EQ(Buffer(), "");

    DWORD number = 0x4B4E4241;  // "ABNK" if it were taken for text
    Put(REG_DWORD, &number, sizeof number);
    Load("old text");
    EXPECT_FALSE(Read());
    EXPECT_EQ(Buffer(), "");

    const char binary[] = "C:\\x";
    Put(REG_BINARY, binary, sizeof binary);
    Load("old text");
    EXPECT_FALSE(Read());
    EXPECT_EQ(Buffer(), "");

    std::string unterminated(260, 'a');
    Put(REG_SZ, unterminated.data(), 260);
    Load("old text");
    EXPECT_FALSE(Read());
    EXPECT_EQ(Buffer(), "");
}

TEST_F(Registry, StringsAtTheBound)
{
    std::string longest = PathOfLength(259);
    WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "v", longest.c_str());
    Load("old");
    EXPECT_TRUE(Read());
    EXPECT_EQ(Buffer(), longest);

    for (size_t length : {260u, 300u}) {
        WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "v", PathOfLength(length).c_str());
        Load("old");
        EXPECT_FALSE(Read()) << length;
        EXPECT_EQ(Buffer(), "") << length;
    }

    const char expandable[] = "%TEMP%\\x";
    Put(REG_EXPAND_SZ, expandable, sizeof expandable);
    EXPECT_TRUE(Read());
    EXPECT_EQ(Buffer(), expandable);
}
