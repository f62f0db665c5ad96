// The resources Windows reads from the built executables: the setup dialog's template control for
// control, and the one 32 x 32, 16-colour image of each icon.
#include "../resources/resource.h"
#include "driver.h"

#include <gtest/gtest.h>

using namespace driver;

namespace {

// An executable's resources, loaded as data.
class Resources {
public:
    explicit Resources(const std::string& exe) : module_(LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Resources() { FreeLibrary(module_); }
    std::string Get(LPCSTR type, int id) const
    {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == NULL)
            return std::string();
        return std::string((const char*)LockResource(LoadResource(module_, found)), SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

// Reads a classic dialog template (not the extended form) field by field.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
    DWORD Dword()
    {
        DWORD value = 0;
        Take(&value, 4);
        return value;
    }
    short Short()
    {
        short value = 0;
        Take(&value, 2);
        return value;
    }
    WORD Word() { return (WORD)Short(); }
    // A text, or 0xFFFF and a number, told as "#number".
    std::string TextOrNumber()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; c != 0; c = Word())
            text += (char)c;
        return text;
    }
    void AlignToDword() { at_ = (at_ + 3) & ~(size_t)3; }
    bool Overrun() const { return overrun_; }

private:
    void Take(void* value, size_t size)
    {
        if (at_ + size > bytes_.size()) {
            overrun_ = true;
            return;
        }
        memcpy(value, bytes_.data() + at_, size);
        at_ += size;
    }
    const std::string& bytes_;
    size_t at_ = 0;
    bool overrun_ = false;
};

struct Control {
    int id;
    std::string kind;  // the system class by its number: #128 button, #130 static, #133 combo box
    std::string text;
    short x, y, cx, cy;
    DWORD style;       // beyond WS_CHILD | WS_VISIBLE
};

// One 32 x 32 image in 16 colours, as the icon directory of a group describes it.
void ExpectOneSmallIcon(const std::string& exe, int groupId)
{
    Resources resources(BuildPath(exe));
    std::string group = resources.Get(RT_GROUP_ICON, groupId);
    ASSERT_GE(group.size(), 6u + 14u) << exe << " has no icon group " << groupId;
    WORD count = *(const WORD*)(group.data() + 4);
    EXPECT_EQ(count, 1) << exe;
    const BYTE* entry = (const BYTE*)group.data() + 6;
    EXPECT_EQ(entry[0], 32) << exe;  // width
    EXPECT_EQ(entry[1], 32) << exe;  // height
    WORD bitCount = *(const WORD*)(entry + 6);
    EXPECT_TRUE(entry[2] == 16 || bitCount == 4) << exe << ": not 16 colours";
}

}  // namespace

TEST(Resources, SetupDialogTemplateHoldsTheControlsInTabOrder)
{
    Resources resources(BuildPath("setup.exe"));
    std::string bytes = resources.Get(RT_DIALOG, IDD_SETUP);
    ASSERT_FALSE(bytes.empty()) << "no dialog " << IDD_SETUP;
    TemplateReader reader(bytes);
    DWORD style = reader.Dword();
    reader.Dword();  // extended style
    WORD count = reader.Word();
    short x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
    EXPECT_EQ(style, (DWORD)(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER |
                             DS_3DLOOK | DS_SETFONT));
    EXPECT_EQ((std::vector<short>{x, y, cx, cy}), (std::vector<short>{7, 20, 200, 90}));
    EXPECT_EQ(reader.TextOrNumber(), "");  // no menu
    EXPECT_EQ(reader.TextOrNumber(), "");  // the system's dialog class
    EXPECT_EQ(reader.TextOrNumber(), "Ambit Knob 2.00 Setup");
    EXPECT_EQ(reader.Word(), 8);
    EXPECT_EQ(reader.TextOrNumber(), "Helv");

    const Control expected[] = {
        {-1, "#130", "Destination directory", 6, 4, 100, 8, SS_LEFT | WS_GROUP},
        {IDC_DESTINATION, "#133", "", 6, 16, 135, 130, CBS_DROPDOWN | CBS_SORT | CBS_OEMCONVERT | WS_VSCROLL | WS_TABSTOP},
        {IDC_BROWSE, "#128", "Browse...", 145, 16, 50, 14, BS_PUSHBUTTON | WS_TABSTOP},
        {IDC_VIEW_README, "#128", "View readme.txt", 6, 35, 100, 10, BS_AUTOCHECKBOX | WS_TABSTOP},
        {IDC_CREATE_GROUP, "#128", "Create Program Group", 110, 35, 100, 10, BS_AUTOCHECKBOX | WS_TABSTOP},
        {IDC_RUN_APP, "#128", "Run Installed Application", 6, 50, 100, 10, BS_AUTOCHECKBOX | WS_TABSTOP},
        {-1, "#130", std::string(90, '-'), 0, 60, 200, 8, SS_CENTER | WS_GROUP},
        {IDOK, "#128", "Go!", 90, 70, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, "#128", "Cancel", 145, 70, 50, 14, BS_PUSHBUTTON | WS_TABSTOP},
    };
    ASSERT_EQ(count, sizeof expected / sizeof expected[0]);
    for (const Control& want : expected) {
        SCOPED_TRACE(want.text.empty() ? std::to_string(want.id) : want.text);
        reader.AlignToDword();
        DWORD controlStyle = reader.Dword();
        reader.Dword();
        short cx0 = reader.Short(), cy0 = reader.Short(), cx1 = reader.Short(), cy1 = reader.Short();
        short id = reader.Short();
        EXPECT_EQ(id, want.id);
        EXPECT_EQ(reader.TextOrNumber(), want.kind);
        EXPECT_EQ(reader.TextOrNumber(), want.text);
        reader.Word();  // no creation data
        EXPECT_EQ((std::vector<short>{cx0, cy0, cx1, cy1}), (std::vector<short>{want.x, want.y, want.cx, want.cy}));
        EXPECT_EQ(controlStyle, WS_CHILD | WS_VISIBLE | want.style) << std::hex << controlStyle;
    }
    EXPECT_FALSE(reader.Overrun());
}

TEST(Resources, EachExecutableHasItsOwnSmallIcon)
{
    ExpectOneSmallIcon("setup.exe", IDI_SETUP);
    ExpectOneSmallIcon("uninstal.exe", IDI_UNINSTALL);
    Resources setup(BuildPath("setup.exe")), uninstaller(BuildPath("uninstal.exe"));
    EXPECT_NE(setup.Get(RT_ICON, 1), uninstaller.Get(RT_ICON, 1)) << "the uninstaller shows the installer's icon";
}
