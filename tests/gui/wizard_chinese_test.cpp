// The wizard for a user in Taiwan (zh_TW locale: resources 1028, code page 950,
// country code 886): Chinese pages, Chinese confirmations, Chinese result lines.
// Texts are compared as the code-page-950 bytes the ANSI calls return.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gui/wizard_driver.h"

namespace gui {
namespace {

// "Corvane Purger 精靈"
constexpr char kModeTitle[] =
    "\x43\x6F\x72\x76\x61\x6E\x65\x20\x50\x75\x72\x67\x65\x72\x20\xBA\xEB\xC6\x46";
// "驅動程式反安裝完成!!"
constexpr char kDone[] =
    "\xC5\x58\xB0\xCA\xB5\x7B\xA6\xA1\xA4\xCF\xA6\x77\xB8\xCB\xA7\xB9\xA6\xA8\x21\x21";
// "移除驅動程式失敗。"
constexpr char kFailed[] =
    "\xB2\xBE\xB0\xA3\xC5\x58\xB0\xCA\xB5\x7B\xA6\xA1\xA5\xA2\xB1\xD1\xA1\x43";
// "離開"
constexpr char kExit[] = "\xC2\xF7\xB6\x7D";
// "完成"
constexpr char kFinish[] = "\xA7\xB9\xA6\xA8";
// "進度:"
constexpr char kProgress[] = "\xB6\x69\xAB\xD7\x3A";
// "從裝置管理員移除裝置..."
constexpr char kDevices[] =
    "\xB1\x71\xB8\xCB\xB8\x6D\xBA\xDE\xB2\x7A\xAD\xFB\xB2\xBE\xB0\xA3\xB8\xCB\xB8\x6D\x2E\x2E\x2E";

constexpr char kVideo[] = "Vistrel QX4100 XP WDM Video Capture";

class WizardChinese : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(ImportImage("tests/scenarios/images/lab-pc")); }

    void SetUp() override {
        // Without the locale, every check below would fail for the wrong reason.
        ASSERT_EQ(GetACP(), 950u) << "not running in the zh_TW locale";
    }

    // `ask` makes `page` ask; the question must come in Chinese; `answer` answers it.
    void ExpectQuestion(HWND page, const std::function<void()>& ask, const char* question,
                        int answer, const char* screenshot) {
        ask();
        HWND box = purger.WaitForBox(text::kWarningChinese);
        ASSERT_NE(box, nullptr) << "no question with the Chinese caption";
        EXPECT_EQ(ControlText(box, id::kBoxText), question);
        SaveScreenshot(screenshot, {page, box});
        Answer(box, answer);
    }

    Purger purger;
};

TEST_F(WizardChinese, PagesConfirmationsAndTheResultAreChinese) {
    ASSERT_TRUE(purger.Start());
    HWND mode = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(Text(mode), kModeTitle);
    SaveScreenshot("mode_page", {mode});
    ExpectQuestion(
        mode, [&] { PostClick(mode, id::kModeCancel); }, text::kExitQuestionChinese, IDNO,
        "exit_confirmation");
    ASSERT_TRUE(WaitUntil([&] { return purger.FindBox(text::kWarningChinese) == nullptr; }));

    Click(mode, id::kModeWorking);
    Click(mode, id::kModeNext);
    HWND page = purger.WaitForPage(id::kWorkingList);
    ASSERT_NE(page, nullptr);
    HWND list = GetDlgItem(page, id::kWorkingList);
    const std::vector<std::string> entries = ListEntries(list);
    int card = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == kVideo) card = static_cast<int>(i);
    }
    ASSERT_GE(card, 0);
    ClickListEntry(list, card);
    ASSERT_TRUE(WaitUntil([&] { return SelectedIndex(list) == card; }));
    SaveScreenshot("working_page", {page});
    ExpectQuestion(
        page, [&] { PostClick(page, id::kWorkingNext); }, text::kUninstallQuestionChinese, IDYES,
        "uninstall_confirmation");

    HWND progress = purger.WaitForPage(id::kProgressBar);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitForText(progress, id::kProgressResult, kDone, 3 * kPatience));
    EXPECT_TRUE(WaitUntil([&] { return Enabled(progress, id::kProgressButton); }));
    EXPECT_EQ(ControlText(progress, id::kProgressButton), kFinish);
    EXPECT_EQ(ControlText(progress, id::kProgressLabel), kProgress);
    SaveScreenshot("progress_page", {progress});

    const std::vector<std::string> log = ReadLines(kLog);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], std::string(kDevices) + " " + kVideo);
    Click(progress, id::kProgressButton);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST_F(WizardChinese, TheInstalledDriverPageAndTheFailureAreChinese) {
    ASSERT_TRUE(purger.Start("", "C:\\second"));
    HWND mode = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(mode, nullptr);
    HWND page = purger.OpenListPage(mode, id::kModeExpert, id::kInstalledList);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(ListEntries(GetDlgItem(page, id::kInstalledList)).empty());
    SaveScreenshot("installed_page", {page});
    // Ctrl+N with nothing chosen: the failure path.
    ExpectQuestion(
        page, [&] { PressControlKey(page, 'N'); }, text::kUninstallQuestionChinese, IDYES,
        "uninstall_confirmation_installed");
    HWND progress = purger.WaitForPage(id::kProgressBar);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitForText(progress, id::kProgressResult, kFailed));
    EXPECT_TRUE(WaitUntil([&] { return Enabled(progress, id::kProgressButton); }));
    EXPECT_EQ(ControlText(progress, id::kProgressButton), kExit);
    SaveScreenshot("progress_page_failed", {progress});
    EXPECT_FALSE(FileExists("C:\\second\\UnInstall.log"));
    Click(progress, id::kProgressButton);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

}  // namespace
}  // namespace gui
