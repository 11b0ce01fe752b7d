// main() of the widget tests: one application object for the whole run, offscreen by default.
#include <gtest/gtest.h>

#include <cstdlib>

#include "toolkit/Application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
