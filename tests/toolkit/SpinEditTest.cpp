// The spin edit: unclamped typing, clamping on focus loss and by the program, key filtering,
// stepping by keys and arrows, and 32-bit extremes.
#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest/QTest>

#include <climits>
#include <vector>

#include "support/PlatformDoubles.h"
#include "support/QtHelpers.h"
#include "toolkit/ErrorBox.h"
#include "util/Exceptions.h"
#include "toolkit/SpinEdit.h"

namespace {

class SpinEditTest : public testing::Test {
  protected:
    void SetUp() override {
        Spin->setGeometry(96, 8, 73, 22);
        Spin->SetMinValue(1);
        Spin->SetMaxValue(200);
        Spin->SetValue(50);
        Spin->OnChange = [this] { Changes.push_back(Spin->Value()); };
        Window.show();
        Window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
        Spin->setFocus();
    }

    // Replaces the editor's text by typing.
    void Type(const QString& text) {
        QTest::keyClick(Spin->Editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(Spin->Editor(), text);
    }
    void Key(Qt::Key key) { QTest::keyClick(Spin->Editor(), key); }

    std::vector<int32_t> Changes; // outlives the window, whose closing may still notify
    QWidget Window;
    TSpinEdit* Spin = new TSpinEdit(&Window);
    QLineEdit* Other = new QLineEdit(&Window);
};

} // namespace

TEST_F(SpinEditTest, TypedValueIsDeliveredAsTypedAndClampedWhenFocusLeaves) {
    Type(QStringLiteral("300"));
    EXPECT_EQ(Spin->Value(), 300);
    EXPECT_EQ(Changes.back(), 300);
    const size_t typed = Changes.size();
    Other->setFocus();
    EXPECT_EQ(Spin->Text(), QStringLiteral("200"));
    EXPECT_EQ(Changes.size(), typed + 1);
    // In range, or not a number (reads as the minimum): leaving changes nothing.
    Spin->setFocus();
    Type(QStringLiteral("1.5"));
    EXPECT_EQ(Spin->Value(), 1);
    Other->setFocus();
    EXPECT_EQ(Spin->Text(), QStringLiteral("1.5"));
    // Closing the window leaves a typed value alone.
    Spin->setFocus();
    Type(QStringLiteral("300"));
    Window.close();
    EXPECT_EQ(Spin->Text(), QStringLiteral("300"));
}

TEST_F(SpinEditTest, ModalBoxTakingTheFocusClampsLikeAFocusLoss) {
    std::vector<Qt::FocusReason> reasons;
    struct TLog : QObject {
        std::vector<Qt::FocusReason>* Reasons;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::FocusOut)
                Reasons->push_back(static_cast<QFocusEvent*>(e)->reason());
            return false;
        }
    } log;
    log.Reasons = &reasons;
    Spin->Editor()->installEventFilter(&log);
    Type(QStringLiteral("0"));
    const size_t typed = Changes.size();

    TModalBoxCloser watcher;
    watcher.CloseWhenActive = true;
    QString textWhileBoxUp;
    watcher.OnClosing = [&](QMessageBox*) { textWhileBoxUp = Spin->Text(); };
    ShowErrorBox(QStringLiteral("Stop."), QStringLiteral("Voxel"));
    EXPECT_EQ(textWhileBoxUp, QStringLiteral("1"));
    EXPECT_EQ(Changes.size(), typed + 1);
    EXPECT_EQ(reasons, std::vector<Qt::FocusReason>{Qt::ActiveWindowFocusReason});
}

TEST_F(SpinEditTest, KeysOtherThanDigitsSignsAndSeparatorAreRefused) {
    Type(QStringLiteral("12x a*,"));
    Key(Qt::Key_Return);
    Key(Qt::Key_Enter);
    EXPECT_EQ(Spin->Text(), QStringLiteral("12"));
    EXPECT_EQ(Changes, (std::vector<int32_t>{1, 12}));
    QTest::keyClicks(Spin->Editor(), QStringLiteral("+-.3"));
    EXPECT_EQ(Spin->Text(), QStringLiteral("12+-.3"));
    // Control keys and keys without text still edit.
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Home);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Spin->Text(), QStringLiteral("2+-."));
}

