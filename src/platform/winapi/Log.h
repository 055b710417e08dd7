// One log for the process. It lives in libhvplatform, which the client and
// the engine library share, so their lines land in one file in one order.
#pragma once

#include "winapi/winapi.h"

#ifdef __cplusplus
#include <cstdarg>
#include <cstdio>
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum { HV_LOG_INFO = 0, HV_LOG_WARNING = 1, HV_LOG_ERROR = 2 };

// Appends one line: UTC time with milliseconds, level, thread id, text (line
// breaks escaped). The file is $HALVORY_LOG_FILE, else
// $XDG_STATE_HOME/halvory/halvory.log (~/.local/state by default); past
// 1 MiB it becomes halvory.log.1. HALVORY_LOG_STDERR=1 copies each line to
// stderr. Thread-safe; a line that cannot be written is dropped.
HVAPI void hvLogWrite(int level, const char* text);

#ifdef __cplusplus
}

namespace hv {

namespace detail {
// Longer texts are cut: a log line is for reading, not for carrying data.
inline void LogFormatted(int level, const char* format, va_list args) {
    char text[2048];
    if (std::vsnprintf(text, sizeof text, format, args) >= 0) {
        hvLogWrite(level, text);
    }
}
}  // namespace detail

__attribute__((format(printf, 1, 2))) inline void LogInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    detail::LogFormatted(HV_LOG_INFO, format, args);
    va_end(args);
}

__attribute__((format(printf, 1, 2))) inline void LogWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    detail::LogFormatted(HV_LOG_WARNING, format, args);
    va_end(args);
}

__attribute__((format(printf, 1, 2))) inline void LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    detail::LogFormatted(HV_LOG_ERROR, format, args);
    va_end(args);
}

}  // namespace hv
#endif
