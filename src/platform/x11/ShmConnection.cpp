// The presenting connection: opened to the toolkit's display, MIT-SHM asked for once, events
// read without blocking and waits bounded by a timeout.
#include "platform/x11/ShmConnection.h"

#include <poll.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/x11/DisplayCheck.h"
#include "platform/x11/X11Display.h"

std::unique_ptr<TShmConnection> TShmConnection::Open(const std::string& display) {
    std::unique_ptr<TShmConnection> connection(new TShmConnection);
    if (!connection->Connect(display)) connection.reset();
    return connection;
}

TShmConnection::~TShmConnection() {
    if (FConnection != nullptr) xcb_disconnect(FConnection);
}

bool TShmConnection::Connect(const std::string& display) {
    FConnection = ConnectX11(display);
    if (FConnection == nullptr) return false;
    FMaxRequestBytes = xcb_get_maximum_request_length(FConnection) * 4;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(FConnection, &xcb_shm_id);
    // A segment named over the network would be looked up on the server's machine, not ours.
    if (shm != nullptr && shm->present && !DisplayByNetwork(display)) {
        xcb_shm_query_version_reply_t* version = xcb_shm_query_version_reply(
            FConnection, xcb_shm_query_version(FConnection), nullptr);
        if (version != nullptr) {
            FHasShm = true;
            FCompletion = static_cast<uint8_t>(shm->first_event + XCB_SHM_COMPLETION);
            std::free(version);
        }
    }
    const auto intern = [this](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            FConnection,
            xcb_intern_atom(FConnection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    };
    FNetWmPid = intern("_NET_WM_PID");
    FNetWmName = intern("_NET_WM_NAME");
    // The views' windows take the default visual; one the conversion cannot write leaves them
    // to the toolkit.
    TVisualFormat format;
    uint8_t depth = 0;
    int pad = 0;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
    return screen != nullptr && WindowFormat(screen->root, format, depth, pad);
}

void TShmConnection::Unname(xcb_window_t window) {
    for (const xcb_atom_t atom : {static_cast<xcb_atom_t>(XCB_ATOM_WM_NAME), FNetWmName, FNetWmPid})
        if (atom != XCB_NONE) xcb_delete_property(FConnection, window, atom);
    xcb_flush(FConnection);
}

bool TShmConnection::Broken() const {
    return xcb_connection_has_error(FConnection) != 0;
}

void TShmConnection::Drain() {
    // One read at most: what it brought is taken from the queue, and a second read would
    // only find the socket empty (a system call a frame for nothing).
    for (xcb_generic_event_t* event = xcb_poll_for_event(FConnection); event != nullptr;
         event = xcb_poll_for_queued_event(FConnection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == FCompletion && FHasShm) {
            const auto* done = reinterpret_cast<const xcb_shm_completion_event_t*>(event);
            for (const TWatch& watch : FWatched)
                if (watch.Segment == done->shmseg) *watch.InFlight = false;
        } else if (type == 0) {
            // A refused put sends no completion: without this its segment stays in flight.
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
            for (const TWatch& watch : FWatched)
                if (watch.Put != 0 && watch.Put == error->full_sequence) {
                    *watch.InFlight = false;
                    *watch.Refused = true;
                }
        }
        std::free(event);
    }
}

bool TShmConnection::Wait(int milliseconds) {
    if (Broken()) return false;
    pollfd fd{xcb_get_file_descriptor(FConnection), POLLIN, 0};
    const int result = poll(&fd, 1, milliseconds);
    if (result < 0 && errno != EINTR) return false;
    Drain();
    return result > 0 && !Broken();
}

void TShmConnection::Watch(uint32_t segment, bool* inFlight, bool* refused) {
    FWatched.push_back({segment, inFlight, refused});
}

void TShmConnection::Sent(uint32_t segment, uint32_t sequence) {
    for (TWatch& watch : FWatched)
        if (watch.Segment == segment) watch.Put = sequence;
}

void TShmConnection::Forget(uint32_t segment) {
    std::erase_if(FWatched, [segment](const TWatch& w) { return w.Segment == segment; });
}

bool TShmConnection::WindowFormat(xcb_window_t window, TVisualFormat& format, uint8_t& depth,
                                  int& scanlinePad) {
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        FConnection, xcb_get_window_attributes(FConnection, window), nullptr);
    if (attributes == nullptr) return false;
    const xcb_visualid_t visual = attributes->visual;
    std::free(attributes);
    const xcb_setup_t* setup = xcb_get_setup(FConnection);
    bool found = false;
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem > 0 && !found;
         xcb_screen_next(&screen))
        for (auto d = xcb_screen_allowed_depths_iterator(screen.data); d.rem > 0 && !found;
             xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v))
                if (v.data->visual_id == visual) {
                    format.RedMask = v.data->red_mask;
                    format.GreenMask = v.data->green_mask;
                    format.BlueMask = v.data->blue_mask;
                    depth = d.data->depth;
                    found = true;
                    break;
                }
    if (!found) return false;
    format.BitsPerPixel = 0;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f))
        if (f.data->depth == depth) {
            format.BitsPerPixel = f.data->bits_per_pixel;
            scanlinePad = f.data->scanline_pad;
        }
    format.MsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    return VisualWritable(format);
}
