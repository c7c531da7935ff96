// The wizard's start on the real executable: the single-instance rule, the hidden
// main window and the first page, and a command-line run beside a wizard.
#include <gtest/gtest.h>

#include "gui/wizard_driver.h"
#include "platform/win32/win32_handles.h"

namespace gui {
namespace {

constexpr char kMutexName[] = "=.=!!CVDrvPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";
constexpr char kMainWindowClass[] = "=.=!!CorvakeDriverPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";

// Ends a wizard through a page's Cancel (the mode page's unless told) and the exit
// confirmation.
void CancelWizard(const Purger& purger, int cancel = id::kModeCancel) {
    HWND page = purger.WaitForPage(cancel);
    ASSERT_NE(page, nullptr);
    PostClick(page, cancel);
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    Answer(box, IDYES);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST(WizardStart, ASecondWizardSaysSoAndEnds) {
    const cvp::win32::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kMutexName));
    ASSERT_NE(mutex, nullptr);
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND box = purger.WaitForBox("Warning!!!");
    ASSERT_NE(box, nullptr) << "no \"Warning!!!\" message box";
    EXPECT_EQ(ControlText(box, id::kBoxText), "CVDrvPurger is using now.");
    EXPECT_EQ(purger.ExitCodeWithin(500), -1) << "ended before the box was answered";
    EXPECT_EQ(purger.FindPage(id::kModeNext), nullptr) << "a page opened beside the message";
    Answer(box, IDOK);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST(WizardStart, OpensTheModePageUnderAHiddenMainWindow) {
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND page = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(page, nullptr) << "no mode page";
    HWND main = purger.FindWindowOf(kMainWindowClass, "CorvakeDriverPurger");
    ASSERT_NE(main, nullptr) << "no main window of that class and title";
    // It is made visible and hidden at once, after its creation opened the page.
    EXPECT_TRUE(WaitUntil([main] { return !IsWindowVisible(main); }, 5000));
    EXPECT_EQ(Text(page), "Corvane Purger Wizard");
    EXPECT_FALSE(Enabled(page, id::kModeNext));
    EXPECT_TRUE(Enabled(page, id::kModeCancel));
    EXPECT_FALSE(Checked(page, id::kModeWorking));
    EXPECT_FALSE(Checked(page, id::kModeExpert));
    EXPECT_EQ(ControlText(page, id::kModeWorking), "Remove driver in working(recommend)");
    EXPECT_EQ(ControlText(page, id::kModeExpert), "Remove driver exist  in system(expert)");
    EXPECT_EQ(ControlText(page, id::kModeNext), "Next(N)>");
    // The system menu's Close asks too; No keeps the wizard.
    PostClose(page);
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kExitQuestion);
    Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return purger.FindBox(text::kWarning) == nullptr; }));
    EXPECT_EQ(purger.ExitCodeWithin(500), -1);
    EXPECT_TRUE(IsWindowVisible(page));
    CancelWizard(purger);
}

// The look of pages 900, 905 and 901: the banner at the client origin, the dialog
// colour under it, the near-white panel from row 174 to 30 rows above the bottom, a
// grey line above the panel and one 29 rows above the bottom, 5 pixels in from
// either side.
void ExpectPageLook(HWND page) {
    constexpr COLORREF kDialog = RGB(239, 239, 239);
    constexpr COLORREF kPanel = RGB(254, 254, 254);
    constexpr COLORREF kLine = RGB(160, 160, 160);
    RECT client = {};
    GetClientRect(page, &client);
    const int right = client.right;
    const int bottom = client.bottom;
    // The banner: the blue picture, upright (darker at the top), 150 rows high.
    const COLORREF top = ClientPixel(page, 2, 2);
    const COLORREF low = ClientPixel(page, 2, 147);
    EXPECT_GT(GetBValue(top), GetRValue(top) + 40) << std::hex << top;
    EXPECT_GT(GetBValue(low), GetBValue(top) + 20) << "the banner is upside down";
    EXPECT_EQ(ClientPixel(page, 2, 150), kDialog);
    EXPECT_EQ(ClientPixel(page, 2, 172), kDialog);
    // The upper line, row 173, from x 5 up to 5 short of the right edge.
    EXPECT_EQ(ClientPixel(page, 4, 173), kDialog);
    EXPECT_EQ(ClientPixel(page, 5, 173), kLine);
    EXPECT_EQ(ClientPixel(page, right - 6, 173), kLine);
    EXPECT_EQ(ClientPixel(page, right - 5, 173), kDialog);
    // The panel.
    EXPECT_EQ(ClientPixel(page, 2, 174), kPanel);
    EXPECT_EQ(ClientPixel(page, right - 1, 174), kPanel);
    EXPECT_EQ(ClientPixel(page, 2, bottom - 31), kPanel);
    EXPECT_EQ(ClientPixel(page, 2, bottom - 30), kDialog);
    // The lower line.
    EXPECT_EQ(ClientPixel(page, 5, bottom - 29), kLine);
    EXPECT_EQ(ClientPixel(page, right - 6, bottom - 29), kLine);
    EXPECT_EQ(ClientPixel(page, 4, bottom - 29), kDialog);
    EXPECT_EQ(ClientPixel(page, 2, bottom - 28), kDialog);
}

TEST(WizardStart, PagesShowTheBannerThePanelAndTheLines) {
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND mode = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(mode, nullptr);
    Sleep(500);  // painted
    ExpectPageLook(mode);
    HWND page = purger.OpenListPage(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    Sleep(500);
    ExpectPageLook(page);
    CancelWizard(purger, id::kWorkingCancel);
}

TEST(WizardStart, StartingTheWizardTwiceRefusesTheSecondAndKeepsTheFirst) {
    Purger first;
    ASSERT_TRUE(first.Start());
    ASSERT_NE(first.WaitForPage(id::kModeNext), nullptr);
    Purger second;
    ASSERT_TRUE(second.Start());
    HWND box = second.WaitForBox("Warning!!!");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), "CVDrvPurger is using now.");
    SaveScreenshot("second_wizard", {box});
    Answer(box, IDOK);
    EXPECT_EQ(second.ExitCodeWithin(kPatience), 0);
    EXPECT_FALSE(FileExists(kLog));
    EXPECT_EQ(first.ExitCodeWithin(0), -1);
    EXPECT_NE(first.FindPage(id::kModeNext), nullptr);
    CancelWizard(first);
}

TEST(WizardStart, ACommandLineRunIgnoresARunningWizard) {
    Purger wizard;
    ASSERT_TRUE(wizard.Start());
    ASSERT_NE(wizard.WaitForPage(id::kModeNext), nullptr);
    EXPECT_EQ(RunPurger("WIS", "C:\\cvpurger"), 0);
    EXPECT_EQ(wizard.FindBox("Warning!!!"), nullptr);
    CancelWizard(wizard);
}

}  // namespace
}  // namespace gui
