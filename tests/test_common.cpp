// The path buffer's edits at and across the 259-character bound, which paths count as full ones,
// registry text as both programs read it, and how folders and their entries are told apart.
#include "../common/folder.h"
#include "../common/ownfile.h"
#include "../common/record.h"
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

// A folder is told by what it is, not by its name: a second name of one file (a hard link, the one
// kind of second name whose text Wine does not resolve to the first) leads to the same, and walking
// up from a path finds what is above it by the same test.
TEST(Folders, ToldByIdentityNotByName)
{
    std::string dir = FreshFolder("identity");
    SHCreateDirectoryExA(NULL, (dir + "\\inner").c_str(), NULL);
    WriteFileBytes(dir + "\\one.txt", "one");
    WriteFileBytes(dir + "\\inner\\other.txt", "one");
    ASSERT_TRUE(CreateHardLinkA((dir + "\\inner\\second.txt").c_str(), (dir + "\\one.txt").c_str(), NULL));
    EXPECT_TRUE(IsSameFolder(L"D:\\identity\\one.txt", L"D:\\identity\\inner\\second.txt"));
    EXPECT_FALSE(IsSameFolder(L"D:\\identity\\one.txt", L"D:\\identity\\inner\\other.txt"));
    EXPECT_FALSE(IsSameFolder(L"D:\\identity", L"D:\\identity\\missing"));
    EXPECT_TRUE(IsSameFolder(L"d:\\IDENTITY\\missing\\", L"D:\\identity\\missing"));
    FileIdentity one, inner;
    ASSERT_TRUE(GetIdentity(L"D:\\identity\\one.txt", &one) && GetIdentity(L"D:\\identity\\inner", &inner));
    struct {
        const FileIdentity* folder;
        const WCHAR* path;
        bool above;
    } walks[] = {
        {&one, L"D:\\identity\\inner\\second.txt", true},
        {&inner, L"D:\\identity\\inner\\other.txt", true},
        {&inner, L"D:\\identity\\one.txt", false},
    };
    for (auto& walk : walks) {
        WCHAR path[MAX_PATH];
        lstrcpyW(path, walk.path);
        EXPECT_EQ(IsAtOrAbove(walk.folder, path), walk.above) << testing::PrintToString(std::wstring(walk.path));
    }
}

