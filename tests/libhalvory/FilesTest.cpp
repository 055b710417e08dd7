#include <gtest/gtest.h>

#include "Files.h"
#include "TarBuilder.h"

namespace {

TEST(IniValue, FollowsTheClientsRules) {
    hvtest::TempDir tmp;
    const std::string ini = (tmp.Path() / "Halvory.ini").string();
    hvtest::WriteFile(ini,
                      "[engine]\r\n"
                      "ENGINE_URL=http://first\r\n"
                      ";ENGINE_URL=http://commented\n"
                      "ENGINE_URL = http://blanks-belong-to-the-key\n"
                      "ENGINE_URL=\n"
                      "engine_url=http://a=b\r\n"
                      "ARTURL=http://art\n");
    EXPECT_EQ(hv::ReadIniValue(ini, "ENGINE_URL"), "http://a=b");
    EXPECT_EQ(hv::ReadIniValue(ini, "ARTURL"), "http://art");
    EXPECT_EQ(hv::ReadIniValue(ini, "MISSING"), "");
    EXPECT_EQ(hv::ReadIniValue((tmp.Path() / "absent.ini").string(), "ENGINE_URL"), "");
}

}  // namespace
