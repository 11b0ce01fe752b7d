// Global mouse sampling on X: the pointer asked relative to the root and to our window in one
// exchange, read ahead where it can be; the window manager's frame round our window, kept from
// the window's own structure events.
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

// The window manager's frame round one top-level window of ours: its ancestor just below the
// root (the window itself when nothing reparented it). Asked of the server once and again only
// after the window is reparented, so a tick costs no round trip for it. Where the window sits is
// not kept here: a frame moved without a word to the client would leave it stale, so each
// pointer query is paired with one relative to the window itself.
class TWindowFrame : public QAbstractNativeEventFilter {
  public:
    xcb_window_t Frame(xcb_connection_t* connection, xcb_window_t window) {
        if (window != FWindow) {
            FWindow = window;
            FValid = false;
        }
        if (!FValid) {
            FFrame = TopLevelAncestor(connection, window);
            FValid = true;
        }
        return FFrame;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_REPARENT_NOTIFY &&
            reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window == FWindow)
            FValid = false;
        return false;
    }

  private:
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
    bool FValid = false;
    xcb_window_t FFrame = XCB_NONE;
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
        unsigned int Sequence = 0; // the query relative to the root
        unsigned int Placed = 0;   // the one relative to Window, sent right after it
        xcb_window_t Window = XCB_NONE;
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

// Where a window's client area sat on the root when the pointer was last asked relative to it.
struct TWindowOrigin {
    xcb_window_t Window = XCB_NONE;
    QPoint Origin;
};

// The X window of widget's top-level, or XCB_NONE.
xcb_window_t TopLevelWindow(const QWidget* widget) {
    const QWindow* handle = TopLevelHandle(widget);
    return handle != nullptr ? static_cast<xcb_window_t>(handle->winId()) : XCB_NONE;
}

} // namespace

struct TX11Pointer::TState {
    xcb_connection_t* Toolkit;
    xcb_connection_t* Ahead;
    bool AheadWithPuts;
    TPointerMapping Mapping;
    TWindowFrame Frame;
    TPointerAhead Query;
    TWindowOrigin Placed;

    // Sends the pointer query relative to the root, then, for a window, the one relative to
    // that window: its reply says where the window is, whatever moved it since.
    TPointerAhead::TAsked Ask(xcb_connection_t* connection, xcb_window_t root,
                              xcb_window_t window) {
        TPointerAhead::TAsked asked;
        asked.Sequence = xcb_query_pointer(connection, root).sequence;
        if (window != XCB_NONE) {
            asked.Placed = xcb_query_pointer(connection, window).sequence;
            asked.Window = window;
        }
        return asked;
    }

    // Keeps the window's origin from the reply of a query relative to it (null: none came).
    void TakePlace(xcb_window_t window, const xcb_query_pointer_reply_t* placed) {
        if (placed == nullptr || !placed->same_screen) return;
        Placed.Window = window;
        Placed.Origin = QPoint(placed->root_x - placed->win_x, placed->root_y - placed->win_y);
    }

    // Fills sample from a pointer query's reply; the presses of spared buttons came after the
    // query was sent, so its reply cannot show them.
    void FromReply(const xcb_query_pointer_reply_t* reply, const QWidget* window,
                   TMouseSample& sample, Qt::MouseButtons spared = {}) {
        const std::vector<uint8_t>& map = Mapping.Get(Toolkit);
        sample.LeftDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 1);
        sample.RightDown = PhysicalButtonDown(reply->mask, map.data(), map.size(), 3);
        // A press that reached the window sampled for counts while its button stays down; one
        // held for another program never reaches it, nor one on a box of ours, so neither
        // edits. The reply may show a press of ours still queued for Qt: such a button reads as
        // not ours until Qt hands the press over.
        TOwnPresses& presses = TOwnPresses::Installed();
        Qt::MouseButtons down;
        for (int logical = 1; logical <= 3; ++logical)
            if (reply->mask & (XCB_BUTTON_MASK_1 << (logical - 1))) down |= QtButton(logical);
        presses.Keep(down | spared);
        const QWindow* handle = TopLevelHandle(window);
        const Qt::MouseButtons held = presses.Held(handle);
        sample.LeftPressedHere =
            held.testAnyFlag(QtButton(LogicalButton(map.data(), map.size(), 1)));
        sample.RightPressedHere =
            held.testAnyFlag(QtButton(LogicalButton(map.data(), map.size(), 3)));
        sample.X = reply->root_x;
        sample.Y = reply->root_y;
        if (window != nullptr) {
            // The reply's child is the top-level window under the cursor, whatever is stacked
            // there.
            sample.OverOwnWindow =
                handle != nullptr && !Minimised(handle) && reply->same_screen &&
                reply->child != XCB_NONE &&
                reply->child ==
                    Frame.Frame(Toolkit, static_cast<xcb_window_t>(handle->winId()));
        }
    }
};

