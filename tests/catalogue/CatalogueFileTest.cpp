#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CatalogueRecord.h"
#include "TestFiles.h"
#include "catalogue/CatalogueFile.h"

namespace {

using testcat::Fields;
using testcat::Record;

Fields GameFields(const std::string& package, const std::string& title,
                  const std::string& type = "1") {
    Fields f;
    f[0] = package;
    f[1] = title;
    f[2] = type;
    f[3] = "Action,Puzzle";
    f[4] = "T - Teen";
    f[5] = "4.99";
    f[9] = "Dev Studio";
    f[10] = "Pub House";
    f[20] = "PAIR1  \t\r\n";
    return f;
}

struct Parsed {
    GameList records;
    std::vector<std::string> categories;
    size_t accepted = 0;

    // Parses from a buffer of exactly the input's size, so any read past the
    // end is caught by the address sanitizer.
    void Parse(const std::string& bytes, const std::string& artDir = "art/") {
        std::vector<char> exact(bytes.begin(), bytes.end());
        accepted =
            ParseCatalogueBytes(exact.data(), exact.size(), artDir, records,
                                [this](std::string_view name) { categories.emplace_back(name); });
    }
};

}  // namespace

// A NUL cuts its field short but not the layout.
TEST(CatalogueParse, FillsEveryKeptMemberAndDerivesArtPaths) {
    Fields cut = GameFields("pkg.two", std::string("Title\0junk", 10));
    cut[4] = std::string("M - Mature\0\0\0", 13);
    Parsed p;
    p.Parse(Record(GameFields("pkg.one", "Star Rally")) + Record(cut));
    ASSERT_EQ(p.records.size(), 2u);
    const GameInfo& g = *p.records[0];
    EXPECT_EQ((std::vector<std::string_view>{g.m_strPackage, g.m_strTitle, g.m_strCategories,
                                             g.m_strRating, g.m_strPrice, g.m_strDeveloper,
                                             g.m_strPublisher, g.m_strPairKey}),
              (std::vector<std::string_view>{"pkg.one", "Star Rally", "Action,Puzzle", "T - Teen",
                                             "4.99", "Dev Studio", "Pub House", "PAIR1"}));
    EXPECT_EQ(g.IconFile(), "art/Star Rally.jpg");
    EXPECT_EQ(g.DescFile(), "art/Star Rally.txt");
    EXPECT_EQ(g.m_nType, 1);
    EXPECT_EQ(p.categories, (std::vector<std::string>{"Action", "Puzzle", "Action", "Puzzle"}));
    const GameInfo& h = *p.records[1];
    EXPECT_EQ((std::vector<std::string_view>{h.m_strTitle, h.m_strRating, h.m_strPrice}),
              (std::vector<std::string_view>{"Title", "M - Mature", "4.99"}));
    EXPECT_EQ(h.IconFile(), "art/Title.jpg");
}

TEST(CatalogueParse, TitlesFromTheFileNeverNameAFileOutsideTheArtFolder) {
    Parsed p;
    p.Parse(Record(GameFields("a", "../../etc/cron.d/x")) + Record(GameFields("b", "50% off/now")) +
            Record(GameFields("c", "50%25 off%2Fnow")) + Record(GameFields("d", "..")));
    ASSERT_EQ(p.records.size(), 4u);
    EXPECT_EQ(p.records[0]->m_strTitle, "../../etc/cron.d/x");
    EXPECT_EQ(p.records[0]->IconFile(), "art/..%2F..%2Fetc%2Fcron.d%2Fx.jpg");
    EXPECT_EQ(p.records[1]->DescFile(), "art/50%25 off%2Fnow.txt");
    // Escaping '%' keeps distinct titles on distinct files.
    EXPECT_EQ(p.records[2]->DescFile(), "art/50%2525 off%252Fnow.txt");
    EXPECT_EQ(p.records[3]->IconFile(), "art/...jpg");
}

