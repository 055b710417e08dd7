#include "TarBuilder.h"

#include <memory>
#include <stdexcept>

#include <archive.h>
#include <archive_entry.h>

namespace hvtest {

namespace {
la_ssize_t Append(struct archive*, void* context, const void* data, size_t size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
    return static_cast<la_ssize_t>(size);
}
}  // namespace

std::string MakeTar(const std::vector<TarEntry>& entries) {
    std::string out;
    std::unique_ptr<struct archive, decltype(&archive_write_free)> a(archive_write_new(),
                                                                     archive_write_free);
    archive_write_set_format_pax_restricted(a.get());
    archive_write_set_bytes_in_last_block(a.get(), 1);
    archive_write_open(a.get(), &out, nullptr, Append, nullptr);
    for (const auto& e : entries) {
        std::unique_ptr<struct archive_entry, decltype(&archive_entry_free)> entry(
            archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.path.c_str());
        archive_entry_set_perm(entry.get(), e.mode);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        switch (e.kind) {
            case TarEntry::File:
                archive_entry_set_filetype(entry.get(), AE_IFREG);
                archive_entry_set_size(entry.get(), static_cast<la_int64_t>(e.data.size()));
                break;
            case TarEntry::Dir: archive_entry_set_filetype(entry.get(), AE_IFDIR); break;
            case TarEntry::Fifo: archive_entry_set_filetype(entry.get(), AE_IFIFO); break;
            case TarEntry::Symlink:
                archive_entry_set_filetype(entry.get(), AE_IFLNK);
                archive_entry_set_symlink(entry.get(), e.target.c_str());
                break;
            case TarEntry::Hardlink:
                archive_entry_set_filetype(entry.get(), AE_IFREG);
                archive_entry_set_hardlink(entry.get(), e.target.c_str());
                break;
        }
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK) {
            throw std::runtime_error(archive_error_string(a.get()));
        }
        if (e.kind == TarEntry::File && !e.data.empty()) {
            archive_write_data(a.get(), e.data.data(), e.data.size());
        }
    }
    archive_write_close(a.get());
    return out;
}

}  // namespace hvtest
