// Our own X connection for presenting: shared-memory puts and their completion events travel
// on it, so the toolkit's event thread is not woken every frame. The pointer query sent ahead
// shares it. The X platform opens it and closes it after the last window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "platform/x11/VisualPixels.h"

class TShmConnection {
  public:
    // A connection of its own to the named display; null when it cannot be opened or the
    // default visual is not one the views can write.
    static std::unique_ptr<TShmConnection> Open(const std::string& display);
    ~TShmConnection();
    TShmConnection(const TShmConnection&) = delete;
    TShmConnection& operator=(const TShmConnection&) = delete;

    xcb_connection_t* Connection() const { return FConnection; }
    bool HasShm() const { return FHasShm; }
    bool Broken() const;
    // Reads the events that arrived without waiting; a completion clears its segment's flag,
    // and so does an error for its last put, which also sets its refused flag.
    void Drain();
    // Waits until an event arrives, at most milliseconds; false on timeout or a broken link.
    bool Wait(int milliseconds);
    // A segment whose completion clears *inFlight and whose refused put sets *refused;
    // forgotten again before it goes.
    void Watch(uint32_t segment, bool* inFlight, bool* refused);
    void Forget(uint32_t segment);
    // The request sequence of the segment's latest put, which the server's error names.
    void Sent(uint32_t segment, uint32_t sequence);
    // The largest request the server takes, in bytes.
    uint32_t MaxRequestBytes() const { return FMaxRequestBytes; }
    // The layout and depth of a window's visual, asked once per window.
    bool WindowFormat(xcb_window_t window, TVisualFormat& format, uint8_t& depth,
                      int& scanlinePad);

    // Takes the names and the process id off a window inside ours: the toolkit gives its native
    // children the marks of a top-level window, and tools that list a program's windows by them
    // would count each view as one.
    void Unname(xcb_window_t window);

  private:
    TShmConnection() = default;
    bool Connect(const std::string& display);
    xcb_connection_t* FConnection = nullptr;
    bool FHasShm = false;
    uint8_t FCompletion = 0; // the completion event's code
    uint32_t FMaxRequestBytes = 0;
    xcb_atom_t FNetWmPid = XCB_NONE, FNetWmName = XCB_NONE;
    struct TWatch {
        uint32_t Segment;
        bool* InFlight;
        bool* Refused;
        uint32_t Put = 0; // the sequence of its latest put; 0 before any
    };
    std::vector<TWatch> FWatched;
};
