// main() for test programs that need Qt's core machinery (QProcess, sockets,
// timers) but no GUI.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char **argv)
{
    // gtest first, so that its --gtest_* switches are gone before Qt looks.
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
