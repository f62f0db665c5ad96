// The product's one promise to the uninstaller: a top-level "SimpleClass" window that closes on
// WM_CLOSE, ending the program.
#include "driver.h"

#include <gtest/gtest.h>

using namespace driver;

TEST(Product, OpensSimpleClassWindowAndEndsOnClose)
{
    Process product(BuildPath("ak.exe"));
    ASSERT_TRUE(product.Started());
    HWND window = WaitForTopWindow(product.Id(), "SimpleClass", NULL);
    ASSERT_NE(window, (HWND)NULL);
    EXPECT_EQ(GetParent(window), (HWND)NULL);

    SendMessageA(window, WM_CLOSE, 0, 0);
    std::optional<DWORD> code = product.Wait();
    ASSERT_TRUE(code.has_value()) << "ak.exe still runs after WM_CLOSE";
    EXPECT_EQ(*code, 0u);
}
