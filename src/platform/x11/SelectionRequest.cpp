// The selection request of our own: a hidden window on a private connection converts CLIPBOARD,
// first to TARGETS, then to the type chosen; data too large for one property comes as INCR
// parts, each asked for by deleting the last. Every wait (for the owner or for the server's
// replies) ends after NoProgressMs, at the transfer's deadline, or as soon as the fetch is
// cancelled; no read asks for more than is left under the cap.
#include "platform/x11/SelectionRequest.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include "platform/x11/X11Display.h"

namespace {

template <class T> using TOwned = std::unique_ptr<T, decltype(&std::free)>;
template <class T> TOwned<T> Own(T* reply) {
    return TOwned<T>(reply, &std::free);
}

using TClock = std::chrono::steady_clock;
using TOutcome = TSelectionFetch::TOutcome;

// How a wait or a read ended: Got, or the outcome it gives the fetch (Nothing: cancelled or
// the connection broken).
using TWait = TOutcome;
constexpr TWait Got = TOutcome::Data;

class TRequester {
  public:
    TRequester(const TWorker::TCancel& cancel, std::string display)
        : FCancel(cancel), FDisplay(std::move(display)),
          FDeadline(TClock::now() + std::chrono::milliseconds(TSelectionFetch::DeadlineMs)) {}
    ~TRequester() {
        if (FConnection != nullptr) xcb_disconnect(FConnection); // the window goes with it
    }

    bool Open() {
        int screenNumber = 0;
        FConnection = ConnectX11(FDisplay, &screenNumber);
        if (FConnection == nullptr) return false;
        xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(FConnection));
        for (int i = 0; i < screenNumber && screen.rem > 0; ++i)
            xcb_screen_next(&screen);
        if (screen.rem == 0) return false;
        FWindow = xcb_generate_id(FConnection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(FConnection, XCB_COPY_FROM_PARENT, FWindow, screen.data->root, -10, -10,
                          1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                          XCB_CW_EVENT_MASK, &events);
        return true;
    }

    TSelectionFetch::TResult Fetch(const TSelectionFetch::TChoose& choose) {
        TSelectionFetch::TResult result;
        const char* atomNames[] = {"CLIPBOARD", "TARGETS", "INCR", "VOXEL_SELECTION"};
        xcb_atom_t* atoms[] = {&FClipboard, &FTargets, &FIncr, &FProperty};
        for (int i = 0; i < 4; ++i)
            if ((result.Outcome = Intern(atomNames[i], *atoms[i])) != Got) return Given(result);
        QByteArray data;
        result.Outcome = Convert(FTargets, TSelectionFetch::MaxTargets * 4, data);
        if (result.Outcome == TOutcome::TooLarge) result.Outcome = TOutcome::TooManyTypes;
        if (result.Outcome == TOutcome::Refused) result.Outcome = TOutcome::Nothing;
        if (result.Outcome != Got) return Given(result); // no owner, or one that offers nothing
        QStringList names;
        if ((result.Outcome = AtomNames(data, names)) != Got) return Given(result);
        result.Target = choose(names);
        if (result.Target.isEmpty()) return Given(result);
        const QByteArray name = result.Target.toLatin1();
        xcb_atom_t target = XCB_NONE;
        if ((result.Outcome = Intern(name.constData(), target)) != Got) return Given(result);
        result.Outcome = Convert(target, TSelectionFetch::TransferCap, result.Bytes);
        return Given(result);
    }

  private:
    // The result as the fetch gives it: its data only with Data.
    static TSelectionFetch::TResult Given(TSelectionFetch::TResult result) {
        if (result.Outcome != TOutcome::Data) result.Bytes.clear();
        if (result.Outcome != TOutcome::Data && result.Outcome != TOutcome::Refused)
            result.Target.clear();
        return result;
    }

    TWait Intern(const char* name, xcb_atom_t& atom) {
        TOwned<xcb_intern_atom_reply_t> reply = Own<xcb_intern_atom_reply_t>(nullptr);
        const TWait wait =
            Await(xcb_intern_atom(FConnection, 0, static_cast<uint16_t>(std::strlen(name)), name)
                      .sequence,
                  reply);
        if (wait == Got) atom = reply->atom;
        return wait == TOutcome::Refused ? TOutcome::Nothing : wait;
    }

    // Asks the owner for the selection as target and reads its answer (at most cap bytes).
    TWait Convert(xcb_atom_t target, qsizetype cap, QByteArray& data) {
        data.clear();
        xcb_convert_selection(FConnection, FWindow, FClipboard, target, FProperty,
                              XCB_CURRENT_TIME);
        xcb_flush(FConnection);
        TOwned<xcb_generic_event_t> event = Own<xcb_generic_event_t>(nullptr);
        TWait wait = Next(
            [this](const xcb_generic_event_t* e) {
                return (e->response_type & 0x7f) == XCB_SELECTION_NOTIFY &&
                       reinterpret_cast<const xcb_selection_notify_event_t*>(e)->requestor ==
                           FWindow;
            },
            event);
        if (wait != Got) return wait;
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(event.get())->property ==
            XCB_NONE)
            return TOutcome::Refused;
        xcb_atom_t type = XCB_NONE;
        if ((wait = Take(data, cap, type)) != Got) return wait;
        if (type != FIncr) return Got;
        // The announced size is at least the data's: larger than the cap, it is not asked for.
        uint32_t announced = 0;
        if (data.size() >= 4) std::memcpy(&announced, data.constData(), 4);
        if (announced > static_cast<uint64_t>(cap)) return TOutcome::TooLarge;
        // Parts follow, each a new value of the property; an empty one ends them. They are
        // joined at the end, each freed once copied: growing one array part by part would
        // copy it whole, twice its size held, at each step.
        data.clear();
        std::vector<QByteArray> parts;
        qsizetype total = 0;
        for (;;) {
            wait = Next(
                [this](const xcb_generic_event_t* e) {
                    const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                    return (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                           p->window == FWindow && p->atom == FProperty &&
                           p->state == XCB_PROPERTY_NEW_VALUE;
                },
                event);
            if (wait != Got) return wait;
            QByteArray part;
            if ((wait = Take(part, cap - total, type)) != Got) return wait;
            if (part.isEmpty()) break;
            total += part.size();
            parts.push_back(std::move(part));
        }
        data.reserve(total);
        for (QByteArray& part : parts) {
            data += part;
            part = QByteArray();
        }
        return Got;
    }

