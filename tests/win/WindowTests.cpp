// The Win32 windows: built as their descriptions draw them, driven through
// their own controls, menus and boxes by a script, against the simulated
// instrument on virtual time. Needs a display (Xvfb under Wine).
#include "app/UI.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "help/Kyhhint.h"
#include "platform/VirtualClock.h"
#include "sim/SimComPort.h"
#include "tests/app/UpdateRig.h"
#include "tests/help/RecordingEngine.h"
#include "tests/win/WindowDriver.h"
#include "toolkit/win/Dpi.h"
#include "toolkit/win/Win32Backend.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using win_test::WindowDriver;

namespace {

// The screenshots' folder, made absolute while the build tree is current.
const std::filesystem::path artifacts = std::filesystem::absolute(KPX_ARTIFACTS_DIR);

// The screen resolution the run was set up for (KPX_TEST_DPI, in the Wine
// prefix's settings); 96 when not told.
unsigned screenDpi()
{
    const char* told = std::getenv("KPX_TEST_DPI");
    return told && *told ? static_cast<unsigned>(std::atoi(told)) : 96;
}

// A length of a 96 dpi form at the resolution of the run.
int scaled(int length, unsigned dpi = screenDpi())
{
    return ::MulDiv(length, static_cast<int>(dpi), 96);
}

struct Win32Rig {
    Win32Rig()
    {
        main = &app.CreateForm<TfrmUpdate>(std::make_unique<sim::SimComPort>(device));
        backend.attach(*main);
        backend.attach(app.CreateForm<TAboutBox>());
        backend.attach(app.CreateForm<TPagesDlg>());
    }

    HWND window(const tk::TForm& form) const { return platform::nativeWindow(backend.window(form)); }
    HWND control(const tk::TForm& form, const std::string& name) const
    {
        return platform::nativeWindow(backend.control(form, name));
    }
    HWND mainWindow() const { return window(*main); }
    // Runs the message loop until the application ends, the script driving.
    void run(WindowDriver& driver)
    {
        app.Run();
        EXPECT_TRUE(driver.done()) << "the script stopped at " << driver.pending();
        EXPECT_TRUE(backend.quitReached());
    }

