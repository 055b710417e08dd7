#include <gtest/gtest.h>

#include <cstring>

#include "app/CommandLine.h"

TEST(CommandLine, CredentialsFollowSlashAndLetter) {
    const auto parsed = hv::ParseCredentials("/u ada//secret");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->user, " ada");
    EXPECT_EQ(parsed->password, "secret");

    const auto spaced = hv::ParseCredentials("   /xada//pa//ss word");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->user, "ada");
    EXPECT_EQ(spaced->password, "pa//ss word") << "the password runs to the end";

    const auto empty = hv::ParseCredentials("/u//");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->user, "");
    EXPECT_EQ(empty->password, "");
}

TEST(CommandLine, NoCredentialsWithoutSlashOrSeparator) {
    EXPECT_FALSE(hv::ParseCredentials(""));
    EXPECT_FALSE(hv::ParseCredentials("   "));
    EXPECT_FALSE(hv::ParseCredentials("/u ada secret"));
    EXPECT_FALSE(hv::ParseCredentials("u ada//secret"));
    EXPECT_FALSE(hv::ParseCredentials("/"));
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

    char plain[] = "hello";
    char* untouched[] = {program, plain, nullptr};
    hv::HidePassword(2, untouched);
    EXPECT_STREQ(plain, "hello");
}
