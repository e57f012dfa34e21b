// The window's tests need one QApplication for the whole run, made the way the
// program makes its own.

#include "ui/Application.h"

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    // CTest lists the cases at build time, where there may be no display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    const morvaleth::TNoUserSettings noSettings;
    return RUN_ALL_TESTS();
}
