#include "engine/EngineTexts.h"

#include "halvory/engine.h"

namespace hv {

std::string WithNumber(const std::string& text, long number) {
    return text + " (" + std::to_string(number) + ")";
}

CodeMessage LoginFailureMessage(int code) {
    struct Row {
        int code;
        long number;
        const char* text;
    };
    static const Row rows[] = {
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
    };
    if (code == HV_LOGIN_COMMUNICATION_LOST) {
        return {"Communication Lost. Please try again.", 0};
    }
    for (const Row& row : rows) {
        if (row.code == code) {
            return {WithNumber(row.text, row.number), row.number};
        }
    }
    return {
        WithNumber("Internal error while authenticating. Please contact Customer Service.", 123),
        123};
}

CodeMessage ForcedLogoutMessage(long reason) {
    switch (reason) {
        case HV_LOGOUT_SUSPENDED:
            return {WithNumber("Your account has been suspended. You will be logged out.", 125),
                    125};
        case HV_LOGOUT_VERSION_CHANGED:
            return {WithNumber("Player version has been changed. You will be logged out.", 127),
                    127};
        case HV_LOGOUT_PASSWORD_CHANGED:
            return {
                WithNumber("Your password has been changed. Please log back in with new password.",
                           126),
                126};
        default: return {"You have been logged out!", 0};
    }
}

std::string DownloadFailureMessage(int code, const std::string& engineText) {
    switch (code) {
        case HV_DL_NOT_AVAILABLE: return WithNumber("Package is not available.", 121);
        case HV_DL_DISK_FULL: return "Hard drive is full, cannot create image containers";
        case HV_DL_ALREADY_COMPLETE: return "Package already exists on hard drive and is complete";
        case HV_DL_BILLING_DENIED: return "Billing system has denied transaction";
        case HV_DL_ONE_AT_A_TIME:
            return WithNumber("Only one game can be downloaded/played at one time.", 120);
        case HV_DL_INTERNAL_4865:
        case HV_DL_INTERNAL_5121:
            return WithNumber("Internal communication error. Please retry later.", 129);
        case HV_DL_ENGINE_TEXT: return engineText;
        default: return "Unknown Error";
    }
}

}  // namespace hv
