// A file of our own, under a name nobody else uses, removed with the object
// unless it was moved into place. Downloads go through these so that a
// half-written file never takes the place of a good one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CTempFile {
  public:
    // Creates the file in folder; IsOpen() tells whether that worked.
    explicit CTempFile(const std::string& folder);
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // $TMPDIR, or /tmp when it is not set.
    static std::string SystemFolder();

    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    // Bytes written so far.
    uint64_t Size() const { return m_size; }

    bool Write(const char* data, size_t size);
    // Appends the whole content of another temporary file.
    bool CopyFrom(const CTempFile& source);
    bool SetModified(int64_t unixSeconds);
    // Closes the file and renames it over target, in one step for readers of
    // target. On success the file is no longer removed with the object.
    bool MoveTo(const std::string& target);

  private:
    int m_fd = -1;
    std::string m_path;
    uint64_t m_size = 0;
};
