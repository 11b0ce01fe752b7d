// The error box: the full-stop and title rules, and the live box.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QtTest/QTest>

#include "BoxWatcher.h"
#include "toolkit/Application.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Exceptions.h"

TEST(ErrorBoxRules, FullStopIsAddedAfterCodesAboveIt) {
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("abc"), "abc.");
    EXPECT_EQ(ErrorBoxText("abc."), "abc.");
    EXPECT_EQ(ErrorBoxText("abc!"), "abc!");
    EXPECT_EQ(ErrorBoxText("a,"), "a,");
    EXPECT_EQ(ErrorBoxText("x?"), "x?.");
    EXPECT_EQ(ErrorBoxText("I/O error 7"), "I/O error 7.");
    // The last byte of a multi-byte character is above the full stop as well.
    EXPECT_EQ(ErrorBoxText("\xeb\xb6\x93"), "\xeb\xb6\x93.");
}

TEST(ErrorBoxRules, TitleIsTheFileNameCutAtItsFirstFullStop) {
    EXPECT_EQ(ApplicationTitleFromPath("voxel"), "voxel");
    EXPECT_EQ(ApplicationTitleFromPath("/a/b/My.Tool.bin"), "My");
    EXPECT_EQ(ApplicationTitleFromPath("VOXEL"), "Voxel");
    EXPECT_EQ(ApplicationTitleFromPath("/opt/v.x/VoXeL.EXE"), "Voxel");
    EXPECT_EQ(ApplicationTitleFromPath("/a/.hidden"), "");
    EXPECT_EQ(ApplicationTitleFromPath(""), "");
    EXPECT_EQ(Application->Title(), QStringLiteral("test_toolkit"));
}

TEST(ErrorBoxLive, StopIconOneOkButtonCaptionTextAndOtherWindowsBlocked) {
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("Other"), &window);
    button->setGeometry(0, 0, 80, 25);
    int otherClicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++otherClicks; });
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    TBoxWatcher watcher;
    bool blocked = false;
    watcher.OnClosing = [&](QMessageBox* box) {
        EXPECT_EQ(QApplication::activeModalWidget(), box);
        // A click delivered through the window system does not reach a blocked window.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        blocked = otherClicks == 0;
    };
    ShowErrorBox(QStringLiteral("Height field damaged."), QStringLiteral("Voxel"));
    ASSERT_EQ(watcher.Seen.size(), 1u);
    const TBoxWatcher::TSeen& seen = watcher.Seen[0];
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.ButtonCount, 1);
    EXPECT_TRUE(seen.HasOk);
    EXPECT_EQ(seen.Caption, QStringLiteral("Voxel"));
    EXPECT_EQ(seen.Text, QStringLiteral("Height field damaged."));
    EXPECT_EQ(seen.Modality, Qt::ApplicationModal);
    EXPECT_TRUE(blocked);
    // Once dismissed, the window takes clicks again.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(otherClicks, 1);
}

TEST(ErrorBoxLive, HandleExceptionShowsMessagesAndDropsAborts) {
    TBoxWatcher watcher;
    auto raise = [](auto error) {
        try {
            throw error;
        } catch (...) {
            Application->HandleException(std::current_exception());
        }
    };
    raise(EAbort());
    raise(EDivByZero());
    raise(std::runtime_error("plain"));
    raise(42);
    ASSERT_EQ(watcher.Seen.size(), 3u);
    EXPECT_EQ(watcher.Seen[0].Text, QStringLiteral("Division by zero."));
    EXPECT_EQ(watcher.Seen[1].Text, QStringLiteral("plain."));
    EXPECT_EQ(watcher.Seen[2].Text, QStringLiteral("Unknown error."));
    EXPECT_EQ(watcher.Seen[0].Caption, QStringLiteral("test_toolkit"));
    EXPECT_EQ(Application->ErrorBoxCount(), 3);
}
