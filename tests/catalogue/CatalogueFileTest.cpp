#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CatalogueRecord.h"
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
    f[6] = "skip";
    f[7] = "unused text";
    f[9] = "Dev Studio";
    f[10] = "Pub House";
    f[11] = "123";
    f[13] = "9876543210";
    f[18] = "42";
    f[20] = "PAIR1  \t\r\n";
    f[22] = "tail";
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
                                [this](const std::string& name) { categories.push_back(name); });
    }
};

}  // namespace

TEST(CatalogueParse, FillsEveryKeptMemberAndDerivesArtPaths) {
    Parsed p;
    p.Parse(Record(GameFields("pkg.one", "Star Rally")));
    ASSERT_EQ(p.records.size(), 1u);
    const GameInfo& g = *p.records[0];
    EXPECT_EQ(g.m_strPackage, "pkg.one");
    EXPECT_EQ(g.m_strTitle, "Star Rally");
    EXPECT_EQ(g.m_nType, 1);
    EXPECT_FALSE(g.IsDemo());
    EXPECT_EQ(g.m_strCategories, "Action,Puzzle");
    EXPECT_EQ(g.m_strRating, "T - Teen");
    EXPECT_EQ(g.m_strPrice, "4.99");
    EXPECT_EQ(g.m_strDeveloper, "Dev Studio");
    EXPECT_EQ(g.m_strPublisher, "Pub House");
    EXPECT_EQ(g.m_strPairKey, "PAIR1");
    EXPECT_EQ(g.m_strIconFile, "art/Star Rally.jpg");
    EXPECT_EQ(g.m_strDescFile, "art/Star Rally.txt");
    EXPECT_EQ(g.m_pIconImage, nullptr);
    EXPECT_EQ(g.m_pPartner, nullptr);
    EXPECT_EQ(p.categories, (std::vector<std::string>{"Action", "Puzzle"}));
}

TEST(CatalogueParse, TitlesFromTheFileNeverNameAFileOutsideTheArtFolder) {
    Parsed p;
    p.Parse(Record(GameFields("a", "../../etc/cron.d/x")) + Record(GameFields("b", "50% off/now")) +
            Record(GameFields("c", "50%25 off%2Fnow")) + Record(GameFields("d", "..")));
    ASSERT_EQ(p.records.size(), 4u);
    EXPECT_EQ(p.records[0]->m_strTitle, "../../etc/cron.d/x");
    EXPECT_EQ(p.records[0]->m_strIconFile, "art/..%2F..%2Fetc%2Fcron.d%2Fx.jpg");
    EXPECT_EQ(p.records[1]->m_strDescFile, "art/50%25 off%2Fnow.txt");
    // Escaping '%' keeps distinct titles on distinct files.
    EXPECT_EQ(p.records[2]->m_strDescFile, "art/50%2525 off%252Fnow.txt");
    EXPECT_EQ(p.records[3]->m_strIconFile, "art/...jpg");
}

TEST(CatalogueParse, WidthsReadLikeAtoi) {
    // Leading blanks, a sign and trailing non-digits are all allowed.
    const std::string fields[] = {"  +2", "3xyz", "0001"};
    std::string header = fields[0] + fields[1] + fields[2];
    for (int i = 3; i < kCatalogueFieldCount; ++i) {
        header += "0000";
    }
    Parsed p;
    p.Parse(header + "pkTit3");
    ASSERT_EQ(p.records.size(), 1u);
    EXPECT_EQ(p.records[0]->m_strPackage, "pk");
    EXPECT_EQ(p.records[0]->m_strTitle, "Tit");
    EXPECT_TRUE(p.records[0]->IsDemo());
}

TEST(CatalogueParse, TypeIsKeptAsSixteenBits) {
    Parsed p;
    p.Parse(Record(GameFields("a", "A", "65539")) + Record(GameFields("b", "B", "65536")));
    ASSERT_EQ(p.records.size(), 1u);
    EXPECT_EQ(p.records[0]->m_nType, 3);
}

TEST(CatalogueParse, RecordsWithoutPositiveTypeAreDroppedWithTheirCategories) {
    Parsed p;
    std::string bytes;
    for (const char* type : {"0", "-2", "", "abc", " 0"}) {
        bytes += Record(GameFields(std::string("pkg") + type, "T", type));
    }
    bytes += Record(GameFields("kept", "Kept", " 7"));
    p.Parse(bytes);
    ASSERT_EQ(p.records.size(), 1u);
    EXPECT_EQ(p.records[0]->m_strPackage, "kept");
    EXPECT_EQ(p.records[0]->m_nType, 7);
    EXPECT_EQ(p.accepted, 1u);
    EXPECT_EQ(p.categories.size(), 2u);
}

