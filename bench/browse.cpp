// Browsing a catalogue of 100,000 titles through the real games screen: "All"
// and one category chosen (list built, screen painted), and a page turned
// (selection moved, grid painted). Against a repaint of the same screen with
// nothing changed, measured in the same run.

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CatalogueRecord.h"
#include "FakeFrame.h"
#include "Median.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueFile.h"
#include "image/CxImage.h"
#include "res/Resources.h"
#include "screens/GamesView.h"
#include "skin/SkinSet.h"
#include "ui/Application.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kRecords = 100'000;
constexpr int kRuns = 9;
constexpr int kPageTurns = 41;

// Games with a demo beside every seventh, forty categories, one of them
// contained in another's name.
std::string CatalogueOf(size_t records) {
    std::string bytes;
    for (size_t n = 0; n < records; ++n) {
        testcat::Fields fields;
        fields[0] = "com.halvory.game" + std::to_string(n);
        fields[1] = "Game Number " + std::to_string(n);
        fields[2] = n % 7 == 1 ? "3" : "1";
        fields[3] = "Category " + std::to_string(n % 40) + ",Action";
        fields[4] = "T - Teen";
        fields[5] = std::to_string(n % 50) + ".99";
        fields[9] = "Developer " + std::to_string(n % 300);
        fields[10] = "Publisher " + std::to_string(n % 90);
        fields[20] = "PAIR" + std::to_string(n % 7 == 1 ? n - 1 : n);
        bytes += testcat::Record(fields);
    }
    return bytes;
}

double Milliseconds(Clock::duration elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

template <typename Step>
double Time(Step&& step) {
    const auto start = Clock::now();
    step();
    return Milliseconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    CWinApp application(argc, argv);
    CxImage::SetResourceLoader(&hv::LoadResourceData);
    CSkinSet skin;
    skin.CreateSharedFonts();
    skin.LoadSkinImages();
    SetSkin(&skin);
    FakeFrame frame;
    CGamesView view;
    view.Create(&frame, 1);
    view.ShowWindow(SW_SHOW);
    view.MoveWindow(0, 0, 800, 600);
    QApplication::processEvents();
    view.ArrangeControls(TRUE);

    const std::string bytes = CatalogueOf(kRecords);
    ParseCatalogueBytes(bytes.data(), bytes.size(), "art/", g_arrGameInfo,
                        [&view](std::string_view name) { view.AddCategory(name); });
    QWidget* widget = view.GetWidget();
    const auto paint = [widget] { widget->repaint(); };

    std::vector<double> all;
    std::vector<double> category;
    std::vector<double> repaint;
    for (int run = 0; run < kRuns; ++run) {
        all.push_back(Time([&] {
            view.RefreshGames();
            paint();
        }));
        category.push_back(Time([&] {
            view.SelectCategory(2);
            paint();
        }));
        repaint.push_back(Time(paint));
    }
    view.RefreshGames();
    const int tiles = view.Games().GetGameCount();
    view.Games().SetFocus();
    std::vector<double> turns;
    for (int turn = 0; turn < kPageTurns; ++turn) {
        turns.push_back(Time([&] {
            view.SendMessage(WM_KEYDOWN, turn < kPageTurns / 2 ? VK_NEXT : VK_PRIOR, 1);
            paint();
        }));
    }
    view.RemoveAllGames();
    g_arrGameInfo.clear();
    if (tiles <= 0) {
        std::fprintf(stderr, "nothing listed\n");
        return 1;
    }
    std::printf("tiles_listed_all: %d\n", tiles);
    std::printf("select_all_100k_ms: %.1f ms\n", bench::median(all));
    std::printf("select_category_100k_ms: %.1f ms\n", bench::median(category));
    std::printf("page_turn_ms: %.2f ms\n", bench::median(turns));
    std::printf("repaint_unchanged_ms: %.2f ms\n", bench::median(repaint));
    return 0;
}
