// The windowed presenting driver: makes the view's surfaces and copies the back surface into
// the window area, only where it changed.
#include "present/DXDraw.h"

#include <algorithm>
#include <climits>

#include "present/ChangedRow.h"
#include "util/Exceptions.h"

TDXDrawDriver::TDXDrawDriver(TCustomDXDraw* view) : FView(view) {}

TDXDrawDriver::~TDXDrawDriver() = default;

void TDXDrawDriverBlt::Initialize() {
    TCustomDXDraw& view = *FView;
    // The window area of the view stands in for the screen.
    view.FPrimary = std::make_unique<TDirectDrawSurface>(view.FDDraw.get());
    view.FPrimary->Primary = true;
    if (!view.FPrimary->Create(std::max(view.width(), 1), std::max(view.height(), 1)))
        throw EDXDrawError("Primary Surface cannot be made");

    if (PlatformFaults().RefuseClipper) throw EDirectDrawClipperError("Clipper cannot be made");
    view.FClipper = std::make_unique<TDirectDrawClipper>(view.FDDraw.get());
    view.FClipper->SetWindow(&view);

    view.FBack = std::make_unique<TDirectDrawSurface>(view.FDDraw.get());
    const int width = std::max(view.FStoredWidth, 1);
    const int height = std::max(view.FStoredHeight, 1);
    if (!view.FBack->Create(width, height) && !view.FBack->Create(width, height))
        throw EDXDrawError("Surface cannot be made");
    view.FBack->Fill(0);
}

void TDXDrawDriverBlt::Finalize() {
    FView->ReleaseSurfaces();
}

void TDXDrawDriverBlt::Flip(const std::optional<QRect>& written) {
    TCustomDXDraw& view = *FView;
    TDirectDrawSurface* back = view.FBack.get();
    TDirectDrawSurface* primary = view.FPrimary.get();
    if (back == nullptr || !back->HasSurface() || primary == nullptr || !primary->HasSurface())
        return;
    // A locked surface cannot take part in a copy.
    if (back->Locked() || primary->Locked()) return;
    const QImage& source = *back->Image();
    QImage& target = *primary->Image();

    // Centred without scaling; the division truncates toward zero.
    const int originX = (view.width() - source.width()) / 2;
    const int originY = (view.height() - source.height()) / 2;
    QRect area = QRect(originX, originY, source.width(), source.height()) & target.rect();
    if (view.FClipper && view.FClipper->Window() != nullptr)
        area &= view.FClipper->Window()->rect();
    if (area.isEmpty()) return;

    // Only what differs from the window area is copied and shown: the map view changes only
    // under the brush. What was not written since the last present is not even compared:
    // nothing when neither surface was, and only the caller's box after its one write.
    const bool synced =
        FSynced && area == FSyncedArea && primary->Writes() == FPrimaryWrites;
    const uint64_t writes = back->Writes() - FBackWrites;
    if (synced && writes == 0) return;
    QRect compared = area;
    if (synced && writes == 1 && written) {
        // Whole runs counted from the area's left: the same runs as a whole comparison finds.
        const QRect box = written->translated(originX, originY) & area;
        const int runLeft = area.left() + (box.left() - area.left()) / ChangedRun * ChangedRun;
        const int runEnd = std::min(
            area.left() + ((box.right() - area.left()) / ChangedRun + 1) * ChangedRun,
            area.right() + 1);
        compared = box.isEmpty() ? QRect()
                                 : QRect(runLeft, box.top(), runEnd - runLeft, box.height());
    }

    constexpr int BytesPerPixel = 2;
    uint8_t* targetBits = target.bits();
    const uint8_t* sourceBits = source.constBits();
    int left = INT_MAX, right = -1, top = -1, bottom = -1;
    for (int y = compared.top(); y <= compared.bottom(); ++y) {
        uint8_t* to = targetBits + y * target.bytesPerLine() + compared.left() * BytesPerPixel;
        const uint8_t* from = sourceBits + (y - originY) * source.bytesPerLine() +
                              (compared.left() - originX) * BytesPerPixel;
        int first = 0, end = 0;
        if (!CopyChangedRow(from, to, compared.width(), first, end)) continue;
        left = std::min(left, compared.left() + first);
        right = std::max(right, compared.left() + end - 1);
        if (top < 0) top = y;
        bottom = y;
    }
    FSynced = true;
    FSyncedArea = area;
    FBackWrites = back->Writes();
    FPrimaryWrites = primary->Writes();
    if (bottom < 0) return;
    view.ShowPresented(QRect(left, top, right - left + 1, bottom - top + 1));
}

void TDXDrawDriverBlt::Resize() {
    TCustomDXDraw& view = *FView;
    if (!view.FBack) return;
    // A refusal leaves the view without a platform back surface; drawing then finds none.
    if (view.FBack->Create(std::max(view.FStoredWidth, 1), std::max(view.FStoredHeight, 1)))
        view.FBack->Fill(0);
}
