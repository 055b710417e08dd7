#include <gtest/gtest.h>

#include <set>

#include "engine/EngineTexts.h"
#include "halvory/engine.h"

namespace {

const std::string kInternalError =
    "Internal error while authenticating. Please contact Customer Service. (123)";

TEST(EngineTexts, LoginFailures) {
    // Each code of its own tells the user a number no other code uses.
    std::set<long> numbers;
    for (int code : {18, 19, 20, 23, 24, 25, 26, 29, 31, 32, 48, 64, 80, 96, 112, 128, 144}) {
        const hv::CodeMessage message = hv::LoginFailureMessage(code);
        EXPECT_TRUE(numbers.insert(message.number).second) << code << " repeats a number";
        EXPECT_EQ(message.text,
                  hv::WithNumber(message.text.substr(0, message.text.rfind(" (")), message.number))
            << code;
        EXPECT_NE(message.text, kInternalError) << code;
    }
    EXPECT_EQ(hv::LoginFailureMessage(HV_LOGIN_ACCESS_DENIED).text,
              "Access Denied, Please enter the correct Login Information. (Input is Case "
              "Sensitive) (102)");
    for (int code : {-1, 1, 27, 33, 145}) {
        EXPECT_EQ(hv::LoginFailureMessage(code).text, kInternalError) << code;
        EXPECT_EQ(hv::LoginFailureMessage(code).number, 123) << code;
    }
}

TEST(EngineTexts, DownloadFailures) {
    const std::string internal = "Internal communication error. Please retry later. (129)";
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_INTERNAL_4865, "Region locked"), internal);
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_INTERNAL_5121, "Region locked"), internal);
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_ENGINE_TEXT, "Region locked"), "Region locked");
    EXPECT_EQ(hv::DownloadFailureMessage(12345, "Region locked"), "Unknown Error");
}

}  // namespace
