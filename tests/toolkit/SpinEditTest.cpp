// The spin edit: unclamped typing, clamping on focus loss and by the program, key filtering,
// stepping by keys and arrows, and 32-bit extremes.
#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest/QTest>

#include <climits>
#include <vector>

#include "BoxWatcher.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Exceptions.h"
#include "toolkit/SpinEdit.h"

namespace {

// Records the reasons of the focus losses of one widget.
class TFocusOutLog : public QObject {
  public:
    std::vector<Qt::FocusReason> Reasons;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) Reasons.push_back(static_cast<QFocusEvent*>(event)->reason());
        return false;
    }
};

class SpinEditTest : public testing::Test {
  protected:
    void SetUp() override {
        FWindow.resize(300, 100);
        Spin = new TSpinEdit(&FWindow);
        Spin->setGeometry(96, 8, 73, 22);
        Spin->SetMinValue(1);
        Spin->SetMaxValue(200);
        Spin->SetValue(50);
        Other = new QLineEdit(&FWindow);
        Other->setGeometry(96, 40, 73, 22);
        Spin->OnChange = [this] { Changes.push_back(Spin->Value()); };
        FWindow.show();
        FWindow.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&FWindow));
        Spin->setFocus();
        ASSERT_TRUE(Spin->Editor()->hasFocus());
    }

    // Replaces the editor's text by typing.
    void Type(const QString& text) {
        QTest::keyClick(Spin->Editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(Spin->Editor(), text);
    }

    std::vector<int32_t> Changes; // outlives the window, whose closing may still notify
    QWidget FWindow;
    TSpinEdit* Spin = nullptr;
    QLineEdit* Other = nullptr;
};

} // namespace

TEST_F(SpinEditTest, TypedValueIsDeliveredAsTypedAndClampedWhenFocusLeaves) {
    Type(QStringLiteral("300"));
    EXPECT_EQ(Spin->Text(), QStringLiteral("300"));
    EXPECT_EQ(Spin->Value(), 300);
    ASSERT_FALSE(Changes.empty());
    EXPECT_EQ(Changes.back(), 300);
    const size_t typed = Changes.size();

    Other->setFocus();
    EXPECT_EQ(Spin->Text(), QStringLiteral("200"));
    EXPECT_EQ(Changes.size(), typed + 1);
    EXPECT_EQ(Changes.back(), 200);

    // In range: leaving changes nothing.
    Spin->setFocus();
    Other->setFocus();
    EXPECT_EQ(Changes.size(), typed + 1);
}

TEST_F(SpinEditTest, ClosingTheWindowLeavesTheTypedValue) {
    Type(QStringLiteral("300"));
    const size_t typed = Changes.size();
    FWindow.close();
    EXPECT_FALSE(Spin->Editor()->hasFocus());
    EXPECT_EQ(Spin->Text(), QStringLiteral("300"));
    EXPECT_EQ(Changes.size(), typed);
}

TEST_F(SpinEditTest, NonIntegerTextReadsAsTheMinimumAndIsLeftAlone) {
    Spin->Editor()->setText(QStringLiteral("abc"));
    EXPECT_EQ(Spin->Value(), 1);
    Type(QStringLiteral("1.5"));
    EXPECT_EQ(Spin->Value(), 1);
    Other->setFocus();
    EXPECT_EQ(Spin->Text(), QStringLiteral("1.5"));
}

TEST_F(SpinEditTest, ModalBoxTakingTheFocusClampsLikeAFocusLoss) {
    TFocusOutLog log;
    Spin->Editor()->installEventFilter(&log);
    Type(QStringLiteral("0"));
    EXPECT_EQ(Spin->Value(), 0);
    const size_t typed = Changes.size();

    TBoxWatcher watcher;
    QString textWhileBoxUp;
    watcher.CloseWhenActive = true;
    watcher.OnClosing = [&](QMessageBox*) { textWhileBoxUp = Spin->Text(); };
    ShowErrorBox(QStringLiteral("Stop."), QStringLiteral("Voxel"));
    EXPECT_EQ(textWhileBoxUp, QStringLiteral("1"));
    EXPECT_EQ(Changes.size(), typed + 1);
    ASSERT_FALSE(log.Reasons.empty());
    EXPECT_EQ(log.Reasons.front(), Qt::ActiveWindowFocusReason);
}

TEST_F(SpinEditTest, KeysOtherThanDigitsSignsAndSeparatorAreRefused) {
    Spin->Editor()->setText(QStringLiteral("12"));
    Changes.clear();
    for (const char key : {'x', ' ', 'a', '*', ','})
        QTest::keyClick(Spin->Editor(), key);
    QTest::keyClick(Spin->Editor(), Qt::Key_Return);
    QTest::keyClick(Spin->Editor(), Qt::Key_Enter);
    EXPECT_EQ(Spin->Text(), QStringLiteral("12"));
    EXPECT_TRUE(Changes.empty());

    QTest::keyClicks(Spin->Editor(), QStringLiteral("+-.3"));
    EXPECT_EQ(Spin->Text(), QStringLiteral("12+-.3"));
    // Control keys and keys without text still edit.
    QTest::keyClick(Spin->Editor(), Qt::Key_Backspace);
    QTest::keyClick(Spin->Editor(), Qt::Key_Home);
    QTest::keyClick(Spin->Editor(), Qt::Key_Delete);
    EXPECT_EQ(Spin->Text(), QStringLiteral("2+-."));
    Type(QStringLiteral("-7"));
    EXPECT_EQ(Spin->Text(), QStringLiteral("-7"));
}

