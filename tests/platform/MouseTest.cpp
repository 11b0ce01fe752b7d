// Global mouse sampling: the X pointer mapping rule, the state the window system reports, and
// the query sent ahead on a connection of our own.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QWidget>
#include <QtTest/QTest>

#include <sys/socket.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <tuple>

#include "platform/Mouse.h"
#include "platform/qt/OwnPresses.h"
#include "platform/x11/X11Pointer.h"
#include "support/Xvfb.h"

TEST(MouseMapping, PhysicalButtonsFollowThePointerMapping) {
    const uint16_t button1 = 1 << 8, button3 = 1 << 10;
    const uint8_t identity[] = {1, 2, 3}, swapped[] = {3, 2, 1}, odd[] = {0, 2, 9};
    EXPECT_TRUE(PhysicalButtonDown(button1, identity, 3, 1));
    EXPECT_FALSE(PhysicalButtonDown(button1, identity, 3, 3));
    // Left-handed: the physical left button reports as logical 3.
    EXPECT_TRUE(PhysicalButtonDown(button3, swapped, 3, 1));
    EXPECT_TRUE(PhysicalButtonDown(button1, swapped, 3, 3));
    EXPECT_EQ(LogicalButton(swapped, 3, 1), 3); // its presses come as Qt's right button
    // Disabled buttons, buttons beyond the state mask, no mapping, no such button.
    EXPECT_FALSE(PhysicalButtonDown(0xffff, odd, 3, 1));
    EXPECT_FALSE(PhysicalButtonDown(0xffff, odd, 3, 3));
    EXPECT_TRUE(PhysicalButtonDown(button3, nullptr, 0, 3));
    EXPECT_FALSE(PhysicalButtonDown(0xffff, identity, 3, 0));
}

// The cell under a device pixel at a display scale: rounded down on both sides of the origin.
TEST(MouseMapping, DevicePixelsFloorToTheCellDrawnThere) {
    for (auto [device, scale, cell] :
         {std::tuple{5, 1.0, 5}, {-5, 1.0, -5}, {0, 2.0, 0}, {1, 2.0, 0}, {2, 2.0, 1},
          {-1, 2.0, -1}, {-2, 2.0, -1}, {-3, 2.0, -2}, {1, 1.5, 0}, {2, 1.5, 1}, {3, 1.5, 2},
          {-1, 1.5, -1}, {-2, 1.5, -2}, {11, 1.1, 10}, {641, 2.0, 320}, {642, 2.0, 321}}) {
        SCOPED_TRACE(testing::Message() << device << " at " << scale);
        EXPECT_EQ(DeviceToLogical(device, scale), cell);
    }
}

