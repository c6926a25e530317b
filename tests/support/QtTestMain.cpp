// The Qt tests (desktop, options dialog) need one QApplication for the whole run; without a display they use
// the offscreen platform (also when CTest lists the tests).
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A runtime folder of this run's own (the owner's alone), removed when the run ends,
    // after the application.
    std::unique_ptr<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/ornel-qt-runtime-XXXXXX"));
        if (runtime->isValid()) {
            qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
        }
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
