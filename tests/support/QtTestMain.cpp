// The Qt tests (desktop, options dialog) need one QApplication for the whole run; without a display they use
// the offscreen platform (also when CTest lists the tests).
#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::tempPath() + QStringLiteral("/ornel-qt-test-runtime");
        QDir().mkpath(runtime);
        ::chmod(runtime.toLocal8Bit().constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
