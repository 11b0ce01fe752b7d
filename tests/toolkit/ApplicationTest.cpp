// The message loop with the real event dispatcher: order of messages and idle passes, blocking,
// modal boxes, the quit request, escaped errors and activation notices.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BoxWatcher.h"
#include "toolkit/Application.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Exceptions.h"

namespace {

const QEvent::Type TestEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Records the custom events it receives into a shared log.
class TRecorder : public QObject {
  public:
    explicit TRecorder(std::vector<std::string>& log) : FLog(log) {}
    bool event(QEvent* event) override {
        if (event->type() != TestEventType) return QObject::event(event);
        FLog.push_back("event");
        return true;
    }

  private:
    std::vector<std::string>& FLog;
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

// Throws what it is told when it receives the test event.
class TThrower : public QObject {
  public:
    std::function<void()> Error;
    bool event(QEvent* event) override {
        if (event->type() == TestEventType) Error();
        return QObject::event(event);
    }
};

class TFailingCloseWindow : public QWidget {
  protected:
    void closeEvent(QCloseEvent*) override { throw Exception("Cannot save"); }
};

void Drain() {
    while (Application->ProcessMessage()) {}
}

void PostClick(QWidget* button) {
    const QPointF at(5, 5);
    const QPointF global = button->mapToGlobal(at);
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}

} // namespace

TEST(ApplicationLoop, WaitingMessagesComeBeforeTheIdleSlot) {
    Drain();
    std::vector<std::string> log;
    TRecorder recorder(log);
    QCoreApplication::postEvent(&recorder, new QEvent(TestEventType));
    QMetaObject::invokeMethod(&recorder, [&] { log.push_back("queued"); }, Qt::QueuedConnection);
    Application->SetOnIdle([&](bool& done) {
        log.push_back(done ? "idle(done)" : "idle(not done)");
        done = false;
    });
    for (int pass = 0; pass < 100 && log.size() < 3; ++pass) Application->HandleMessage();
    EXPECT_EQ(log, (std::vector<std::string>{"event", "queued", "idle(done)"}));
    Application->SetOnIdle({});
    EXPECT_FALSE(Application->OnIdle());
}

TEST(ApplicationLoop, BlocksOnlyWhileTheSlotLeavesDoneTrue) {
    TBlockCounter blocks;
    // Cleared done: passes follow one another without waiting.
    int idleCalls = 0;
    Application->SetOnIdle([&](bool& done) {
        ++idleCalls;
        done = false;
    });
    for (int pass = 0; pass < 1000 && idleCalls < 5; ++pass) Application->HandleMessage();
    EXPECT_EQ(idleCalls, 5);
    EXPECT_EQ(blocks.Count, 0);

    // Done left true: the pass that ran the idle step waits, here until the timer fires.
    bool timerFired = false;
    QTimer::singleShot(20, [&] { timerFired = true; });
    idleCalls = 0;
    Application->SetOnIdle([&](bool&) { ++idleCalls; });
    while (idleCalls == 0) Application->HandleMessage();
    EXPECT_TRUE(timerFired);
    EXPECT_EQ(blocks.Count, 1);
    Application->SetOnIdle({});
}

TEST(ApplicationLoop, NoIdleCallWhileAModalBoxIsUp) {
    TBoxWatcher watcher;
    watcher.PassesBeforeClose = 50;
    bool boxUp = false;
    int idleCallsWhileBoxUp = 0;
    int idleCalls = 0;
    Application->SetOnIdle([&](bool& done) {
        done = false;
        if (boxUp) ++idleCallsWhileBoxUp;
        if (++idleCalls == 3) Application->Terminate();
    });
    QTimer::singleShot(0, [&] {
        boxUp = true;
        ShowErrorBox(QStringLiteral("Paused."), QStringLiteral("Voxel"));
        boxUp = false;
    });
    Application->Run();
    ASSERT_EQ(watcher.Seen.size(), 1u);
    EXPECT_EQ(idleCallsWhileBoxUp, 0);
    EXPECT_EQ(idleCalls, 3);
}

TEST(ApplicationLoop, TerminateEndsRunAfterTheMessagesAlreadyWaiting) {
    Drain();
    std::vector<std::string> log;
    TRecorder recorder(log);
    QCoreApplication::postEvent(&recorder, new QEvent(TestEventType));
    QMetaObject::invokeMethod(&recorder, [&] { log.push_back("queued"); }, Qt::QueuedConnection);
    Application->SetOnIdle([&](bool& done) {
        log.push_back("idle");
        done = false;
        if (std::count(log.begin(), log.end(), "idle") == 3) {
            QCoreApplication::postEvent(&recorder, new QEvent(TestEventType));
            Application->Terminate();
        }
    });
    EXPECT_FALSE(Application->Terminated());
    Application->Run();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(log, (std::vector<std::string>{"event", "queued", "idle", "idle", "idle", "event"}));
    Application->SetOnIdle({});
}

TEST(ApplicationErrors, IdleSlotErrorIsShownAndTheLoopGoesOn) {
    TBoxWatcher watcher;
    int idleCalls = 0;
    Application->SetOnIdle([&](bool& done) {
        if (++idleCalls == 1) {
            done = false;
            throw Exception("Tick failed");
        }
        Application->Terminate();
    });
    Application->Run();
    EXPECT_EQ(idleCalls, 2);
    ASSERT_EQ(watcher.Seen.size(), 1u);
    EXPECT_EQ(watcher.Seen[0].Text, QStringLiteral("Tick failed."));
    EXPECT_EQ(watcher.Seen[0].Caption, Application->Title());
    EXPECT_EQ(Application->ErrorBoxCount(), 1);
}

TEST(ApplicationErrors, AfterAnIdleErrorTheDoneFlagStillDecidesTheWait) {
    TBoxWatcher watcher;
    TBlockCounter blocks;
    bool clearDone = true;
    int thrown = 0;
    Application->SetOnIdle([&](bool& done) {
        ++thrown;
        if (clearDone) done = false;
        throw std::runtime_error("disk on fire");
    });
    while (thrown == 0) Application->HandleMessage();
    EXPECT_EQ(blocks.Count, 0);

    clearDone = false;
    QTimer::singleShot(20, [] {}); // ends the wait
    while (thrown == 1) Application->HandleMessage();
    EXPECT_EQ(blocks.Count, 1);
    ASSERT_EQ(watcher.Seen.size(), 2u);
    EXPECT_EQ(watcher.Seen[1].Text, QStringLiteral("disk on fire."));
    Application->SetOnIdle({});
}

TEST(ApplicationErrors, EventHandlerErrorsAreCaughtByNotify) {
    TBoxWatcher watcher;
    TThrower thrower;
    thrower.Error = [] { throw EAbort(); };
    QCoreApplication::postEvent(&thrower, new QEvent(TestEventType));
    Drain();
    EXPECT_EQ(Application->ErrorBoxCount(), 0);

    thrower.Error = [] { throw Exception("Event failed"); };
    QCoreApplication::postEvent(&thrower, new QEvent(TestEventType));
    Drain();
    EXPECT_EQ(Application->ErrorBoxCount(), 1);

    // A close handler that fails refuses the close.
    TFailingCloseWindow window;
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());