TEST(CatalogueParse, ZeroWidthGivesEmptyFieldAndConsumesNothing) {
    Fields f = GameFields("pkg", "");
    f[3].clear();
    Parsed p;
    p.Parse(Record(f) + Record(GameFields("next", "Next")));
    ASSERT_EQ(p.records.size(), 2u);
    EXPECT_EQ(p.records[0]->m_strTitle, "");
    EXPECT_EQ(p.records[0]->m_strIconFile, "art/.jpg");
    EXPECT_EQ(p.records[1]->m_strPackage, "next");
    // An empty list still feeds its one (empty) name.
    EXPECT_EQ(p.categories, (std::vector<std::string>{"", "Action", "Puzzle"}));
}

TEST(CatalogueParse, CategoriesSplitAtEveryCommaUntrimmed) {
    EXPECT_EQ(SplitCategories("Action,,Puzzle"),
              (std::vector<std::string>{"Action", "", "Puzzle"}));
    EXPECT_EQ(SplitCategories("Action, Racing,"),
              (std::vector<std::string>{"Action", " Racing", ""}));
    EXPECT_EQ(SplitCategories(""), (std::vector<std::string>{""}));

    Fields f = GameFields("pkg", "T");
    f[3] = ",A,,B";
    Parsed p;
    p.Parse(Record(f));
    EXPECT_EQ(p.categories, (std::vector<std::string>{"", "A", "", "B"}));
}

TEST(CatalogueParse, NulCutsTheFieldButNotTheLayout) {
    Fields f = GameFields("pkg", std::string("Title\0junk", 10));
    f[4] = std::string("M - Mature\0\0\0", 13);
    Parsed p;
    p.Parse(Record(f));
    ASSERT_EQ(p.records.size(), 1u);
    EXPECT_EQ(p.records[0]->m_strTitle, "Title");
    EXPECT_EQ(p.records[0]->m_nType, 1);
    EXPECT_EQ(p.records[0]->m_strRating, "M - Mature");
    EXPECT_EQ(p.records[0]->m_strPrice, "4.99");
    EXPECT_EQ(p.records[0]->m_strIconFile, "art/Title.jpg");
}

TEST(CatalogueParse, TailShorterThanAHeaderIsIgnored) {
    const std::string one = Record(GameFields("pkg", "T"));
    Parsed p;
    p.Parse(one + std::string(kCatalogueHeaderSize - 1, '1'));
    EXPECT_EQ(p.records.size(), 1u);

    Parsed tooShort;
    tooShort.Parse(std::string(kCatalogueHeaderSize - 1, '0'));
    EXPECT_TRUE(tooShort.records.empty());

    // A full header of zeros is a record, with an empty type: dropped.
    Parsed zeros;
    zeros.Parse(std::string(kCatalogueHeaderSize, '0'));
    EXPECT_TRUE(zeros.records.empty());
    EXPECT_TRUE(zeros.categories.empty());
}

TEST(CatalogueParse, MalformedWidthsEndTheDataWithoutOverreading) {
    const std::string good = Record(GameFields("good", "Good"));

    std::string negative = Record(GameFields("bad", "Bad"));
    negative.replace(4, 4, "  -1");
    Parsed p1;
    p1.Parse(good + negative + good);
    ASSERT_EQ(p1.records.size(), 1u);
    EXPECT_EQ(p1.records[0]->m_strPackage, "good");

    // The last field claims one byte more than is left.
    std::string past = Record(GameFields("bad", "Bad"));
    past.replace((kCatalogueFieldCount - 1) * 4, 4, "   5");
    Parsed p2;
    p2.Parse(good + past);
    ASSERT_EQ(p2.records.size(), 1u);
    EXPECT_EQ(p2.records[0]->m_strPackage, "good");

    Parsed p3;
    p3.Parse(std::string(kCatalogueHeaderSize, '9') + std::string(100, 'x'));
    EXPECT_TRUE(p3.records.empty());
}

TEST(CatalogueMerge, PackagesDifferingInCaseMergeAtTheFirstIndex) {
    Parsed p;
    p.Parse(Record(GameFields("Pkg.One", "First")) + Record(GameFields("other", "Other")) +
            Record(GameFields("PKG.ONE", "Second", "3")));
    ASSERT_EQ(p.records.size(), 2u);
    EXPECT_EQ(p.records[0]->m_strTitle, "Second");
    EXPECT_EQ(p.records[0]->m_strPackage, "PKG.ONE");
    EXPECT_EQ(p.records[0]->m_nType, 3);
    EXPECT_EQ(p.records[0]->m_strIconFile, "art/Second.jpg");
    EXPECT_EQ(p.records[1]->m_strTitle, "Other");
}

