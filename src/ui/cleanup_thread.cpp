// The progress page's worker thread: it runs the cleanup sequence and shows its
// progress in the page's controls, through ordinary window calls that the
// user-interface thread serves; and its stop when the wizard ends during a run.

// <windows.h> comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <memory>

#include "app/cleanup_worker.h"
#include "platform/string_table.h"
#include "ui/resources/resource_ids.h"
#include "ui/wizard.h"

namespace cvp::ui {
namespace {

// How long the wizard waits for a stopped worker. A stop takes effect at the worker's
// next call, and pauses and regsvr32 waits end at once, so what is left is the one
// call under way: a device removal in SetupAPI, which stops the device's driver, or
// a key tree's deletion; that is a few seconds at worst, usually milliseconds. Twenty
// seconds is what Windows itself gives a program to end at shutdown
// (WaitToKillAppTimeout); a worker stuck longer is past saving, and ends with the
// process as before.
constexpr DWORD kStopWait = 20000;

class ProgressPageView : public ProgressView {
  public:
    explicit ProgressPageView(HWND page) : page_(page) {}
    void ShowPath(const char* text) override { SetDlgItemTextA(page_, IDC_PROGRESS_PATH, text); }
    void SetBarPosition(int position) override {
        SendDlgItemMessageA(page_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void ShowCaption(const char* text) override {
        SetDlgItemTextA(page_, IDC_PROGRESS_CAPTION, text);
    }

  private:
    HWND page_;
};

// What the thread needs, copied out of the wizard: the wizard itself may be gone
// before the thread is (when the wait for a stopped worker runs out). The run's record
// lives as long as the process.
struct CleanupJob {
    std::shared_ptr<StoppablePlatform> platform;
    RunState& state;
    HWND page;
};

DWORD WINAPI CleanupWorkerProcedure(void* parameter) {
    std::unique_ptr<CleanupJob> job(static_cast<CleanupJob*>(parameter));
    ProgressPageView view(job->page);
    Platform platform = job->platform->platform();
    RunContext context{platform, job->state, &view};
    const CleanupOutcome outcome = RunCleanupWorker(context);
    // A stopped run did not finish, and the wizard is ending: no result to show.
    if (job->platform->stopRequested()) return 0;

    char text[kTextSize] = {};
    platform.system.LoadText(outcome.resultTextId, text, kTextSize);
    SetDlgItemTextA(job->page, IDC_PROGRESS_RESULT, text);
    if (outcome.buttonTextId != 0) {
        platform.system.LoadText(outcome.buttonTextId, text, kTextSize);
        SetDlgItemTextA(job->page, IDC_PROGRESS_BUTTON, text);
    }
    // Last: the button ends the wizard, so it waits for everything above.
    EnableWindow(GetDlgItem(job->page, IDC_PROGRESS_BUTTON), TRUE);
    return 0;
}

// Waits for `thread` to end, at most `milliseconds`, serving what other threads send
// this one meanwhile: the worker writes to the page's controls with SendMessage, which
// waits for this thread as this thread waits for the worker.
void WaitServingSentMessages(HANDLE thread, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < milliseconds; waited = GetTickCount() - start) {
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds - waited, QS_SENDMESSAGE) !=
            WAIT_OBJECT_0 + 1) {
            return;  // ended, timed out, or failed
        }
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

bool StartCleanupWorker(Wizard& wizard, HWND page) {
    auto platform = std::make_shared<StoppablePlatform>(*wizard.platform);
    auto job = std::make_unique<CleanupJob>(CleanupJob{platform, *wizard.state, page});
    UniqueHandle thread(CreateThread(nullptr, 0, CleanupWorkerProcedure, job.get(), 0, nullptr));
    if (!thread) return false;
    job.release();  // the thread owns it now
    wizard.worker = std::move(thread);
    wizard.workerPlatform = std::move(platform);
    return true;
}

void StopCleanupWorker(Wizard& wizard) {
    if (!wizard.worker) return;
    wizard.workerPlatform->RequestStop();
    WaitServingSentMessages(wizard.worker.get(), kStopWait);
    wizard.worker.reset();
}

}  // namespace cvp::ui
