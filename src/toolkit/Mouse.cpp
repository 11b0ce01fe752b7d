// Global mouse sampling: one pointer query on X11, Qt's own state elsewhere; where our window
// sits on the screen, kept from the window's own structure events.
#include "toolkit/Mouse.h"

#include <QAbstractNativeEventFilter>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include "toolkit/OwnPresses.h"
#include "toolkit/X11Display.h"

int LogicalButton(const uint8_t* map, size_t mapLength, int physical) {
    if (physical < 1) return 0;
    if (map != nullptr && static_cast<size_t>(physical) <= mapLength) return map[physical - 1];
    return physical;
}

bool PhysicalButtonDown(uint16_t stateMask, const uint8_t* map, size_t mapLength, int physical) {
    const int logical = LogicalButton(map, mapLength, physical);
    // The core protocol's state mask only carries buttons 1 to 5.
    if (logical < 1 || logical > 5) return false;
    return (stateMask & (XCB_BUTTON_MASK_1 << (logical - 1))) != 0;
}

int32_t DeviceToLogical(int32_t device, double scale) {
    if (scale == 1.0) return device;
    // The nudge keeps a pixel that starts a cell in it where the scale is not a binary fraction
    // (11 / 1.1 comes out just under 10).
    return static_cast<int32_t>(std::floor(device / scale + 1e-9));
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

// Where one top-level window of ours sits: its ancestor just below the root (the window
// manager's frame, or the window itself when nothing reparented it), and the root position of
// its client area in device pixels. Each is asked of the server once and again only after the
// window is reparented or reconfigured, so a tick costs no round trip for them.
class TWindowPlace : public QAbstractNativeEventFilter {
  public:
    xcb_window_t Frame(xcb_connection_t* connection, xcb_window_t window) {
        Track(window);
        if (!FFrameValid) {
            FFrame = TopLevelAncestor(connection, window);
            FFrameValid = true;
        }
        return FFrame;
    }

    bool Origin(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root,
                QPoint& origin) {
        Track(window);
        if (!FOriginValid) {
            xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
                connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr);
            if (reply == nullptr) return false;
            FOrigin = QPoint(reply->dst_x, reply->dst_y);
            std::free(reply);
            FOriginValid = true;
        }
        origin = FOrigin;
        return true;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        switch (event->response_type & 0x7f) {
        case XCB_REPARENT_NOTIFY:
            if (reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window == FWindow)
                FFrameValid = FOriginValid = false;
            break;
        case XCB_CONFIGURE_NOTIFY:
            // Also the window manager's word that it moved the frame.
            if (reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window == FWindow)
                FOriginValid = false;
            break;
        default:
            break;
        }
        return false;
    }

  private:
    void Track(xcb_window_t window) {
        if (window == FWindow) return;
        FWindow = window;
        FFrameValid = FOriginValid = false;
    }

    // Walks up the tree to the child of the root; XCB_NONE when the server does not answer.
    static xcb_window_t TopLevelAncestor(xcb_connection_t* connection, xcb_window_t window) {
        xcb_window_t current = window;
        for (int depth = 0; depth < 64; ++depth) {
            xcb_query_tree_reply_t* reply =
                xcb_query_tree_reply(connection, xcb_query_tree(connection, current), nullptr);
            if (reply == nullptr) return XCB_NONE;
            const xcb_window_t parent = reply->parent, root = reply->root;
            std::free(reply);
            if (parent == root || parent == XCB_NONE) return current;
            current = parent;
        }
        return XCB_NONE;
    }

    xcb_window_t FWindow = XCB_NONE;
    bool FFrameValid = false;
    bool FOriginValid = false;
    xcb_window_t FFrame = XCB_NONE;
    QPoint FOrigin;
};

xcb_connection_t* X11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// Lives as long as the application's filter list.
template <class TFilter> TFilter& InstalledFilter() {
    static TFilter* filter = [] {
        auto* f = new TFilter;
        qGuiApp->installNativeEventFilter(f);
        return f;
    }();
    return *filter;
}

const xcb_screen_t* FirstScreen(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
}