TEST(CatalogueMerge, LaterFilesUpdateInPlaceAndKeepMissingRecords) {
    Parsed p;
    p.Parse(Record(GameFields("a", "A")) + Record(GameFields("b", "B")));
    ASSERT_EQ(p.records.size(), 2u);
    GameInfo* a = p.records[0].get();
    GameInfo* b = p.records[1].get();
    a->m_pIconImage = std::make_unique<CxImage>();
    a->m_pPartner = b;

    Fields changed = GameFields("A", "A2");
    changed[5] = "0";
    p.Parse(Record(GameFields("c", "C")) + Record(changed), "new/");
    ASSERT_EQ(p.records.size(), 3u);
    EXPECT_EQ(p.records[0].get(), a);
    EXPECT_EQ(p.records[1].get(), b);
    EXPECT_EQ(a->m_strTitle, "A2");
    EXPECT_EQ(a->m_strPrice, "0");
    EXPECT_EQ(a->m_strDescFile, "new/A2.txt");
    EXPECT_NE(a->m_pIconImage, nullptr);
    EXPECT_EQ(a->m_pPartner, b);
    EXPECT_EQ(b->m_strTitle, "B");
    EXPECT_EQ(p.records[2]->m_strPackage, "c");
}

TEST(CatalogueMerge, SingleAddMatchesNonAsciiCaseAndIgnoresNull) {
    GameList records;
    EXPECT_EQ(AddOrMergeGame(records, nullptr), nullptr);
    EXPECT_TRUE(records.empty());

    auto first = std::make_unique<GameInfo>();
    first->m_strPackage = "ÄPFEL.Spiel";
    first->m_strTitle = "Old";
    GameInfo* listed = AddOrMergeGame(records, std::move(first));
    auto second = std::make_unique<GameInfo>();
    second->m_strPackage = "äpfel.spiel";
    second->m_strTitle = "New";
    EXPECT_EQ(AddOrMergeGame(records, std::move(second)), listed);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->m_strTitle, "New");

    // The indexed merge agrees with the one-off walk.
    CCatalogueIndex index(records);
    auto third = std::make_unique<GameInfo>();
    third->m_strPackage = "ÄPFEL.SPIEL";
    third->m_strTitle = "Newer";
    EXPECT_EQ(index.AddOrMerge(std::move(third)), listed);
    EXPECT_EQ(index.AddOrMerge(nullptr), nullptr);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(listed->m_strTitle, "Newer");
}

TEST(CatalogueFileRead, MissingOrEmptyFileLeavesRecordsAlone) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("catalogue_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "moviedata.txt").string();

    GameList records;
    std::vector<std::string> names;
    const CategorySink sink = [&names](const std::string& n) { names.push_back(n); };
    EXPECT_FALSE(ParseCatalogueFile(path, "art/", records, sink));
    std::ofstream(path, std::ios::binary).close();
    EXPECT_FALSE(ParseCatalogueFile(path, "art/", records, sink));
    EXPECT_TRUE(records.empty());

    std::ofstream(path, std::ios::binary) << Record(GameFields("pkg", "Game"));
    EXPECT_TRUE(ParseCatalogueFile(path, "/srv/art/", records, sink));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->m_strIconFile, "/srv/art/Game.jpg");
    EXPECT_EQ(names.size(), 2u);
    std::filesystem::remove_all(dir);
}

TEST(CataloguePartner, LinksFirstLaterUnpairedRecordWithMatchingKey) {
    GameList records;
    for (const char* key : {"k1", "other", "K1", "k1", "k1"}) {
        auto g = std::make_unique<GameInfo>();
        g->m_strPairKey = key;
        records.push_back(std::move(g));
    }
    CPartnerIndex partners(records);
    EXPECT_EQ(partners.LinkPartner(0), records[2].get());
    EXPECT_EQ(records[0]->m_pPartner, records[2].get());
    EXPECT_EQ(records[2]->m_pPartner, records[0].get());
    EXPECT_EQ(partners.LinkPartner(1), nullptr);
    EXPECT_EQ(records[1]->m_pPartner, nullptr);
    EXPECT_EQ(partners.LinkPartner(3), records[4].get());
    // Only later records without a partner count.
    EXPECT_EQ(partners.LinkPartner(2), nullptr);
    EXPECT_EQ(partners.LinkPartner(4), nullptr);
    EXPECT_EQ(records[2]->m_pPartner, records[0].get());
    EXPECT_EQ(partners.LinkPartner(99), nullptr);
}
