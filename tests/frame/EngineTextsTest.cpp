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
    EXPECT_EQ(numbers, (std::set<long>{101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112,
                                       113, 116, 117, 118, 124}));
    EXPECT_EQ(hv::LoginFailureMessage(HV_LOGIN_ACCESS_DENIED).text,
              "Access Denied, Please enter the correct Login Information. (Input is Case "
              "Sensitive) (102)");
    EXPECT_EQ(hv::LoginFailureMessage(HV_LOGIN_NO_SUCH_USER).text,
              "User doesn't exist. Please enter valid user name. (101)");
    for (int code : {-1, 1, 27, 33, 145}) {
        EXPECT_EQ(hv::LoginFailureMessage(code).text, kInternalError) << code;
        EXPECT_EQ(hv::LoginFailureMessage(code).number, 123) << code;
    }
    EXPECT_EQ(hv::WithNumber("Lost", -7), "Lost (-7)");
}

TEST(EngineTexts, ForcedLogoutReasons) {
    EXPECT_EQ(hv::ForcedLogoutMessage(HV_LOGOUT_SUSPENDED).text,
              "Your account has been suspended. You will be logged out. (125)");
    EXPECT_EQ(hv::ForcedLogoutMessage(HV_LOGOUT_VERSION_CHANGED).number, 127);
    EXPECT_EQ(hv::ForcedLogoutMessage(HV_LOGOUT_PASSWORD_CHANGED).number, 126);
}

TEST(EngineTexts, DownloadFailures) {
    const struct {
        int code;
        const char* text;
    } rows[] = {
        {HV_DL_NOT_AVAILABLE, "Package is not available. (121)"},
        {HV_DL_DISK_FULL, "Hard drive is full, cannot create image containers"},
        {HV_DL_ONE_AT_A_TIME, "Only one game can be downloaded/played at one time. (120)"},
        {HV_DL_INTERNAL_4865, "Internal communication error. Please retry later. (129)"},
        {HV_DL_INTERNAL_5121, "Internal communication error. Please retry later. (129)"},
        {HV_DL_ENGINE_TEXT, "Region locked"},
        {12345, "Unknown Error"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(hv::DownloadFailureMessage(row.code, "Region locked"), row.text) << row.code;
    }
}

}  // namespace
