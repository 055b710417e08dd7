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

// The overwriting itself is proven on a running client by the start-up tests.
TEST(CommandLine, ArgumentsWithoutCredentialsAreLeftAlone) {
    char program[] = "halvory";
    char plain[] = "ab//c";
    char* argv[] = {program, plain, nullptr};
    hv::HidePassword(2, argv);
    EXPECT_STREQ(plain, "ab//c");
}