TEST_F(SpinEditTest, ArrowKeysAndButtonsStepByOneAndClamp) {
    Spin->SetValue(199);
    Changes.clear();
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    EXPECT_EQ(Changes, (std::vector<int32_t>{200}));
    Key(Qt::Key_Down);
    EXPECT_EQ(Spin->Value(), 199);
    Type(QStringLiteral("500"));
    Key(Qt::Key_Down);
    EXPECT_EQ(Spin->Value(), 200);

    // A press and release of an arrow is one step; it also takes the focus to the editor.
    Other->setFocus();
    QTest::mouseClick(Spin->DownButton(), Qt::LeftButton);
    EXPECT_EQ(Spin->Value(), 199);
    EXPECT_TRUE(Spin->Editor()->hasFocus());
    Spin->SetValue(1);
    QTest::mouseClick(Spin->DownButton(), Qt::LeftButton);
    EXPECT_EQ(Spin->Value(), 1);
    for (QToolButton* button : {Spin->UpButton(), Spin->DownButton()}) {
        EXPECT_TRUE(button->autoRepeat());
        EXPECT_EQ(button->autoRepeatDelay(), 400);
        EXPECT_EQ(button->autoRepeatInterval(), 100);
        EXPECT_TRUE(Spin->rect().contains(button->geometry()));
    }
    EXPECT_EQ(Spin->size(), QSize(73, 22));
}

TEST_F(SpinEditTest, SetValueClampsAndExtremesDoNotOverflow) {
    Changes.clear();
    Spin->SetValue(0);
    Spin->SetValue(INT32_MAX);
    Spin->SetValue(INT32_MIN);
    EXPECT_EQ(Changes, (std::vector<int32_t>{1, 200, 1}));
    Type(QStringLiteral("2147483647"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Value(), 200);

    Spin->SetMinValue(INT32_MIN);
    Spin->SetMaxValue(INT32_MAX);
    Type(QStringLiteral("2147483647"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Value(), INT32_MAX);
    Type(QStringLiteral("-2147483648"));
    Key(Qt::Key_Down);
    EXPECT_EQ(Spin->Value(), INT32_MIN);
    Type(QStringLiteral("2147483648"));
    EXPECT_EQ(Spin->Value(), INT32_MIN);
}

TEST_F(SpinEditTest, ChangeHandlerErrorsAreShownAndTheTextStays) {
    TModalBoxCloser watcher;
    Spin->OnChange = [] { throw Exception("Bad value"); };
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("51"));
    EXPECT_EQ(watcher.Texts, std::vector<QString>{QStringLiteral("Bad value.")});
}

// Another program's clipboard, as the platform hands it over: its text goes in over the
// selection; a transfer given up is said in a box and leaves the text as it was.
TEST_F(SpinEditTest, AnotherProgramsPasteGoesInOverTheSelectionAndAGiveUpIsShown) {
    {
        const TCannedClipboard clipboard(
            {TSelectionFetch::TOutcome::Data, QStringLiteral("UTF8_STRING"), QByteArray("123")});
        QTest::keyClick(Spin->Editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(Spin->Editor(), Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE(Spin->Text(), QStringLiteral("123"));
    }
    TModalBoxCloser watcher;
    const TCannedClipboard clipboard({TSelectionFetch::TOutcome::NoAnswer, {}, {}});
    QTest::keyClick(Spin->Editor(), Qt::Key_V, Qt::ControlModifier);
    QTRY_COMPARE(watcher.Texts.size(), size_t(1));
    EXPECT_EQ(watcher.Texts[0], QString::fromLatin1(TSelectionFetch::NoAnswerText) + ".");
    EXPECT_EQ(Spin->Text(), QStringLiteral("123"));
}
