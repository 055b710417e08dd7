#pragma once

#include <string>
#include <vector>

namespace hv::service {

// Runs one operator command against the database; returns the process exit code.
int RunAdmin(const std::vector<std::string>& args);

}  // namespace hv::service
