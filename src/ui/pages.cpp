// The four wizard pages: the mode page, the working-device and installed-driver list
// pages, and the progress page. All of them run on the user-interface thread.

// <windows.h> comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdlib>

#include "detect/present_devices.h"
#include "detect/scans.h"
#include "platform/string_table.h"
#include "run/family_catalogue.h"
#include "ui/confirmations.h"
#include "ui/resources/resource_ids.h"
#include "ui/wizard.h"

namespace cvp::ui {
namespace {

constexpr int kChineseCountryCode = 886;
constexpr int kCountryCodeSize = 20;
constexpr int kAboveCentre = 20;
constexpr int kListPageCorner = 120;
constexpr char kControlProcProperty[] = "CVPurger.ControlProc";

INT_PTR CALLBACK ModePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WorkingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InstalledPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// --- Shared by the pages ------------------------------------------------------------

// The wizard travels to each page as its creation parameter and stays in DWLP_USER.
Wizard* AttachWizard(HWND page, LPARAM parameter) {
    SetWindowLongPtrA(page, DWLP_USER, parameter);
    return reinterpret_cast<Wizard*>(parameter);
}

Wizard* PageWizard(HWND page) {
    return reinterpret_cast<Wizard*>(GetWindowLongPtrA(page, DWLP_USER));
}

HWND CreatePage(Wizard& wizard, int dialogId, DLGPROC procedure) {
    return CreateDialogParamA(wizard.instance, MAKEINTRESOURCEA(dialogId), nullptr, procedure,
                              reinterpret_cast<LPARAM>(&wizard));
}

RunContext ScanContext(Wizard& wizard) {
    return RunContext{*wizard.platform, *wizard.state, nullptr};
}

// Asks one of the two questions; only Yes goes on. While a box is up, the pages open
// no second one: the first answer would otherwise act on a wizard the second has
// already changed.
bool Confirm(Wizard& wizard, const Confirmation& english, const Confirmation& chinese) {
    if (wizard.confirmationOpen) return false;
    const Confirmation& asked = wizard.chineseLocale != 0 ? chinese : english;
    wizard.confirmationOpen = true;
    const int answer = MessageBoxA(nullptr, asked.text, asked.caption, MB_YESNO);
    wizard.confirmationOpen = false;
    return answer == IDYES;
}

bool ConfirmExit(Wizard& wizard) {
    return Confirm(wizard, kExitConfirmation, kExitConfirmationChinese);
}

// Centred on the screen's work area, 20 pixels above the middle, size unchanged.
void PlaceAboveCentre(HWND page, UINT extraFlags) {
    RECT client = {};
    GetClientRect(page, &client);
    const int x = GetSystemMetrics(SM_CXFULLSCREEN) / 2 - client.right / 2;
    const int y = GetSystemMetrics(SM_CYFULLSCREEN) / 2 - kAboveCentre - client.bottom / 2;
    SetWindowPos(page, nullptr, x, y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW | extraFlags);
    ShowWindow(page, SW_SHOW);
    UpdateWindow(page);
}

bool IsCloseCommand(WPARAM wParam) { return (wParam & 0xFFF0) == SC_CLOSE; }

// Pages 900, 905 and 901 show the dialog colour around a white panel; their static
// texts and radio buttons let the panel show through.
bool AnswerColours(const Wizard& wizard, UINT message, WPARAM wParam, bool listPage,
                   INT_PTR* brush) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    switch (message) {
        case WM_CTLCOLORDLG:
            SetBkMode(dc, TRANSPARENT);
            *brush = reinterpret_cast<INT_PTR>(wizard.dialogBrush.get());
            return true;
        case WM_CTLCOLORSTATIC:
            SetBkMode(dc, TRANSPARENT);
            *brush = reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
            return true;
        case WM_CTLCOLORBTN:
            if (!listPage) return false;
            SetBkMode(dc, TRANSPARENT);
            *brush = reinterpret_cast<INT_PTR>(wizard.panelBrush.get());
            return true;
        default:
            return false;
    }
}

// --- Ctrl+N and Ctrl+B --------------------------------------------------------------

// The message loop translates a key for the window that received it, which is the
// control holding the focus as often as the page. A control passes the two wizard
// commands on to its page, so that the keys work wherever the focus is.
LRESULT CALLBACK ForwardingControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto original = reinterpret_cast<WNDPROC>(GetPropA(control, kControlProcProperty));
    if (message == WM_COMMAND && lParam == 0 &&
        (LOWORD(wParam) == IDM_NEXT || LOWORD(wParam) == IDM_BACK)) {
        return SendMessageA(GetParent(control), message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropA(control, kControlProcProperty);
    }
    return CallWindowProcA(original, control, message, wParam, lParam);
}

BOOL CALLBACK ForwardFromControl(HWND control, LPARAM /*unused*/) {
    const LONG_PTR original = GetWindowLongPtrA(control, GWLP_WNDPROC);
    if (SetPropA(control, kControlProcProperty, reinterpret_cast<HANDLE>(original))) {
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForwardingControlProc));
    }
    return TRUE;
}

