// Global mouse sampling on X: one pointer query, read ahead where it can be; where our window
// sits on the screen, kept from the window's own structure events.
#include "platform/x11/X11Pointer.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include "platform/qt/OwnPresses.h"
#include "platform/qt/QtPointer.h"

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

const xcb_screen_t* FirstScreen(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
}

// Qt's name for a logical X button: only 1 to 3 arrive as presses (4 and 5 are the wheel).
Qt::MouseButton QtButton(int logical) {
    constexpr Qt::MouseButton names[] = {Qt::NoButton, Qt::LeftButton, Qt::MiddleButton,
                                         Qt::RightButton};
    return logical >= 1 && logical <= 3 ? names[logical] : Qt::NoButton;
}

// The queries sent ahead, oldest first, and the sample the last reply gave.
struct TPointerAhead {
    // Two in flight: one answered while the last tick drew, read now, and the one the last
    // put carried, which the server cannot have answered yet.
    static constexpr int Most = 2;
    struct TAsked {
        unsigned int Sequence = 0;
        unsigned long Presses = 0; // the press count when the query was made
    };
    TAsked Asked[Most];
    int Pending = 0;
    // The connection they went out on: their sequence numbers mean nothing on another, where
    // they could take a reply someone else waits for.
    xcb_connection_t* On = nullptr;
    bool Have = false;
    TMouseSample Last{};
};

} // namespace

struct TX11Pointer::TState {
    xcb_connection_t* Toolkit;
    xcb_connection_t* Ahead;
    bool AheadWithPuts;
    TPointerMapping Mapping;
    TWindowPlace Place;
    TPointerAhead Query;

    // Fills sample from a pointer query's reply; the presses of spared buttons came after the
    // query was sent, so its reply cannot show them.
    void FromReply(const xcb_query_pointer_reply_t* reply, const QWidget* window,
                   TMouseSample& sample, Qt::MouseButtons spared = {}) {
        const std::vector<uint8_t>& map = Mapping.Get(Toolkit);
        sample.LeftDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 1);
        sample.RightDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 3);
        // A press that reached our windows counts while its button stays down; one held for
        // another program never reaches them, so its drag does not edit. The reply may show a
        // press of ours still queued for Qt: such a button reads as not ours until Qt hands the
        // press over.
        TOwnPresses& presses = TOwnPresses::Installed();
        Qt::MouseButtons down;
        for (int logical = 1; logical <= 3; ++logical)
            if (reply->mask & (XCB_BUTTON_MASK_1 << (logical - 1))) down |= QtButton(logical);
        presses.Keep(down | spared);
        const Qt::MouseButtons held = presses.Held();
        sample.LeftPressedHere =
            held.testAnyFlag(QtButton(LogicalButton(map.data(), map.size(), 1)));
        sample.RightPressedHere =
            held.testAnyFlag(QtButton(LogicalButton(map.data(), map.size(), 3)));
        sample.X = reply->root_x;
        sample.Y = reply->root_y;
        if (window != nullptr) {
            // The reply's child is the top-level window under the cursor, whatever is stacked
            // there.
            const QWindow* handle = TopLevelHandle(window);
            sample.OverOwnWindow =
                handle != nullptr && !Minimised(handle) && reply->same_screen &&
                reply->child != XCB_NONE &&
                reply->child ==
                    Place.Frame(Toolkit, static_cast<xcb_window_t>(handle->winId()));
        }
    }
};

TX11Pointer::TX11Pointer(xcb_connection_t* toolkit, xcb_connection_t* ahead, bool aheadWithPuts)
    : FState(new TState{toolkit, ahead, aheadWithPuts, {}, {}, {}}) {
    qGuiApp->installNativeEventFilter(&FState->Mapping);
    qGuiApp->installNativeEventFilter(&FState->Place);
}

// The filters take themselves off the application's list as they go.
TX11Pointer::~TX11Pointer() = default;

bool TX11Pointer::Sample(const QWidget* window, TMouseSample& sample) {
    const xcb_screen_t* screen = FirstScreen(FState->Toolkit);
    if (screen == nullptr) return false;
    xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(
        FState->Toolkit, xcb_query_pointer(FState->Toolkit, screen->root), nullptr);
    if (reply == nullptr) return false;
    FState->FromReply(reply, window, sample);
    std::free(reply);
    return true;
}

bool TX11Pointer::SampleAhead(const QWidget* window, TMouseSample& sample) {
    const xcb_screen_t* screen = FirstScreen(FState->Toolkit);
    if (screen == nullptr) return false;
    TPointerAhead& ahead = FState->Query;
    // Our connection while it lives; once it breaks, the toolkit's serves.
    xcb_connection_t* asked = FState->Ahead != nullptr &&
                                      xcb_connection_has_error(FState->Ahead) == 0
                                  ? FState->Ahead
                                  : FState->Toolkit;
    if (ahead.Pending > 0 && ahead.On != asked) {
        // Their connection broke: those replies will never come, and their numbers name
        // requests of the toolkit's on the connection asked now.
        ahead.Pending = 0;
        ahead.Have = false;
    }
    if (ahead.Pending > 0) {
        // A tick that put nothing left its query unsent: it goes now (nothing to do otherwise).
        xcb_flush(asked);
        // The oldest only, and only if the server has answered: the newer one cannot have been.
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        const TPointerAhead::TAsked oldest = ahead.Asked[0];
        if (xcb_poll_for_reply(asked, oldest.Sequence, &reply, &error) != 0) {
            for (int i = 1; i < ahead.Pending; ++i)
                ahead.Asked[i - 1] = ahead.Asked[i];
            --ahead.Pending;
            if (reply != nullptr) {
                FState->FromReply(static_cast<xcb_query_pointer_reply_t*>(reply), window,
                                  ahead.Last,
                                  TOwnPresses::Installed().PressedAfter(oldest.Presses));
                ahead.Have = true;
            }
            std::free(reply);
            std::free(error);
        }
    }
    // The first tick, and one after a connection that failed, asks and waits.
    if (!ahead.Have) {
        if (!Sample(window, ahead.Last)) return false;
        ahead.Have = true;
    }
    if (ahead.Pending < TPointerAhead::Most) {
        TPointerAhead::TAsked& asking = ahead.Asked[ahead.Pending++];
        asking.Presses = TOwnPresses::Installed().Count();
        asking.Sequence = xcb_query_pointer(asked, screen->root).sequence;
        ahead.On = asked;
        // Where the views put each frame on this connection, the frame's put carries the query:
        // one write, one wake-up of the server a frame.
        if (!(FState->AheadWithPuts && asked == FState->Ahead)) xcb_flush(asked);
    }
    sample = ahead.Last;
    return true;
}

void TX11Pointer::Buttons(Qt::MouseButton& left, Qt::MouseButton& right) {
    const std::vector<uint8_t>& map = FState->Mapping.Get(FState->Toolkit);
    left = QtButton(LogicalButton(map.data(), map.size(), 1));
    right = QtButton(LogicalButton(map.data(), map.size(), 3));
}

bool TX11Pointer::Origin(const QWidget* widget, QPoint& origin) {
    const QWindow* handle = TopLevelHandle(widget);
    const xcb_screen_t* screen = FirstScreen(FState->Toolkit);
    return handle != nullptr && screen != nullptr &&
           FState->Place.Origin(FState->Toolkit, static_cast<xcb_window_t>(handle->winId()),
                                screen->root, origin);
}
