// The shared-memory present against a real X server: what the server refuses.
#include <gtest/gtest.h>

#include <QImage>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/x11/ShmConnection.h"
#include "platform/x11/ShmPresenter.h"
#include "support/Xvfb.h"

namespace {

// Returns once the server has handled all the connection sent before.
void RoundTrip(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

// The window is destroyed by another client behind the presenter's back: the server refuses
// the next two puts and sends no completion for them. The refusal frees their segments, the
// presenter falls back to plain puts, and none of the presents waits for a completion.
TEST(ShmPresenterTest, ARefusedPutFreesItsSegmentAndNoLaterPresentWaits) {
    const TXvfb server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    const std::unique_ptr<TShmConnection> link = TShmConnection::Open(server.Name());
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->HasShm());
    xcb_connection_t* other = xcb_connect(server.Name().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const xcb_window_t window = xcb_generate_id(other);
    xcb_create_window(other, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 64, 48, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(other, window);
    RoundTrip(other);

    TShmPresenter presenter(*link, window);
    ASSERT_TRUE(presenter.Ready());
    QImage picture(64, 48, QImage::Format_RGB16);
    picture.fill(Qt::red);
    presenter.Present(picture, picture.rect(), 1);
    presenter.Present(picture, picture.rect(), 1);
    ASSERT_TRUE(presenter.Shared());
    RoundTrip(link->Connection()); // both completions are in

    xcb_destroy_window(other, window);
    RoundTrip(other);
    using TClock = std::chrono::steady_clock;
    const TClock::time_point start = TClock::now();
    for (int i = 0; i < 4; ++i)
        presenter.Present(picture, picture.rect(), 1);
    const TClock::duration took = TClock::now() - start;
    EXPECT_FALSE(presenter.Shared());
    // One wait for a segment would take the whole bound.
    EXPECT_LT(took, std::chrono::milliseconds(TShmPresenter::WaitMs));
    xcb_disconnect(other);
}