void ForwardWizardKeys(HWND page) { EnumChildWindows(page, ForwardFromControl, 0); }

// --- Mode page (900) ----------------------------------------------------------------

void InitModePage(Wizard& wizard, HWND page) {
    wizard.modePage = page;
    char country[kCountryCodeSize] = {};
    if (wizard.platform->system.UserCountryCode(country, kCountryCodeSize) > 0 &&
        std::atoi(country) == kChineseCountryCode) {
        wizard.chineseLocale = 1;
    }
    EnableWindow(GetDlgItem(page, IDC_MODE_NEXT), FALSE);
    SetWindowLongA(page, GWL_STYLE, GetWindowLongA(page, GWL_STYLE) | WS_OVERLAPPEDWINDOW);
    SetClassLongPtrA(page, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(wizard.appIcon));
    LoadBanner(wizard.modeBanner, wizard.instance, page, IDR_BANNER, RT_BANNER_NAME);
    PlaceAboveCentre(page, SWP_FRAMECHANGED);
    ForwardWizardKeys(page);
}

// A radio button that receives the focus reports a click without being checked
// (Windows does so when the page is activated): only a real choice counts.
void ChooseMode(Wizard& wizard, HWND page, int radio) {
    if (IsDlgButtonChecked(page, radio) != BST_CHECKED) return;
    wizard.state->expertMode = radio == IDC_MODE_EXPERT ? 1 : 0;
    EnableWindow(GetDlgItem(page, IDC_MODE_NEXT), TRUE);
}

void OpenListPage(Wizard& wizard, HWND page) {
    if (wizard.workingPage != nullptr || wizard.installedPage != nullptr) return;
    if (IsDlgButtonChecked(page, IDC_MODE_WORKING) == BST_CHECKED) {
        ShowWindow(page, SW_HIDE);
        CreatePage(wizard, IDD_WORKING_PAGE, WorkingPageProc);
    } else if (IsDlgButtonChecked(page, IDC_MODE_EXPERT) == BST_CHECKED) {
        ShowWindow(page, SW_HIDE);
        CreatePage(wizard, IDD_INSTALLED_PAGE, InstalledPageProc);
    }
}

// The end of the wizard: every way out destroys the mode page.
void EndWizardAtModePage(Wizard& wizard) {
    StopCleanupWorker(wizard);
    ReleaseBanner(wizard.modeBanner);
    ReleaseBanner(wizard.workingBanner);
    ReleaseBanner(wizard.installedBanner);
    wizard.panelBrush.reset();
    wizard.modePage = nullptr;
    PostQuitMessage(0);
}

