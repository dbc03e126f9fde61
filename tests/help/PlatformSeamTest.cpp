// Our window registry, as the help socket and the engine rely on it.
#include "platform/Window.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

LRESULT answer7(HWND, uint32_t, WPARAM, LPARAM)
{
    return 7;
}

LRESULT answerWParam(HWND, uint32_t, WPARAM wParam, LPARAM)
{
    return static_cast<LRESULT>(wParam);
}

TEST(WindowRegistry, WindowsAreFoundByClassAndGoneForGood)
{
    int widget = 0;
    const HWND viewer = RegisterWindow("TestViewer", "Main", nullptr, &widget);
    EXPECT_EQ(FindWindowA("TestViewer", nullptr), viewer);
    EXPECT_EQ(FindWindowA(nullptr, "Main"), viewer);
    EXPECT_EQ(FindWindowA("TAppBuilder", nullptr), 0);
    EXPECT_EQ(WidgetOf(viewer), &widget);
    EXPECT_EQ(SendMessageA(viewer, WM_NOTIFY, 1, 2), 0) << "a window without a procedure answers 0";
    UnregisterWindow(viewer);
    EXPECT_FALSE(IsWindow(viewer));
    const HWND later = RegisterWindow("TestViewer", "Main", nullptr, nullptr);
    EXPECT_NE(later, viewer) << "handles are never reused";
    UnregisterWindow(later);
}

TEST(WindowRegistry, ProcedureReplacementReturnsThePreviousOne)
{
    const HWND window = RegisterWindow("TestMain", "", &answer7, nullptr);
    EXPECT_EQ(SendMessageA(window, 1, 0, 0), 7);

    const intptr_t previous = SetWindowLongA(window, GWL_WNDPROC, procToLong(&answerWParam));
    EXPECT_EQ(longToProc(previous), &answer7);
    EXPECT_EQ(SendMessageA(window, 1, 42, 0), 42);
    EXPECT_EQ(CallWindowProcA(longToProc(previous), window, 1, 42, 0), 7);
    EXPECT_EQ(SetWindowLongA(window, 0, procToLong(&answer7)), 0) << "only GWL_WNDPROC";

    SetWindowLongA(window, GWL_WNDPROC, previous);
    EXPECT_EQ(SendMessageA(window, 1, 42, 0), 7);
    UnregisterWindow(window);
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, procToLong(&answer7)), 0);
}

TEST(WindowRegistry, TheDesktopExistsButCannotBeSubclassed)
{
    const HWND desktop = GetDesktopWindow();
    EXPECT_NE(desktop, 0);
    EXPECT_TRUE(IsWindow(desktop));
    EXPECT_EQ(SetWindowLongA(desktop, GWL_WNDPROC, procToLong(&answer7)), 0);
    EXPECT_EQ(SendMessageA(desktop, 1, 0, 0), 0);
    EXPECT_EQ(WidgetOf(desktop), nullptr);
    EXPECT_FALSE(IsWindow(0));
}

} // namespace