    // Reads the property (TooLarge past cap bytes) and deletes it, which also tells an INCR
    // owner to send the next part.
    TWait Take(QByteArray& value, qsizetype cap, xcb_atom_t& type) {
        // In 32-bit units, one more than the cap allows: a longer value shows in bytes_after.
        const auto longs = static_cast<uint32_t>(cap / 4 + 1);
        TOwned<xcb_get_property_reply_t> reply = Own<xcb_get_property_reply_t>(nullptr);
        const TWait wait = Await(xcb_get_property(FConnection, 1, FWindow, FProperty,
                                                  XCB_GET_PROPERTY_TYPE_ANY, 0, longs)
                                     .sequence,
                                 reply);
        if (wait != Got) return wait;
        const int length = xcb_get_property_value_length(reply.get());
        if (reply->bytes_after != 0 || length > cap) return TOutcome::TooLarge;
        type = reply->type;
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
        return Got;
    }

    // The names of the atoms in a TARGETS answer, asked for all at once.
    TWait AtomNames(const QByteArray& data, QStringList& names) {
        std::vector<unsigned> sequences;
        for (qsizetype i = 0; i + 4 <= data.size(); i += 4) {
            xcb_atom_t atom;
            std::memcpy(&atom, data.constData() + i, 4);
            sequences.push_back(xcb_get_atom_name(FConnection, atom).sequence);
        }
        for (const unsigned sequence : sequences) {
            TOwned<xcb_get_atom_name_reply_t> reply = Own<xcb_get_atom_name_reply_t>(nullptr);
            const TWait wait = Await(sequence, reply);
            if (wait == TOutcome::Refused) continue; // an atom the server does not know
            if (wait != Got) return wait;
            names << QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                         xcb_get_atom_name_name_length(reply.get()));
        }
        return Got;
    }

    // The server's reply to a request, without blocking in it: Refused for an error reply.
    template <class R> TWait Await(unsigned sequence, TOwned<R>& reply) {
        xcb_flush(FConnection);
        const TWait wait = Wait([&] {
            void* answer = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (xcb_poll_for_reply(FConnection, sequence, &answer, &error) == 0) return false;
            std::free(error);
            reply = Own(static_cast<R*>(answer));
            return true;
        });
        if (wait != Got) return wait;
        if (xcb_connection_has_error(FConnection) != 0) return TOutcome::Nothing;
        return reply ? Got : TOutcome::Refused;
    }

    // The next event that accept() takes, skipping others.
    template <class F> TWait Next(F accept, TOwned<xcb_generic_event_t>& event) {
        return Wait([&] {
            while (xcb_generic_event_t* e = xcb_poll_for_event(FConnection)) {
                event = Own(e);
                if (accept(e)) return true;
            }
            return false;
        });
    }

    // Waits until ready() says true (Got), unless NoProgressMs pass first (NoAnswer), the
    // transfer's deadline passes (TooSlow), the fetch is cancelled or the connection breaks
    // (Nothing).
    template <class F> TWait Wait(F ready) {
        const TClock::time_point quiet =
            TClock::now() + std::chrono::milliseconds(TSelectionFetch::NoProgressMs);
        for (;;) {
            if (ready()) return Got;
            if (FCancel.Requested() || xcb_connection_has_error(FConnection) != 0)
                return TOutcome::Nothing;
            const TClock::time_point now = TClock::now();
            if (now >= FDeadline) return TOutcome::TooSlow;
            if (now >= quiet) return TOutcome::NoAnswer;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::min(quiet, FDeadline) - now)
                                  .count();
            pollfd fds[2] = {{xcb_get_file_descriptor(FConnection), POLLIN, 0},
                             {FCancel.Fd(), POLLIN, 0}};
            if (poll(fds, 2, static_cast<int>(left) + 1) < 0 && errno != EINTR)
                return TOutcome::Nothing;
        }
    }

    const TWorker::TCancel& FCancel;
    std::string FDisplay; // the toolkit's, also when a -display option named it
    TClock::time_point FDeadline;
    xcb_connection_t* FConnection = nullptr;
    xcb_window_t FWindow = XCB_NONE;
    xcb_atom_t FClipboard = XCB_NONE, FTargets = XCB_NONE, FIncr = XCB_NONE, FProperty = XCB_NONE;
};

} // namespace

TSelectionFetch::TResult RequestSelection(const std::string& display,
                                          const TWorker::TCancel& cancel,
                                          const TSelectionFetch::TChoose& choose) {
    try {
        TRequester requester(cancel, display);
        return requester.Open() ? requester.Fetch(choose)
                                : TSelectionFetch::TResult{TOutcome::Unavailable, {}, {}};
    } catch (const std::bad_alloc&) {
        return TSelectionFetch::TResult{TOutcome::TooLarge, {}, {}}; // the memory is gone with it
    }
}
