// The error box: the full-stop and title rules, and the live box.
#include <gtest/gtest.h>

#include <QPushButton>

#include <algorithm>
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

// The box of a failed close: stop icon, modal, the message with the file's name below it once,
// and three ways out; the button clicked is the answer, and Escape or Return is Cancel.
TEST(ErrorBoxLive, AFailedClosesBoxOffersThreeWaysOutAndNamesTheFileOnce) {
    TModalBoxCloser watcher;
    std::vector<QString> buttons;
    watcher.OnClosing = [&](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        buttons.clear();
        for (QAbstractButton* button : box->buttons()) buttons.push_back(button->text());
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
        EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    };
    const auto ask = [](auto error) {
        return Application->AskAfterFailedClose(std::make_exception_ptr(error),
                                                QStringLiteral("/maps/m.dat"));
    };
    const int shown = Application->ErrorBoxCount();
    EXPECT_EQ(ask(EInOutError(28, "Disk full")), TCloseChoice::Cancel);
    watcher.Answer = QMessageBox::Discard;
    EXPECT_EQ(ask(EInOutError(13, "File access denied.\n/maps/m.dat: not yours")),
              TCloseChoice::Quit);
    watcher.Answer = QMessageBox::Save;
    EXPECT_EQ(ask(EInOutError(28, "Disk full")), TCloseChoice::SaveAs);
    EXPECT_EQ(ask(EAbort()), TCloseChoice::Cancel); // no box
    EXPECT_EQ(watcher.Texts[0], QStringLiteral("Disk full."));
    EXPECT_EQ(watcher.Details[0], QStringLiteral("/maps/m.dat"));
    EXPECT_EQ(watcher.Details[1], QString());
    EXPECT_EQ(buttons.size(), 3u);
    for (const char* text : {"&Save As...", "&Quit without saving", "Cancel"})
        EXPECT_NE(std::find(buttons.begin(), buttons.end(), QString::fromLatin1(text)),
                  buttons.end())
            << text;
    EXPECT_EQ(Application->ErrorBoxCount(), shown + 3);
}
