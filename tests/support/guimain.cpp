#include <QApplication>

#include <gtest/gtest.h>

// Widget tests need an application object before the first widget exists.
// The build also runs this binary to list its tests, often with no display,
// so fall back to the offscreen platform unless one was asked for.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
