// The one owning handle type: closes its kernel handle when it goes, so no
// path can forget to.
#pragma once

#include <utility>

#include "winapi/winapi.h"

namespace hv {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    // For calls that take an array of handles.
    const HANDLE* Address() const { return &m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    HANDLE Release() { return std::exchange(m_handle, nullptr); }
    void Reset(HANDLE handle = nullptr) {
        if (m_handle) {
            CloseHandle(m_handle);
        }
        m_handle = handle;
    }

  private:
    HANDLE m_handle = nullptr;
};

}  // namespace hv