INT_PTR CALLBACK ModePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitModePage(*AttachWizard(page, lParam), page);
        // No control is given the focus here: Next stays disabled until a mode is
        // chosen.
        return FALSE;
    }
    Wizard* wizard = PageWizard(page);
    if (wizard == nullptr) return FALSE;
    INT_PTR brush = 0;
    if (AnswerColours(*wizard, message, wParam, false, &brush)) return brush;

    switch (message) {
        case WM_PAINT:
            PaintPage(page, wizard->modeBanner, wizard->panelBrush.get());
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_MODE_WORKING:
                case IDC_MODE_EXPERT:
                    ChooseMode(*wizard, page, LOWORD(wParam));
                    return TRUE;
                case IDC_MODE_NEXT:
                case IDM_NEXT:
                    if (!wizard->confirmationOpen) OpenListPage(*wizard, page);
                    return TRUE;
                case IDC_MODE_CANCEL:
                    if (ConfirmExit(*wizard)) DestroyWindow(page);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_SYSCOMMAND:
            if (!IsCloseCommand(wParam)) return FALSE;
            if (ConfirmExit(*wizard)) DestroyWindow(page);
            return TRUE;
        case WM_CLOSE:
            if (ConfirmExit(*wizard)) DestroyWindow(page);
            return TRUE;
        case WM_DESTROY:
            EndWizardAtModePage(*wizard);
            return TRUE;
        default:
            return FALSE;
    }
}

// --- List pages (905, 901) ----------------------------------------------------------

struct ListPage {
    int listId;
    int backId;
    int nextId;
    int cancelId;
    HWND Wizard::*handle;
    BannerPicture Wizard::*banner;
    bool installedDrivers;  // page 901: the list is the installed-driver scan
};

constexpr ListPage kWorkingPage = {IDC_WORKING_LIST,
                                   IDC_WORKING_BACK,
                                   IDC_WORKING_NEXT,
                                   IDC_WORKING_CANCEL,
                                   &Wizard::workingPage,
                                   &Wizard::workingBanner,
                                   false};
constexpr ListPage kInstalledPage = {IDC_INSTALLED_LIST,
                                     IDC_INSTALLED_BACK,
                                     IDC_INSTALLED_NEXT,
                                     IDC_INSTALLED_CANCEL,
                                     &Wizard::installedPage,
                                     &Wizard::installedBanner,
                                     true};

void AddEntries(HWND list, const char (*entries)[kTextSize], int count) {
    for (int i = 0; i < count; ++i) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i]));
    }
}

void FillWorkingList(Wizard& wizard, HWND list) {
    RunState& state = *wizard.state;
    RunContext scan = ScanContext(wizard);
    ScanInstalledDrivers(scan);
    for (int i = 0; i <= state.presentDeviceCount && i < kPresentDeviceSlots; ++i) {
        state.presentDevices[i][0] = '\0';
    }
    state.installedDriverCount = 0;
    state.presentDeviceCount = 0;
    state.foundBt878 = 0;
    state.foundCx88Card = 0;
    state.foundDvCard = 0;
    state.foundEncoderCard = 0;
    state.subsysListMatched = 0;
    state.foundEmpiaStick = 0;
    state.foundEmpiaDeluxe = 0;
    state.foundWis7007 = 0;
    if (EnumeratePresentDevices(scan) != 0) {
        AddEntries(list, state.presentDevices, state.presentDeviceCount);
    }
}

void FillInstalledList(Wizard& wizard, HWND list) {
    RunState& state = *wizard.state;
    for (int i = 0; i <= state.installedDriverCount && i < kInstalledDriverSlots; ++i) {
        state.installedDrivers[i][0] = '\0';
    }
    state.installedDriverCount = 0;
    state.presentDeviceCount = 0;
    RunContext scan = ScanContext(wizard);
    ScanInstalledDrivers(scan);
    AddEntries(list, state.installedDrivers, state.installedDriverCount);
}

