// The progress page's worker thread: it runs the cleanup sequence and shows its
// progress in the page's controls, through ordinary window calls that the
// user-interface thread serves.

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
// before the thread is (closing the page does not wait for it). The platform and the
// run's record live as long as the process.
struct CleanupJob {
    Platform& platform;
    RunState& state;
    HWND page;
};

DWORD WINAPI CleanupWorkerProcedure(void* parameter) {
    std::unique_ptr<CleanupJob> job(static_cast<CleanupJob*>(parameter));
    ProgressPageView view(job->page);
    RunContext context{job->platform, job->state, &view};
    const CleanupOutcome outcome = RunCleanupWorker(context);

    char text[kTextSize] = {};
    job->platform.system.LoadText(outcome.resultTextId, text, kTextSize);
    SetDlgItemTextA(job->page, IDC_PROGRESS_RESULT, text);
    if (outcome.buttonTextId != 0) {
        job->platform.system.LoadText(outcome.buttonTextId, text, kTextSize);
        SetDlgItemTextA(job->page, IDC_PROGRESS_BUTTON, text);
    }
    // Last: the button ends the wizard, so it waits for everything above.
    EnableWindow(GetDlgItem(job->page, IDC_PROGRESS_BUTTON), TRUE);
    return 0;
}

}  // namespace

bool StartCleanupWorker(Wizard& wizard, HWND page) {
    auto job = std::make_unique<CleanupJob>(CleanupJob{*wizard.platform, *wizard.state, page});
    UniqueHandle thread(CreateThread(nullptr, 0, CleanupWorkerProcedure, job.get(), 0, nullptr));
    if (!thread) return false;
    job.release();  // the thread owns it now
    return true;
}

}  // namespace cvp::ui
