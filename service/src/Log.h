#pragma once

#include <string>

namespace hv::service {

// One line on the service's log (standard error), whole even when threads write at once.
void LogLine(const std::string& text);

}  // namespace hv::service
