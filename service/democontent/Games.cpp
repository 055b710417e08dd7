#include "Games.h"

#include "Art.h"
#include "Content.h"
#include "PageFiles.h"
#include "Tar.h"

#include <QString>

#include <ctime>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace hv::democontent {

namespace fs = std::filesystem;
using service::Game;

namespace {

struct Title {
    const char* name;
    const char* category;  // comma-separated
    const char* rating;
    const char* price;
    const char* developer;
    const char* publisher;
    bool demo;
    const char* blurb;
};

// Every rating the client knows, plus one it does not ("NR - Not Rated").
const Title kTitles[] = {
    {"Starfall Run", "Action,Arcade", "E - Everyone", "9.99", "Lumen Forge", "Northlight Games",
     true, "Dash across collapsing star bridges before the night sky swallows them."},
    {"Ironclad Tactics", "Strategy", "T - Teen", "19.99", "Harbor Logic", "Tidewater Interactive",
     true, "Command a fleet of steam frigates in turn-based battles along a frozen coast."},
    {"Moonlit Garden", "Puzzle,Family", "EC- Early Childhood", "4.99", "Pebble & Fern",
     "Little Lantern", false, "Grow glowing flowers by matching moonbeams. Gentle and calm."},
    {"Neon Drift", "Racing", "E - Everyone", "14.99", "Velocity Nine", "Northlight Games", true,
     "Drift through rain-soaked city streets lit by a thousand signs."},
    {"Crypt of Ash", "Adventure,Action", "M - Mature", "24.99", "Gravemark Studio", "Obsidian Arc",
     false, "Descend into a burned cathedral and find out what woke below it."},
    {"Harbor Tycoon", "Strategy,Simulation", "E - Everyone", "12.99", "Harbor Logic",
     "Tidewater Interactive", false, "Build a port town from one pier to a trading empire."},
    {"Skyline Hoops", "Sports", "E - Everyone", "7.99", "Court Vision", "Fieldhouse Digital", true,
     "Street basketball on rooftops, three on three, first to twenty-one."},
    {"Quiet Orbit", "Puzzle", "E - Everyone", "0", "Pebble & Fern", "Little Lantern", false,
     "A free puzzle about nudging satellites into stable orbits."},
    {"Velvet Heist", "Action,Adventure", "T - Teen", "19.99", "Lockpick Collective", "Obsidian Arc",
     false, "Plan the perfect museum heist, then watch it go wrong."},
    {"Frostbound", "Adventure", "T - Teen", "17.99", "Aurora Works", "Northlight Games", true,
     "Survive a winter in the far north with a sled, six dogs and a map you cannot trust."},
    {"Circuit Kings", "Racing,Sports", "E - Everyone", "11.99", "Velocity Nine",
     "Fieldhouse Digital", false, "Open-wheel racing on twelve night circuits."},
    {"Tiny Builders", "Family,Simulation", "EC- Early Childhood", "3.99", "Little Lantern",
     "Little Lantern", false, "Stack blocks, paint houses and build a town of your own."},
    {"Last Signal", "Action", "M - Mature", "29.99", "Gravemark Studio", "Obsidian Arc", false,
     "A radio operator holds the last outpost while the storm cuts every line."},
    {"Pixel Pirates", "Arcade,Family", "E - Everyone", "5.99", "Bitwise Bay",
     "Tidewater Interactive", false, "Sail, plunder and dodge cannonballs in sixteen colours."},
    {"Deep Current", "Adventure,Puzzle", "E - Everyone", "9.99", "Aurora Works", "Northlight Games",
     false, "Pilot a small submarine through caves lit only by plankton."},
    {"Grid Commander", "Strategy", "T - Teen", "14.99", "Harbor Logic", "Tidewater Interactive",
     false, "Real-time tactics on a glowing wireframe battlefield."},
    {"Nightshift Diner", "Simulation,Family", "E - Everyone", "6.99", "Pebble & Fern",
     "Little Lantern", false, "Run an all-night diner for truckers, ghosts and astronauts."},
    {"Edge of Midnight", "Action,Adventure", "AO - Adults Only", "34.99", "Lockpick Collective",
     "Obsidian Arc", false, "A noir thriller for grown-ups set in a city that never wakes."},
    {"Goal Rush", "Sports", "E - Everyone", "9.99", "Court Vision", "Fieldhouse Digital", false,
     "Five-a-side football, fast and loud."},
    {"Clockwork Maze", "Puzzle", "E - Everyone", "4.99", "Bitwise Bay", "Little Lantern", false,
     ""},
    {"Aurora Racers", "Racing", "RP - Rating Pending", "15.99", "Velocity Nine", "Northlight Games",
     false, "Hover racing under the northern lights. Coming soon."},
    {"Lantern Keep", "Adventure,Family", "E - Everyone", "8.99", "Little Lantern", "Little Lantern",
     false, "Guide a lighthouse keeper's cat through a stormy night."},
    {"Signal Lost", "Strategy,Simulation", "NR - Not Rated", "10.99", "Aurora Works",
     "Tidewater Interactive", false, "Rebuild a satellite network after a solar storm."},
    {"Blade Circuit", "Action,Arcade", "M - Mature", "12.99", "Gravemark Studio", "Obsidian Arc",
     false, "A neon duel arena where every move leaves a trail of light."},
};

const char* kLongStory =
    "\r\n\r\nThe story so far: when the lights went out over the old city, only a few "
    "stations kept broadcasting. You start with almost nothing: a handful of tools, a "
    "battered map and a voice on the radio that claims to know the way. Every chapter "
    "opens new districts, each with its own puzzles, rivals and secrets. Choices you make "
    "early come back later, and the ending depends on who you chose to trust.\r\n\r\n"
    "Features:\r\n- Twelve chapters and a free-roaming epilogue\r\n- Controller, keyboard "
    "and remote control support\r\n- A soundtrack recorded with a live string quartet\r\n"
    "- Save anywhere, resume on any machine\r\n\r\nSystem requirements: any machine that "
    "runs the Halvory client.";

std::string Slug(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        } else if (!out.empty() && out.back() != '-') {
            out.push_back('-');
        }
    }
    return out;
}

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

