#include "Archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <archive.h>
#include <archive_entry.h>

#include "Files.h"

namespace hv {
namespace fs = std::filesystem;

namespace {

using Reader = std::unique_ptr<struct archive, decltype(&archive_read_free)>;

la_ssize_t ReadCallback(struct archive* a, void* context, const void** block) {
    *block = nullptr;
    long n = (*static_cast<const ArchiveSource*>(context))(block);
    if (n < 0) {
        archive_set_error(a, ECANCELED, "transfer aborted");
        return ARCHIVE_FATAL;
    }
    return n;
}

bool Fail(std::string* error, const std::string& text) {
    if (error) {
        *error = text;
    }
    return false;
}

// A failed write below the target: also tells the caller the system's reason.
bool FailWrite(struct archive* out, std::string* error, int* writeError, const std::string& text) {
    if (writeError) {
        *writeError = archive_errno(out);
    }
    return Fail(error, archive_error_string(out) ? archive_error_string(out) : text);
}

bool FailRead(struct archive* in, std::string* error, const char* text) {
    return Fail(error, archive_error_string(in) ? archive_error_string(in) : text);
}

// A tar reader on the source, plain or compressed; null after an error.
Reader OpenReader(const ArchiveSource& source, std::string* error) {
    Reader in(archive_read_new(), archive_read_free);
    archive_read_support_format_tar(in.get());
    archive_read_support_format_gnutar(in.get());
    archive_read_support_filter_gzip(in.get());
    archive_read_support_filter_bzip2(in.get());
    archive_read_support_filter_xz(in.get());
    archive_read_support_filter_zstd(in.get());
    if (archive_read_open(in.get(), const_cast<ArchiveSource*>(&source), nullptr, ReadCallback,
                          nullptr) != ARCHIVE_OK) {
        FailRead(in.get(), error, "cannot open archive");
        in.reset();
    }
    return in;
}

// Unpacked bytes leave the page cache soon after they are written. A package
// is often larger than the memory the system can spare for it, and every byte
// kept would take a fresh page, which on a virtual machine can cost many times
// the copy into it. Let go, the same pages come back for the next bytes.
class CacheTrim {
  public:
    // Writing each window to the disk starts once it is full.
    static constexpr la_int64_t kWindowBytes = 8 << 20;
    // Bytes this far behind the last window are waited for and let go; the
    // wait is what keeps the extraction from outrunning the disk.
    static constexpr la_int64_t kKeptBytes = 32 << 20;

    // path must outlive the object.
    explicit CacheTrim(const char* path) : m_path(path) {}
    ~CacheTrim() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CacheTrim(const CacheTrim&) = delete;
    CacheTrim& operator=(const CacheTrim&) = delete;

    // The bytes before `end` are written.
    void Written(la_int64_t end) {
        if (end - m_flushed < kWindowBytes) {
            return;
        }
        // Opened only for a file this large; advice only, so without it the
        // file is written all the same.
        if (!m_opened) {
            m_opened = true;
            m_fd = ::open(m_path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (m_fd < 0) {
            return;
        }
        ::sync_file_range(m_fd, m_flushed, end - m_flushed, SYNC_FILE_RANGE_WRITE);
        m_flushed = end;
        const la_int64_t behind = m_flushed - kKeptBytes;
        if (behind > m_dropped) {
            ::sync_file_range(
                m_fd, m_dropped, behind - m_dropped,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
            ::posix_fadvise(m_fd, m_dropped, behind - m_dropped, POSIX_FADV_DONTNEED);
            m_dropped = behind;
        }
    }

  private:
    const char* const m_path;
    bool m_opened = false;
    int m_fd = -1;
    la_int64_t m_flushed = 0;  // writing to the disk has started for the bytes before this
    la_int64_t m_dropped = 0;  // the bytes before this are let go
};

// Copies the data of the entry just written to `path`.
bool CopyData(struct archive* in, struct archive* out, const char* path, std::string* error,
              int* writeError) {
    CacheTrim trim(path);
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF) {
            return true;
        }
        if (r < ARCHIVE_OK) {
            return FailRead(in, error, "read error");
        }
        if (archive_write_data_block(out, block, size, offset) < ARCHIVE_OK) {
            return FailWrite(out, error, writeError, "write error");
        }
        trim.Written(offset + static_cast<la_int64_t>(size));
    }
}

// The bytes of the files in the archive's listing, or nothing after an error.
std::optional<std::uint64_t> UnpackedBytes(const ArchiveSource& source, std::string* error) {
    Reader in = OpenReader(source, error);
    if (!in) {
        return std::nullopt;
    }
    std::uint64_t total = 0;
    for (;;) {
        struct archive_entry* entry = nullptr;
        int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) {
            return total;
        }
        if (r < ARCHIVE_WARN) {
            FailRead(in.get(), error, "bad archive");
            return std::nullopt;
        }
        if (archive_entry_filetype(entry) == AE_IFREG && !archive_entry_hardlink(entry)) {
            total += static_cast<std::uint64_t>(std::max<la_int64_t>(archive_entry_size(entry), 0));
        }
    }
}

EntryGuard::Kind KindOf(struct archive_entry* entry) {
    if (archive_entry_hardlink(entry)) {
        return EntryGuard::Kind::Hardlink;
    }
    return archive_entry_filetype(entry) == AE_IFLNK   ? EntryGuard::Kind::Symlink
           : archive_entry_filetype(entry) == AE_IFDIR ? EntryGuard::Kind::Folder
                                                       : EntryGuard::Kind::File;
}

}  // namespace

bool ExtractTar(const ArchiveSource& source, const fs::path& dest, const ExtractObserver& observer,
                std::string* error, int* writeError, const RoomReserve& reserve) {
    if (writeError) {
        *writeError = 0;
    }
    std::error_code ec;
    fs::create_directories(dest, ec);
    // A symlink-free root lets the writer refuse to follow links below it.
    fs::path root = fs::canonical(dest, ec);
    if (ec) {
        if (writeError) {
            *writeError = ec.value();
        }
        return Fail(error, "cannot create " + dest.string());
    }

    Reader in = OpenReader(source, error);
    if (!in) {
        return false;
    }
    std::unique_ptr<struct archive, decltype(&archive_write_free)> out(archive_write_disk_new(),
                                                                       archive_write_free);
    archive_write_disk_set_options(
        out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                       ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_UNLINK);
    EntryGuard guard([&root](const std::string& path) {
        struct stat info {};
        return ::lstat((root / path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    });
    // Links already below the target, left by an earlier archive, come first:
    // no link of this one may take the place of a folder their targets pass.
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec)) {
            guard.Admit(EntryGuard::Kind::Symlink, fs::relative(it->path(), root, ec).string(),
                        fs::read_symlink(it->path(), ec).string());
        }
    }

