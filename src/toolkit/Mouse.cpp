// Global mouse sampling: one pointer query on X11, Qt's own state elsewhere.
#include "toolkit/Mouse.h"

#include <QAbstractNativeEventFilter>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include <xcb/xcb.h>

bool PhysicalButtonDown(uint16_t stateMask, const uint8_t* map, size_t mapLength, int physical) {
    if (physical < 1) return false;
    int logical = physical;
    if (map != nullptr && static_cast<size_t>(physical) <= mapLength) logical = map[physical - 1];
    // The core protocol's state mask only carries buttons 1 to 5.
    if (logical < 1 || logical > 5) return false;
    return (stateMask & (XCB_BUTTON_MASK_1 << (logical - 1))) != 0;
}

namespace {

// The X pointer mapping, read once and read again after the server announces a change.
class TPointerMapping : public QAbstractNativeEventFilter {
  public:
    const std::vector<uint8_t>& Get(xcb_connection_t* connection) {
        if (!FValid) {
            FMap.clear();
            xcb_get_pointer_mapping_reply_t* reply = xcb_get_pointer_mapping_reply(
                connection, xcb_get_pointer_mapping(connection), nullptr);
            if (reply != nullptr) {
                const uint8_t* map = xcb_get_pointer_mapping_map(reply);
                FMap.assign(map, map + xcb_get_pointer_mapping_map_length(reply));
                std::free(reply);
            }
            FValid = true;
        }
        return FMap;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY &&
            reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request ==
                XCB_MAPPING_POINTER)
            FValid = false;
        return false;
    }

  private:
    bool FValid = false;
    std::vector<uint8_t> FMap;
};

xcb_connection_t* X11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

TPointerMapping& PointerMapping() {
    static TPointerMapping* mapping = [] {
        auto* m = new TPointerMapping; // lives as long as the application's filter list
        qGuiApp->installNativeEventFilter(m);
        return m;
    }();
    return *mapping;
}

// Native root coordinates to Qt's device-independent screen coordinates.
int32_t FromNative(int16_t value, qreal ratio) {
    if (ratio == 1.0) return value;
    return static_cast<int32_t>(std::lround(value / ratio));
}

bool SampleX11(xcb_connection_t* connection, TMouseSample& sample) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen == nullptr) return false;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr);
    if (reply == nullptr) return false;
    const std::vector<uint8_t>& map = PointerMapping().Get(connection);
    sample.LeftDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 1);
    sample.RightDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 3);
    const QScreen* primary = QGuiApplication::primaryScreen();
    const qreal ratio = primary != nullptr ? primary->devicePixelRatio() : 1.0;
    sample.X = FromNative(reply->root_x, ratio);
    sample.Y = FromNative(reply->root_y, ratio);
    std::free(reply);
    return true;
}

} // namespace

TMouseSample SampleMouse() {
    TMouseSample sample{};
    if (xcb_connection_t* connection = X11Connection();
        connection != nullptr && SampleX11(connection, sample))
        return sample;
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    const QPoint pos = QCursor::pos();
    sample.LeftDown = buttons.testFlag(Qt::LeftButton);
    sample.RightDown = buttons.testFlag(Qt::RightButton);
    sample.X = pos.x();
    sample.Y = pos.y();
    return sample;
}

bool MouseButtonDown(int button) {
    if (button != 0 && button != 1) return false;
    const TMouseSample sample = SampleMouse();
    return button == 0 ? sample.LeftDown : sample.RightDown;
}
