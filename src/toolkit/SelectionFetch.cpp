// The selection request of our own: a hidden window on a private connection converts CLIPBOARD,
// first to TARGETS, then to the type chosen; data too large for one property comes as INCR
// parts, each asked for by deleting the last. Every wait for the owner ends after NoProgressMs
// or as soon as the fetch is cancelled.
#include "toolkit/SelectionFetch.h"

#include <QGuiApplication>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "toolkit/X11Display.h"

namespace {

template <class T> using TOwned = std::unique_ptr<T, decltype(&std::free)>;
template <class T> TOwned<T> Own(T* reply) {
    return TOwned<T>(reply, &std::free);
}

enum class TWait { Got, Timeout, Cancelled, Broken };

class TRequester {
  public:
    TRequester(int cancelFd, std::string display)
        : FCancelFd(cancelFd), FDisplay(std::move(display)) {}
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
        const char* names[] = {"CLIPBOARD", "TARGETS", "INCR", "VOXEL_SELECTION"};
        xcb_intern_atom_cookie_t cookies[4];
        for (int i = 0; i < 4; ++i)
            cookies[i] = xcb_intern_atom(FConnection, 0,
                                         static_cast<uint16_t>(std::strlen(names[i])), names[i]);
        xcb_atom_t* atoms[] = {&FClipboard, &FTargets, &FIncr, &FProperty};
        for (int i = 0; i < 4; ++i) {
            auto reply = Own(xcb_intern_atom_reply(FConnection, cookies[i], nullptr));
            if (!reply) return false;
            *atoms[i] = reply->atom;
        }
        return true;
    }

    TSelectionFetch::TResult Fetch(const TSelectionFetch::TChoose& choose) {
        using TOutcome = TSelectionFetch::TOutcome;
        TSelectionFetch::TResult result;
        QByteArray data;
        bool refused = false;
        TWait wait = Convert(FTargets, refused, data);
        if (wait != TWait::Got) return Given(wait);
        if (refused) return result; // no owner, or one that offers nothing
        const QStringList names = AtomNames(data);
        result.Target = choose(names);
        if (result.Target.isEmpty()) return result;
        const QByteArray name = result.Target.toLatin1();
        auto atom = Own(xcb_intern_atom_reply(
            FConnection,
            xcb_intern_atom(FConnection, 0, static_cast<uint16_t>(name.size()), name.data()),
            nullptr));
        if (!atom) return Given(TWait::Broken);
        wait = Convert(atom->atom, refused, result.Bytes);
        if (wait != TWait::Got) return Given(wait);
        result.Outcome = TOutcome::Data;
        return result;
    }

  private:
    static TSelectionFetch::TResult Given(TWait wait) {
        TSelectionFetch::TResult result;
        if (wait == TWait::Timeout) result.Outcome = TSelectionFetch::TOutcome::NoAnswer;
        return result; // cancelled or broken: nothing
    }

    // Asks the owner for the selection as target and reads its answer into data.
    TWait Convert(xcb_atom_t target, bool& refused, QByteArray& data) {
        refused = false;
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
        if (wait != TWait::Got) return wait;
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(event.get())->property ==
            XCB_NONE) {
            refused = true;
            return TWait::Got;
        }
        xcb_atom_t type = XCB_NONE;
        if (!Take(data, type)) return TWait::Broken;
        if (type != FIncr) return TWait::Got;
        // Parts follow, each a new value of the property; an empty one ends them.
        data.clear();
        for (;;) {
            wait = Next(
                [this](const xcb_generic_event_t* e) {
                    const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                    return (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                           p->window == FWindow && p->atom == FProperty &&
                           p->state == XCB_PROPERTY_NEW_VALUE;
                },
                event);
            if (wait != TWait::Got) return wait;
            QByteArray part;
            if (!Take(part, type)) return TWait::Broken;
            if (part.isEmpty()) return TWait::Got;
            data += part;
        }
    }

    // Reads the property and deletes it, which also tells an INCR owner to send the next part.
    bool Take(QByteArray& value, xcb_atom_t& type) {
        auto reply =
            Own(xcb_get_property_reply(FConnection,
                                       xcb_get_property(FConnection, 1, FWindow, FProperty,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1fffffff),
                                       nullptr));
        if (!reply) return false;
        type = reply->type;
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
        return true;
    }

    // The names of the atoms in a TARGETS answer, asked for all at once.
    QStringList AtomNames(const QByteArray& data) {
        std::vector<xcb_get_atom_name_cookie_t> cookies;
        for (qsizetype i = 0; i + 4 <= data.size(); i += 4) {
            xcb_atom_t atom;
            std::memcpy(&atom, data.constData() + i, 4);
            cookies.push_back(xcb_get_atom_name(FConnection, atom));
        }
        QStringList names;
        for (const xcb_get_atom_name_cookie_t cookie : cookies) {
            auto reply = Own(xcb_get_atom_name_reply(FConnection, cookie, nullptr));
            if (reply)
                names << QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                             xcb_get_atom_name_name_length(reply.get()));
        }
        return names;
    }

    // The next event that accept() takes, skipping others, unless NoProgressMs pass first or
    // the fetch is cancelled.
    template <class F> TWait Next(F accept, TOwned<xcb_generic_event_t>& event) {
        using TClock = std::chrono::steady_clock;
        const TClock::time_point deadline =
            TClock::now() + std::chrono::milliseconds(TSelectionFetch::NoProgressMs);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(FConnection)) {
                event = Own(e);
                if (accept(e)) return TWait::Got;
            }
            if (xcb_connection_has_error(FConnection) != 0) return TWait::Broken;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now())
                    .count();
            if (left <= 0) return TWait::Timeout;
            pollfd fds[2] = {{xcb_get_file_descriptor(FConnection), POLLIN, 0},
                             {FCancelFd, POLLIN, 0}};
            if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) return TWait::Broken;
            if (fds[1].revents != 0) return TWait::Cancelled;
        }
    }

    int FCancelFd;
    std::string FDisplay; // the toolkit's, also when a -display option named it
    xcb_connection_t* FConnection = nullptr;
    xcb_window_t FWindow = XCB_NONE;
    xcb_atom_t FClipboard = XCB_NONE, FTargets = XCB_NONE, FIncr = XCB_NONE, FProperty = XCB_NONE;
};

} // namespace

TSelectionFetch::TSelectionFetch(QObject* parent, TDone done)
    : QObject(parent), FDone(std::move(done)) {
    if (pipe2(FCancel, O_CLOEXEC | O_NONBLOCK) != 0) FCancel[0] = FCancel[1] = -1;
}

TSelectionFetch::~TSelectionFetch() {
    if (FWorker.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t written = write(FCancel[1], &stop, 1);
        FWorker.join();
    }
    for (const int fd : FCancel)
        if (fd >= 0) close(fd);
}

bool TSelectionFetch::Available() {
    return QGuiApplication::platformName() == "xcb";
}

bool TSelectionFetch::Start(TChoose choose) {
    if (Busy() || FCancel[0] < 0 || !Available()) return false;
    FWorker = std::thread([this, choose = std::move(choose), display = X11DisplayName()] {
        TRequester requester(FCancel[0], display);
        TResult result;
        if (requester.Open()) {
            result = requester.Fetch(choose);
        } else {
            result.Outcome = TOutcome::Unavailable;
        }
        // Handled on the main thread; dropped with this object if it is destroyed first.
        QMetaObject::invokeMethod(
            this, [this, result] { Finished(result); }, Qt::QueuedConnection);
    });
    return true;
}

void TSelectionFetch::Finished(const TResult& result) {
    FWorker.join();
    FDone(result);
}