// Only a reparse point that stands for another name is a link; cloud placeholders and deduplicated
// files are the files themselves. Only "not found" says that nothing is there; a drive without its
// disk or a share that is gone says that a folder cannot be found there now.
TEST(Folders, LinksByTagAndAbsentOnlyWhenNotFound)
{
    struct {
        DWORD attributes, tag;
        bool link;
    } entries[] = {
        {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT, true},
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, true},
        {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, 0, true},
        {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, (DWORD)IO_REPARSE_TAG_CLOUD_6, false},
        {FILE_ATTRIBUTE_REPARSE_POINT, (DWORD)IO_REPARSE_TAG_DEDUP, false},
    };
    for (auto& entry : entries)
        EXPECT_EQ(IsLinkEntry(entry.attributes, entry.tag), entry.link) << std::hex << entry.tag;
    EXPECT_TRUE(IsNotFoundError(ERROR_FILE_NOT_FOUND) && IsNotFoundError(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(IsNotFoundError(ERROR_ACCESS_DENIED) || IsNotFoundError(ERROR_NOT_READY));
    EXPECT_TRUE(IsDriveGoneError(ERROR_NOT_READY) && IsDriveGoneError(ERROR_BAD_NETPATH) && !IsDriveGoneError(ERROR_ACCESS_DENIED));
}

// An entry is opened as itself, judged by its bytes and deleted through that one handle: a
// read-only file goes, a folder only when it is empty, and the system's own answer says whether it
// went. SHA-256 as its standard vector gives it.
TEST(OwnFiles, JudgedAndDeletedThroughOneHandle)
{
    std::string dir = FreshFolder("own-files");
    std::wstring wide = L"D:\\own-files";
    WriteFileBytes(dir + "\\file.txt", "abc");
    SetFileAttributesA((dir + "\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SHCreateDirectoryExA(NULL, (dir + "\\full\\inner").c_str(), NULL);
    FileDigest abc, other;
    ASSERT_TRUE(DigestBytes((const BYTE*)"abc", 3, &abc) && DigestBytes((const BYTE*)"abd", 3, &other));
    EXPECT_EQ(abc.size * 1000 + abc.sha256[0] + abc.sha256[31], 3000u + 0xba + 0xad);
    OpenedFile file;
    EXPECT_EQ(OpenAsItself((wide + L"\\missing").c_str(), false, true, &file), OPEN_ABSENT);
    EXPECT_EQ(OpenAsItself((wide + L"\\full").c_str(), false, true, &file), OPEN_NOT_PLAIN);
    EXPECT_EQ(OpenAsItself((wide + L"\\file.txt").c_str(), true, true, &file), OPEN_NOT_PLAIN);
    HANDLE held = CreateFileA((dir + "\\file.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(OpenAsItself((wide + L"\\file.txt").c_str(), false, true, &file), OPEN_HELD);
    CloseHandle(held);
    ASSERT_EQ(OpenAsItself((wide + L"\\file.txt").c_str(), false, true, &file), OPENED);
    EXPECT_FALSE(HoldsDigest(&file, &other));
    EXPECT_TRUE(HoldsDigest(&file, &abc));
    EXPECT_TRUE(DeleteOpenEntry(&file));
    CloseHandle(file.handle);
    EXPECT_FALSE(FileExists(dir + "\\file.txt"));
    for (const char* folder : {"full", "full\\inner", "full"}) {
        std::string path = dir + "\\" + folder;
        bool empty = FolderEntries(path).empty();
        ASSERT_EQ(OpenAsItself(std::wstring(path.begin(), path.end()).c_str(), true, true, &file), OPENED) << folder;
        EXPECT_EQ(DeleteOpenEntry(&file), empty) << folder;
        CloseHandle(file.handle);
        EXPECT_EQ(FolderExists(path), !empty) << folder;
    }
}

// A folder's record is found under any spelling of that folder, one per folder, and only a record
// of the right form counts.
TEST(Records, OnePerFolderUnderAnySpelling)
{
    const char* key = "Software\\Cindertop\\AmbitKnob\\Installations";
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Cindertop");
    FreshFolder("recorded\\A");
    InstallationRecord record = {2, 5}, found;
    ASSERT_TRUE(StoreInstallation(L"D:\\recorded\\A\\", &record));
    RegSetKeyValueA(HKEY_CURRENT_USER, key, "D:\\recorded\\B", REG_DWORD, &record, sizeof(DWORD));
    for (const WCHAR* spelling : {L"d:\\RECORDED\\a", L"\\\\?\\D:\\recorded\\A", L"D:\\recorded\\..\\recorded\\A"}) {
        EXPECT_TRUE(FindInstallation(spelling, &found)) << testing::PrintToString(std::wstring(spelling));
        EXPECT_EQ(found.createdLevels * 10 + found.foundFiles, 25u);
    }
    EXPECT_FALSE(FindInstallation(L"D:\\recorded\\B", &found));
    EXPECT_EQ(found.createdLevels + found.foundFiles, 0u);
    // One record per folder: the old one goes when the folder is stored under another spelling.
    record.createdLevels = 1;
    ASSERT_TRUE(StoreInstallation(L"\\\\?\\D:\\recorded\\A", &record));
    EXPECT_TRUE(RegGetValueA(HKEY_CURRENT_USER, key, "D:\\recorded\\A", RRF_RT_ANY, NULL, NULL, NULL) != ERROR_SUCCESS);
    EXPECT_TRUE(ForgetInstallation(L"D:\\recorded\\A") && ForgetInstallation(L"D:\\recorded\\B"));
    EXPECT_FALSE(FindInstallation(L"D:\\recorded\\A", &found));
    ForgetStaleRecord();
    HKEY product;
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Cindertop\\AmbitKnob", &product), ERROR_SUCCESS);
}