TEST(MouseSample, ButtonsAndCursorAsTheWindowSystemReportsThem) {
    QWidget window;
    window.setGeometry(100, 20, 200, 150);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCursor::setPos(123, 45);
    const TMouseSample sample = SampleMouse();
    EXPECT_EQ(sample.X, 123);
    EXPECT_EQ(sample.Y, 45);
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return; // buttons and window states need a real device and window manager there

    EXPECT_TRUE(SampleMouse(&window).OverOwnWindow);
    EXPECT_EQ(ScreenToClient(&window, 123, 45), QPoint(23, 25));
    QCursor::setPos(99, 45); // just left of it
    EXPECT_FALSE(SampleMouse(&window).OverOwnWindow);
    EXPECT_EQ(ScreenToClient(&window, 99, 45), QPoint(-1, 25));
    QCursor::setPos(123, 45);
    window.showMinimized();
    EXPECT_FALSE(SampleMouse(&window).OverOwnWindow);
    window.showNormal();

    EXPECT_FALSE(sample.LeftDown || sample.RightDown);
    QTest::mousePress(window.windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(SampleMouse().RightDown);
    EXPECT_FALSE(MouseButtonDown(0));
    EXPECT_TRUE(MouseButtonDown(1));
    for (int other : {-1, 2, 3})
        EXPECT_FALSE(MouseButtonDown(other));
    QTest::mouseRelease(window.windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mousePress(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(MouseButtonDown(0));
    EXPECT_FALSE(MouseButtonDown(1));
    QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(MouseButtonDown(0));
}

// The presses that reach a window of ours count until their release, or until the system
// reports the button up (a release that went elsewhere); for the map only those that reached
// its window, not one on a box of ours, also once the box is gone.
TEST(MouseSample, PressesCountForTheWindowTheyReachedUntilReleased) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QWindow* main = window.windowHandle();
    TOwnPresses& presses = TOwnPresses::Installed();
    presses.Keep(Qt::NoButton);
    presses.TakePressed();
    QTest::mousePress(&window, Qt::RightButton);
    QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(presses.Held(main), Qt::LeftButton | Qt::RightButton);
    QTest::mouseRelease(&window, Qt::RightButton);
    EXPECT_EQ(presses.Held(main), Qt::LeftButton);
    presses.Keep(Qt::RightButton | Qt::MiddleButton);
    EXPECT_EQ(presses.Held(), Qt::NoButton);
    EXPECT_EQ(presses.TakePressed(main), Qt::LeftButton | Qt::RightButton);

    auto box = std::make_unique<QWidget>();
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    QTest::mousePress(box.get(), Qt::LeftButton);
    EXPECT_EQ(presses.Held(), Qt::LeftButton);
    EXPECT_EQ(presses.Held(main), Qt::NoButton);
    QTest::mouseRelease(box.get(), Qt::LeftButton);
    box.reset();
    EXPECT_EQ(presses.TakePressed(main), Qt::NoButton);
    QTest::mouseClick(&window, Qt::RightButton);
    QTest::mouseDClick(&window, Qt::LeftButton);
    EXPECT_EQ(presses.TakePressed(main), Qt::LeftButton | Qt::RightButton);
}

// The connection the pointer query went ahead on breaks while the toolkit's lives. The query's
// number names a request of the toolkit's there: the sample must not take that reply, which
// the toolkit is still waiting for, and goes on on the toolkit's connection.
TEST(MouseSample, AQueryAheadOnABrokenConnectionTakesNoReplyOfTheToolkits) {
    const TXvfb server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    xcb_connection_t* toolkit = xcb_connect(server.Name().c_str(), nullptr);
    xcb_connection_t* ahead = xcb_connect(server.Name().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(toolkit), 0);
    ASSERT_EQ(xcb_connection_has_error(ahead), 0);
    // The query ahead goes out as request 21 of its connection.
    for (int i = 0; i < 20; ++i)
        std::free(xcb_get_input_focus_reply(ahead, xcb_get_input_focus(ahead), nullptr));
    const unsigned int queried = 21;
    {
        TX11Pointer pointer(toolkit, ahead);
        TMouseSample sample{};
        ASSERT_TRUE(pointer.SampleAhead(nullptr, sample)); // asks, waits, sends one ahead

        shutdown(xcb_get_file_descriptor(ahead), SHUT_RDWR);
        std::free(xcb_get_input_focus_reply(ahead, xcb_get_input_focus(ahead), nullptr));
        ASSERT_NE(xcb_connection_has_error(ahead), 0);

        // The toolkit's request of the same number, its reply in and not yet read.
        xcb_get_input_focus_cookie_t mine{};
        for (mine = xcb_get_input_focus(toolkit); mine.sequence < queried;
             mine = xcb_get_input_focus(toolkit))
            xcb_discard_reply(toolkit, mine.sequence);
        ASSERT_EQ(mine.sequence, queried);
        std::free(xcb_get_input_focus_reply(toolkit, xcb_get_input_focus(toolkit), nullptr));

        EXPECT_TRUE(pointer.SampleAhead(nullptr, sample));
        EXPECT_TRUE(pointer.SampleAhead(nullptr, sample));
        xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(toolkit, mine, nullptr);
        EXPECT_NE(reply, nullptr);
        std::free(reply);
        EXPECT_EQ(xcb_connection_has_error(toolkit), 0);
    }
    xcb_disconnect(ahead);
    xcb_disconnect(toolkit);
}
