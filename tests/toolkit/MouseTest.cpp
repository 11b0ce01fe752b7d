// Global mouse sampling: the button index rule, the X pointer mapping, and the state Qt keeps
// where there is no X server to ask.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QWidget>
#include <QtTest/QTest>

#include <cstdint>

#include "toolkit/Mouse.h"

namespace {

constexpr uint16_t Button1 = 1 << 8;
constexpr uint16_t Button3 = 1 << 10;

} // namespace

TEST(MouseMapping, PhysicalButtonsFollowThePointerMapping) {
    const uint8_t identity[] = {1, 2, 3, 4, 5};
    const uint8_t swapped[] = {3, 2, 1};
    const uint8_t odd[] = {0, 2, 9};
    EXPECT_TRUE(PhysicalButtonDown(Button1, identity, 5, 1));
    EXPECT_FALSE(PhysicalButtonDown(Button1, identity, 5, 3));
    EXPECT_TRUE(PhysicalButtonDown(Button3, identity, 5, 3));
    // Left-handed: the physical left button reports as logical 3.
    EXPECT_TRUE(PhysicalButtonDown(Button3, swapped, 3, 1));
    EXPECT_FALSE(PhysicalButtonDown(Button3, swapped, 3, 3));
    EXPECT_TRUE(PhysicalButtonDown(Button1, swapped, 3, 3));
    // Disabled buttons, buttons beyond the state mask and a missing mapping.
    EXPECT_FALSE(PhysicalButtonDown(0xffff, odd, 3, 1));
    EXPECT_FALSE(PhysicalButtonDown(0xffff, odd, 3, 3));
    EXPECT_TRUE(PhysicalButtonDown(Button3, nullptr, 0, 3));
    EXPECT_TRUE(PhysicalButtonDown(Button3, swapped, 2, 3));
    EXPECT_FALSE(PhysicalButtonDown(0xffff, identity, 5, 0));
}

TEST(MouseSample, ButtonsAndCursorAsTheWindowSystemReportsThem) {
    QWidget window;
    window.resize(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCursor::setPos(123, 45);
    TMouseSample sample = SampleMouse();
    EXPECT_EQ(sample.X, 123);
    EXPECT_EQ(sample.Y, 45);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return; // buttons need a real device there

    EXPECT_FALSE(sample.LeftDown || sample.RightDown);
    QWindow* handle = window.windowHandle();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(MouseButtonDown(0));
    EXPECT_FALSE(MouseButtonDown(1));
    QTest::mousePress(handle, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    sample = SampleMouse();
    EXPECT_TRUE(sample.LeftDown && sample.RightDown);
    for (int other : {-1, 2, 3, 1000}) EXPECT_FALSE(MouseButtonDown(other));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(MouseButtonDown(0));
    EXPECT_TRUE(MouseButtonDown(1));
    QTest::mouseRelease(handle, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(MouseButtonDown(1));
}
