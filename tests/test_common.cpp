// The path buffer's edits at and across the 259-character bound, which paths count as full ones,
// and registry text as both programs read it.
#include "../common/pathbuf.h"
#include "driver.h"

// The buffer after `edit` on `before`, with '#' behind the text so that a missing terminator shows;
// "refused" when the edit refused, which must leave the buffer as it was.
static std::string Edited(const std::string& before, bool (*edit)())
{
    memset(PathBuffer, '#', sizeof PathBuffer);
    memcpy(PathBuffer, before.c_str(), before.size() + 1);
    bool done = edit();
    std::string after(PathBuffer, strnlen(PathBuffer, sizeof PathBuffer));
    EXPECT_LT(after.size(), sizeof PathBuffer) << "buffer not terminated";
    EXPECT_TRUE(done || after == before) << "a refused edit changed the buffer";
    return done ? after : "refused";
}

TEST(PathBuffer, EditsUpToTheBoundAndNoFurther)
{
    bool (*appendNine)() = [] { return AppendToPath("123456789"); };
    bool (*strip)() = [] { return StripTrailingSeparator(), true; };
    EXPECT_EQ(Edited("C:", EnsureTrailingSeparator), "C:\\");
    EXPECT_EQ(Edited("C:\\", EnsureTrailingSeparator), "C:\\");
    EXPECT_EQ(Edited("", EnsureTrailingSeparator), "");
    EXPECT_EQ(Edited(PathOfLength(258), EnsureTrailingSeparator), PathOfLength(258) + "\\");
    EXPECT_EQ(Edited(PathOfLength(259), EnsureTrailingSeparator), "refused");
    EXPECT_EQ(Edited("D:", ApplyProductSuffix), "D:\\AmbitKnob");
    EXPECT_EQ(Edited("D:\\x\\AMBITKNOB", ApplyProductSuffix), "D:\\x\\AMBITKNOB");
    EXPECT_EQ(Edited("D:\\xAmbitKnob", ApplyProductSuffix), "D:\\xAmbitKnob\\AmbitKnob");
    EXPECT_EQ(Edited(PathOfLength(249), ApplyProductSuffix), PathOfLength(249) + "\\AmbitKnob");
    EXPECT_EQ(Edited(PathOfLength(250), ApplyProductSuffix), "refused");
    EXPECT_EQ(Edited(PathOfLength(259, "\\ambitknob"), ApplyProductSuffix), PathOfLength(259, "\\ambitknob"));
    EXPECT_EQ(Edited(PathOfLength(250), appendNine), PathOfLength(250) + "123456789");
    EXPECT_EQ(Edited(PathOfLength(251), appendNine), "refused");
    EXPECT_EQ(Edited("D:\\x\\\\", strip), "D:\\x\\");
    EXPECT_EQ(Edited("", strip), "");
}

TEST(PathBuffer, FullPathsAreDriveOrSharePathsButNoDevicePaths)
{
    for (const char* good : {"C:\\", "c:\\AmbitKnob", "D:\\A\\B\\C\\", "\\\\server\\share", "\\\\server\\share\\dir"})
        EXPECT_TRUE(IsFullyQualifiedPath(good)) << good;
    for (const char* bad : {"", "AmbitKnob", "C:AmbitKnob", "C:", "\\AmbitKnob", "\\\\", "\\\\server", "\\\\server\\",
                            "\\\\\\share", "1:\\x", ".\\x", "\\\\?\\D:\\x", "\\\\.\\D:\\x", "\\\\./D:\\x", "\\\\?\\UNC\\server\\share"})
        EXPECT_FALSE(IsFullyQualifiedPath(bad)) << bad;
}

// Only terminated text that fits the buffer is read; anything else leaves the buffer empty.
TEST(Registry, ReadsOnlyTextThatFits)
{
    const char* key = "Software\\Cindertop\\AmbitKnobTests";
    struct Case {
        DWORD type;
        std::string stored;  // the terminator included where there is one
        const char* read;    // what the buffer then holds, or NULL for a failed read
    } cases[] = {
        {REG_SZ, std::string("D:\\Tools\\AmbitKnob") + '\0', "D:\\Tools\\AmbitKnob"},
        {REG_SZ, std::string(1, '\0'), ""},
        {REG_EXPAND_SZ, std::string("%TEMP%\\x") + '\0', "%TEMP%\\x"},
        {REG_SZ, PathOfLength(259) + '\0', "259"},
        {REG_SZ, PathOfLength(260) + '\0', NULL},
        {REG_SZ, std::string(260, 'a'), NULL},
        {REG_DWORD, "ABNK", NULL},
        {REG_BINARY, std::string("C:\\x") + '\0', NULL},
        {REG_NONE, "", NULL},  // no value, nor a key
    };
    for (const Case& c : cases) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key);
        if (c.type != REG_NONE)
            RegSetKeyValueA(HKEY_CURRENT_USER, key, "v", c.type, c.stored.data(), (DWORD)c.stored.size());
        strcpy(PathBuffer, "old text");
        EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key, "v"), c.read != NULL) << c.stored;
        EXPECT_EQ(PathBuffer, c.read == NULL ? "" : strcmp(c.read, "259") ? c.read : PathOfLength(259)) << c.stored;
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}
