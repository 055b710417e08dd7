#include <gtest/gtest.h>

#include "engine/EngineTexts.h"
#include "halvory/engine.h"

TEST(EngineTexts, EveryLoginCodeHasItsTextAndNumber) {
    struct Row {
        int code;
        long number;
        const char* text;
    };
    const Row rows[] = {
        {18, 112,
         "A Connection error has occurred while enabling the Player. Please contact Customer "
         "Service."},
        {19, 110,
         "Could not enable player, verify login Information and try again. (Input is Case "
         "Sensitive)"},
        {20, 102,
         "Access Denied, Please enter the correct Login Information. (Input is Case Sensitive)"},
        {23, 118,
         "Unable to connect to streaming servers, check local configuration or please retry "
         "later."},
        {24, 113,
         "An error has occurred while restarting the player. Please contact Customer Service."},
        {25, 117,
         "You are using a player version that is no longer supported. Please upgrade to continue."},
        {26, 116, "You no longer have a valid subscription. Please use a valid account."},
        {29, 109, "Client communication error while authenticating. Please retry later."},
        {31, 103, "Internal error while authenticating. Please contact Customer Service."},
        {32, 104, "Internal communication error while authenticating. Please retry later."},
        {48, 105, "Internal communication error while authenticating. Please retry later."},
        {64, 106, "Internal error while authenticating. Please contact Customer Service."},
        {80, 101, "User doesn't exist. Please enter valid user name."},
        {96, 107, "Your account has been suspended. Please contact Customer Service."},
        {112, 108,
         "Network communication error while authenticating. Please contact Customer Service."},
        {128, 111,
         "Could not enable the player, user doesn't exist. Please enter a valid user name."},
        {144, 124,
         "Internal communication error while authenticating. Please contact Customer Service."},
        {-1, 123, "Internal error while authenticating. Please contact Customer Service."},
        {1, 123, "Internal error while authenticating. Please contact Customer Service."},
        {27, 123, "Internal error while authenticating. Please contact Customer Service."},
        {33, 123, "Internal error while authenticating. Please contact Customer Service."},
        {145, 123, "Internal error while authenticating. Please contact Customer Service."},
    };
    for (const Row& row : rows) {
        const hv::CodeMessage message = hv::LoginFailureMessage(row.code);
        EXPECT_EQ(message.text, std::string(row.text) + " (" + std::to_string(row.number) + ")")
            << row.code;
        EXPECT_EQ(message.number, row.number) << row.code;
    }
    const hv::CodeMessage lost = hv::LoginFailureMessage(HV_LOGIN_COMMUNICATION_LOST);
    EXPECT_EQ(lost.text, "Communication Lost. Please try again.");
    EXPECT_EQ(lost.number, 0);
}

TEST(EngineTexts, DownloadCodes) {
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_NOT_AVAILABLE, ""),
              "Package is not available. (121)");
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_ALREADY_COMPLETE, ""),
              "Package already exists on hard drive and is complete");
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_ONE_AT_A_TIME, ""),
              "Only one game can be downloaded/played at one time. (120)");
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_INTERNAL_5121, ""),
              "Internal communication error. Please retry later. (129)");
    EXPECT_EQ(hv::DownloadFailureMessage(HV_DL_ENGINE_TEXT, "Region locked"), "Region locked");
    EXPECT_EQ(hv::DownloadFailureMessage(12345, "ignored"), "Unknown Error");
}
