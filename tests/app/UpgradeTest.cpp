#include "app/Upgrade.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "../support/TestFiles.h"
#include "CannedServer.h"
#include "trust/PackageManifest.h"
#include "winapi/winuser.h"

namespace fs = std::filesystem;

namespace {

TEST(Upgrade, VersionNumbers) {
    const struct {
        const char* text;
        int16_t number;
    } products[] = {
        {"1,2,3,4", 1234},
        {"10,2,3,4", 234},
        {"7", 0},
        {"", 0},
        {"1,2", 12},
        {"3,0,0,12", 3012},
        {"4,0,0,0,0", -25536},
        {"1,0,0,0,0,0", -31072},
    };
    for (const auto& row : products) {
        EXPECT_EQ(hv::ProductVersionNumber(row.text), row.number) << row.text;
    }
    const struct {
        const char* text;
        int16_t number;
    } required[] = {
        {"5000", 5000}, {"", 0}, {"12abc", 12}, {" 7", 7}, {"70000", 4464}, {"65535", -1},
    };
    for (const auto& row : required) {
        EXPECT_EQ(hv::RequiredVersionNumber(row.text), row.number) << row.text;
    }
}

TEST(Upgrade, DownloadsOnlyForANewerRequiredVersion) {
    const struct {
        const char* url;
        const char* required;
        const char* product;
        bool download;
    } rows[] = {
        {"http://up.test/p.sfe", "1234", "1,2,3,4", false},
        {"http://up.test/p.sfe", "1235", "1,2,3,4", true},
        {"", "1235", "1,2,3,4", false},
        {"http://up.test/p.sfe", "", "0,0,0,0", false},
        {"http://up.test/p.sfe", "1", "4,0,0,0,0", true},  // compared as signed numbers
    };
    const hvtest::TempDir root;
    const std::string appDir = root.Path().string() + "/";
    for (const auto& row : rows) {
        bool asked = false;
        const auto declined = [&](const std::string&, const std::string&, const std::string&) {
            asked = true;
            return INT_PTR{IDCANCEL};
        };
        const int result = hv::CheckForUpgrade(
            {row.url, row.required, row.product, appDir, appDir + "halvory"}, declined);
        EXPECT_EQ(result, 1) << row.required << " against " << row.product;
        EXPECT_EQ(asked, row.download) << row.required << " against " << row.product;
    }
}

TEST(Upgrade, InstallerParameters) {
    EXPECT_EQ(hv::InstallerParameters("/opt/halvory/", "/opt/halvory/Install",
                                      "/opt/halvory/bin/halvory"),
              "/opt/halvory/,/opt/halvory/Install,Config.ini,/opt/halvory/bin/halvory,"
              "/opt/halvory/bin/HVXX.dat,");
}

// A package is used only when the manifest beside it verifies with the key
// the client was given and describes its very bytes.
TEST(Upgrade, VerifiesThePackageAgainstItsSignedManifest) {
    const hvtest::TempDir root;
    const fs::path package = root.Path() / "Install.sfe";
    const fs::path keyFile = root.Path() / "key.pub";
    const fs::path otherKeyFile = root.Path() / "other.pub";
    const hv::SigningKey key = *hv::NewSigningKey();
    hvtest::WriteFile(keyFile, key.publicPem);
    hvtest::WriteFile(otherKeyFile, hv::NewSigningKey()->publicPem);
    hvtest::WriteFile(package, "the next client");
    const std::string manifest =
        hv::SignManifest(*hv::DescribeFile(package.string(), "Install.sfe"), key.privatePem);
    const auto sized = [](const std::string& body) {
        return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const struct {
        const char* name;
        std::string reply;
        fs::path key;
        std::string content;
        std::string why;  // empty: accepted
    } rows[] = {
        {"signed and the same", sized(manifest), keyFile, "the next client", ""},
        {"signed by another key", sized(manifest), otherKeyFile, "the next client",
         "is refused: the signature does not verify"},
        {"changed on the way", sized(manifest), keyFile, "the next clienT",
         "does not match its manifest"},
        {"no key configured", sized(manifest), "", "the next client",
         "no package key is configured"},
        {"no such key file", sized(manifest), root.Path() / "none.pub", "the next client",
         "cannot read the package key"},
        {"no manifest", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", keyFile,
         "the next client", "is refused: not a manifest"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CannedServer server(row.reply);
        hvtest::WriteFile(package, row.content);
        std::string why;
        const bool accepted =
            hv::VerifyPackage(server.Url("/up/Install.sfe"), package.string(), row.key, &why);
        EXPECT_EQ(accepted, row.why.empty()) << why;
        EXPECT_NE(why.find(row.why), std::string::npos) << why;
        if (!row.key.empty() && fs::exists(row.key)) {
            EXPECT_EQ(server.Request().rfind("GET /up/Install.sfe.manifest ", 0), 0u);
        }
    }
}

// The unpacked installer runs in the install folder with the parameters as its
// one argument, and is nobody's child once started.
TEST(Upgrade, StartsTheUnpackedInstaller) {
    const hvtest::TempDir root;
    const std::string appDir = (root.Path() / "opt" / "halvory").string() + "/";
    const std::string exe = appDir + "halvory";
    const std::string installFolder = appDir + "Install";
    const fs::path heard = root.Path() / "heard";
    const std::string script = "#!/bin/sh\n{ echo \"$#\"; echo \"$1\"; pwd -P; } > '" +
                               heard.string() + ".part' && mv '" + heard.string() + ".part' '" +
                               heard.string() + "'\nexec sleep 3 >/dev/null 2>&1\n";

    const struct {
        const char* what;
        bool unpack;
        fs::perms perms;
        int result;
    } rows[] = {
        {"installer unpacked", true, fs::perms::owner_all, 0},
        {"no installer", false, fs::perms::owner_all, -1},
        {"installer not executable", true, fs::perms::owner_read | fs::perms::owner_write, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(root.Path() / "opt");
        fs::remove(heard);
        std::string source;
        std::string target;
        std::string folder;
        bool folderMade = false;
        const auto download = [&](const std::string& address, const std::string& file,
                                  const std::string& unpackFolder) {
            source = address;
            target = file;
            folder = unpackFolder;
            folderMade = fs::is_directory(unpackFolder);
            if (row.unpack) {
                hvtest::WriteFile(unpackFolder + "/Installer", script);
                fs::permissions(unpackFolder + "/Installer", row.perms);
            }
            return INT_PTR{IDOK};
        };
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            hv::CheckForUpgrade({"http://up.test/p.sfe", "2", "0,0,0,1", appDir, exe}, download),
            row.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
            << "waited for the installer";
        EXPECT_EQ(source, "http://up.test/p.sfe");
        EXPECT_EQ(target, installFolder + "/Install.sfe");
        EXPECT_EQ(folder, installFolder);
        EXPECT_TRUE(folderMade);
        if (row.result == 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!fs::exists(heard) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            EXPECT_EQ(hvtest::ReadFile(heard),
                      "1\n" + hv::InstallerParameters(appDir, installFolder, exe) + "\n" +
                          installFolder + "\n");
        }
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child left to reap";
    }
}

}  // namespace
