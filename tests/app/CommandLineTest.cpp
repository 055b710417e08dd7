#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, CredentialsFollowSlashAndLetter) {
    const struct {
        const char* text;
        const char* user;  // null: no credentials
        const char* password;
    } rows[] = {
        {"/u ada//secret", " ada", "secret"},
        {"   /xada//pa//ss word", "ada", "pa//ss word"},
        {"/u//", "", ""},
        {"", nullptr, nullptr},
        {"   ", nullptr, nullptr},
        {"/", nullptr, nullptr},
        {"/u ada secret", nullptr, nullptr},
        {"u ada//secret", nullptr, nullptr},
    };
    for (const auto& row : rows) {
        const auto parsed = hv::ParseCredentials(row.text);
        ASSERT_EQ(parsed.has_value(), row.user != nullptr) << row.text;
        if (parsed) {
            EXPECT_EQ(parsed->user, row.user) << row.text;
            EXPECT_EQ(parsed->password, row.password) << row.text;
        }
    }
}

TEST(CommandLine, PasswordIsOverwrittenInTheArgumentMemory) {
    char program[] = "halvory";
    char first[] = "/u";
    char second[] = "ada//pa";
    char third[] = "ss";
    char* argv[] = {program, first, second, third, nullptr};
    EXPECT_EQ(hv::JoinArguments(4, argv), "/u ada//pa ss");
    hv::HidePassword(4, argv);
    EXPECT_STREQ(argv[1], "/u");
    EXPECT_STREQ(argv[2], "ada//**");
    EXPECT_STREQ(argv[3], "**");

    char plain[] = "ab//c";
    char* untouched[] = {program, plain, nullptr};
    hv::HidePassword(2, untouched);
    EXPECT_STREQ(plain, "ab//c") << "no credentials without the slash";
}
