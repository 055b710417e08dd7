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
    const std::pair<const char*, int16_t> products[] = {
        {"1,2,3,4", 1234},
        {"10,2,3,4", 234},
        {"7", 0},
        {"", 0},
        {"1,2", 12},
        {"3,0,0,12", 3012},
        {"4,0,0,0,0", -25536},
        {"1,0,0,0,0,0", -31072},
    };
    for (const auto& [text, number] : products) {
        EXPECT_EQ(hv::ProductVersionNumber(text), number) << text;
    }
    const std::pair<const char*, int16_t> required[] = {
        {"5000", 5000}, {"", 0}, {"12abc", 12}, {" 7", 7}, {"70000", 4464}, {"65535", -1},
    };
    for (const auto& [text, number] : required) {
        EXPECT_EQ(hv::RequiredVersionNumber(text), number) << text;
    }
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
    const struct {
        const char* name;
        std::string reply;
        fs::path key;
        std::string content;
        std::string why;  // empty: accepted
    } rows[] = {
        {"signed and the same", Sized(manifest), keyFile, "the next client", ""},
        {"signed by another key", Sized(manifest), otherKeyFile, "the next client",
         "is refused: the signature does not verify"},
        {"changed on the way", Sized(manifest), keyFile, "the next clienT",
         "does not match its manifest"},
        {"no key configured", Sized(manifest), "", "the next client",
         "no package key is configured"},
        {"no such key file", Sized(manifest), root.Path() / "none.pub", "the next client",
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

// Only a newer required version is downloaded. The unpacked installer runs in
// the install folder with the parameters as its one argument, and is nobody's
// child once started.
TEST(Upgrade, StartsTheUnpackedInstaller) {
    const hvtest::TempDir root;
    const std::string appDir = (root.Path() / "opt" / "halvory").string() + "/";
    const std::string exe = appDir + "bin/halvory";
    const std::string installFolder = appDir + "Install";
    const fs::path heard = root.Path() / "heard";
    const std::string script = "#!/bin/sh\n{ echo \"$#\"; echo \"$1\"; pwd -P; } > '" +
                               heard.string() + ".part' && mv '" + heard.string() + ".part' '" +
                               heard.string() + "'\nexec sleep 3 >/dev/null 2>&1\n";
    const std::string url = "http://up.test/p.sfe";
    const auto all = fs::perms::owner_all;
    const auto rw = fs::perms::owner_read | fs::perms::owner_write;
    const struct {
        const char* what;
        std::string url;
        const char* required;
        const char* product;
        INT_PTR answer;  // 0: never asked
        bool unpack;
        fs::perms perms;
        int result;
    } rows[] = {
        {"installer unpacked", url, "2", "0,0,0,1", IDOK, true, all, 0},
        {"no installer", url, "2", "0,0,0,1", IDOK, false, all, -1},
        {"installer not executable", url, "2", "0,0,0,1", IDOK, true, rw, -1},
        {"download declined", url, "1235", "1,2,3,4", IDCANCEL, true, all, 1},
        {"compared as signed numbers", url, "1", "4,0,0,0,0", IDCANCEL, true, all, 1},
        {"same version", url, "1234", "1,2,3,4", 0, true, all, 1},
        {"no required version", url, "", "0,0,0,0", 0, true, all, 1},
        {"no address", "", "1235", "1,2,3,4", 0, true, all, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(root.Path() / "opt");
        fs::remove(heard);
        std::string asked;
        const auto download = [&](const std::string& address, const std::string& file,
                                  const std::string& unpackFolder) {
            asked = address + " " + file + " " + unpackFolder;
            EXPECT_TRUE(fs::is_directory(unpackFolder));
            if (row.unpack) {
                hvtest::WriteFile(unpackFolder + "/Installer", script);
                fs::permissions(unpackFolder + "/Installer", row.perms);
            }
            return row.answer;
        };
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(hv::CheckForUpgrade({row.url, row.required, row.product, appDir, exe}, download),
                  row.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
            << "waited for the installer";
        EXPECT_EQ(asked, row.answer == 0
                             ? ""
                             : url + " " + installFolder + "/Install.sfe " + installFolder);
        if (row.result == 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!fs::exists(heard) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            EXPECT_EQ(hvtest::ReadFile(heard), "1\n" + appDir + "," + installFolder +
                                                   ",Config.ini," + exe + "," + appDir +
                                                   "bin/HVXX.dat,\n" + installFolder + "\n");
        }
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child left to reap";
    }
}

}  // namespace