void InitListPage(Wizard& wizard, HWND page, const ListPage& kind) {
    wizard.*kind.handle = page;
    wizard.activeList = GetDlgItem(page, kind.listId);
    EnableWindow(GetDlgItem(page, kind.nextId), FALSE);
    if (kind.installedDrivers) {
        FillInstalledList(wizard, wizard.activeList);
    } else {
        FillWorkingList(wizard, wizard.activeList);
    }
    LoadBanner(wizard.*kind.banner, wizard.instance, page, IDR_BANNER, RT_BANNER_NAME);
    RECT client = {};
    GetClientRect(page, &client);
    MoveWindow(
        page, kListPageCorner, kListPageCorner, client.right + 2 * GetSystemMetrics(SM_CXFRAME),
        client.bottom + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME), TRUE);
    ShowWindow(page, SW_SHOW);
    UpdateWindow(page);
    ForwardWizardKeys(page);
}

// Only one run may exist: once the progress page is open, the list page beneath it
// neither starts another nor goes back to start one; its Cancel still ends the wizard,
// once the run has stopped.
bool RunStarted(const Wizard& wizard) { return wizard.runStarted; }

void ConfirmUninstall(Wizard& wizard) {
    if (RunStarted(wizard) || wizard.activeList == nullptr) return;
    if (!Confirm(wizard, kUninstallConfirmation, kUninstallConfirmationChinese)) return;

    RunState& state = *wizard.state;
    HWND list = wizard.activeList;
    state.selectedIndex = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
    char entry[kTextSize] = {};
    if (state.selectedIndex >= 0) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, state.selectedIndex, 0);
        if (length >= 0 && length < kTextSize) {
            SendMessageA(list, LB_GETTEXT, state.selectedIndex, reinterpret_cast<LPARAM>(entry));
        }
    }
    FamilyFromListEntry(state, entry);
    if (state.family != FamilyNone) {
        SetFamilyHardwareIds(state, state.family, state.expertMode, state.commandLineRun);
        RunContext scan = ScanContext(wizard);
        ScanDeviceInstances(scan, state.primaryHardwareId);
    }
    // Family 10 too: the worker then shows the failure.
    CreatePage(wizard, IDD_PROGRESS_PAGE, ProgressPageProc);
}

void GoBack(Wizard& wizard, HWND page) {
    if (RunStarted(wizard) || wizard.confirmationOpen) return;
    DestroyWindow(page);
    if (wizard.modePage != nullptr) ShowWindow(wizard.modePage, SW_SHOW);
}

// Cancel or Close on a list page or the progress page: a run under way stops at its
// next item while the pages are still there for it to write to, then they go.
void EndWizard(Wizard& wizard, HWND page) {
    StopCleanupWorker(wizard);
    DestroyWindow(page);
    if (wizard.modePage != nullptr) DestroyWindow(wizard.modePage);
}

INT_PTR ListPageProc(const ListPage& kind, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitListPage(*AttachWizard(page, lParam), page, kind);
        // The list gets the focus from the user: that is what enables Next.
        return FALSE;
    }
    Wizard* wizard = PageWizard(page);
    if (wizard == nullptr) return FALSE;
    INT_PTR brush = 0;
    if (AnswerColours(*wizard, message, wParam, true, &brush)) return brush;

    switch (message) {
        case WM_PAINT:
            PaintPage(page, wizard->*kind.banner, wizard->panelBrush.get());
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == kind.listId) {
                if (HIWORD(wParam) == LBN_SETFOCUS && !RunStarted(*wizard)) {
                    EnableWindow(GetDlgItem(page, kind.nextId), TRUE);
                    if (kind.installedDrivers) {
                        wizard->state->selectedIndex = static_cast<int>(
                            SendMessageA(reinterpret_cast<HWND>(lParam), LB_GETCURSEL, 0, 0));
                    }
                }
                return TRUE;
            }
            if (id == kind.nextId || id == IDM_NEXT) {
                ConfirmUninstall(*wizard);
            } else if (id == kind.backId || id == IDM_BACK) {
                GoBack(*wizard, page);
            } else if (id == kind.cancelId) {
                if (ConfirmExit(*wizard)) EndWizard(*wizard, page);
            } else {
                return FALSE;
            }
            return TRUE;
        }
        case WM_SYSCOMMAND:
            if (!IsCloseCommand(wParam)) return FALSE;
            if (ConfirmExit(*wizard)) EndWizard(*wizard, page);
            return TRUE;
        case WM_CLOSE:
            if (ConfirmExit(*wizard)) EndWizard(*wizard, page);
            return TRUE;
        case WM_DESTROY:
            wizard->*kind.handle = nullptr;
            if (wizard->activeList != nullptr && GetParent(wizard->activeList) == page) {
                wizard->activeList = nullptr;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK WorkingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return ListPageProc(kWorkingPage, page, message, wParam, lParam);
}

