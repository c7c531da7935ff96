// The banner picture and the painting of the pages that show it.
#include <cstring>

#include "platform/win32/system_libraries.h"
#include "ui/wizard.h"

namespace cvp::ui {
namespace {

constexpr int kPanelTop = 174;
constexpr int kButtonStripHeight = 30;
constexpr int kLineInset = 5;
constexpr COLORREF kSeparatorColour = RGB(160, 160, 160);
constexpr int kHimetricPerInch = 2540;

// HIMETRIC to pixels at the device's resolution, rounded to the nearest pixel.
int HimetricToPixels(long himetric, int pixelsPerInch) {
    return static_cast<int>((pixelsPerInch * himetric + kHimetricPerInch / 2) / kHimetricPerInch);
}

// The resource's bytes in a movable global block, as a stream wants them. Null when
// the resource is missing or empty.
UniqueGlobal CopyResource(HINSTANCE instance, int resourceId, const char* resourceType,
                          DWORD* size) {
    HRSRC info = FindResourceA(instance, MAKEINTRESOURCEA(resourceId), resourceType);
    if (info == nullptr) return nullptr;
    // Resource memory belongs to the loaded image; nothing to free.
    HGLOBAL loaded = LoadResource(instance, info);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    *size = SizeofResource(instance, info);
    if (bytes == nullptr || *size == 0) return nullptr;

    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, *size));
    if (!block) return nullptr;
    void* target = GlobalLock(block.get());
    if (target == nullptr) return nullptr;
    std::memcpy(target, bytes, *size);
    GlobalUnlock(block.get());
    return block;
}

// Picture loading comes from ole32 and oleaut32 of the system directory, by full path.
// Never freed: pictures may outlive any one page.
struct PictureCalls {
    win32::SystemLibrary ole32{"ole32.dll"};
    win32::SystemLibrary oleaut32{"oleaut32.dll"};
    decltype(&CreateStreamOnHGlobal) createStream =
        ole32.Find<decltype(&CreateStreamOnHGlobal)>("CreateStreamOnHGlobal");
    decltype(&OleLoadPicture) loadPicture =
        oleaut32.Find<decltype(&OleLoadPicture)>("OleLoadPicture");
};

const PictureCalls& Pictures() {
    static const PictureCalls& calls = *new PictureCalls;
    return calls;
}

}  // namespace

void LoadBanner(BannerPicture& banner, HINSTANCE instance, HWND window, int resourceId,
                const char* resourceType) {
    // A list page made again loads its banner again; the old picture goes first.
    ReleaseBanner(banner);
    banner.window = window;
    banner.offsetX = banner.offsetY = 0;
    banner.destinationX = banner.destinationY = 0;
    banner.width = banner.height = 0;

    const PictureCalls& calls = Pictures();
    if (calls.createStream == nullptr || calls.loadPicture == nullptr) return;
    DWORD size = 0;
    UniqueGlobal block = CopyResource(instance, resourceId, resourceType, &size);
    if (!block) return;
    ComRef<IStream> stream;
    if (FAILED(calls.createStream(block.get(), TRUE, stream.put()))) return;
    block.release();  // the stream frees it with its last reference

    ComRef<IPicture> picture;
    if (SUCCEEDED(calls.loadPicture(stream.get(), 0, FALSE, IID_IPicture, picture.put_void()))) {
        OLE_XSIZE_HIMETRIC himetricWidth = 0;
        OLE_YSIZE_HIMETRIC himetricHeight = 0;
        picture->get_Width(&himetricWidth);
        picture->get_Height(&himetricHeight);
        WindowDc dc(window);
        banner.width = HimetricToPixels(himetricWidth, GetDeviceCaps(dc.get(), LOGPIXELSX));
        banner.height = HimetricToPixels(himetricHeight, GetDeviceCaps(dc.get(), LOGPIXELSY));
        banner.himetricWidth = himetricWidth;
        banner.himetricHeight = himetricHeight;
        banner.picture = std::move(picture);
    }
    stream.reset();

    if (!banner.picture) return;
    WindowDc dc(window);
    DrawBanner(banner, dc.get());
}

void DrawBanner(const BannerPicture& banner, HDC dc) {
    if (!banner.picture) return;
    // HIMETRIC runs upwards: drawing from the bottom row with a negative height
    // puts the picture the right way up.
    banner.picture->Render(dc, banner.destinationX + banner.offsetX,
                           banner.destinationY + banner.offsetY + banner.height, banner.width,
                           -banner.height, 0, 0, banner.himetricWidth, banner.himetricHeight,
                           nullptr);
}

void ReleaseBanner(BannerPicture& banner) { banner.picture.reset(); }

void PaintPage(HWND page, const BannerPicture& banner, HBRUSH panelBrush) {
    PaintDc paint(page);
    HDC dc = paint.get();
    RECT client = {};
    GetClientRect(page, &client);

    // The brush is gone only in the moment between the wizard's end and the process's.
    if (panelBrush != nullptr) {
        RECT panel = {0, kPanelTop, client.right, client.bottom - kButtonStripHeight};
        FillRect(dc, &panel, panelBrush);
    }
    {
        UniquePen pen(CreatePen(PS_SOLID, 1, kSeparatorColour));
        Selection selected(dc, pen.get());
        MoveToEx(dc, kLineInset, kPanelTop - 1, nullptr);
        LineTo(dc, client.right - kLineInset, kPanelTop - 1);
        const int lowerLine = client.bottom - kButtonStripHeight + 1;
        MoveToEx(dc, kLineInset, lowerLine, nullptr);
        LineTo(dc, client.right - kLineInset, lowerLine);
    }
    // Last, so that a banner taller than the panel's top covers the first line.
    DrawBanner(banner, dc);
}

}  // namespace cvp::ui
