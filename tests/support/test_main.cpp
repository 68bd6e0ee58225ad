// Runs every test inside a QApplication on Qt's offscreen platform, so widget
// tests need no screen and no test ever waits on a real dialog.

#include "cardgen/catalogue.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The build's designs, beside its programs.
    marigal::SetDesignFolder(QStringLiteral(MARIGAL_APP_DIR "/designs"));
    return RUN_ALL_TESTS();
}