    for (;;) {
        struct archive_entry* entry = nullptr;
        int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) {
            break;
        }
        if (r < ARCHIVE_WARN) {
            return FailRead(in.get(), error, "bad archive");
        }
        if (observer) {
            observer(archive_read_header_position(in.get()));
        }

        const char* rawName = archive_entry_pathname(entry);
        std::string name = rawName ? rawName : "";
        auto type = archive_entry_filetype(entry);
        const char* rawHardlink = archive_entry_hardlink(entry);
        const char* rawSymlink = type == AE_IFLNK ? archive_entry_symlink(entry) : nullptr;
        if (!rawHardlink && type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
            return Fail(error, "refused special file: " + name);
        }
        const std::string target = rawHardlink ? rawHardlink : (rawSymlink ? rawSymlink : "");
        if (!guard.Admit(KindOf(entry), name, target)) {
            return Fail(error, "refused entry: " + name + (target.empty() ? "" : " -> " + target));
        }
        if (rawHardlink) {
            archive_entry_copy_hardlink(entry, (root / target).c_str());
        } else if (type == AE_IFREG && archive_entry_size(entry) > 0) {
            const auto size = static_cast<std::uint64_t>(archive_entry_size(entry));
            const auto room = FreeBytesAt(root);
            if (room && *room < size + (reserve ? reserve() : 0)) {
                if (writeError) {
                    *writeError = ENOSPC;
                }
                return Fail(error, "no room for " + name);
            }
        }
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
        archive_entry_copy_pathname(entry, (root / name).c_str());

        if (archive_write_header(out.get(), entry) < ARCHIVE_OK) {
            return FailWrite(out.get(), error, writeError, "cannot write " + name);
        }
        if (archive_entry_size(entry) > 0 && !rawHardlink &&
            !CopyData(in.get(), out.get(), archive_entry_pathname(entry), error, writeError)) {
            return false;
        }
        if (archive_write_finish_entry(out.get()) < ARCHIVE_OK) {
            return FailWrite(out.get(), error, writeError, "cannot finish " + name);
        }
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK) {
        return FailWrite(out.get(), error, writeError, "cannot finish extraction");
    }
    if (observer) {
        observer(-1);
    }
    return true;
}

bool ExtractTarFile(const fs::path& archive, const fs::path& dest, std::string* error) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(archive.c_str(), "rb"),
                                                       std::fclose);
    if (!file) {
        return Fail(error, "cannot open " + archive.string());
    }
    std::vector<char> buffer(64 * 1024);
    ArchiveSource source = [&](const void** block) -> long {
        std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
        *block = buffer.data();
        return std::ferror(file.get()) ? -1 : static_cast<long>(n);
    };
    const auto unpacked = UnpackedBytes(source, error);
    if (!unpacked) {
        return false;
    }
    const auto room = FreeBytesAt(dest);
    if (room && *room < *unpacked) {
        return Fail(error, "no room for the " + std::to_string(*unpacked) + " bytes of " +
                               archive.filename().string());
    }
    std::rewind(file.get());
    return ExtractTar(source, dest, nullptr, error);
}

}  // namespace hv
