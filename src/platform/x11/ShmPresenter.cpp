// The shared-memory present: segments made, attached (the attach checked), marked for removal
// at once so a killed program leaves none, written where they are stale and put with a
// completion event; the plain put-image where the server refuses them.
#include "platform/x11/ShmPresenter.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "platform/x11/ShmConnection.h"

TShmPresenter::TShmPresenter(TShmConnection& connection, xcb_window_t window)
    : FLink(connection), FWindow(window) {
    xcb_connection_t* c = FLink.Connection();
    if (!FLink.WindowFormat(window, FFormat, FDepth, FPad)) return;
    FGc = xcb_generate_id(c);
    const uint32_t noExposures = 0;
    xcb_create_gc(c, FGc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    // Nothing of the server's own paints the window between our puts.
    const uint32_t none = XCB_NONE;
    xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXMAP, &none);
    FReady = true;
}

TShmPresenter::~TShmPresenter() {
    ReleaseSegments();
    if (FGc != 0 && !FLink.Broken()) {
        xcb_free_gc(FLink.Connection(), FGc);
        xcb_flush(FLink.Connection());
    }
}

void TShmPresenter::ReleaseSegments() {
    xcb_connection_t* c = FLink.Connection();
    for (TSegment& segment : FSegments) {
        if (segment.Id != 0) {
            // The server detaches after the puts before it: its reads finish on its own mapping.
            xcb_shm_detach(c, segment.Id);
            FLink.Forget(segment.Id);
        }
        if (segment.Bits != nullptr) shmdt(segment.Bits);
        segment = TSegment{};
    }
    if (!FLink.Broken()) xcb_flush(c);
    FPlain.clear();
    FPlain.shrink_to_fit();
    FWidth = FHeight = FScale = 0;
}

bool TShmPresenter::AttachSegment(TSegment& segment, size_t bytes) {
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* bits = shmat(id, nullptr, 0);
    if (bits == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    xcb_connection_t* c = FLink.Connection();
    const uint32_t name = xcb_generate_id(c);
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_shm_attach_checked(c, name, static_cast<uint32_t>(id), 1));
    // Attached or refused, the segment goes with the last detach from here on.
    shmctl(id, IPC_RMID, nullptr);
    if (error != nullptr || FLink.Broken()) {
        std::free(error);
        shmdt(bits);
        return false;
    }
    segment.Id = name;
    segment.Bits = static_cast<uint8_t*>(bits);
    FLink.Watch(name, &segment.InFlight, &segment.Refused);
    return true;
}

bool TShmPresenter::MakeBuffers(int width, int height) {
    const int scale = FScale;
    ReleaseSegments();
    const int deviceWidth = width * scale, deviceHeight = height * scale;
    const int pad = std::max(FPad, 8);
    FPitch = (static_cast<ptrdiff_t>(deviceWidth) * FFormat.BitsPerPixel + pad - 1) / pad * pad / 8;
    const size_t bytes = static_cast<size_t>(FPitch) * deviceHeight;
    FShared = FLink.HasShm() && !FPutRefused;
    for (TSegment& segment : FSegments)
        FShared = FShared && AttachSegment(segment, bytes);
    if (!FShared) {
        ReleaseSegments();
        FPlain.assign(bytes, 0);
    }
    FWidth = width;
    FHeight = height;
    FScale = scale;
    return true;
}

bool TShmPresenter::Refused() const {
    return std::any_of(std::begin(FSegments), std::end(FSegments),
                       [](const TSegment& segment) { return segment.Refused; });
}

void TShmPresenter::FallBack() {
    for (const TSegment& segment : FSegments)
        if (segment.Refused) FMissed |= segment.Put;
    FPutRefused = true;
    MakeBuffers(FWidth, FHeight);
}