    app_test::TempFolder folder;
    platform::VirtualClock clock{1'000'000, 1'000};
    platform::ScopedClock clockScope{clock};
    sim::Atmega128 device;
    tkwin::Win32Backend backend;
    tk::TApplication app{backend};
    TfrmUpdate* main = nullptr;
};

RECT placeOf(HWND window)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

// Saves what the screen shows of the window as artifacts/NAME.png, or
// NAME-DPI.png when the run is not at 96 dpi; the file's path.
std::string shoot(Win32Rig& rig, HWND window, const std::string& name)
{
    std::filesystem::create_directories(artifacts);
    const std::string dpi = screenDpi() == 96 ? "" : "-" + std::to_string(screenDpi());
    const std::string path = (artifacts / (name + dpi + ".png")).string();
    std::filesystem::remove(path);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Wine draws the controls into their window's surface and hands it to
    // the display a little later: a capture taken at once can miss a
    // control a closed box had covered.
    for (int pass = 0; pass < 10; ++pass) {
        rig.backend.ProcessMessages();
        ::Sleep(30);
    }
    RECT area = placeOf(window);
    area.left = std::max(0L, area.left);
    area.top = std::max(0L, area.top);
    EXPECT_TRUE(win_test::saveScreenshot(area, path));
    return path;
}

// Where a control lies in its parent's client area, and its size.
std::array<int, 4> geometry(HWND control)
{
    RECT rect = placeOf(control);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// The width of a text in a control's font.
int textWidth(HWND control, const std::string& text)
{
    const HDC dc = ::GetDC(control);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
    return extent.cx;
}

// Each control where its description puts it at dpi, in the font it asks
// for, one-line labels as wide as their texts and inside the form, which
// keeps its designed size unless a label needs more room.
void expectLaidOut(const tk::TForm& form, HWND window, const std::function<HWND(const std::string&)>& control,
                   unsigned dpi)
{
    const tk::FormDescription& described = form.Description();
    RECT client{};
    ::GetClientRect(window, &client);
    int labelsNeed = 0;
    for (const tk::ControlDescription& item : described.controls) {
        const HWND native = control(item.name);
        ASSERT_NE(native, nullptr) << item.name;
        if (native == window)
            continue; // the main window's client area
        const auto place = geometry(native);
        EXPECT_EQ(place[0], scaled(item.left, dpi)) << item.name;
        EXPECT_EQ(place[1], scaled(item.top, dpi)) << item.name;
        const int points = item.font.pointSize ? item.font.pointSize : described.font.pointSize;
        const bool hasText = item.kind == "QPushButton" || item.kind == "QListWidget" ||
                             (item.kind == "QLabel" && item.property("pixmap").empty());
        LOGFONTA font{};
        ::GetObjectA(reinterpret_cast<HGDIOBJ>(::SendMessageA(native, WM_GETFONT, 0, 0)), sizeof font, &font);
        if (hasText) {
            EXPECT_EQ(-font.lfHeight, scaled(::MulDiv(points, 96, 72), dpi)) << item.name;
        }
        if (item.property("autoSize") != "true") {
            EXPECT_EQ(place[2], scaled(item.width, dpi)) << item.name;
            EXPECT_EQ(place[3], scaled(item.height, dpi)) << item.name;
            continue;
        }
        const std::string text = WindowDriver::text(native);
        EXPECT_EQ(place[2], textWidth(native, text)) << item.name << ": " << text;
        RECT holder{};
        ::GetClientRect(::GetParent(native), &holder);
        EXPECT_LE(place[0] + place[2], holder.right) << item.name << ": " << text;
        if (::GetParent(native) == window)
            labelsNeed = std::max(labelsNeed, place[0] + textWidth(native, item.text));
    }
    EXPECT_EQ(client.right, std::max(scaled(described.clientWidth, dpi), labelsNeed));
    EXPECT_EQ(client.bottom, scaled(described.clientHeight, dpi));
}

TEST(Win32Windows, EachFormIsBuiltAsItsDescriptionDrawsItAtEveryResolution)
{
    Win32Rig rig;
    for (tk::TForm* form : {static_cast<tk::TForm*>(rig.main), static_cast<tk::TForm*>(AboutBox),
                            static_cast<tk::TForm*>(PagesDlg)}) {
        const tk::FormDescription& described = form->Description();
        form->Show();
        rig.backend.ProcessMessages();
        const HWND window = rig.window(*form);
        SCOPED_TRACE(described.name);
        EXPECT_EQ(WindowDriver::text(window), described.caption);
        // At the resolution the run was set up for: the program draws
        // itself there, from the description's 96 dpi pixels.
        EXPECT_EQ(tkwin::dpiOf(window), screenDpi());
        const auto control = [&](const std::string& name) { return rig.control(*form, name); };
        expectLaidOut(*form, window, control, screenDpi());
        EXPECT_EQ(placeOf(window).left, scaled(described.designLeft));
        EXPECT_EQ(placeOf(window).top, scaled(described.designTop));
        // A fixed border: nothing resizes or maximizes; only the main
        // window minimizes.
        const auto style = ::GetWindowLongPtrA(window, GWL_STYLE);
        EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
        EXPECT_EQ((style & WS_MINIMIZEBOX) != 0, form == rig.main);
        EXPECT_EQ(::GetWindow(window, GW_OWNER), form == rig.main ? nullptr : rig.mainWindow());

        // Shown and enabled as the form's control says, which the form may
        // have changed from its description (the byte labels).
        for (const tk::ControlDescription& item : described.controls) {
            const HWND native = control(item.name);
            const tk::TControl* state = form->FindControl(item.name);
            if (native == window || !state)
                continue;
            EXPECT_EQ((::GetWindowLongPtrA(native, GWL_STYLE) & WS_VISIBLE) != 0, state->Visible()) << item.name;
            EXPECT_EQ(::IsWindowEnabled(native) != FALSE, state->Enabled()) << item.name;
            if (item.kind == "QLabel" || item.kind == "QPushButton") {
                EXPECT_EQ(WindowDriver::text(native), state->GetText()) << item.name;
            }
        }
        shoot(rig, window, "windows-form-" + described.name);
        // Moved to a monitor of another resolution, laid out anew from the
        // description there, and back.
        for (const unsigned dpi : {192u, 120u, screenDpi()}) {
            if (form == AboutBox)
                break;
            SCOPED_TRACE(dpi);
            RECT suggested = placeOf(window);
            ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            EXPECT_EQ(placeOf(window).left, suggested.left);
            EXPECT_EQ(placeOf(window).top, suggested.top);
            expectLaidOut(*form, window, control, dpi);
        }
        form->Hide();
    }

    // The list's rows and the logo at the run's resolution. (The menus'
    // places and access keys: the keyboard and help tests go through them.)
    const HWND list = rig.control(*rig.main, "lboxComPort");
    ASSERT_EQ(::SendMessageA(list, LB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(::SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), scaled(13));
    BITMAP logo{};
    const auto picture = reinterpret_cast<HBITMAP>(
        ::SendMessageA(rig.control(*AboutBox, "ProgramIcon"), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(picture, nullptr) << "the logo resource";
    ::GetObjectA(picture, sizeof logo, &logo);
    EXPECT_EQ(logo.bmWidth, scaled(145));
    EXPECT_EQ(logo.bmHeight, scaled(81));
}

TEST(Win32Windows, BoxesOfferTheButtonsAskedForAndAnswerAsPressed)
{
    Win32Rig rig;
    rig.main->Show();
    tk::TApplication& app = rig.app;
    const auto plain = [&](int flags) { return [&app, flags] { return app.MessageBox("text", "Box", flags); }; };
    const auto warning = [&] {
        return tk::MessageDlgPos(app, "text", tk::TMsgDlgType::mtWarning, tk::mbYes | tk::mbCancel, 0, 200, 200);
    };
    const auto question = [&] {
        return tk::MessageDlg(app, "text", tk::TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo, 0);
    };
    struct Case {
        std::function<int()> ask;
        const char* caption;
        std::vector<std::string> buttons;
        const char* press; // a button, or "Escape"
        int answer;
        std::optional<POINT> topLeft;
    };
    const std::vector<Case> cases = {
        {plain(tk::MB_OKCANCEL), "Box", {"OK", "Cancel"}, "Cancel", tk::IDCANCEL, std::nullopt},
        {plain(tk::MB_RETRYCANCEL), "Box", {"Retry", "Cancel"}, "Retry", tk::IDRETRY, std::nullopt},
        {warning, "Warning", {"Yes", "Cancel"}, "Yes", tk::mrYes, POINT{200, 200}},
        {warning, "Warning", {"Yes", "Cancel"}, "Escape", tk::mrCancel, POINT{200, 200}},
        {question, "Confirm", {"Yes", "No"}, "No", tk::mrNo, std::nullopt},
        {question, "Confirm", {"Yes", "No"}, "Escape", tk::mrNo, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption + std::string(", ") + c.press);
        std::vector<std::string> offered;
        RECT place{};
        bool mainWaits = false;
        WindowDriver driver;
        driver.then(c.caption, [&] { return WindowDriver::shown(c.caption) != nullptr; }, [&] {
            const HWND box = WindowDriver::shown(c.caption);
            offered = WindowDriver::buttons(box);
            place = placeOf(box);
            mainWaits = ::IsWindowEnabled(rig.mainWindow()) == FALSE;
            if (std::string(c.press) == "Escape")
                ::PostMessageA(box, WM_COMMAND, tk::IDCANCEL, 0);
            else
                WindowDriver::click(WindowDriver::button(box, c.press));
        });
        EXPECT_EQ(c.ask(), c.answer);
        EXPECT_EQ(offered, c.buttons);
        EXPECT_TRUE(mainWaits) << "modal";
        if (c.topLeft) {
            EXPECT_EQ(place.left, c.topLeft->x);
            EXPECT_EQ(place.top, c.topLeft->y);
        } else {
            const int screenMiddle = ::GetSystemMetrics(SM_CXSCREEN) / 2;
            EXPECT_NEAR((place.left + place.right) / 2, screenMiddle, 2) << "centred";
        }
    }
    // Once the application is ending, its dialogs answer Cancel unasked.
    app.Terminate();
    EXPECT_EQ(question(), tk::mrCancel);
}

// The window from the keyboard alone, as the keys arrive from the system:
// F1 and Help File ask for the manual's contents; the arrow keys open a
// port and, after one that would not open, move on from it; the focus then
// moves to Update!, which Enter and Space press; the access keys reach the
// menus. The update then runs to its end, and the close box ends the program
// and its help windows.
TEST(Win32Windows, FromTheKeyboardThroughHelpAndAWholeUpdateToTheCloseBox)
{
    struct Restore {
        ~Restore() { SetHtmlHelpLibrary({}); } // after the rig has gone
    } restore;
    SetHtmlHelpLibrary(KPX_RECORDING_ENGINE);
    platform::Loader& loader = platform::systemLoader();
    RecordingEngine& engine = *platform::procAs<RecordingEngineFn>(
        loader.symbol(loader.load(KPX_RECORDING_ENGINE), "recordingEngine"))();
    engine = RecordingEngine{};
    Win32Rig rig;
    app_test::Firmware firmware;
    firmware.fill(0, 0x3000, 7).set(0x1FFFE, 0x34).set(0x1FFFF, 0x12).write();
    auto& port = static_cast<sim::SimComPort&>(*rig.main->comPort);
    port.badPort = 1;
    const std::string manual = tk::ExtractFilePath(tk::ParamStr(0)) + "KPX Updater.chm";
    const auto contentsShown = [&](long times) {
        return [&engine, manual, times] {
            return std::count_if(engine.calls.begin(), engine.calls.end(), [&](const RecordedHelpCall& call) {
                       return call.command == HH_DISPLAY_TOC && call.file == manual;
                   }) == times;
        };
    };
    const HWND list = rig.control(*rig.main, "lboxComPort");
    const HWND update = rig.control(*rig.main, "btnUpdate");
    const HWND pages = rig.window(*PagesDlg);
    const auto focusOn = [](HWND control) { return [control] { return ::GetFocus() == control; }; };
    const auto press = [](WORD key, bool alt = false) { return [key, alt] { WindowDriver::key(key, alt); }; };
    const auto shown = [](std::string caption) { return [caption] { return WindowDriver::shown(caption) != nullptr; }; };
    std::vector<std::string> programModeButtons;
    std::string shot;
    WindowDriver driver;
    driver
        .then("the list's focus", focusOn(list),
              [&] {
                  ::PostMessageA(list, WM_KEYDOWN, VK_F1, 0);
                  ::PostMessageA(list, WM_KEYUP, VK_F1, 0);
              })
        .then("the contents", contentsShown(1), [&] { WindowDriver::menu(rig.mainWindow(), {1, 2}); })
        .then("the contents again", contentsShown(2), press(VK_DOWN))
        .then("COM1's error", shown("Error"), press(VK_RETURN))
        .then("the list's focus again", [&] { return ::GetFocus() == list && !WindowDriver::shown("Error"); },
              press(VK_DOWN))
        .then("Update!'s focus", focusOn(update), press(VK_TAB))
        .then("Update!'s focus after Tab", focusOn(update), press(VK_RETURN))
        .then("the prompt", shown(app_test::programMode.caption),
              [&] {
                  programModeButtons = WindowDriver::buttons(WindowDriver::shown(app_test::programMode.caption));
                  WindowDriver::key(VK_ESCAPE);
              })
        .then("Update!'s focus after the prompt", focusOn(update),
              [] {
                  WindowDriver::key('H', true);
                  WindowDriver::key('D');
              })
        .then("the instructions", [&] { return ::IsWindowVisible(pages) != FALSE && ::GetActiveWindow() == pages; },
              press(VK_ESCAPE))
        .then("the instructions closed", [&] { return !::IsWindowVisible(pages) && ::GetFocus() == update; },
              press('X', true))
        .then("the question", shown("Confirm"), press('N'))
        .then("Update!'s focus after No", [&] { return !WindowDriver::shown("Confirm") && ::GetFocus() == update; },
              press(VK_SPACE))
        .press(app_test::programMode.caption, "OK")
        .press(app_test::complete.caption, "OK")
        .then("Update Complete!", [&] { return rig.main->lblProgress.GetText() == "Update Complete!"; },
              [&] {
                  shot = shoot(rig, rig.mainWindow(), "windows-window");
                  ::PostMessageA(rig.mainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
              })
        .press("Confirm", "Yes");
    rig.run(driver);

    EXPECT_EQ(port.GetComNumber(), 2) << "moved on from COM1, which failed";
    EXPECT_EQ(programModeButtons, (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_TRUE(std::equal(firmware.image.begin(), firmware.image.end(), rig.device.flash().begin()));
    EXPECT_EQ(WindowDriver::text(rig.control(*rig.main, "lblCRC")), "1234");
    EXPECT_EQ(WindowDriver::text(rig.control(*rig.main, "lblProgress")), "Update Complete!");
    EXPECT_FALSE(::IsWindowEnabled(list)) << "the port stays open";
    EXPECT_TRUE(std::filesystem::exists(shot));
    EXPECT_EQ(engine.calls.back().command, HH_CLOSE_ALL) << "help windows close with the program";
}

// The status line of a firmware file deep in its folders: the path gives
// way in its middle, the file's name stays in view, and the tool tip holds
// the whole path.
TEST(Win32Windows, ALongFirmwarePathKeepsTheFileNameInViewAndShowsWholeAsToolTip)
{
    Win32Rig rig;
    const std::filesystem::path deep = std::filesystem::current_path() / "firmware releases of the instrument" /
                                       "M740-RT field service" / "version 5.17 as sent by the maker";
    std::filesystem::create_directories(deep);
    app_test::Firmware firmware;
    firmware.fill(0, 0x100, 7).write();
    std::filesystem::rename(TfrmUpdate::hexFileName, deep / TfrmUpdate::hexFileName);
    rig.main->firmwareFile = (deep / TfrmUpdate::hexFileName).string();
    const std::string notice = rig.main->ShowFirmwareNotice();
    rig.main->Show();
    rig.backend.ProcessMessages();

    const HWND status = rig.control(*rig.main, "lblProgress");
    const std::string shown = WindowDriver::text(status);
    EXPECT_EQ(shown.rfind("Firmware: ", 0), 0u) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 17), "\\KPXUpdate517.hex") << shown;
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    RECT client{};
    ::GetClientRect(rig.mainWindow(), &client);
    const auto place = geometry(status);
    EXPECT_LE(place[0] + place[2], client.right) << shown;
    EXPECT_EQ(rig.main->lblProgress.GetText(), notice) << "the form keeps the whole text";

    HWND tips = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            char name[64] = {};
            ::GetClassNameA(window, name, sizeof name);
            return std::string(name) != TOOLTIPS_CLASSA || (*reinterpret_cast<HWND*>(found) = window, FALSE);
        },
        reinterpret_cast<LPARAM>(&tips));
    ASSERT_NE(tips, nullptr);
    wchar_t tip[512] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = rig.mainWindow();
    tool.uId = reinterpret_cast<UINT_PTR>(status);
    tool.lpszText = tip;
    ::SendMessageW(tips, TTM_GETTEXTW, std::size(tip), reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::wstring(tip), std::filesystem::path(rig.main->firmwareFile).wstring());

    shoot(rig, rig.mainWindow(), "windows-long-path");
}

} // namespace
