#include <gtest/gtest.h>

#include "ui/Application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CWinApp application(argc, argv);
    return RUN_ALL_TESTS();
}
