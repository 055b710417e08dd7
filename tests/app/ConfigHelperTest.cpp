#include "app/ConfigHelper.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "hv-config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Write(const std::string& content, const std::string& name = "Halvory.ini") {
        const auto path = m_dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    // Loads content into a fresh helper.
    CConfigHelper Parse(const std::string& content) {
        CConfigHelper config;
        EXPECT_EQ(config.Load(Write(content)), 1);
        return config;
    }

    std::filesystem::path m_dir;
};

void ExpectDefaults(const CConfigHelper& config) {
    EXPECT_EQ(config.GetArtDir(), "");
    EXPECT_EQ(config.GetArtUrl(), "");
    EXPECT_EQ(config.m_nFullScreen, 0);
    EXPECT_EQ(config.m_nFrameFlag, 0);
    EXPECT_EQ(config.GetServerIpAddrUrl(), "");
    EXPECT_EQ(config.GetProductVersion(), "");
    EXPECT_EQ(config.GetErrorInfoUrl(), "");
    EXPECT_EQ(config.GetPlayerPages(), "");
    EXPECT_EQ(config.GetHelpUrl(), "");
}

TEST_F(ConfigFileTest, UnopenableFileReturnsZeroAndChangesNothing) {
    CConfigHelper config;
    const auto missing = m_dir / "Halvory.ini";
    EXPECT_EQ(config.Load(missing.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(missing)) << "loading must never create the file";
    EXPECT_EQ(config.Load(m_dir.string()), 0) << "a directory is not a settings file";
    EXPECT_EQ(config.Load(""), 0);
    ExpectDefaults(config);

    ASSERT_EQ(config.Load(Write("HELP_URL=kept\nFULLSCREEN=1\n")), 1);
    EXPECT_EQ(config.Load(missing.string() + ".other"), 0);
    EXPECT_EQ(config.GetHelpUrl(), "kept");
    EXPECT_EQ(config.m_nFullScreen, 1);
}

TEST_F(ConfigFileTest, EmptyFileOpensWithDefaults) {
    CConfigHelper config;
    EXPECT_EQ(config.Load(Write("")), 1);
    ExpectDefaults(config);
    EXPECT_EQ(config.Load(Write("\n\n;only a comment\n[General]\n")), 1);
    ExpectDefaults(config);
}

TEST_F(ConfigFileTest, ReadsEveryKeyAndIgnoresUnknownOnes) {
    const auto config = Parse(
        "ARTDIR=/srv/art\n"
        "ARTURL=http://art.example/\n"
        "FULLSCREEN=1\n"
        "SERVERIPADDR_URL=http://discover.example/q\n"
        "SMSADDR_URL=http://sms.example/\n"
        "ERRORINFO_URL=http://err.example/e\n"
        "PLAYERPAGES=http://pages.example\n"
        "HELP_URL=http://help.example\n"
        "ENGINE_SERVICE=http://engine.example\n"
        "PRODUCTVERSION=9,9,9,9\n");
    EXPECT_EQ(config.GetArtDir(), "/srv/art");
    EXPECT_EQ(config.GetArtUrl(), "http://art.example/");
    EXPECT_EQ(config.m_nFullScreen, 1);
    EXPECT_EQ(config.GetServerIpAddrUrl(), "http://discover.example/q");
    EXPECT_EQ(config.GetErrorInfoUrl(), "http://err.example/e");
    EXPECT_EQ(config.GetPlayerPages(), "http://pages.example");
    EXPECT_EQ(config.GetHelpUrl(), "http://help.example");
    EXPECT_EQ(config.GetProductVersion(), "") << "the version never comes from the file";
    EXPECT_EQ(config.m_nFrameFlag, 0);
}

TEST_F(ConfigFileTest, KeysIgnoreCase) {
    const auto config = Parse(
        "fullscreen=1\nArtDir=a\nartURL=b\nhelp_url=c\nPlayerPages=d\nerrorinfo_url=e\n"
        "serveripaddr_URL=f\n");
    EXPECT_EQ(config.m_nFullScreen, 1);
    EXPECT_EQ(config.GetArtDir(), "a");
    EXPECT_EQ(config.GetArtUrl(), "b");
    EXPECT_EQ(config.GetHelpUrl(), "c");
    EXPECT_EQ(config.GetPlayerPages(), "d");
    EXPECT_EQ(config.GetErrorInfoUrl(), "e");
    EXPECT_EQ(config.GetServerIpAddrUrl(), "f");
}

TEST_F(ConfigFileTest, NonAsciiKeysMatchNothingAndValuesStayByteExact) {
    // A byte-wise fold in a Latin code page would turn these into known keys
    // or compare continuation bytes as letters.
    const auto config = Parse(
        "ÄRTDIR=umlaut\n"
        "ARTDIR\xC3=cut\n"
        "HELP_URL\xFF=malformed\n"
        "ＨＥＬＰ_URL=fullwidth\n"
        "ARTURL=/home/jörg/Ärt/ǅ\n");
    EXPECT_EQ(config.GetArtDir(), "");
    EXPECT_EQ(config.GetHelpUrl(), "");
    EXPECT_EQ(config.GetArtUrl(), "/home/jörg/Ärt/ǅ");
}

TEST_F(ConfigFileTest, FullScreenConvertsLikeStrtol) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"yes", 0},
        {"2x", 2},
        {" 7", 7},
        {"\t8", 8},
        {"-3", -3},
        {"+4", 4},
        {"0x10", 0},
        {"007", 7},
        {"1 2", 1},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        const auto config = Parse(std::string("FULLSCREEN=1\nFULLSCREEN=") + c.text + "\n");
        EXPECT_EQ(config.m_nFullScreen, c.value) << "FULLSCREEN=" << c.text;
    }
}