// The top-level window of widget, once it has one on the window system.
QWindow* TopLevelHandle(const QWidget* widget) {
    return widget != nullptr ? widget->window()->windowHandle() : nullptr;
}

bool Minimised(const QWindow* window) {
    return !window->isVisible() || (window->windowStates() & Qt::WindowMinimized);
}

// Qt's name for a logical X button: only 1 to 3 arrive as presses (4 and 5 are the wheel).
Qt::MouseButton QtButton(int logical) {
    constexpr Qt::MouseButton names[] = {Qt::NoButton, Qt::LeftButton, Qt::MiddleButton,
                                         Qt::RightButton};
    return logical >= 1 && logical <= 3 ? names[logical] : Qt::NoButton;
}

// Fills sample from a pointer query's reply; the presses of spared buttons came after the query
// was sent, so its reply cannot show them.
void FromReply(xcb_connection_t* connection, const xcb_query_pointer_reply_t* reply,
               const QWidget* window, TMouseSample& sample, Qt::MouseButtons spared = {}) {
    const std::vector<uint8_t>& map = InstalledFilter<TPointerMapping>().Get(connection);
    sample.LeftDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 1);
    sample.RightDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 3);
    // A press that reached our windows counts while its button stays down; one held for another
    // program never reaches them, so its drag does not edit. The reply may show a press of ours
    // still queued for Qt: such a button reads as not ours until Qt hands the press over.
    TOwnPresses& presses = TOwnPresses::Installed();
    Qt::MouseButtons down;
    for (int logical = 1; logical <= 3; ++logical)
        if (reply->mask & (XCB_BUTTON_MASK_1 << (logical - 1))) down |= QtButton(logical);
    presses.Keep(down | spared);
    const Qt::MouseButtons held = presses.Held();
    sample.LeftPressedHere = held.testAnyFlag(QtButton(LogicalButton(map.data(), map.size(), 1)));
    sample.RightPressedHere = held.testAnyFlag(QtButton(LogicalButton(map.data(), map.size(), 3)));
    sample.X = reply->root_x;
    sample.Y = reply->root_y;
    if (window != nullptr) {
        // The reply's child is the top-level window under the cursor, whatever is stacked there.
        const QWindow* handle = TopLevelHandle(window);
        sample.OverOwnWindow =
            handle != nullptr && !Minimised(handle) && reply->same_screen &&
            reply->child != XCB_NONE &&
            reply->child == InstalledFilter<TWindowPlace>().Frame(
                                connection, static_cast<xcb_window_t>(handle->winId()));
    }
}

bool SampleX11(xcb_connection_t* connection, const QWidget* window, TMouseSample& sample) {
    const xcb_screen_t* screen = FirstScreen(connection);
    if (screen == nullptr) return false;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr);
    if (reply == nullptr) return false;
    FromReply(connection, reply, window, sample);
    std::free(reply);
    return true;
}

// A connection of our own for the query sent ahead: its reply then wakes no thread of the
// toolkit's, and is read without blocking. Null when it cannot be opened (the toolkit's serves).
xcb_connection_t* PointerConnection() {
    static xcb_connection_t* own = ConnectX11(X11DisplayName());
    return own != nullptr && xcb_connection_has_error(own) == 0 ? own : nullptr;
}

// The query sent ahead, and the sample its last reply gave.
struct TPointerAhead {
    bool Pending = false;
    unsigned int Sequence = 0;
    unsigned long Presses = 0; // the press count when the query went out
    bool Have = false;
    TMouseSample Last{};
};

} // namespace

TMouseSample SampleMouse(const QWidget* window) {
    TMouseSample sample{};
    if (xcb_connection_t* connection = X11Connection();
        connection != nullptr && SampleX11(connection, window, sample))
        return sample;
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    const QPoint pos = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(pos);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    sample.LeftDown = buttons.testFlag(Qt::LeftButton);
    sample.RightDown = buttons.testFlag(Qt::RightButton);
    sample.X = static_cast<int32_t>(std::lround(pos.x() * ratio));
    sample.Y = static_cast<int32_t>(std::lround(pos.y() * ratio));
    if (window != nullptr) {
        QWindow* handle = TopLevelHandle(window);
        sample.OverOwnWindow = handle != nullptr && !Minimised(handle) &&
                               QGuiApplication::topLevelAt(pos) == handle;
    }
    return sample;
}