TEST(CatalogueParse, WidthsReadLikeAtoi) {
    // Leading blanks, a sign, inner blanks and trailing non-digits are all
    // allowed; the title's width is the one that varies.
    const std::pair<const char*, size_t> rows[] = {
        {"0003", 3},  {"   3", 3}, {"  12", 12}, {" 3  ", 3},   {"3 3 ", 3},
        {"1\t2 ", 1}, {"+003", 3}, {" -0 ", 0},  {"\t 12", 12}, {"0x12", 0},
        {"!003", 0},  {"    ", 0}, {"12ab", 12},
    };
    for (const auto& [width, size] : rows) {
        std::string header = std::string("0002") + width + "0001";
        for (int i = 3; i < kCatalogueFieldCount; ++i) {
            header += "0000";
        }
        // Room after the record for any width misread as larger.
        Parsed p;
        p.Parse(header + "pk" + std::string(size, 'T') + "3" + std::string(10'000, 'x'));
        ASSERT_EQ(p.records.size(), 1u) << width;
        EXPECT_EQ(p.records[0]->m_strPackage, "pk") << width;
        EXPECT_EQ(p.records[0]->m_strTitle, std::string(size, 'T')) << width;
        EXPECT_TRUE(p.records[0]->IsDemo()) << width;
    }
}

TEST(CatalogueParse, OnlyPositiveSixteenBitTypesAreListed) {
    const std::pair<const char*, int16_t> rows[] = {
        {" 7", 7}, {"65539", 3}, {"0", 0}, {"-2", 0}, {"", 0}, {"abc", 0}, {" 0", 0}, {"65536", 0}};
    for (const auto& [type, kept] : rows) {
        Parsed p;
        p.Parse(Record(GameFields("pkg", "T", type)) + Record(GameFields("next", "N")));
        ASSERT_EQ(p.records.size(), kept ? 2u : 1u) << "type " << type;
        EXPECT_EQ(p.records[0]->m_nType, kept ? kept : 1) << "type " << type;
        EXPECT_EQ(p.categories.size(), kept ? 4u : 2u) << "a dropped record names no category";
    }
}

TEST(CatalogueParse, CategoriesSplitAtEveryCommaUntrimmed) {
    EXPECT_EQ(SplitCategories("Action, Racing,"),
              (std::vector<std::string>{"Action", " Racing", ""}));
    EXPECT_EQ(SplitCategories(""), (std::vector<std::string>{""}));

    Fields f = GameFields("pkg", "");
    f[3] = ",A,,B";
    Fields empty = GameFields("next", "Next");
    empty[3].clear();
    Parsed p;
    p.Parse(Record(f) + Record(empty));
    ASSERT_EQ(p.records.size(), 2u);
    EXPECT_EQ(p.records[0]->IconFile(), "art/.jpg") << "an empty title is still a name";
    // An empty list still feeds its one (empty) name.
    EXPECT_EQ(p.categories, (std::vector<std::string>{"", "A", "", "B", ""}));
}

TEST(CatalogueParse, DataThatIsNoRecordEndsTheParse) {
    const std::string good = Record(GameFields("good", "Good"));
    std::string negative;
    for (int i = 0; i < kCatalogueFieldCount; ++i) {
        negative += "  -1";
    }
    // The last field claims one byte more than is left.
    std::string past = Record(GameFields("bad", "Bad"));
    past.replace((kCatalogueFieldCount - 1) * 4, 4, "   5");
    const std::pair<const char*, std::string> rows[] = {
        {"short tail", good + std::string(kCatalogueHeaderSize - 1, '1')},
        {"negative width", good + negative + good},
        {"width past the end", good + past},
        {"huge widths", good + std::string(kCatalogueHeaderSize, '9') + std::string(100, 'x')},
        {"header of zeros", good + std::string(kCatalogueHeaderSize, '0')},
    };
    for (const auto& [name, bytes] : rows) {
        Parsed p;
        p.Parse(bytes);
        ASSERT_EQ(p.records.size(), 1u) << name;
        EXPECT_EQ(p.records[0]->m_strPackage, "good") << name;
        EXPECT_EQ(p.accepted, 1u) << name;
    }
}

TEST(CatalogueMerge, RepeatedPackagesUpdateTheFirstRecordInPlace) {
    Parsed p;
    p.Parse(Record(GameFields("Pkg.A", "A")) + Record(GameFields("b", "B")) +
            Record(GameFields("PKG.A", "Second", "3")));
    ASSERT_EQ(p.records.size(), 2u);
    GameInfo* a = p.records[0].get();
    GameInfo* b = p.records[1].get();
    EXPECT_EQ(a->m_strTitle, "Second");
    EXPECT_EQ(a->m_strPackage, "PKG.A");
    EXPECT_EQ(a->m_nType, 3);
    a->m_pIconImage = std::make_unique<CxImage>();
    a->m_pPartner = b;

    // A later file keeps the records it does not name.
    Fields changed = GameFields("pkg.a", "A2");
    changed[5] = "0";
    p.Parse(Record(GameFields("c", "C")) + Record(changed), "new/");
    ASSERT_EQ(p.records.size(), 3u);
    EXPECT_EQ(p.records[0].get(), a);
    EXPECT_EQ(p.records[1].get(), b);
    EXPECT_EQ(a->m_strTitle, "A2");
    EXPECT_EQ(a->m_strPrice, "0");
    EXPECT_EQ(a->DescFile(), "new/A2.txt");
    EXPECT_NE(a->m_pIconImage, nullptr);
    EXPECT_EQ(a->m_pPartner, b);
    EXPECT_EQ(b->m_strTitle, "B");
    EXPECT_EQ(p.records[2]->m_strPackage, "c");
}

TEST(CatalogueMerge, SingleAddMatchesNonAsciiCaseAndIgnoresNull) {
    const auto game = [](const char* package, const char* title) {
        auto record = std::make_unique<GameInfo>();
        record->m_strPackage = package;
        record->m_strTitle = title;
        return record;
    };
    GameList records;
    EXPECT_EQ(AddOrMergeGame(records, nullptr), nullptr);
    GameInfo* listed = AddOrMergeGame(records, game("ÄPFEL.Spiel", "Old"));
    EXPECT_EQ(AddOrMergeGame(records, game("äpfel.spiel", "New")), listed);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(listed->m_strTitle, "New");

    // The indexed merge agrees with the one-off walk.
    CCatalogueIndex index(records);
    EXPECT_EQ(index.AddOrMerge(game("ÄPFEL.SPIEL", "Newer")), listed);
    EXPECT_EQ(index.AddOrMerge(nullptr), nullptr);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(listed->m_strTitle, "Newer");
}

// A missing or empty file leaves the records alone. The records' texts point
// into the mapped file: a file replaced under them leaves them readable, and
// its mapping goes once no record points into it.
TEST(CatalogueFileRead, AMappingLastsWhileARecordPointsIntoIt) {
    const hvtest::TempDir dir;
    const std::string path = (dir.Path() / "moviedata.txt").string();
    const auto mapped = [&path] {
        std::ifstream maps("/proc/self/maps");
        size_t count = 0;
        for (std::string line; std::getline(maps, line);) {
            count += line.find(path) != std::string::npos ? 1 : 0;
        }
        return count;
    };
    const auto replace = [&path, &dir](const std::string& bytes) {
        const auto next = dir.Path() / "next.txt";
        hvtest::WriteFile(next.string(), bytes);
        std::filesystem::rename(next, path);
    };
    GameList records;
    std::vector<std::string> names;
    const CategorySink sink = [&names](std::string_view n) { names.emplace_back(n); };
    EXPECT_FALSE(ParseCatalogueFile(path, "art/", records, sink));
    replace("");
    EXPECT_FALSE(ParseCatalogueFile(path, "art/", records, sink));
    EXPECT_TRUE(records.empty());

    replace(Record(GameFields("a", "Alpha")) + Record(GameFields("b", "Beta")));
    ASSERT_TRUE(ParseCatalogueFile(path, "/srv/art/", records, sink));
    EXPECT_EQ(records.at(1)->IconFile(), "/srv/art/Beta.jpg");
    EXPECT_EQ(names.size(), 4u);
    replace(Record(GameFields("a", "Alpha 2")));
    ASSERT_TRUE(ParseCatalogueFile(path, "art/", records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->m_strTitle, "Alpha 2");
    EXPECT_EQ(records[1]->m_strTitle, "Beta") << "read from the replaced file's mapping";
    EXPECT_EQ(mapped(), 2u);

    replace(Record(GameFields("b", "Beta 3")));
    ASSERT_TRUE(ParseCatalogueFile(path, "art/", records));
    EXPECT_EQ(mapped(), 2u) << "the first file's last record moved on; the second keeps one";
    EXPECT_EQ(records[0]->m_strTitle, "Alpha 2");
    EXPECT_EQ(records[1]->m_strTitle, "Beta 3");
    records.clear();
    EXPECT_EQ(mapped(), 0u);
}
