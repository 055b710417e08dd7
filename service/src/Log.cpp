#include "Log.h"

#include <cstdio>

namespace hv::service {

void LogLine(const std::string& text) {
    const std::string line = "halvory-service: " + text + "\n";
    // One call: stdio locks the stream for it.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace hv::service
