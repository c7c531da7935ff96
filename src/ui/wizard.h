// The wizard: a hidden main window whose creation opens the mode page, the mode page,
// one of the two list pages, and the progress page that runs the cleanup worker. All
// of it runs on the user-interface thread except the worker.
#pragma once

// <windows.h> comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
// clang-format on

#include <memory>

#include "app/stoppable_platform.h"
#include "run/run_context.h"
#include "ui/ui_owners.h"

namespace cvp::ui {

// The banner of one page, drawn through the system's picture object.
struct BannerPicture {
    HWND window = nullptr;
    int offsetX = 0;  // drawing offsets, always 0
    int offsetY = 0;
    int width = 0;  // pixels
    int height = 0;
    int destinationX = 0;  // always 0: the banner sits at the client origin
    int destinationY = 0;
    ComRef<IPicture> picture;  // empty when the JPEG could not be loaded
    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
};

// Loads the JPEG resource into `banner` for `window` and draws it once. Without a
// picture nothing is drawn, now or later.
void LoadBanner(BannerPicture& banner, HINSTANCE instance, HWND window, int resourceId,
                const char* resourceType);
// Draws the picture upright at its pixel size, top-left at the client origin.
void DrawBanner(const BannerPicture& banner, HDC dc);
void ReleaseBanner(BannerPicture& banner);

// Everything the wizard's windows share. The entry point owns it for the wizard's
// life; the windows find it through their creation parameter.
struct Wizard {
    HINSTANCE instance = nullptr;
    Platform* platform = nullptr;
    RunState* state = nullptr;

    HICON appIcon = nullptr;  // shared resource icon: the system frees it
    UniqueBrush panelBrush;   // RGB 254,254,254: the panel under the banner
    UniqueBrush dialogBrush;  // RGB 239,239,239: the rest of the page

    HWND mainWindow = nullptr;
    HWND modePage = nullptr;
    HWND workingPage = nullptr;
    HWND installedPage = nullptr;
    HWND progressPage = nullptr;
    HWND activeList = nullptr;  // the list box of the list page on screen
    HWND progressBar = nullptr;

    int chineseLocale = 0;  // the user's country code is 886: Chinese confirmations
    // The progress page has been opened: a wizard makes one run, and RunState is the
    // worker's from then on.
    bool runStarted = false;
    // A message box is up: no page opens a second one until it is answered.
    bool confirmationOpen = false;
    // The run's worker thread and the machine it runs on, shared with the thread: a
    // worker that outlives the wait for it still has its machine.
    UniqueHandle worker;
    std::shared_ptr<StoppablePlatform> workerPlatform;

    BannerPicture modeBanner;
    BannerPicture workingBanner;
    BannerPicture installedBanner;
};

// Registers the main window's class and creates the hidden window, which opens the
// mode page. Null when either fails.
HWND CreateMainWindow(Wizard& wizard);

// The first page; called by the main window's creation.
HWND CreateModePage(Wizard& wizard);

// After the message loop: the pages still open and the main window go while what
// they use still exists.
void DestroyWizardWindows(Wizard& wizard);

// WM_PAINT of pages 900, 905 and 901: the panel, its two grey lines, the banner.
void PaintPage(HWND page, const BannerPicture& banner, HBRUSH panelBrush);

// Starts the worker thread for the progress page `page`. False when no thread could
// be made.
bool StartCleanupWorker(Wizard& wizard, HWND page);

// Before the wizard ends: a worker still running is asked to stop and waited for, a
// bounded time, so that the process does not end under a removal or between a
// take-over and its Release. At once when there is none, or it has finished.
void StopCleanupWorker(Wizard& wizard);

}  // namespace cvp::ui
