#include "Pages.h"

#include <charconv>

namespace hv::service {

namespace {

// The client's colours: night-blue ground, near-white text, cyan accent. No
// web fonts and no scripts: the pages must also show offline and in a small
// page area (about 560 x 420 beside the home screen's menu).
constexpr const char* kStyle = R"(html { background: #0A1424; }
body { margin: 0; min-height: 100vh; color: #EEEEEE;
  background: linear-gradient(#16284A, #0A1424) fixed;
  font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif;
  font-size: 15px; line-height: 1.45; }
main { max-width: 720px; margin: 0 auto; padding: 20px 24px 28px; }
h1 { color: #3FC1FF; font-size: 24px; font-weight: normal; margin: 0 0 14px;
  padding-bottom: 8px; border-bottom: 2px solid #3FC1FF; }
h2 { color: #3FC1FF; font-size: 17px; margin: 18px 0 6px; }
a { color: #3FC1FF; }
p, li { margin: 6px 0; }
ul { padding-left: 22px; }
strong { color: #FFFFFF; }
.card { background: #0A1424; border: 1px solid #2A4170; border-radius: 6px;
  padding: 10px 14px; margin: 12px 0; }
.card h2 { margin-top: 4px; }
.muted { color: #A9B8CF; font-size: 13px; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; vertical-align: top; padding: 5px 8px;
  border-bottom: 1px solid #2A4170; }
th { color: #A9B8CF; font-weight: normal; }
code { color: #3FC1FF; font-family: "DejaVu Sans Mono", monospace; font-size: 14px; }
@media (max-width: 600px) {
  body { font-size: 14px; }
  main { padding: 12px 14px 18px; }
  h1 { font-size: 20px; }
}
)";

// The numbers the client shows at the end of its messages and hands to this
// page as Err: login failures, forced logouts and download failures.
struct ErrorNote {
    long number;
    const char* title;
    const char* meaning;
    const char* advice;
};

constexpr const char* kRetry =
    "Wait a minute and try again. If it keeps happening, contact "
    "Customer Service and give them the error number.";
constexpr const char* kCallUs = "Contact Customer Service and give them the error number.";

const ErrorNote kErrorNotes[] = {
    {1, "A download did not start",
     "The game could not be downloaded or bought: the service no longer offers the package, the "
     "disk has no room for it, it is already complete, or billing declined the purchase. The "
     "message itself says which.",
     "Free some disk space and choose the game again; a declined purchase needs Customer "
     "Service."},
    {101, "User does not exist", "The service knows no account with this user name.",
     "Check the spelling of your user name. Names are case sensitive."},
    {102, "Access denied", "The password does not match the user name.",
     "Type the password again, watching Caps Lock: passwords are case sensitive."},
    {103, "Internal error while authenticating", "The service failed while checking your login.",
     kCallUs},
    {104, "Internal communication error", "The service did not finish the login.", kRetry},
    {105, "Internal communication error", "The service did not finish the login.", kRetry},
    {106, "Internal error while authenticating", "The service failed while checking your login.",
     kCallUs},
    {107, "Account suspended", "This account is suspended and cannot log in.", kCallUs},
    {108, "Network communication error", "The login was cut off on its way to the service.",
     "Check your network connection, then log in again."},
    {109, "Client communication error", "The player could not read the service's answer.", kRetry},
    {110, "Could not enable the player", "The service did not accept the login details.",
     "Check your user name and password; both are case sensitive."},
    {111, "Could not enable the player", "The service knows no account with this user name.",
     "Check the spelling of your user name."},
    {112, "Connection error", "The player lost the service while enabling itself.", kCallUs},
    {113, "Error while restarting the player", "The player could not restart itself.", kCallUs},
    {116, "No valid subscription", "This account has no active subscription.",
     "Renew your subscription, or log in with an account that has one."},
    {117, "Player version no longer supported",
     "The service requires a newer version of the player.",
     "Close the player and start it again: it offers the upgrade when it starts."},
    {118, "Cannot reach the streaming servers", "The player got no answer from the service.",
     "Check your network connection and the service address (see the troubleshooting tips), "
     "then try again."},
    {119, "Connection lost",
     "The player lost contact with the service during your session and logged you out.",
     "Check your network connection and log in again. Downloads resume where they stopped."},
    {120, "One game at a time", "A game is already downloading or running.",
     "Wait until it has finished, or cancel it, then choose the other game."},
    {121, "Package not available", "The service does not offer this game's package right now.",
     "Try again later; the game may be updated or on its way out of the catalogue."},
    {123, "Internal error while authenticating", "The login failed for an unexpected reason.",
     kCallUs},
    {124, "Internal communication error", "The service did not finish the login.", kCallUs},
    {125, "Account suspended", "This account was suspended during your session.", kCallUs},
    {126, "Password changed",
     "The password of this account was changed during your session, so it ended.",
     "Log in again with the new password."},
    {127, "Player version changed",
     "The service now requires a newer player, so your session ended.",
     "Start the player again to receive the upgrade."},
    {129, "Internal communication error", "The service did not finish setting up the download.",
     kRetry},
};

// The whole text must be a decimal number, sign allowed; nothing else counts.
std::optional<long> ParseNumber(const std::string& text) {
    long number = 0;
    const char* end = text.data() + text.size();
    auto [last, ec] = std::from_chars(text.data(), end, number);
    if (text.empty() || ec != std::errc() || last != end) {
        return std::nullopt;
    }
    return number;
}

std::string ErrorTable() {
    std::string rows;
    for (const auto& note : kErrorNotes) {
        rows += "<tr><td>" + std::to_string(note.number) + "</td><td>" + HtmlEscape(note.title) +
                "</td><td>" + HtmlEscape(note.advice) + "</td></tr>\n";
    }
    return "<h2>Every error number</h2>\n<table><tr><th>Number</th><th>Error</th><th>What to "
           "do</th></tr>\n" +
           rows + "</table>\n";
}

// What the Err value names: a known number, an unknown one, or no number at all.
std::string ErrorCard(const std::string& err) {
    constexpr std::size_t kShownBytes = 40;
    const auto number = ParseNumber(err);
    if (!number) {
        return "<div class=\"card\"><h2>Unknown error reference</h2><p>The address names &ldquo;" +
               HtmlEscape(err.substr(0, kShownBytes)) +
               "&rdquo;, which is not an error number. The number is the one in brackets at the "
               "end of the message.</p></div>\n";
    }
    for (const auto& note : kErrorNotes) {
        if (note.number == *number) {
            return "<div class=\"card\"><h2>Error " + std::to_string(note.number) + ": " +
                   HtmlEscape(note.title) + "</h2><p>" + HtmlEscape(note.meaning) +
                   "</p><p><strong>What to do:</strong> " + HtmlEscape(note.advice) +
                   "</p></div>\n";
        }
    }
    return "<div class=\"card\"><h2>Error " + std::to_string(*number) +
           "</h2><p>There are no notes on this number yet. " + kCallUs + "</p></div>\n";
}

std::string Date(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[16] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c; break;
        }
    }
    return out;
}

std::string RenderPage(std::string_view title, std::string_view body) {
    const std::string text = HtmlEscape(title);
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           text + "</title>\n<style>\n" + kStyle + "</style></head>\n<body><main>\n<h1>" + text +
           "</h1>\n" + std::string(body) + "</main></body></html>\n";
}

std::string RenderErrorHelp(const std::optional<std::string>& err) {
    std::string body = err ? ErrorCard(*err) : std::string();
    body +=
        "<p>Each Halvory error message ends with a number in brackets, such as (102). Find it "
        "below. If the advice does not help, see the troubleshooting tips or contact Customer "
        "Service with the number.</p>\n";
    return RenderPage("Halvory Error Help", body + ErrorTable());
}

std::string RenderAccountPage(const AccountView& account) {
    std::string body =
        "<div class=\"card\"><table>\n<tr><th>User name</th><td>" + HtmlEscape(account.user) +
        "</td></tr>\n<tr><th>Subscription</th><td>" +
        (account.subscribed ? "Active, renewed every month" : "Ended: renew it to keep playing") +
        "</td></tr>\n<tr><th>Purchases</th><td>" +
        (account.billingAllowed ? "Allowed" : "Blocked: contact Customer Service") +
        "</td></tr>\n</table></div>\n<h2>Purchased games</h2>\n";
    if (account.purchases.empty()) {
        body += "<p>No purchases yet. Demos and free games need none.</p>\n";
    } else {
        body += "<table><tr><th>Game</th><th>Price</th><th>Bought</th></tr>\n";
        for (const auto& p : account.purchases) {
            const std::string price = p.price.empty() ? "" : "$" + HtmlEscape(p.price);
            body += "<tr><td>" + HtmlEscape(p.title) + "</td><td>" + price + "</td><td>" +
                    Date(p.bought) + "</td></tr>\n";
        }
        body += "</table>\n";
    }
    body +=
        "<p class=\"muted\">This page opened through a link that works once. To see it again, "
        "choose Edit Profile on the home screen. To change your password or end your "
        "subscription, contact Customer Service.</p>\n";
    return RenderPage("Your Halvory Account", body);
}

std::string RenderExpiredLinkPage() {
    return RenderPage(
        "This link has expired",
        "<p>Account links work once, and only for a minute after they were made.</p>\n"
        "<p>Go back and choose <strong>Edit Profile</strong> on the home screen to open your "
        "account again.</p>\n");
}

}  // namespace hv::service
