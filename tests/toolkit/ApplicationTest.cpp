// The message loop with the real event dispatcher: order of messages and idle passes, blocking,
// modal boxes, the quit request, escaped errors and activation notices.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/QtHelpers.h"
#include "toolkit/Application.h"
#include "toolkit/ErrorBox.h"
#include "util/Exceptions.h"

namespace {

const QEvent::Type TestEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Runs its handler for each test event it receives.
struct TSink : QObject {
    std::function<void()> Handler;
    bool event(QEvent* event) override {
        if (event->type() != TestEventType) return QObject::event(event);
        Handler();
        return true;
    }
};

struct TFailingCloseWindow : QWidget {
    void closeEvent(QCloseEvent*) override { throw Exception("Cannot save"); }
};

// Counts the loop's blocking waits, leaving out those of modal loops.
struct TBlockCounter {
    int Count = 0;
    QMetaObject::Connection Connection = QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [this] {
            if (QApplication::activeModalWidget() == nullptr) ++Count;
        });
    ~TBlockCounter() { QObject::disconnect(Connection); }
};

void Drain() {
    while (Application->ProcessMessage()) {
    }
}

void PostClick(QWidget* button) {
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            button, new QMouseEvent(type, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)),
                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

} // namespace

TEST(ApplicationLoop, MessagesComeFirstAndTerminateEndsRunAfterThoseWaiting) {
    Drain();
    std::vector<std::string> log;
    TSink sink;
    sink.Handler = [&] { log.push_back("event"); };
    QCoreApplication::postEvent(&sink, new QEvent(TestEventType));
    QMetaObject::invokeMethod(
        &sink, [&] { log.push_back("queued"); }, Qt::QueuedConnection);
    Application->SetOnIdle([&](bool& done) {
        log.push_back(done ? "idle" : "idle without done");
        done = false;
        if (std::count(log.begin(), log.end(), "idle") == 3) {
            QCoreApplication::postEvent(&sink, new QEvent(TestEventType));
            Application->Terminate();
        }
    });
    EXPECT_FALSE(Application->Terminated());
    Application->Run();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(log, (std::vector<std::string>{"event", "queued", "idle", "idle", "idle", "event"}));
}

TEST(ApplicationLoop, BlocksOnlyWhileTheSlotLeavesDoneTrue) {
    TBlockCounter blocks;
    int idleCalls = 0;
    Application->SetOnIdle([&](bool& done) { done = ++idleCalls > 5; });
    while (idleCalls < 5)
        Application->HandleMessage();
    EXPECT_EQ(blocks.Count, 0);
    // Done left true: each pass waits for the next message, here the timer's (a timer an
    // earlier test left to Qt may end one wait sooner).
    bool timerFired = false;
    QTimer::singleShot(20, [&] { timerFired = true; });
    while (!timerFired)
        Application->HandleMessage();
    EXPECT_GT(idleCalls, 5);
    EXPECT_EQ(blocks.Count, idleCalls - 5);
}

TEST(ApplicationLoop, NoIdleCallWhileAModalBoxIsUp) {
    TModalBoxCloser watcher;
    watcher.PassesBeforeClose = 50;
    bool boxUp = false;
    int idleCallsWhileBoxUp = 0;
    int idleCalls = 0;
    Application->SetOnIdle([&](bool& done) {
        done = false;
        idleCallsWhileBoxUp += boxUp;
        if (++idleCalls == 3) Application->Terminate();
    });
    QTimer::singleShot(0, [&] {
        boxUp = true;
        ShowErrorBox(QStringLiteral("Paused."), QStringLiteral("Voxel"));
        boxUp = false;
    });
    Application->Run();
    EXPECT_EQ(watcher.Texts.size(), 1u);
    EXPECT_EQ(idleCallsWhileBoxUp, 0);
}

TEST(ApplicationErrors, IdleSlotErrorsAreShownAndTheDoneFlagStillDecides) {
    TModalBoxCloser watcher;
    TBlockCounter blocks;
    QObject scope; // the wake-up timer ends with the test, not in a later test's wait
    int calls = 0;
    Application->SetOnIdle([&](bool& done) {
        if (++calls == 1) done = false;
        if (calls == 2) QTimer::singleShot(20, &scope, [] {}); // ends the wait that follows
        if (calls <= 2) throw std::runtime_error("Tick failed");
        done = false;
        Application->Terminate();
    });
    Application->Run();
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(blocks.Count, 1);
    EXPECT_EQ(watcher.Texts, (std::vector<QString>(2, QStringLiteral("Tick failed."))));
    EXPECT_EQ(watcher.Captions[0], Application->Title());
    EXPECT_EQ(Application->ErrorBoxCount(), 2);
}

TEST(ApplicationErrors, HandlerErrorsAreShownAndAbortsDropped) {
    TModalBoxCloser watcher;
    TSink sink;
    sink.Handler = [] { throw EAbort(); };
    QCoreApplication::postEvent(&sink, new QEvent(TestEventType));
    Drain();
    EXPECT_EQ(Application->ErrorBoxCount(), 0);
    sink.Handler = [] { throw Exception("Event failed"); };
    QCoreApplication::postEvent(&sink, new QEvent(TestEventType));
    Drain();

    // A close handler that fails refuses the close.
    TFailingCloseWindow window;
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());

    // A guarded slot shows its error where the button calls it; the button stays usable.
    QPushButton button(QStringLiteral("Fail"));
    button.setGeometry(0, 0, 80, 25);
    bool afterThrow = false;
    QObject::connect(&button, &QPushButton::clicked, Guarded([&] {
        throw Exception("Click failed");
        afterThrow = true;
    }));
    button.show();
    PostClick(&button);
    Drain();
    EXPECT_FALSE(afterThrow);
    EXPECT_FALSE(button.isDown());

    EXPECT_EQ(watcher.Texts,
              (std::vector<QString>{QStringLiteral("Event failed."), QStringLiteral("Cannot save."),
                                    QStringLiteral("Click failed.")}));
    EXPECT_EQ(Application->ErrorBoxCount(), 3);
}

// The offscreen platform never deactivates the application by itself, so the first activation
// must be this test's: it runs in a process of its own (the whole program re-run for it).
TEST(ApplicationActivation, NoticesReachSubscribersUntilRemoved) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT({
        std::vector<bool> notices;
        const int id =
            Application->AddActivationHandler([&](bool active) { notices.push_back(active); });
        QWidget window;
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        EXPECT_TRUE(Application->Active());
        emit Application->applicationStateChanged(Qt::ApplicationInactive);
        emit Application->applicationStateChanged(Qt::ApplicationHidden); // still not active
        Application->RemoveActivationHandler(id);
        emit Application->applicationStateChanged(Qt::ApplicationActive);
        EXPECT_EQ(notices, (std::vector<bool>{true, false}));
        std::fflush(nullptr); // _Exit: no clean-up of a live application at exit
        std::_Exit(testing::Test::HasFailure() ? 1 : 0);
    }, testing::ExitedWithCode(0), "");
}
