// The hidden main window: it anchors the wizard and opens the mode page.
#include "ui/wizard.h"

namespace cvp::ui {
namespace {

// "=.=!!CorvakeDriverPurger@" and three code-page-950 characters.
constexpr char kMainWindowClass[] = "=.=!!CorvakeDriverPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";
constexpr char kMainWindowTitle[] = "CorvakeDriverPurger";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* wizard = static_cast<Wizard*>(create->lpCreateParams);
        wizard->mainWindow = window;
        CreateModePage(*wizard);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND CreateMainWindow(Wizard& wizard) {
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = wizard.instance;
    windowClass.hIcon = wizard.appIcon;
    windowClass.lpszClassName = kMainWindowClass;
    if (RegisterClassA(&windowClass) == 0) return nullptr;

    HWND window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle,
                                  WS_POPUPWINDOW | WS_VISIBLE | WS_DLGFRAME | WS_MINIMIZEBOX, 0, 0,
                                  0, 0, nullptr, nullptr, wizard.instance, &wizard);
    if (window != nullptr) ShowWindow(window, SW_HIDE);
    return window;
}

}  // namespace cvp::ui
