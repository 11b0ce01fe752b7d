// main() of the widget tests: one application object for the whole run, offscreen by default;
// each test finds it as the program does at start: no quit request, no idle handler, no box shown.
#include <gtest/gtest.h>

#include <cstdlib>

#include "toolkit/Application.h"

struct TTestApplication : TApplication, testing::EmptyTestEventListener {
    using TApplication::TApplication;
    void OnTestStart(const testing::TestInfo&) override { StartAfresh(); }
    void StartAfresh() {
        removePostedEvents(this); // a quit request an earlier test left untaken
        FTerminated = false;
        FQuitAsked = false;
        FErrorBoxCount = 0;
        SetOnIdle({});
    }
};

void ForgetQuitRequest() {
    static_cast<TTestApplication*>(Application)->StartAfresh();
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    TTestApplication app(argc, argv);
    auto& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(&app);
    const int result = RUN_ALL_TESTS();
    listeners.Release(&app);
    return result;
}