TEST_F(SpinEditTest, ArrowKeysAndButtonsStepByOneAndClamp) {
    Spin->SetValue(199);
    Changes.clear();
    QTest::keyClick(Spin->Editor(), Qt::Key_Up);
    QTest::keyClick(Spin->Editor(), Qt::Key_Up);
    EXPECT_EQ(Spin->Value(), 200);
    EXPECT_EQ(Changes, (std::vector<int32_t>{200}));
    QTest::keyClick(Spin->Editor(), Qt::Key_Down);
    EXPECT_EQ(Spin->Value(), 199);

    Type(QStringLiteral("500"));
    QTest::keyClick(Spin->Editor(), Qt::Key_Down);
    EXPECT_EQ(Spin->Value(), 200);

    // One press and release of an arrow is one step.
    QTest::mouseClick(Spin->DownButton(), Qt::LeftButton);
    EXPECT_EQ(Spin->Value(), 199);
    QTest::mouseClick(Spin->UpButton(), Qt::LeftButton);
    EXPECT_EQ(Spin->Value(), 200);
    Spin->SetValue(1);
    QTest::mouseClick(Spin->DownButton(), Qt::LeftButton);
    EXPECT_EQ(Spin->Value(), 1);
    for (QToolButton* button : {Spin->UpButton(), Spin->DownButton()}) {
        EXPECT_TRUE(button->autoRepeat());
        EXPECT_EQ(button->autoRepeatDelay(), 400);
        EXPECT_EQ(button->autoRepeatInterval(), 100);
    }
}

TEST_F(SpinEditTest, ArrowClickFocusesTheEditor) {
    Other->setFocus();
    QTest::mouseClick(Spin->UpButton(), Qt::LeftButton);
    EXPECT_TRUE(Spin->Editor()->hasFocus());
    EXPECT_EQ(Spin->Value(), 51);
}

TEST_F(SpinEditTest, SetValueClampsAndNotifies) {
    Changes.clear();
    Spin->SetValue(0);
    Spin->SetValue(1000);
    Spin->SetValue(INT32_MIN);
    Spin->SetValue(120);
    EXPECT_EQ(Changes, (std::vector<int32_t>{1, 200, 1, 120}));
    EXPECT_EQ(Spin->Text(), QStringLiteral("120"));
}

TEST_F(SpinEditTest, TypedExtremesDoNotOverflow) {
    Spin->SetMinValue(INT32_MIN);
    Spin->SetMaxValue(INT32_MAX);
    Type(QStringLiteral("2147483647"));
    EXPECT_EQ(Spin->Value(), INT32_MAX);
    QTest::keyClick(Spin->Editor(), Qt::Key_Up);
    EXPECT_EQ(Spin->Value(), INT32_MAX);
    Type(QStringLiteral("-2147483648"));
    EXPECT_EQ(Spin->Value(), INT32_MIN);
    QTest::keyClick(Spin->Editor(), Qt::Key_Down);
    EXPECT_EQ(Spin->Value(), INT32_MIN);
    Type(QStringLiteral("2147483648"));
    EXPECT_EQ(Spin->Value(), INT32_MIN);

    Spin->SetMinValue(1);
    Spin->SetMaxValue(200);
    Type(QStringLiteral("2147483647"));
    QTest::keyClick(Spin->Editor(), Qt::Key_Up);
    EXPECT_EQ(Spin->Value(), 200);
}

TEST_F(SpinEditTest, ChangeHandlerErrorsAreShownAndTheTextStays) {
    TBoxWatcher watcher;
    Spin->OnChange = [] { throw Exception("Bad value"); };
    QTest::keyClick(Spin->Editor(), Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("51"));
    ASSERT_EQ(watcher.Seen.size(), 1u);
    EXPECT_EQ(watcher.Seen[0].Text, QStringLiteral("Bad value."));
}

TEST_F(SpinEditTest, ButtonsStackInsideTheGivenRectangle) {
    EXPECT_EQ(Spin->size(), QSize(73, 22));
    EXPECT_EQ(Spin->Editor()->geometry(), QRect(0, 0, 73, 22));
    const QRect up = Spin->UpButton()->geometry();
    const QRect down = Spin->DownButton()->geometry();
    EXPECT_TRUE(Spin->rect().contains(up) && Spin->rect().contains(down));
    EXPECT_EQ(up.bottom() + 1, down.top());
    EXPECT_GT(up.left(), 40);
}
