#include <gtest/gtest.h>

#include <QApplication>

#include "ui/MessagePump.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    hv::InstallMessagePump();
    return RUN_ALL_TESTS();
}
