#include "Archive.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <vector>

#include <archive.h>
#include <archive_entry.h>

namespace hv {
namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

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

bool CopyData(struct archive* in, struct archive* out, std::string* error, int* writeError) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF) {
            return true;
        }
        if (r < ARCHIVE_OK) {
            return Fail(error, archive_error_string(in) ? archive_error_string(in) : "read error");
        }
        if (archive_write_data_block(out, block, size, offset) < ARCHIVE_OK) {
            return FailWrite(out, error, writeError, "write error");
        }
    }
}

}  // namespace

bool IsSafeEntryPath(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return false;
    }
    auto parts = SplitPath(path);
    if (parts.empty()) {
        return false;
    }
    for (const auto& part : parts) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

bool IsSafeLinkTarget(const std::string& entryPath, const std::string& target) {
    if (target.empty() || target[0] == '/' || !IsSafeEntryPath(entryPath)) {
        return false;
    }
    auto where = SplitPath(entryPath);
    where.pop_back();
    for (const auto& part : SplitPath(target)) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (where.empty()) {
                return false;
            }
            where.pop_back();
        } else {
            where.push_back(part);
        }
    }
    return true;
}

bool ExtractTar(const ArchiveSource& source, const fs::path& dest, const ExtractObserver& observer,
                std::string* error, int* writeError) {
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

    std::unique_ptr<struct archive, decltype(&archive_read_free)> in(archive_read_new(),
                                                                     archive_read_free);
    std::unique_ptr<struct archive, decltype(&archive_write_free)> out(archive_write_disk_new(),
                                                                       archive_write_free);
    archive_read_support_format_tar(in.get());
    archive_read_support_format_gnutar(in.get());
    archive_read_support_filter_gzip(in.get());
    archive_read_support_filter_bzip2(in.get());
    archive_read_support_filter_xz(in.get());
    archive_read_support_filter_zstd(in.get());
    archive_write_disk_set_options(
        out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                       ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_UNLINK);

    if (archive_read_open(in.get(), const_cast<ArchiveSource*>(&source), nullptr, ReadCallback,
                          nullptr) != ARCHIVE_OK) {
        return Fail(error, archive_error_string(in.get()) ? archive_error_string(in.get())
                                                          : "cannot open archive");
    }

    for (;;) {
        struct archive_entry* entry = nullptr;
        int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) {
            break;
        }
        if (r < ARCHIVE_WARN) {
            return Fail(error, archive_error_string(in.get()) ? archive_error_string(in.get())
                                                              : "bad archive");
        }
        if (observer) {
            observer(archive_read_header_position(in.get()));
        }

        const char* rawName = archive_entry_pathname(entry);
        std::string name = rawName ? rawName : "";
        if (!IsSafeEntryPath(name)) {
            return Fail(error, "refused entry path: " + name);
        }
        auto type = archive_entry_filetype(entry);
        const char* rawHardlink = archive_entry_hardlink(entry);
        if (rawHardlink) {
            std::string target = rawHardlink;
            struct stat info {};
            if (!IsSafeEntryPath(target) || ::lstat((root / target).c_str(), &info) != 0 ||
                S_ISLNK(info.st_mode)) {
                return Fail(error, "refused hard link: " + name + " -> " + target);
            }
            archive_entry_copy_hardlink(entry, (root / target).c_str());
        } else if (type == AE_IFLNK) {
            const char* rawTarget = archive_entry_symlink(entry);
            if (!rawTarget || !IsSafeLinkTarget(name, rawTarget)) {
                return Fail(error, "refused symbolic link: " + name);
            }
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return Fail(error, "refused special file: " + name);
        }
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
        archive_entry_copy_pathname(entry, (root / name).c_str());

        if (archive_write_header(out.get(), entry) < ARCHIVE_OK) {
            return FailWrite(out.get(), error, writeError, "cannot write " + name);
        }
        if (archive_entry_size(entry) > 0 && !rawHardlink &&
            !CopyData(in.get(), out.get(), error, writeError)) {
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
    return ExtractTar(source, dest, nullptr, error);
}

}  // namespace hv
