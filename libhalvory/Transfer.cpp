#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "Archive.h"
#include "EngineImpl.h"
#include "Files.h"
#include "Http.h"
#include "Progress.h"

namespace hv {
namespace fs = std::filesystem;

namespace {

// Gives up on the service after this many attempts in a row that brought nothing.
constexpr int kMaxAttempts = 12;
constexpr int kMaxBackoffMs = 4000;
constexpr std::uint64_t kProgressIntervalMs = 150;
constexpr std::uint64_t kRestoredShownMs = 2000;

std::uint64_t nowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool waitCancelled(TransferJob& job, int ms) {
    std::unique_lock lock(job.mutex);
    return job.changed.wait_for(lock, std::chrono::milliseconds(ms),
                                [&] { return job.cancel.load(); });
}

}  // namespace

void Engine::sendProgress(const TransferProgress& progress) {
    TransferProgress copy = progress;
    send(UWM_ENGINE_PROGRESS, 0, reinterpret_cast<LPARAM>(&copy));
}

bool Engine::downloadArchive(TransferJob& job, bool& lostConnection) {
    int fd = ::open(job.partFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::uint64_t have = 0;
    if (off_t end = ::lseek(fd, 0, SEEK_END);
        end > 0 && static_cast<std::uint64_t>(end) <= job.size)
        have = static_cast<std::uint64_t>(end);
    else if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return false;
    }
    {
        std::lock_guard lock(job.mutex);
        job.have = have;
    }
    job.changed.notify_all();

    ProgressMeter meter;
    bool retrying = false, fatal = false;
    int attempts = 0;
    std::uint64_t restoredUntil = 0, lastSent = 0;
    auto report = [&](bool force) {
        std::uint64_t now = nowMs();
        if (!force && now - lastSent < kProgressIntervalMs)
            return;
        lastSent = now;
        int state = retrying ? HV_STATE_RETRYING
                             : (now < restoredUntil ? HV_STATE_RESTORED : HV_STATE_DOWNLOADING);
        sendProgress(makeProgress(have, job.size, job.playable, meter, state));
    };
    meter.sample(have, nowMs());
    report(true);

    while (have < job.size && !job.cancel) {
        HttpRequest request{job.archiveUrl};
        request.rangeFrom = have;
        request.timeoutSeconds = 0;
        request.stallSeconds = 15;
        const std::uint64_t from = have;
        std::uint64_t bodySeen = 0;
        request.sink = [&](long status, const char* data, std::size_t size) {
            // A server that ignores the range sends everything from byte 0.
            std::uint64_t position = (status == 206 ? from : 0) + bodySeen;
            bodySeen += size;
            if (position + size <= have)
                return true;
            std::size_t skip = static_cast<std::size_t>(have - position);
            std::size_t n = size - skip;
            if (have + n > job.size) {
                fatal = true;
                return false;
            }
            for (std::size_t written = 0; written < n;) {
                ssize_t w = ::write(fd, data + skip + written, n - written);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0) {
                    fatal = true;
                    return false;
                }
                written += static_cast<std::size_t>(w);
            }
            have += n;
            {
                std::lock_guard lock(job.mutex);
                job.have = have;
            }
            job.changed.notify_all();
            if (retrying) {
                retrying = false;
                restoredUntil = nowMs() + kRestoredShownMs;
                meter.restart();
            }
            attempts = 0;
            meter.sample(have, nowMs());
            report(false);
            return !job.cancel;
        };
        HttpResponse response = httpPerform(request, &job.cancel);
        if (job.cancel || fatal)
            break;
        if (have >= job.size)
            break;
        if (response.status == 404 || response.status == 410 || response.status == 416)
            break;
        if (!retrying) {
            retrying = true;
            report(true);
        }
        if (++attempts > kMaxAttempts) {
            lostConnection = true;
            break;
        }
        int backoff = std::min(kMaxBackoffMs, 250 << std::min(attempts - 1, 5));
        if (waitCancelled(job, backoff))
            break;
        report(true);
    }
    bool complete = have == job.size && ::fsync(fd) == 0;
    ::close(fd);
    if (complete)
        report(true);
    return complete && !job.cancel;
}

