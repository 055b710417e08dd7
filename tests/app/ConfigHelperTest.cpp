#include "app/ConfigHelper.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "../support/TestFiles.h"

namespace {

using Getter = std::string (CConfigHelper::*)() const;

class ConfigFileTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& content) {
        hvtest::WriteFile(m_dir.Path() / "Halvory.ini", content);
        return (m_dir.Path() / "Halvory.ini").string();
    }
    CConfigHelper Parse(const std::string& content) {
        CConfigHelper config;
        EXPECT_EQ(config.Load(Write(content)), 1);
        return config;
    }

    hvtest::TempDir m_dir;
};

TEST_F(ConfigFileTest, UnopenableFileReturnsZeroAndKeepsEarlierValues) {
    CConfigHelper config;
    ASSERT_EQ(config.Load(Write("HELP_URL=kept\nFULLSCREEN=1\n")), 1);
    const auto missing = m_dir.Path() / "missing.ini";
    EXPECT_EQ(config.Load(missing.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(missing)) << "loading must never create the file";
    EXPECT_EQ(config.Load(m_dir.Path().string()), 0) << "a directory is not a settings file";
    EXPECT_EQ(config.GetHelpUrl(), "kept");
    EXPECT_EQ(config.m_nFullScreen, 1);
    EXPECT_EQ(Parse("").GetHelpUrl(), "");
}

TEST_F(ConfigFileTest, LinesAndKeys) {
    const std::string every =
        "ARTDIR=/srv/art\nARTURL=http://art/\nSERVERIPADDR_URL=http://discover/\n"
        "ERRORINFO_URL=http://err/\nPLAYERPAGES=http://pages\nHELP_URL=http://help\n"
        "SMSADDR_URL=http://sms/\nENGINE_SERVICE=http://engine\nPRODUCTVERSION=9,9,9,9\n";
    const std::string u992(992, 'u');  // "ARTURL=" and this make 999 bytes
    const struct {
        const char* name;
        std::string file;
        Getter get;
        std::string want;
    } rows[] = {
        {"art folder", every, &CConfigHelper::GetArtDir, "/srv/art"},
        {"art address", every, &CConfigHelper::GetArtUrl, "http://art/"},
        {"discovery", every, &CConfigHelper::GetServerIpAddrUrl, "http://discover/"},
        {"error page", every, &CConfigHelper::GetErrorInfoUrl, "http://err/"},
        {"player pages", every, &CConfigHelper::GetPlayerPages, "http://pages"},
        {"help", every, &CConfigHelper::GetHelpUrl, "http://help"},
        {"never the version", every, &CConfigHelper::GetProductVersion, ""},
        {"keys ignore case", "ArtDir=a\nhelp_url=h\n", &CConfigHelper::GetArtDir, "a"},
        {"non-ASCII key", "ÄRTDIR=x\nARTDIR\xC3=y\n", &CConfigHelper::GetArtDir, ""},
        {"values byte exact", "ARTURL=/home/jörg/ǅ\n", &CConfigHelper::GetArtUrl, "/home/jörg/ǅ"},
        {"last one wins", "[A]\nHELP_URL=one\n[B]\nHELP_URL=two\n", &CConfigHelper::GetHelpUrl,
         "two"},
        {"empty value", "HELP_URL=h\nHELP_URL=\n", &CConfigHelper::GetHelpUrl, "h"},
        {"no equals", "HELP_URL=h\nHELP_URL\n=HELP_URL\n", &CConfigHelper::GetHelpUrl, "h"},
        {"first equals", "HELP_URL==x=\n", &CConfigHelper::GetHelpUrl, "=x="},
        {"comment", ";ARTDIR=c\n", &CConfigHelper::GetArtDir, ""},
        {"semicolon inside", "ARTURL=u;v\n", &CConfigHelper::GetArtUrl, "u;v"},
        {"key untrimmed", "HELP_URL = h\n", &CConfigHelper::GetHelpUrl, ""},
        {"indented key", " ARTDIR=i\n", &CConfigHelper::GetArtDir, ""},
        {"value untrimmed", "ARTURL= \"q\"\t\n", &CConfigHelper::GetArtUrl, " \"q\"\t"},
        {"NUL ends the line", std::string("ARTDIR=a\0b\n", 11), &CConfigHelper::GetArtDir, "a"},
        {"no final line feed", "ARTDIR=a\nHELP_URL=last", &CConfigHelper::GetHelpUrl, "last"},
        {"CR before LF", "ARTDIR=a\r\n", &CConfigHelper::GetArtDir, "a"},
        {"lone CR", "HELP_URL=c\rd\n", &CConfigHelper::GetHelpUrl, "c\rd"},
        {"CR CR LF", "PLAYERPAGES=e\r\r\n", &CConfigHelper::GetPlayerPages, "e\r"},
        {"CR at the end", "ARTURL=end\r", &CConfigHelper::GetArtUrl, "end\r"},
        {"999 bytes fit", "ARTURL=" + u992 + "\r\nHELP_URL=h\n", &CConfigHelper::GetHelpUrl, "h"},
        {"999 bytes at the end", "ARTURL=" + u992, &CConfigHelper::GetArtUrl, u992},
        {"1000 bytes are cut", "ARTURL=" + u992 + "w\n", &CConfigHelper::GetArtUrl, u992},
        {"a cut line ends the file", "ARTURL=" + u992 + "\rHELP_URL=h\nHELP_URL=i\n",
         &CConfigHelper::GetHelpUrl, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ((Parse(row.file).*row.get)(), row.want) << row.name;
    }
}

// The reader takes the file in blocks: a CR-LF split between two is still one.
TEST_F(ConfigFileTest, CrLfIsFoldedWhereverTheFileIsCut) {
    for (size_t boundary : {4096u, 8192u, 16384u, 32768u, 65536u}) {
        const std::string key = "ARTDIR=value";
        const size_t before = boundary - 1 - key.size();
        std::string content;
        while (content.size() + 1000 <= before) {
            content += ";" + std::string(498, 'c') + "\n";
        }
        content += ";" + std::string(before - content.size() - 2, 'p') + "\n";
        content += key + "\r\nHELP_URL=h\r\n";
        ASSERT_EQ(content.find("\r\n"), boundary - 1);
        const auto config = Parse(content);
        EXPECT_EQ(config.GetArtDir(), "value") << "boundary " << boundary;
        EXPECT_EQ(config.GetHelpUrl(), "h") << "boundary " << boundary;
    }
}

TEST_F(ConfigFileTest, FullScreenConvertsLikeStrtol) {
    // An empty value keeps the earlier one.
    const std::pair<int32_t, std::vector<std::string>> cases[] = {
        {0, {"yes", "0x10", "- 5"}},
        {7, {"007", "\t7", "7 2", "7x"}},
        {-3, {"-3"}},
        {4, {"+4"}},
        {3, {""}},
        {INT_MAX, {"2147483647", "99999999999"}},
        {INT_MIN, {"-99999999999"}}};
    for (const auto& [value, texts] : cases) {
        for (const std::string& text : texts) {
            const auto config = Parse("FULLSCREEN=3\nfullscreen=" + text + "\n");
            EXPECT_EQ(config.m_nFullScreen, value) << "FULLSCREEN=" << text;
        }
    }
}

}  // namespace