INT_PTR CALLBACK InstalledPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return ListPageProc(kInstalledPage, page, message, wParam, lParam);
}

// --- Progress page (904) ------------------------------------------------------------

// The list page beneath shows that it no longer goes anywhere.
void FreezeListPageNavigation(const Wizard& wizard) {
    for (const ListPage* kind : {&kWorkingPage, &kInstalledPage}) {
        HWND listPage = wizard.*(kind->handle);
        if (listPage == nullptr) continue;
        EnableWindow(GetDlgItem(listPage, kind->nextId), FALSE);
        EnableWindow(GetDlgItem(listPage, kind->backId), FALSE);
    }
}

void InitProgressPage(Wizard& wizard, HWND page) {
    wizard.progressPage = page;
    wizard.runStarted = true;
    wizard.progressBar = GetDlgItem(page, IDC_PROGRESS_BAR);
    char label[kTextSize] = {};
    wizard.platform->system.LoadText(IDS_PROGRESS_LABEL, label, kTextSize);
    SetDlgItemTextA(page, IDC_PROGRESS_LABEL, label);
    SetDlgItemTextA(page, IDC_PROGRESS_CAPTION, "");
    SetDlgItemTextA(page, IDC_PROGRESS_PATH, "");
    SetDlgItemTextA(page, IDC_PROGRESS_RESULT, "");
    PlaceAboveCentre(page, 0);
    EnableWindow(GetDlgItem(page, IDC_PROGRESS_BUTTON), FALSE);
    FreezeListPageNavigation(wizard);
    if (!StartCleanupWorker(wizard, page)) {
        // Without a worker nothing would ever enable the button: say so and let the
        // user out.
        char text[kTextSize] = {};
        wizard.platform->system.LoadText(IDS_RESULT_FAILED, text, kTextSize);
        SetDlgItemTextA(page, IDC_PROGRESS_RESULT, text);
        wizard.platform->system.LoadText(IDS_BUTTON_EXIT, text, kTextSize);
        SetDlgItemTextA(page, IDC_PROGRESS_BUTTON, text);
        EnableWindow(GetDlgItem(page, IDC_PROGRESS_BUTTON), TRUE);
    }
}

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitProgressPage(*AttachWizard(page, lParam), page);
        return FALSE;
    }
    Wizard* wizard = PageWizard(page);
    if (wizard == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) != IDC_PROGRESS_BUTTON || HIWORD(wParam) != BN_CLICKED) {
                return FALSE;
            }
            PostMessageA(page, WM_SYSCOMMAND, SC_CLOSE, 0);
            return TRUE;
        // Finish, Exit and Close end the wizard without a question.
        case WM_SYSCOMMAND:
            if (!IsCloseCommand(wParam)) return FALSE;
            EndWizard(*wizard, page);
            return TRUE;
        case WM_CLOSE:
            EndWizard(*wizard, page);
            return TRUE;
        case WM_DESTROY:
            wizard->progressPage = nullptr;
            wizard->progressBar = nullptr;
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

HWND CreateModePage(Wizard& wizard) { return CreatePage(wizard, IDD_MODE_PAGE, ModePageProc); }

void DestroyWizardWindows(Wizard& wizard) {
    for (HWND Wizard::*page :
         {&Wizard::progressPage, &Wizard::workingPage, &Wizard::installedPage, &Wizard::modePage}) {
        if (wizard.*page != nullptr) DestroyWindow(wizard.*page);
    }
    if (wizard.mainWindow != nullptr) DestroyWindow(wizard.mainWindow);
    wizard.mainWindow = nullptr;
}

}  // namespace cvp::ui
