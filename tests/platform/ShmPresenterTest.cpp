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

// A mapped 64 x 48 window of another client's, as the toolkit makes the view's.
xcb_window_t MappedWindow(xcb_connection_t* other) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const xcb_window_t window = xcb_generate_id(other);
    xcb_create_window(other, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 64, 48, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(other, window);
    RoundTrip(other);
    return window;
}

} // namespace

// A server of the test's own, our connection to it, and a window of another client's on it.
class ShmPresenterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Server.Running()) GTEST_SKIP() << "Xvfb could not be started";
        Link = TShmConnection::Open(Server.Name());
        ASSERT_NE(Link, nullptr);
        ASSERT_TRUE(Link->HasShm());
        Other = xcb_connect(Server.Name().c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(Other), 0);
        Window = MappedWindow(Other);
    }
    void TearDown() override {
        if (Other != nullptr) xcb_disconnect(Other);
    }
    const TXvfb Server;
    std::unique_ptr<TShmConnection> Link;
    xcb_connection_t* Other = nullptr;
    xcb_window_t Window = 0;
};

// The window is destroyed by another client behind the presenter's back: the server refuses
// the next two puts and sends no completion for them. The refusal frees their segments, the
// presenter falls back to plain puts, and none of the presents waits for a completion.
TEST_F(ShmPresenterTest, ARefusedPutFreesItsSegmentAndNoLaterPresentWaits) {
    TShmPresenter presenter(*Link, Window);
    ASSERT_TRUE(presenter.Ready());
    QImage picture(64, 48, QImage::Format_RGB16);
    picture.fill(Qt::red);
    presenter.Present(picture, picture.rect(), 1);
    presenter.Present(picture, picture.rect(), 1);
    ASSERT_TRUE(presenter.Shared());
    RoundTrip(Link->Connection()); // both completions are in

    xcb_destroy_window(Other, Window);
    RoundTrip(Other);
    using TClock = std::chrono::steady_clock;
    const TClock::time_point start = TClock::now();
    for (int i = 0; i < 4; ++i)
        presenter.Present(picture, picture.rect(), 1);
    const TClock::duration took = TClock::now() - start;
    EXPECT_FALSE(presenter.Shared());
    // One wait for a segment would take the whole bound.
    EXPECT_LT(took, std::chrono::milliseconds(TShmPresenter::WaitMs));
}

// The server stops reading while both segments are being read: a present waits for one only
// so long, and what it could not put goes out with the next present, whatever that one shows.
TEST_F(ShmPresenterTest, AStoppedServerBoundsTheWaitAndTheMissedPictureIsPutNextTime) {
    TShmPresenter presenter(*Link, Window);
    ASSERT_TRUE(presenter.Ready());
    QImage red(64, 48, QImage::Format_RGB16), green(64, 48, QImage::Format_RGB16);
    red.fill(Qt::red);
    green.fill(Qt::green);

    presenter.Present(red, red.rect(), 1); // the segments made while the server answers
    ASSERT_TRUE(presenter.Shared());
    RoundTrip(Link->Connection());

    Server.Stop(true);
    presenter.Present(red, red.rect(), 1);
    presenter.Present(red, red.rect(), 1);
    using TClock = std::chrono::steady_clock;
    const TClock::time_point start = TClock::now();
    presenter.Present(green, green.rect(), 1); // no segment comes free
    const TClock::duration took = TClock::now() - start;
    Server.Stop(false);
    EXPECT_GE(took, std::chrono::milliseconds(TShmPresenter::WaitMs));
    EXPECT_LT(took, std::chrono::milliseconds(10 * TShmPresenter::WaitMs));

    RoundTrip(Link->Connection()); // both completions are in
    presenter.Present(green, QRect(0, 0, 1, 1), 1);
    EXPECT_TRUE(presenter.Shared());
    RoundTrip(Link->Connection());
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        Other, xcb_get_image(Other, XCB_IMAGE_FORMAT_Z_PIXMAP, Window, 0, 0, 64, 48, ~0u),
        nullptr);
    ASSERT_NE(image, nullptr);
    const auto* pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
    const int count = xcb_get_image_data_length(image) / 4;
    ASSERT_EQ(count, 64 * 48);
    int notGreen = 0;
    for (int i = 0; i < count; ++i)
        notGreen += (pixels[i] & 0xffffff) != (pixels[0] & 0xffffff);
    EXPECT_EQ(notGreen, 0);
    EXPECT_EQ(pixels[0] & 0xffffff, 0x00ff00u);
    std::free(image);
}