TMouseSample SampleMouseAhead(const QWidget* window) {
    xcb_connection_t* connection = X11Connection();
    const xcb_screen_t* screen = connection != nullptr ? FirstScreen(connection) : nullptr;
    if (screen == nullptr) return SampleMouse(window);
    static TPointerAhead ahead;
    xcb_connection_t* own = PointerConnection();
    xcb_connection_t* asked = own != nullptr ? own : connection;
    if (ahead.Pending) {
        // Read only if the server has answered: the reply usually came in while the last tick
        // drew and presented.
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(asked, ahead.Sequence, &reply, &error) != 0) {
            ahead.Pending = false;
            if (reply != nullptr) {
                FromReply(connection, static_cast<xcb_query_pointer_reply_t*>(reply), window,
                          ahead.Last, TOwnPresses::Installed().PressedAfter(ahead.Presses));
                ahead.Have = true;
            }
            std::free(reply);
            std::free(error);
        }
    }
    // The first tick, and one after a connection that failed, asks and waits.
    if (!ahead.Have) {
        if (!SampleX11(connection, window, ahead.Last)) return SampleMouse(window);
        ahead.Have = true;
    }
    if (!ahead.Pending) {
        ahead.Presses = TOwnPresses::Installed().Count();
        ahead.Sequence = xcb_query_pointer(asked, screen->root).sequence;
        ahead.Pending = true;
        xcb_flush(asked);
    }
    return ahead.Last;
}

TMouseSample WithShortPresses(TMouseSample sample) {
    const Qt::MouseButtons pressed = TOwnPresses::Installed().TakePressed();
    if (pressed == Qt::NoButton) return sample;
    // The physical buttons' logical names, as the pointer mapping has them on X.
    Qt::MouseButton left = Qt::LeftButton;
    Qt::MouseButton right = Qt::RightButton;
    if (xcb_connection_t* connection = X11Connection()) {
        const std::vector<uint8_t>& map = InstalledFilter<TPointerMapping>().Get(connection);
        left = QtButton(LogicalButton(map.data(), map.size(), 1));
        right = QtButton(LogicalButton(map.data(), map.size(), 3));
    }
    if (pressed.testAnyFlag(left)) sample.LeftDown = sample.LeftPressedHere = true;
    if (pressed.testAnyFlag(right)) sample.RightDown = sample.RightPressedHere = true;
    return sample;
}

bool MouseButtonDown(int button) {
    if (button != 0 && button != 1) return false;
    const TMouseSample sample = SampleMouse();
    return button == 0 ? sample.LeftDown : sample.RightDown;
}

QPoint ScreenToClient(const QWidget* widget, int32_t x, int32_t y) {
    const QWidget* top = widget->window();
    const QWindow* handle = TopLevelHandle(widget);
    const qreal scale = handle != nullptr ? handle->devicePixelRatio() : 1.0;
    // The top-level's client origin in device pixels: as the server has it on X (Qt's own
    // position is in scaled units, rounded), else Qt's position scaled.
    QPoint origin;
    xcb_connection_t* connection = handle != nullptr ? X11Connection() : nullptr;
    const xcb_screen_t* screen = connection != nullptr ? FirstScreen(connection) : nullptr;
    if (screen == nullptr ||
        !InstalledFilter<TWindowPlace>().Origin(
            connection, static_cast<xcb_window_t>(handle->winId()), screen->root, origin)) {
        const QPoint global = top->mapToGlobal(QPoint(0, 0));
        origin = QPoint(static_cast<int>(std::lround(global.x() * scale)),
                        static_cast<int>(std::lround(global.y() * scale)));
    }
    // Whole units inside the top-level, so flooring there and then offsetting is exact.
    const QPoint offset = widget->mapTo(top, QPoint(0, 0));
    return QPoint(DeviceToLogical(x - origin.x(), scale) - offset.x(),
                  DeviceToLogical(y - origin.y(), scale) - offset.y());
}
