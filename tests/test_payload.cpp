// The installer carries exactly the build's six files, byte for byte and in install order.
#include "driver.h"
#include "payload.h"

#include <gtest/gtest.h>

using namespace driver;

static std::string Embedded(int index)
{
    return std::string((const char*)PayloadSet[index].content, PayloadSet[index].length);
}

TEST(Payload, CarriesTheBuildInputsInInstallOrder)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        SCOPED_TRACE(CarriedNames[i]);
        EXPECT_STREQ(PayloadSet[i].name, CarriedNames[i]);
        EXPECT_STREQ(CARRIED_FILE_NAMES[i], CarriedNames[i]) << "the names the uninstaller removes";
        std::string input = CarriedFile(CarriedNames[i]);
        ASSERT_FALSE(input.empty());
        EXPECT_EQ(PayloadSet[i].length, input.size());
        EXPECT_TRUE(Embedded(i) == input);
    }
}

TEST(Payload, ExecutablesAreProgramsAndTextsUseCrLf)
{
    for (int i : {PAYLOAD_UNINSTALLER, PAYLOAD_PROGRAM})
        EXPECT_EQ(Embedded(i).substr(0, 2), "MZ") << PayloadSet[i].name;
    for (int i : {PAYLOAD_DESCRIPTION, PAYLOAD_LICENSE, PAYLOAD_WEB_SHORTCUT, PAYLOAD_README}) {
        std::string text = Embedded(i);
        SCOPED_TRACE(PayloadSet[i].name);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        for (size_t at = 0; at < text.size(); at++) {
            unsigned char c = text[at];
            ASSERT_LT(c, 0x80) << "not ASCII at " << at;
            if (c == '\n')
                ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << "bare line feed at " << at;
            if (c == '\r')
                ASSERT_TRUE(at + 1 < text.size() && text[at + 1] == '\n') << "bare carriage return at " << at;
        }
    }
}

static std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

TEST(Payload, DescriptionAndWebShortcutHaveTheirLayouts)
{
    std::vector<std::string> diz = Lines(Embedded(PAYLOAD_DESCRIPTION));
    ASSERT_EQ(diz.size(), 5u);
    EXPECT_EQ(diz[0], "Ambit Knob, Version 2.00");
    EXPECT_EQ(diz[1], "Win32 utility");
    EXPECT_FALSE(diz[2].empty());
    EXPECT_EQ(diz[3].rfind("http://", 0), 0u);
    EXPECT_EQ(diz[4], "July, 2000");

    std::vector<std::string> url = Lines(Embedded(PAYLOAD_WEB_SHORTCUT));
    ASSERT_EQ(url.size(), 2u);
    EXPECT_EQ(url[0], "[InternetShortcut]");
    EXPECT_EQ(url[1], "URL=" + diz[3]);
    EXPECT_EQ(url[1].back(), '/');
}
