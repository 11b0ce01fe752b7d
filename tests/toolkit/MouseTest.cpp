// Global mouse sampling: the X pointer mapping rule, and the state the window system reports.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QWidget>
#include <QtTest/QTest>

#include "toolkit/Mouse.h"

TEST(MouseMapping, PhysicalButtonsFollowThePointerMapping) {
    const uint16_t button1 = 1 << 8, button3 = 1 << 10;
    const uint8_t identity[] = {1, 2, 3}, swapped[] = {3, 2, 1}, odd[] = {0, 2, 9};
    EXPECT_TRUE(PhysicalButtonDown(button1, identity, 3, 1));
    EXPECT_FALSE(PhysicalButtonDown(button1, identity, 3, 3));
    // Left-handed: the physical left button reports as logical 3.
    EXPECT_TRUE(PhysicalButtonDown(button3, swapped, 3, 1));
    EXPECT_TRUE(PhysicalButtonDown(button1, swapped, 3, 3));
    // Disabled buttons, buttons beyond the state mask, no mapping, no such button.
    EXPECT_FALSE(PhysicalButtonDown(0xffff, odd, 3, 1));
    EXPECT_FALSE(PhysicalButtonDown(0xffff, odd, 3, 3));
    EXPECT_TRUE(PhysicalButtonDown(button3, nullptr, 0, 3));
    EXPECT_FALSE(PhysicalButtonDown(0xffff, identity, 3, 0));
}

TEST(MouseSample, ButtonsAndCursorAsTheWindowSystemReportsThem) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCursor::setPos(123, 45);
    const TMouseSample sample = SampleMouse();
    EXPECT_EQ(sample.X, 123);
    EXPECT_EQ(sample.Y, 45);
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return; // buttons need a real device there

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