// The playable part (program and its name file) comes first; the bulk data after it.
long long WritePackage(const fs::path& file, const Options& options, const std::string& package,
                       const std::string& name, unsigned seed) {
    const long long size = options.sizedPackage.empty() || options.sizedPackage == package
                               ? options.packageSize
                               : Options().packageSize;
    service::TarWriter tar(file, std::time(nullptr));
    tar.AddFileFrom("halvory-demo-game", options.gameBinary, 0755);
    tar.AddFile("game.txt", name + "\n");
    long long playable = tar.Offset();
    tar.AddDirectory("data");
    long long filler = size - tar.Offset() - 512 - 1024;
    tar.AddFiller("data/world.pak", std::max(0LL, filler), seed);
    tar.Finish();
    return playable;
}

void WriteUpgrade(const fs::path& dir, const Options& options) {
    fs::create_directories(dir);
    if (!options.upgradePackage.empty()) {
        fs::copy_file(options.upgradePackage, dir / "Install.sfe",
                      fs::copy_options::overwrite_existing);
        return;
    }
    service::TarWriter tar(dir / "Install.sfe", std::time(nullptr));
    tar.AddFile("Installer.exe",
                "#!/bin/sh\n# Demo upgrade: reports its arguments and does nothing else.\n"
                "echo \"Halvory upgrade installer: $*\"\n",
                0755);
    tar.AddFile("Config.ini", "[Upgrade]\nVERSION=1,0,0,2\n");
    tar.Finish();
}

}  // namespace

void Generate(const Options& options) {
    if (!fs::is_regular_file(options.gameBinary)) {
        throw std::runtime_error("demo game program not found: " + options.gameBinary.string());
    }
    fs::create_directories(options.out / "art");
    fs::create_directories(options.out / "packages");
    std::vector<Game> games;
    std::map<std::string, std::string> blurbs;
    unsigned seed = 7;
    for (const auto& t : kTitles) {
        ++seed;
        std::string name = t.name;
        std::string category = t.category;
        Game game;
        game.package = "HV-" + Slug(name);
        game.title = name;
        game.type = 1;
        game.categories = category;
        game.rating = t.rating;
        game.price = t.price;
        game.developer = t.developer;
        game.publisher = t.publisher;
        game.pairKey = t.demo ? Slug(name) : "";
        game.archive = game.package + ".tar";
        game.program = "halvory-demo-game";
        game.playableBytes = WritePackage(options.out / "packages" / game.archive, options,
                                          game.package, name, seed);
        auto firstCategory = QString::fromStdString(category.substr(0, category.find(',')));
        SaveJpeg(DrawIcon(QString::fromStdString(name), firstCategory, seed),
                 options.out / "art" / (name + ".jpg"));
        if (*t.blurb != '\0') {
            std::string text = t.blurb;
            if (seed % 3 == 0) {
                text += kLongStory;
            }
            WriteText(options.out / "art" / (name + ".txt"),
                      text + "\r\n\r\nDeveloper: " + t.developer + "\r\nPublisher: " + t.publisher);
        }
        games.push_back(game);
        blurbs[name] = t.blurb;
        if (t.demo) {
            Game demo = game;
            demo.package = game.package + "-DEMO";
            demo.title = name + " Demo";
            demo.type = 3;
            demo.price = "0";
            demo.archive = demo.package + ".tar";
            demo.playableBytes = WritePackage(options.out / "packages" / demo.archive, options,
                                              demo.package, demo.title, seed + 1000);
            SaveJpeg(DrawIcon(QString::fromStdString(demo.title), QStringLiteral("Free demo"),
                              seed + 1000),
                     options.out / "art" / (demo.title + ".jpg"));
            WriteText(options.out / "art" / (demo.title + ".txt"),
                      "Free demo of " + name + ". " + t.blurb + "\r\nThe first chapter, free.");
            games.push_back(demo);
        }
    }
    fs::create_directories(options.out / "pages");
    for (const auto& [file, html] : SitePages(games, blurbs)) {
        WriteText(options.out / "pages" / file, html);
    }
    WriteUpgrade(options.out / "upgrade", options);
    service::SaveGames(options.out / "catalogue.json", games);
}

}  // namespace hv::democontent