TEST_F(ConfigFileTest, NothingIsTrimmedAndQuotesStay) {
    const auto config = Parse(
        "HELP_URL = spaced\n"
        "PLAYERPAGES= x\n"
        " ARTDIR=indented\n"
        "ARTURL=\"quoted\"\t\n"
        "ERRORINFO_URL=tail ;not a comment \n");
    EXPECT_EQ(config.GetHelpUrl(), "") << "the key ends in a blank";
    EXPECT_EQ(config.GetPlayerPages(), " x");
    EXPECT_EQ(config.GetArtDir(), "");
    EXPECT_EQ(config.GetArtUrl(), "\"quoted\"\t");
    EXPECT_EQ(config.GetErrorInfoUrl(), "tail ;not a comment ");
}

TEST_F(ConfigFileTest, SplitsAtTheFirstEquals) {
    const auto config = Parse("ARTURL=a=b\nHELP_URL==x=\n=ARTDIR\nPLAYERPAGES\n");
    EXPECT_EQ(config.GetArtUrl(), "a=b");
    EXPECT_EQ(config.GetHelpUrl(), "=x=");
    EXPECT_EQ(config.GetArtDir(), "");
    EXPECT_EQ(config.GetPlayerPages(), "");
}

TEST_F(ConfigFileTest, EmptyValuesAndMissingEqualsKeepEarlierValues) {
    auto config = Parse(
        "ERRORINFO_URL=first\nERRORINFO_URL=\nFULLSCREEN=3\nFULLSCREEN=\nHELP_URL=h\nHELP_URL\n");
    EXPECT_EQ(config.GetErrorInfoUrl(), "first");
    EXPECT_EQ(config.m_nFullScreen, 3);
    EXPECT_EQ(config.GetHelpUrl(), "h");

    // A second file changes only the keys it names.
    ASSERT_EQ(config.Load(Write("ARTDIR=d\nHELP_URL=\n", "second.ini")), 1);
    EXPECT_EQ(config.GetArtDir(), "d");
    EXPECT_EQ(config.GetHelpUrl(), "h");
    EXPECT_EQ(config.GetErrorInfoUrl(), "first");
}

TEST_F(ConfigFileTest, CommentsOnlyInColumnOne) {
    const auto config = Parse(";ARTDIR=commented\n;\nARTURL=u;v\n\t;HELP_URL=x\n");
    EXPECT_EQ(config.GetArtDir(), "");
    EXPECT_EQ(config.GetArtUrl(), "u;v");
    EXPECT_EQ(config.GetHelpUrl(), "");
}

