#include "InstallParameters.h"

#include <gtest/gtest.h>

#include <string>

#include "Install.h"
#include "app/App.h"
#include "app/Upgrade.h"

namespace {

using hv::installer::ParseInstallParameters;

// The installer watches the lock of the mutex the client holds.
static_assert(std::string_view(CApp::kInstanceMutexName) == hv::installer::kClientInstanceName);

TEST(InstallParameters, ReadsWhatTheClientWrites) {
    const std::string text =
        hv::InstallerParameters("/opt/halvory/", "/opt/halvory/Install", "/opt/halvory/halvory");
    std::string error;
    const auto parameters = ParseInstallParameters(text, error);
    ASSERT_TRUE(parameters) << error;
    EXPECT_EQ(parameters->appDir, "/opt/halvory");
    EXPECT_EQ(parameters->installFolder, "/opt/halvory/Install");
    EXPECT_EQ(parameters->configFile, "Config.ini");
    EXPECT_EQ(parameters->exePath, "/opt/halvory/halvory");
    EXPECT_EQ(parameters->dataFile, "/opt/halvory/HVXX.dat");
}

TEST(InstallParameters, RefusesMalformedText) {
    const struct {
        const char* text;
        const char* complaint;  // empty: accepted
    } rows[] = {
        {"/a/,/a/Install,Config.ini,/a/halvory,/a/HVXX.dat,", ""},
        {"/a/b/,/a/b/Install/,C.ini,/a/b/bin/halvory,/a/b/bin/HVXX.dat,", ""},
        {"/a//,/a/Install,Config.ini,/a//halvory,/a/HVXX.dat,", ""},
        {"", "end with ','"},
        {"/a/,/a/Install,Config.ini,/a/halvory,/a/HVXX.dat", "end with ','"},
        {"/a/,/a/Install,Config.ini,/a/halvory,", "got 4"},
        {"/a/,/a/Install,Config.ini,/a/hal,vory,/a/HVXX.dat,", "got 6"},
        {"/a/,/a/Install,Config.ini,/a/halvory,/a/HVXX.dat,extra,", "got 6"},
        {",,,,,", "is empty"},
        {"/a/,/a/Install,,/a/halvory,/a/HVXX.dat,", "configuration file is empty"},
        {"a/,a/Install,Config.ini,a/halvory,a/HVXX.dat,", "application folder"},
        {"/,/Install,Config.ini,/halvory,/HVXX.dat,", "application folder"},
        {"/a/../b/,/b/Install,Config.ini,/b/halvory,/b/HVXX.dat,", "application folder"},
        {"/a/,/a/./Install,Config.ini,/a/halvory,/a/HVXX.dat,", "install folder"},
        {"/a/,/a/x/Install,Config.ini,/a/halvory,/a/HVXX.dat,", "directly inside"},
        {"/a/,/b/Install,Config.ini,/a/halvory,/a/HVXX.dat,", "directly inside"},
        {"/a/,/a/Install,sub/Config.ini,/a/halvory,/a/HVXX.dat,", "a file name"},
        {"/a/,/a/Install,..,/a/halvory,/a/HVXX.dat,", "a file name"},
        {"/a/,/a/Install,Config.ini,/b/halvory,/a/HVXX.dat,", "executable must"},
        {"/a/,/a/Install,Config.ini,/a/Install/halvory,/a/HVXX.dat,", "executable must"},
        {"/a/,/a/Install,Config.ini,/a/,/a/HVXX.dat,", "executable must"},
        {"/a/,/a/Install,Config.ini,/a/halvory/,/a/HVXX.dat,", "executable must"},
        {"/a/,/a/Install,Config.ini,/ab/halvory,/a/HVXX.dat,", "executable must"},
        {"/a/,/a/Install,Config.ini,/a/halvory,/b/HVXX.dat,", "data file must"},
        {"/a/,/a/Install,Config.ini,/a/halvory,/a/Install/HVXX.dat,", "data file must"},
    };
    for (const auto& row : rows) {
        std::string error;
        const auto parameters = ParseInstallParameters(row.text, error);
        if (*row.complaint == '\0') {
            EXPECT_TRUE(parameters) << row.text << ": " << error;
        } else {
            EXPECT_FALSE(parameters) << row.text;
            EXPECT_NE(error.find(row.complaint), std::string::npos) << row.text << ": " << error;
        }
    }
}

}  // namespace
