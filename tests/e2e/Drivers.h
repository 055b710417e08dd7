// The walks of the driven client, each a user on the real client; a walk
// runs while the object its start returns lives. Null: not that walk.
#pragma once

#include <memory>
#include <string>

std::shared_ptr<void> StartPagesWalk(const std::string& scenario);
std::shared_ptr<void> StartBrowseWalk(const std::string& scenario);
std::shared_ptr<void> StartDownloadWalk(const std::string& scenario);
std::shared_ptr<void> StartLoginWalk(const std::string& scenario);
