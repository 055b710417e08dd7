#pragma once

#include <string>
#include <vector>

namespace halvory::service {

// Runs one operator command against the database; returns the process exit code.
int runAdmin(const std::vector<std::string>& args);

}  // namespace halvory::service
