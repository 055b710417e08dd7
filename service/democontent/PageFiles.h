#pragma once

#include "Content.h"

#include <map>
#include <string>
#include <vector>

namespace hv::democontent {

// The static pages of the demo content, file name to HTML: announcements,
// what's new, terms, troubleshooting tips and the error help page.
// blurbs: a line about each full game, by title.
std::map<std::string, std::string> SitePages(const std::vector<service::Game>& games,
                                             const std::map<std::string, std::string>& blurbs);

}  // namespace hv::democontent