TEST_F(ConfigFileTest, LastOccurrenceWinsAcrossSections) {
    const auto config =
        Parse("[General]\nHELP_URL=one\nARTDIR=a\n[Other]\nHELP_URL=two\n[Third]\nPLAYERPAGES=p\n");
    EXPECT_EQ(config.GetHelpUrl(), "two");
    EXPECT_EQ(config.GetArtDir(), "a");
    EXPECT_EQ(config.GetPlayerPages(), "p");
}

TEST_F(ConfigFileTest, LastLineWithoutLineFeedIsRead) {
    EXPECT_EQ(Parse("ARTDIR=a\nHELP_URL=last").GetHelpUrl(), "last");
    EXPECT_EQ(Parse("HELP_URL=only").GetHelpUrl(), "only");
    EXPECT_EQ(Parse("HELP_URL=crlf\r\nARTURL=end\r").GetArtUrl(), "end\r");
}

TEST_F(ConfigFileTest, CarriageReturnOnlyDroppedBeforeLineFeed) {
    const auto config = Parse("ARTDIR=a\r\nARTURL=b\r\n\r\nHELP_URL=c\rd\nPLAYERPAGES=e\r\r\n");
    EXPECT_EQ(config.GetArtDir(), "a");
    EXPECT_EQ(config.GetArtUrl(), "b");
    EXPECT_EQ(config.GetHelpUrl(), "c\rd");
    EXPECT_EQ(config.GetPlayerPages(), "e\r");
}

TEST_F(ConfigFileTest, CrLfIsFoldedWhereverTheFileIsCut) {
    // Places the CR-LF pair across every power-of-two boundary a reader may use.
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

TEST_F(ConfigFileTest, OverlongLineIsCutAndEndsTheParse) {
    // The tail of the long line looks like a key: it must not be read as a line of its own.
    const std::string prefix = "ARTURL=";
    const std::string longLine = prefix + std::string(999 - prefix.size(), 'u') +
                                 "PLAYERPAGES=tail" + std::string(1200 - 999 - 16, 'v');
    ASSERT_EQ(longLine.size(), 1200u);
    const auto config = Parse("ARTDIR=before\n" + longLine + "\nHELP_URL=after\n");
    EXPECT_EQ(config.GetArtDir(), "before");
    EXPECT_EQ(config.GetArtUrl(), std::string(999 - prefix.size(), 'u'));
    EXPECT_EQ(config.GetPlayerPages(), "");
    EXPECT_EQ(config.GetHelpUrl(), "");
}

TEST_F(ConfigFileTest, LineLengthLimitIsExactly999) {
    const std::string prefix = "ARTURL=";
    const std::string value999(999 - prefix.size(), 'u');

    const auto fits = Parse(prefix + value999 + "\nHELP_URL=after\n");
    EXPECT_EQ(fits.GetArtUrl(), value999);
    EXPECT_EQ(fits.GetHelpUrl(), "after");

    const auto fitsCrLf = Parse(prefix + value999 + "\r\nHELP_URL=after\r\n");
    EXPECT_EQ(fitsCrLf.GetArtUrl(), value999);
    EXPECT_EQ(fitsCrLf.GetHelpUrl(), "after");

    const auto atEnd = Parse("HELP_URL=before\n" + prefix + value999);
    EXPECT_EQ(atEnd.GetArtUrl(), value999);
    EXPECT_EQ(atEnd.GetHelpUrl(), "before");

    const auto tooLong = Parse(prefix + value999 + "w\nHELP_URL=after\n");
    EXPECT_EQ(tooLong.GetArtUrl(), value999);
    EXPECT_EQ(tooLong.GetHelpUrl(), "");

    // A lone CR in 1000th place is a character of the line, which is then too long.
    const auto crTooLong = Parse(prefix + value999 + "\rx\nHELP_URL=after\n");
    EXPECT_EQ(crTooLong.GetArtUrl(), value999);
    EXPECT_EQ(crTooLong.GetHelpUrl(), "");
}

}  // namespace