TX11Pointer::TX11Pointer(xcb_connection_t* toolkit, xcb_connection_t* ahead, bool aheadWithPuts)
    : FState(new TState{toolkit, ahead, aheadWithPuts, {}, {}, {}, {}}) {
    qGuiApp->installNativeEventFilter(&FState->Mapping);
    qGuiApp->installNativeEventFilter(&FState->Frame);
}

// The filters take themselves off the application's list as they go.
TX11Pointer::~TX11Pointer() = default;

bool TX11Pointer::Sample(const QWidget* window, TMouseSample& sample) {
    xcb_connection_t* connection = FState->Toolkit;
    const xcb_screen_t* screen = FirstScreen(connection);
    if (screen == nullptr) return false;
    // Both go out before either reply is waited for: one round trip.
    const TPointerAhead::TAsked asked =
        FState->Ask(connection, screen->root, TopLevelWindow(window));
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, {asked.Sequence}, nullptr);
    xcb_query_pointer_reply_t* placed =
        asked.Window != XCB_NONE ? xcb_query_pointer_reply(connection, {asked.Placed}, nullptr)
                                 : nullptr;
    if (reply != nullptr) {
        FState->TakePlace(asked.Window, placed);
        FState->FromReply(reply, window, sample);
    }
    std::free(placed);
    std::free(reply);
    return reply != nullptr;
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
        // Replies come in order, so once the later query of the pair is answered the earlier
        // one is too.
        const TPointerAhead::TAsked oldest = ahead.Asked[0];
        void* placed = nullptr;
        xcb_generic_error_t* placedError = nullptr;
        const bool in = oldest.Window == XCB_NONE ||
                        xcb_poll_for_reply(asked, oldest.Placed, &placed, &placedError) != 0;
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (in && xcb_poll_for_reply(asked, oldest.Sequence, &reply, &error) != 0) {
            for (int i = 1; i < ahead.Pending; ++i)
                ahead.Asked[i - 1] = ahead.Asked[i];
            --ahead.Pending;
            if (reply != nullptr) {
                FState->TakePlace(oldest.Window,
                                  static_cast<const xcb_query_pointer_reply_t*>(placed));
                FState->FromReply(static_cast<xcb_query_pointer_reply_t*>(reply), window,
                                  ahead.Last,
                                  TOwnPresses::Installed().PressedAfter(oldest.Presses));
                ahead.Have = true;
            }
        }
        std::free(reply);
        std::free(error);
        std::free(placed);
        std::free(placedError);
    }
    // The first tick, and one after a connection that failed, asks and waits.
    if (!ahead.Have) {
        if (!Sample(window, ahead.Last)) return false;
        ahead.Have = true;
    }
    if (ahead.Pending < TPointerAhead::Most) {
        TPointerAhead::TAsked& asking = ahead.Asked[ahead.Pending++];
        asking = FState->Ask(asked, screen->root, TopLevelWindow(window));
        asking.Presses = TOwnPresses::Installed().Count();
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

// The origin the last sample's query found, which goes with that sample's cursor; asked and
// waited for when no sample of this window was taken yet.
bool TX11Pointer::Origin(const QWidget* widget, QPoint& origin) {
    const xcb_window_t window = TopLevelWindow(widget);
    if (window == XCB_NONE) return false;
    if (FState->Placed.Window == window) {
        origin = FState->Placed.Origin;
        return true;
    }
    const xcb_screen_t* screen = FirstScreen(FState->Toolkit);
    if (screen == nullptr) return false;
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        FState->Toolkit, xcb_translate_coordinates(FState->Toolkit, window, screen->root, 0, 0),
        nullptr);
    if (reply == nullptr) return false;
    origin = QPoint(reply->dst_x, reply->dst_y);
    std::free(reply);
    return true;
}