void Engine::extractArchive(std::shared_ptr<TransferJob> job, bool* ok) {
    int fd = ::open(job->partFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *ok = false;
        return;
    }
    std::uint64_t offset = 0;
    ArchiveSource source = [&](void* buffer, std::size_t capacity) -> long {
        std::uint64_t have;
        {
            std::unique_lock lock(job->mutex);
            job->changed.wait(
                lock, [&] { return job->cancel || job->have > offset || job->downloadEnded; });
            if (job->cancel)
                return -1;
            have = job->have;
        }
        if (have <= offset)
            return have >= job->size ? 0 : -1;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, have - offset));
        ssize_t r = ::pread(fd, buffer, n, static_cast<off_t>(offset));
        if (r <= 0)
            return -1;
        offset += static_cast<std::uint64_t>(r);
        return static_cast<long>(r);
    };
    ExtractObserver observer = [&](std::int64_t headerOffset) {
        if (!job->playableReady &&
            (headerOffset < 0 || static_cast<std::uint64_t>(headerOffset) >= job->playable))
            onPlayable(*job);
    };
    std::string error;
    *ok = extractTar(source, job->stagingDir, observer, &error);
    ::close(fd);
}

void Engine::onPlayable(TransferJob& job) {
    job.playableReady = true;
    post(UWM_ENGINE_STATE, 0, 0);
    if (send(UWM_ASK_PLAY_NOW, 0, reinterpret_cast<LPARAM>(job.title.c_str())) == 1)
        launchGame(job.stagingDir, job.program);
}

void Engine::runTransfer(std::shared_ptr<TransferJob> job) {
    std::error_code ec;
    fs::remove_all(job->stagingDir, ec);
    fs::create_directories(job->installDir.parent_path(), ec);

    // The extraction thread reads the part file from its first byte on.
    if (int fd = ::open(job->partFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644); fd >= 0)
        ::close(fd);
    bool extracted = false;
    HANDLE extractor = startThread([this, job, &extracted] { extractArchive(job, &extracted); });
    bool lostConnection = false;
    bool downloaded = downloadArchive(*job, lostConnection);
    {
        std::lock_guard lock(job->mutex);
        job->downloadEnded = true;
    }
    job->changed.notify_all();
    if (downloaded)
        sendProgress({100, 0, 0, static_cast<std::int32_t>(job->size / 1024),
                      static_cast<std::int32_t>((job->size + 1023) / 1024), HV_STATE_EXTRACTING});
    joinThread(extractor);

    bool installed = false;
    if (downloaded && extracted) {
        sendProgress({0, 0, 0, 0, 0, HV_STATE_INSTALLING_2});
        installed = sha256File(job->partFile, &job->cancel) == job->sha256;
    }
    if (job->cancel) {
        // Cancelled: the bytes stay for a later resume.
        fs::remove_all(job->stagingDir, ec);
    } else {
        // A download that broke off keeps its bytes; a bad archive does not.
        finishTransfer(*job, installed, !downloaded);
        if (!installed)
            post(lostConnection ? UWM_CONNECTION_LOST : UWM_ENGINE_CANCEL, 0, 0);
    }
    m_downloadBusy = false;
}

void Engine::finishTransfer(TransferJob& job, bool installed, bool keepPart) {
    std::error_code ec;
    if (installed) {
        fs::path old = job.installDir.string() + ".hvold";
        fs::remove_all(old, ec);
        bool hadOld = fs::exists(job.installDir, ec);
        if (hadOld)
            fs::rename(job.installDir, old, ec);
        if (!ec)
            fs::rename(job.stagingDir, job.installDir, ec);
        if (ec) {
            if (hadOld)
                fs::rename(old, job.installDir, ec);
            installed = false;
        } else {
            fs::remove_all(old, ec);
        }
    }
    keepPart = keepPart && !installed;
    {
        std::lock_guard lock(m_mutex);
        if (installed)
            m_state.installed[job.package] = {job.title, job.installDir.string(), job.program,
                                              job.sha256, job.demo};
        if (!keepPart)
            m_state.partial.erase(job.package);
        saveStateLocked();
    }
    fs::remove_all(job.stagingDir, ec);
    if (!keepPart)
        fs::remove(job.partFile, ec);
    if (installed) {
        send(UWM_PACKAGE_ON_DISK, job.demo ? 1 : 0, reinterpret_cast<LPARAM>(job.package.c_str()));
        post(UWM_DOWNLOAD_DONE, 0, 0);
    }
}

}  // namespace hv