void TShmPresenter::Present(const QImage& picture, const QRect& area, int scale) {
    if (!FReady || FLink.Broken() || picture.isNull() || scale < 1) return;
    if (picture.width() != FWidth || picture.height() != FHeight || scale != FScale) {
        FScale = scale;
        MakeBuffers(picture.width(), picture.height());
    }
    if (FShared) {
        FLink.Drain();
        if (Refused()) FallBack();
    }
    const QRect shown = (area | FMissed) & picture.rect();
    FMissed = QRect();
    if (shown.isEmpty()) return;
    if (!FShared) {
        PutPlain(picture, shown);
        return;
    }
    // A counted frame is a shown frame: with both segments being read, wait for one, but only
    // so long, so a stopped server does not stop the program.
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(WaitMs);
    // The segments in turn: the one the server has just read sits in its processor's cache, and
    // writing it again at once moved each line back first (twice the conversion's time).
    const auto freeSegment = [this]() -> TSegment* {
        for (int i = 1; i <= Segments; ++i) {
            TSegment& segment = FSegments[(FLast + i) % Segments];
            if (!segment.InFlight) return &segment;
        }
        return nullptr;
    };
    TSegment* free = freeSegment();
    while (free == nullptr) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        // The wait reads what arrived.
        if (left.count() <= 0 || !FLink.Wait(static_cast<int>(left.count()))) {
            if (FLink.Broken()) return;
            if (TClock::now() >= deadline) {
                FMissed = shown;
                return;
            }
        }
        free = freeSegment();
    }
    // A refusal read while waiting: this picture goes the plain way.
    if (Refused()) {
        FallBack();
        PutPlain(picture, (shown | std::exchange(FMissed, QRect())) & picture.rect());
        return;
    }
    // Only the rectangle put is read by the server, so only it needs writing, whatever the
    // segment held before.
    ConvertToVisual(picture.constBits(), picture.bytesPerLine(), shown.left(), shown.top(),
                    shown.width(), shown.height(), FFormat, FScale, free->Bits, FPitch,
                    TTargetReader::OtherProcessor);
    const QRect device(shown.left() * FScale, shown.top() * FScale, shown.width() * FScale,
                       shown.height() * FScale);
    const xcb_void_cookie_t put = xcb_shm_put_image(
        FLink.Connection(), FWindow, FGc, static_cast<uint16_t>(FWidth * FScale),
        static_cast<uint16_t>(FHeight * FScale), static_cast<uint16_t>(device.x()),
        static_cast<uint16_t>(device.y()), static_cast<uint16_t>(device.width()),
        static_cast<uint16_t>(device.height()), static_cast<int16_t>(device.x()),
        static_cast<int16_t>(device.y()), FDepth, XCB_IMAGE_FORMAT_Z_PIXMAP, 1, free->Id, 0);
    FLink.Sent(free->Id, put.sequence);
    free->InFlight = true;
    free->Put = shown;
    FLast = static_cast<int>(free - FSegments);
    xcb_flush(FLink.Connection());
}

void TShmPresenter::PutPlain(const QImage& picture, const QRect& shown) {
    ConvertToVisual(picture.constBits(), picture.bytesPerLine(), shown.left(), shown.top(),
                    shown.width(), shown.height(), FFormat, FScale, FPlain.data(), FPitch,
                    TTargetReader::ThisProgram);
    const QRect device(shown.left() * FScale, shown.top() * FScale, shown.width() * FScale,
                       shown.height() * FScale);
    xcb_connection_t* c = FLink.Connection();
    // Whole rows of the buffer, as many per request as the server takes.
    constexpr uint32_t Header = 24;
    const auto rowsPerPut = static_cast<int>(
        std::max<int64_t>(1, (static_cast<int64_t>(FLink.MaxRequestBytes()) - Header) / FPitch));
    const int deviceWidth = FWidth * FScale;
    for (int y = device.top(); y <= device.bottom(); y += rowsPerPut) {
        const int rows = std::min(rowsPerPut, device.bottom() + 1 - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, FWindow, FGc,
                      static_cast<uint16_t>(deviceWidth), static_cast<uint16_t>(rows), 0,
                      static_cast<int16_t>(y), 0, FDepth, static_cast<uint32_t>(rows * FPitch),
                      FPlain.data() + static_cast<ptrdiff_t>(y) * FPitch);
    }
    xcb_flush(c);
}

void TShmPresenter::Fill(const QRect& area, const QColor& colour, int scale) {
    if (!FReady || FLink.Broken() || area.isEmpty()) return;
    xcb_connection_t* c = FLink.Connection();
    const uint32_t pixel =
        VisualPixel(FFormat, static_cast<uint8_t>(colour.red()),
                    static_cast<uint8_t>(colour.green()), static_cast<uint8_t>(colour.blue()));
    xcb_change_gc(c, FGc, XCB_GC_FOREGROUND, &pixel);
    const xcb_rectangle_t box{static_cast<int16_t>(area.x() * scale),
                              static_cast<int16_t>(area.y() * scale),
                              static_cast<uint16_t>(area.width() * scale),
                              static_cast<uint16_t>(area.height() * scale)};
    xcb_poly_fill_rectangle(c, FWindow, FGc, 1, &box);
    xcb_flush(c);
}
