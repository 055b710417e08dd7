#include <gtest/gtest.h>

#include "FakeFrame.h"
#include "image/CxImage.h"
#include "res/Resources.h"
#include "skin/SkinSet.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CWinApp application(argc, argv);
    CxImage::SetResourceLoader(&hv::LoadResourceData);
    CSkinSet skin;
    skin.CreateSharedFonts();
    skin.LoadSkinImages();
    SetSkin(&skin);
    return RUN_ALL_TESTS();
}
