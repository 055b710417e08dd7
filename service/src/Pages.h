// The service's own pages in the client's look. Everything a page needs is
// inline, so that it shows the same from this service, from any static web
// server and in the client's small page area.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hv::service {

// Text made safe for HTML text and quoted attribute values.
std::string HtmlEscape(std::string_view text);

// A whole page: the title is text, the body HTML.
std::string RenderPage(std::string_view title, std::string_view body);

// The error help page. err is the Err value of its address as it came, or
// nothing for the page without one: then it lists every number.
std::string RenderErrorHelp(const std::optional<std::string>& err);

struct AccountPurchase {
    std::string title;
    std::string price;
    std::time_t bought = 0;
};

struct AccountView {
    std::string user;
    bool subscribed = false;
    bool billingAllowed = false;
    std::vector<AccountPurchase> purchases;
};

std::string RenderAccountPage(const AccountView& account);
// What a used, expired or unknown account link shows.
std::string RenderExpiredLinkPage();

}  // namespace hv::service
