// The error box: the full-stop and title rules, and the live box.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QtTest/QTest>

#include "support/QtHelpers.h"
#include "toolkit/Application.h"
#include "toolkit/ErrorBox.h"
#include "util/Exceptions.h"

TEST(ErrorBoxRules, FullStopAndTitle) {
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("abc"), "abc.");
    EXPECT_EQ(ErrorBoxText("abc."), "abc.");
    EXPECT_EQ(ErrorBoxText("abc!"), "abc!");
    EXPECT_EQ(ErrorBoxText("x?"), "x?.");
    EXPECT_EQ(ErrorBoxText("\xeb\xb6\x93"), "\xeb\xb6\x93."); // a multi-byte last character
    EXPECT_EQ(ApplicationTitleFromPath("voxel"), "voxel");
    EXPECT_EQ(ApplicationTitleFromPath("/a/b/My.Tool.bin"), "My");
    EXPECT_EQ(ApplicationTitleFromPath("/opt/v.x/VOXEL"), "Voxel");
    EXPECT_EQ(ApplicationTitleFromPath("/a/.hidden"), "");
    EXPECT_EQ(Application->Title(), QStringLiteral("test_toolkit"));
}

TEST(ErrorBoxLive, ModalStopBoxWithOneOkButton) {
    QPushButton other(QStringLiteral("Other"));
    int otherClicks = 0;
    QObject::connect(&other, &QPushButton::clicked, [&] { ++otherClicks; });
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));

    TModalBoxCloser watcher;
    watcher.OnClosing = [&](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->buttons().size(), 1);
        EXPECT_NE(box->button(QMessageBox::Ok), nullptr);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        // A click through the window system does not reach the blocked window.
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        EXPECT_EQ(otherClicks, 0);
    };
    auto raise = [](auto error) {
        try {
            throw error;
        } catch (...) {
            Application->HandleException(std::current_exception());
        }
    };
    raise(EAbort());
    raise(EDivByZero());
    raise(42);
    EXPECT_EQ(watcher.Texts, (std::vector<QString>{QStringLiteral("Division by zero."),
                                                   QStringLiteral("Unknown error.")}));
    EXPECT_EQ(watcher.Captions[0], QStringLiteral("test_toolkit"));
    EXPECT_EQ(Application->ErrorBoxCount(), 2);
    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(otherClicks, 1);
}