    ASSERT_EQ(watcher.Seen.size(), 2u);
    EXPECT_EQ(watcher.Seen[0].Text, QStringLiteral("Event failed."));
    EXPECT_EQ(watcher.Seen[0].Caption, Application->Title());
    EXPECT_EQ(watcher.Seen[1].Text, QStringLiteral("Cannot save."));
}

TEST(ApplicationErrors, GuardedSlotErrorsAreShownWhereQtCallsThem) {
    TBoxWatcher watcher;
    QPushButton button(QStringLiteral("Fail"));
    button.setGeometry(0, 0, 80, 25);
    bool afterThrow = false;
    QObject::connect(&button, &QPushButton::clicked, Guarded([&] {
        throw Exception("Click failed");
        afterThrow = true;
    }));
    QObject::connect(&button, &QPushButton::toggled, Guarded([](bool) { throw EAbort(); }));
    button.setCheckable(true);
    button.show();
    Drain();
    PostClick(&button);
    Drain();
    EXPECT_FALSE(afterThrow);
    EXPECT_EQ(Application->ErrorBoxCount(), 1);
    ASSERT_EQ(watcher.Seen.size(), 1u);
    EXPECT_EQ(watcher.Seen[0].Text, QStringLiteral("Click failed."));
    // The failed click left the button usable.
    EXPECT_FALSE(button.isDown());
    EXPECT_TRUE(button.isChecked());
}

TEST(ApplicationActivation, NoticesReachSubscribersUntilRemoved) {
    std::vector<bool> notices;
    const int id = Application->AddActivationHandler([&](bool active) { notices.push_back(active); });
    QWidget window;
    window.resize(100, 100);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(Application->Active());
    // The offscreen platform never deactivates the application by itself.
    emit Application->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_EQ(notices, (std::vector<bool>{true, false}));

    Application->RemoveActivationHandler(id);
    emit Application->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(notices.size(), 2u);
}
