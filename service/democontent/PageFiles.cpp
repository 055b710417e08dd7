#include "PageFiles.h"

#include "Pages.h"

namespace hv::democontent {

namespace {

using service::Game;
using service::HtmlEscape;
using service::RenderPage;

std::string Blurb(const std::map<std::string, std::string>& blurbs, const std::string& title) {
    auto it = blurbs.find(title);
    return it == blurbs.end() || it->second.empty() ? std::string() : ": " + HtmlEscape(it->second);
}

// Items of the full games that pass the test, with their line and price.
template <typename Test>
std::string GameList(const std::vector<Game>& games,
                     const std::map<std::string, std::string>& blurbs, Test test) {
    std::string items;
    for (const auto& g : games) {
        if (!g.IsDemo() && test(g)) {
            items += "<li><strong>" + HtmlEscape(g.title) + "</strong>" + Blurb(blurbs, g.title) +
                     (g.IsFree() ? " Free to play." : " Full game $" + HtmlEscape(g.price) + ".") +
                     "</li>\n";
        }
    }
    return "<ul>\n" + items + "</ul>\n";
}

bool HasDemo(const std::vector<Game>& games, const Game& game) {
    for (const auto& g : games) {
        if (g.IsDemo() && !game.pairKey.empty() && g.pairKey == game.pairKey) {
            return true;
        }
    }
    return false;
}

std::string Announcements(const std::vector<Game>& games,
                          const std::map<std::string, std::string>& blurbs) {
    std::size_t full = 0;
    std::size_t demos = 0;
    for (const auto& g : games) {
        (g.IsDemo() ? demos : full) += 1;
    }
    return RenderPage(
        "Halvory Announcements",
        "<div class=\"card\"><h2>Welcome back</h2><p>The catalogue holds " + std::to_string(full) +
            " games, and " + std::to_string(demos) +
            " of them have a free demo. Demos need no purchase, and games that stream start "
            "playing before their download has finished.</p></div>\n"
            "<h2>Free demos to try tonight</h2>\n" +
            GameList(games, blurbs, [&games](const Game& g) { return HasDemo(games, g); }) +
            "<h2>Free to keep</h2>\n" +
            GameList(games, blurbs,
                     [&games](const Game& g) { return g.IsFree() && !HasDemo(games, g); }) +
            "<h2>Coming soon</h2>\n" +
            GameList(games, blurbs, [](const Game& g) { return g.rating.rfind("RP", 0) == 0; }) +
            "<h2>Service notes</h2>\n<p>Maintenance every Sunday from 02:00 to 03:00 UTC. "
            "Installed games keep playing; a download that stops then resumes when you choose "
            "the game again.</p>\n<p class=\"muted\">Choose Continue Halvory to go to the home "
            "screen.</p>\n");
}

std::string WhatsNew(const std::vector<Game>& games) {
    std::string demos;
    for (const auto& g : games) {
        if (g.IsDemo()) {
            demos += (demos.empty() ? "" : ", ") + HtmlEscape(g.title);
        }
    }
    return RenderPage(
        "Latest Halvory Updates",
        "<h2>Player 1.0.0.1 for Linux</h2>\n<ul>\n"
        "<li><strong>Play while it downloads.</strong> Games that stream show "
        "&ldquo;Start playing in:&rdquo; and start before the transfer has ended.</li>\n"
        "<li><strong>Downloads resume.</strong> A transfer that stops goes on where it stopped, "
        "and every game is checked byte for byte before it counts as installed.</li>\n"
        "<li><strong>Catalogue updates while you play.</strong> New games reach the menus "
        "without logging out.</li>\n"
        "<li><strong>A safer account page.</strong> Edit Profile opens it through a link that "
        "works once and expires after a minute.</li>\n"
        "<li><strong>Help for every error.</strong> The link in an error message opens notes on "
        "its number.</li>\n</ul>\n<h2>In the catalogue</h2>\n<p>Free demos: " +
            demos + ".</p>\n");
}

constexpr const char* kTerms = R"(<h2>The service</h2>
<p>Halvory rents and streams PC games to subscribers. With an active subscription you may
download, install and play the games in the catalogue on computers you use yourself.</p>
<h2>Your account</h2>
<p>Keep your password to yourself; you are responsible for what is done with your account.
We may suspend an account that is shared, misused or used to attack the service. A suspended
account is logged out at once and told so.</p>
<h2>Subscription, purchases and demos</h2>
<p>Buying a game charges your account the price shown in the confirmation before you agree
to it. Demos and free games cost nothing and need no purchase. Games you buy stay available
to you while your account is active. This demonstration service records purchases but takes
no payment.</p>
<h2>Using the games</h2>
<p>Games are for your personal, non-commercial use. Do not copy, sell or pass on the game
packages, and do not try to get around the checks the player makes.</p>
<h2>Availability</h2>
<p>We may take the service down for maintenance, change the catalogue or stop offering a
game. The Announcements page tells you in advance where we can.</p>
<h2>Privacy: what the service keeps</h2>
<ul>
<li>Your user name and the state of your subscription.</li>
<li>Your password only as a salted one-way hash; nobody can read it back, not even us.</li>
<li>Your sessions: when they began, the player version, and why they ended.</li>
<li>Your purchases and their dates.</li>
</ul>
<p>We keep no payment card details, set no cookies, and these pages load nothing from other
sites and run no scripts.</p>
<h2>Privacy: what stays on your computer</h2>
<p>The player keeps its settings (<code>Halvory.ini</code>), the catalogue
(<code>moviedata.txt</code>) and the list of installed games in its own folder, and a log
in <code>~/.local/state/halvory/</code>. The log never holds your password or your session.
It leaves your computer only if you send it to us.</p>
<h2>Changes and contact</h2>
<p>When these terms change we say so on the Announcements page; using the service after that
means you accept them. To close your account or ask what we keep about you, contact Customer
Service.</p>
)";

constexpr const char* kTroubleshooting = R"(<h2>I cannot log in</h2>
<p>User names and passwords are case sensitive: check Caps Lock. Every login error ends with
a number in brackets; the link in the message opens notes on it.</p>
<h2>The player cannot reach the service</h2>
<ul>
<li>Check that your computer is online.</li>
<li>The service address is the <code>ENGINE_URL</code> line of <code>Halvory.ini</code>
in the player's folder. Test it in a terminal:
<code>curl "ADDRESS/discover?mce=1"</code> should print a line starting with
<code>#&lt;RV&gt;</code>.</li>
<li>A firewall or proxy must let the player make HTTP connections to that address.</li>
<li>&ldquo;Connection lost (119)&rdquo; means the service stopped answering during your
session. Log in again; downloads resume where they stopped.</li>
</ul>
<h2>Choosing a storage folder</h2>
<p>Before the first download of a game the player asks where to store it. Pick a folder
that exists and that you can write to, for example <code>~/Games</code>
(<code>mkdir -p ~/Games</code> creates it). The game goes into its own folder inside it.
Avoid folders on drives mounted with <code>noexec</code> (<code>findmnt -o TARGET,OPTIONS</code>
shows them): games cannot start from there.</p>
<h2>Not enough disk space</h2>
<p>A game needs room for its whole package. Check the free space with
<code>df -h ~/Games</code>. When the disk fills up the player says so and keeps what it has
downloaded: free some space and choose the game again to go on.</p>
<h2>A download stops or is slow</h2>
<p>Choose the game again: the transfer resumes. Only one game downloads or runs at a time
(error 120). Heavy use of the same connection slows the download down.</p>
<h2>A game does not start</h2>
<p>Delete the game from its detail screen and install it again. If it still fails, check
that its folder is on a disk where programs may run (see above).</p>
<h2>Reporting a problem</h2>
<p>Send Customer Service the error number and the log
<code>~/.local/state/halvory/halvory.log</code> (or under <code>$XDG_STATE_HOME</code>).
The log holds no password and no session.</p>
)";

}  // namespace

std::map<std::string, std::string> SitePages(const std::vector<Game>& games,
                                             const std::map<std::string, std::string>& blurbs) {
    return {
        {"announcements.htm", Announcements(games, blurbs)},
        {"whatsnew.htm", WhatsNew(games)},
        {"terms.htm", RenderPage("Terms of Use and Privacy", kTerms)},
        {"troubleshootingtips.htm", RenderPage("Halvory Troubleshooting Tips", kTroubleshooting)},
        // A plain web server serves this one as it is; the service explains the number asked about.
        {"errorinfo.htm", service::RenderErrorHelp(std::nullopt)},
    };
}

}  // namespace hv::democontent
