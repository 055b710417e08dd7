#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>
#include <vector>

#include "Archive.h"
#include "BlockChecker.h"
#include "EngineImpl.h"
#include "Files.h"
#include "Http.h"
#include "Progress.h"
#include "trust/Sha256.h"
#include "winapi/Log.h"

namespace hv {
namespace fs = std::filesystem;

namespace {

// Gives up on the service after this many attempts in a row that brought nothing.
constexpr int kMaxAttempts = 12;
constexpr int kMaxBackoffMs = 4000;
// A block that arrives damaged this many times in a row ends the download.
constexpr int kMaxBadFetches = 3;
constexpr std::uint64_t kProgressIntervalMs = 150;
constexpr std::uint64_t kRestoredShownMs = 2000;
// From this many seconds to play, the frame counts down on its own.
constexpr int kCountdownSeconds = 3;

std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// Sleeps up to ms between attempts; true when the download is to stop.
bool WaitStopped(TransferJob& job, int ms) {
    std::unique_lock lock(job.mutex);
    return job.changed.wait_for(lock, std::chrono::milliseconds(ms), [&] {
        return job.cancel.load() || job.badArchive.load() || job.diskFull.load();
    });
}

bool IsNoSpace(int error) {
    return error == ENOSPC || error == EDQUOT;
}

void SetStop(TransferJob& job, std::atomic<bool>& flag) {
    {
        std::lock_guard lock(job.mutex);
        flag = true;
    }
    job.changed.notify_all();
}

// Keeps the first reason the transfer failed for, and returns it.
std::string SetFailure(TransferJob& job, const std::string& text) {
    std::lock_guard lock(job.mutex);
    if (job.failure.empty()) {
        job.failure = text;
    }
    return job.failure;
}

std::string NotSaved(const TransferJob& job, int error) {
    return "The download of " + job.title + " could not be saved (" +
           std::generic_category().message(error) + ").";
}

std::string NotVerified(const TransferJob& job) {
    return "The download of " + job.title + " could not be verified. Please try again.";
}

std::string KeptDamaged(const TransferJob& job) {
    return "The download of " + job.title + " kept arriving damaged and has been stopped. " +
           "Please try again later.";
}

std::string BlockHash(const char* data, std::size_t size) {
    Sha256 hash;
    hash.Update(data, size);
    return hash.Finish();
}

// How many of the bytes of an earlier attempt may stay: the whole blocks that
// match the manifest, and the start of the next, which is checked once the
// rest of it has come.
std::uint64_t TrustedPrefix(const fs::path& file, std::uint64_t kept,
                            const PackageManifest& manifest) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> block(manifest.blockSize);
    std::uint64_t good = 0;
    for (const std::string& expected : manifest.blocks) {
        const auto size =
            static_cast<std::size_t>(std::min(manifest.blockSize, manifest.size - good));
        if (kept - good < size) {
            return kept;
        }
        if (!in.read(block.data(), static_cast<std::streamsize>(size)) ||
            BlockHash(block.data(), size) != expected) {
            break;
        }
        good += size;
    }
    return good;
}

}  // namespace

// Several records a second: only a change of state makes a log line.
void Engine::SendProgress(TransferJob& job, const TransferProgress& progress) {
    if (progress.lState != job.loggedState) {
        job.loggedState = progress.lState;
        LogInfo("progress to the frame: state %d at %d of %d KiB", progress.lState, progress.lDone,
                progress.lTotal);
    }
    TransferProgress copy = progress;
    Send(UWM_ENGINE_PROGRESS, 0, reinterpret_cast<LPARAM>(&copy));
}

bool Engine::DownloadArchive(TransferJob& job, bool& lostConnection) {
    const PackageManifest& manifest = job.manifest;
    // Everything before `have` is in the part file; the bytes of the block
    // being checked are not vouched for until they all match the manifest.
    std::uint64_t have = job.part.Size();
    const std::uint64_t blockFrom = have / manifest.blockSize * manifest.blockSize;
    BlockChecker checker(manifest, job.part, blockFrom);
    if (!checker.Started()) {
        return false;
    }
    if (blockFrom < have && have < job.size) {
        // The start of a block from an earlier attempt.
        std::vector<char> start(static_cast<std::size_t>(have - blockFrom));
        std::ifstream in(job.partFile, std::ios::binary);
        if (in.seekg(static_cast<std::streamoff>(blockFrom)) &&
            in.read(start.data(), static_cast<std::streamsize>(start.size()))) {
            checker.Add(start.data(), start.size());
        } else if (job.part.Rewind(blockFrom)) {
            have = blockFrom;
        }
    }
    // The most that ever came: a block fetched again does not move the figures back.
    std::uint64_t reached = have;
    // The game can start once the block that holds the header after its
    // playable part is checked.
    const std::uint64_t playableChecked =
        std::min(job.size, (job.playable / manifest.blockSize + 1) * manifest.blockSize);
    // A block that keeps arriving damaged, and how many times in a row it has.
    std::size_t lastDamaged = 0;
    int badFetches = 0;
    ProgressMeter meter;
    bool retrying = false, fatal = false, refetch = false;
    int attempts = 0;
    std::uint64_t restoredUntil = 0, lastSent = 0;
    bool countingDown = false;
    auto report = [&](bool force) {
        std::uint64_t now = NowMs();
        if (!force && now - lastSent < kProgressIntervalMs) {
            return;
        }
        lastSent = now;
        int state = retrying ? HV_STATE_RETRYING
                             : (now < restoredUntil ? HV_STATE_RESTORED : HV_STATE_DOWNLOADING);
        TransferProgress progress = MakeProgress(reached, job.size, playableChecked, meter, state);
        // The last seconds to play are counted down by the frame's own clock:
        // it hears them once, and the records give no time from then on.
        if (!countingDown && progress.lSecondsToPlay > 0 &&
            progress.lSecondsToPlay <= kCountdownSeconds && !job.playableReady) {
            countingDown = true;
            Post(UWM_ENGINE_STATE, static_cast<WPARAM>(progress.lSecondsToPlay), 0);
        }
        if (countingDown) {
            progress.lSecondsToPlay = 0;
        }
        SendProgress(job, progress);
    };
    // A damaged block is never kept as good: it is fetched again, and with
    // it the bytes that came after it.
    auto refetchFrom = [&](std::size_t index) {
        LogWarning("block %zu of %s arrived damaged", index, job.package.c_str());
        const std::uint64_t from = index * manifest.blockSize;
        badFetches = index == lastDamaged ? badFetches + 1 : 1;
        lastDamaged = index;
        if (!job.part.Rewind(from)) {
            SetFailure(job, NotSaved(job, errno));
            fatal = true;
        } else if (badFetches >= kMaxBadFetches) {
            SetFailure(job, KeptDamaged(job));
            fatal = true;
        }
        have = from;
        checker.Restart(from);
    };
    // Takes bytes that follow `have`; false when the request is to end.
    auto take = [&](const char* data, std::size_t size) {
        if (const auto damaged = checker.Damaged()) {
            refetchFrom(*damaged);
            refetch = true;
            return false;
        }
        if (!job.part.Append(data, size)) {
            const int error = errno;
            if (IsNoSpace(error)) {
                SetStop(job, job.diskFull);
            } else {
                SetFailure(job, NotSaved(job, error));
            }
            fatal = true;
            return false;
        }
        checker.Add(data, size);
        have += size;
        return true;
    };
    auto stopped = [&job] { return job.cancel || job.badArchive || job.diskFull; };
    report(true);

    while (!stopped()) {
        if (have >= job.size) {
            // Every byte is in: done once the last blocks are checked too.
            const auto damaged = checker.Wait();
            if (!damaged) {
                break;
            }
            refetchFrom(*damaged);
            if (fatal) {
                break;
            }
        }
        HttpRequest request{job.archiveUrl};
        request.rangeFrom = have;
        request.timeoutSeconds = 0;
        request.stallSeconds = 15;
        const std::uint64_t from = have;
        std::uint64_t bodySeen = 0;
        request.sink = [&](long status, const char* data, std::size_t size) {
            if (job.badArchive || job.diskFull) {
                fatal = true;
                return false;
            }
            // A server that ignores the range sends everything from byte 0.
            std::uint64_t position = (status == 206 ? from : 0) + bodySeen;
            bodySeen += size;
            if (position + size <= have) {
                return true;
            }
            std::size_t skip = static_cast<std::size_t>(have - position);
            std::size_t n = size - skip;
            if (have + n > job.size) {
                SetFailure(job, NotVerified(job));
                fatal = true;
                return false;
            }
            if (!take(data + skip, n)) {
                return false;
            }
            reached = std::max(reached, have);
            if (retrying) {
                retrying = false;
                restoredUntil = NowMs() + kRestoredShownMs;
            }
            attempts = 0;
            meter.Sample(reached, NowMs());
            report(false);
            return !job.cancel;
        };
        HttpResponse response = HttpPerform(request, &job.cancel);
        if (stopped() || fatal) {
            break;
        }
        if (have >= job.size || refetch) {
            refetch = false;
            continue;
        }
        if (response.status == 404 || response.status == 410 || response.status == 416) {
            SetFailure(job,
                       job.title + " is no longer available for download. Please try again later.");
            break;
        }
        meter.Break();
        if (!retrying) {
            retrying = true;
            report(true);
        }
        if (++attempts > kMaxAttempts) {
            lostConnection = true;
            break;
        }
        int backoff = std::min(kMaxBackoffMs, 250 << std::min(attempts - 1, 5));
        if (WaitStopped(job, backoff)) {
            break;
        }
        report(true);
    }
    // No fsync: every byte was checked against the manifest on its way in.
    bool complete = have == job.size && !stopped() && !fatal && !checker.Damaged();
    if (complete) {
        report(true);
    }
    return complete;
}

void Engine::ExtractArchive(std::shared_ptr<TransferJob> job, bool* ok) {
    PartFile::Reader reader(job->part);
    bool ranDry = false;
    ArchiveSource source = [&](const void** block) -> long {
        long n = reader.Next(block);
        ranDry = ranDry || (n == 0 && reader.Offset() < job->size);
        return n;
    };
    ExtractObserver observer = [&](std::int64_t headerOffset) {
        if (!job->playableReady &&
            (headerOffset < 0 || static_cast<std::uint64_t>(headerOffset) >= job->playable)) {
            job->playableReady = true;
            // Asked beside the unpacking, which keeps pace with the download
            // from memory while the user thinks; held up, it would read every
            // byte back from the disk afterwards.
            job->playQuestion = TryStartThread([this, raw = job.get()] { OnPlayable(*raw); });
            if (!job->playQuestion.joinable()) {
                OnPlayable(*job);
            }
        }
    };
    // The rest of the download is written beside the extraction.
    RoomReserve reserve = [&] { return job->size - std::min(job->size, job->part.Size()); };
    std::string error;
    int writeError = 0;
    *ok = ExtractTar(source, job->stagingDir, observer, &error, &writeError, reserve);
    // Running out of bytes or being cancelled says nothing about the archive.
    if (*ok || job->cancel) {
        return;
    }
    if (IsNoSpace(writeError)) {
        SetStop(*job, job->diskFull);
    } else if (!ranDry) {
        LogWarning("extracting %s failed: %s", job->package.c_str(), error.c_str());
        if (writeError != 0) {
            SetFailure(*job, "The files of " + job->title + " could not be written (" +
                                 std::generic_category().message(writeError) + ").");
        } else {
            SetFailure(*job, "The download of " + job->title +
                                 " is damaged and cannot be installed. Please try again.");
        }
        SetStop(*job, job->badArchive);
    }
}

void Engine::OnPlayable(TransferJob& job) {
    Post(UWM_ENGINE_STATE, 0, 0);
    std::string why;
    if (Send(UWM_ASK_PLAY_NOW, 0, reinterpret_cast<LPARAM>(job.title.c_str())) == 1 &&
        !LaunchGame(job.stagingDir, job.program, why)) {
        // The frame has put itself aside for the game: it comes back on its close.
        const std::string text = job.title + " could not be started: " + why + ".";
        Send(UWM_ENGINE_FAILED, 0, reinterpret_cast<LPARAM>(text.c_str()));
        Post(UWM_GAME_CLOSED, 0, 0);
    }
}

void Engine::RunTransfer(std::shared_ptr<TransferJob> job) {
    std::error_code ec;
    fs::remove_all(job->stagingDir, ec);
    fs::create_directories(job->installDir.parent_path(), ec);

    // Only bytes that match the manifest are kept from an earlier attempt.
    if (const auto kept = fs::file_size(job->partFile, ec); !ec && kept > 0) {
        const std::uint64_t good = TrustedPrefix(job->partFile, kept, job->manifest);
        if (good < kept) {
            LogInfo("kept %llu of the %llu bytes of %s that came before",
                    static_cast<unsigned long long>(good), static_cast<unsigned long long>(kept),
                    job->package.c_str());
            fs::resize_file(job->partFile, good, ec);
        }
    }
    // The archive is extracted while it arrives, on a thread of its own, so
    // that nothing but the last few bytes is left once it is in.
    bool downloaded = false, extracted = false, lostConnection = false;
    if (job->part.Open(job->partFile, job->size)) {
        // All was checked above but the start of an unfinished block.
        const std::uint64_t kept = job->part.Size(), blockSize = job->manifest.blockSize;
        job->part.Vouch(kept == job->size ? kept : kept / blockSize * blockSize);
        std::jthread extractor =
            TryStartThread([this, job, &extracted] { ExtractArchive(job, &extracted); });
        downloaded = DownloadArchive(*job, lostConnection);
        job->part.Finish();
        if (downloaded) {
            SendProgress(*job, MakeProgress(job->size, job->size, job->playable, ProgressMeter(),
                                            HV_STATE_EXTRACTING));
        }
        // This is never the frame's thread, so a plain join holds up no send.
        // The extraction may rightly take a while after the last byte, and the
        // install waits for the play question: the game may have started from
        // the staging folder.
        for (std::jthread* thread : {&extractor, &job->playQuestion}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
    } else if (IsNoSpace(errno)) {
        job->diskFull = true;
    } else {
        SetFailure(*job, NotSaved(*job, errno));
    }

    // All is in and unpacked: only the move into place is left.
    if (downloaded && extracted) {
        SendProgress(*job, MakeProgress(job->size, job->size, job->playable, ProgressMeter(),
                                        HV_STATE_INSTALLING_2));
    }
    if (job->cancel) {
        // Cancelled: the bytes stay for a later resume.
        fs::remove_all(job->stagingDir, ec);
        job->part.Close();
        m_downloadBusy = false;
        return;
    }
    bool installed = downloaded && extracted && InstallStaged(*job);
    // Bytes that came stay for a resume, unless they are known to be bad: an
    // archive that cannot be extracted.
    bool keepPart = !installed && !job->badArchive;
    {
        std::lock_guard lock(m_mutex);
        if (installed) {
            m_state.installed[job->package] = {job->title, job->installDir.string(), job->program,
                                               job->sha256, job->demo};
        }
        if (!keepPart) {
            m_state.partial.erase(job->package);
        }
        SaveStateLocked();
    }
    // Only the name goes now: the space comes free when the file is closed,
    // which takes a while for a large one and is left until after the news,
    // as is waiting for the state to reach the disk.
    if (!keepPart) {
        fs::remove(job->partFile, ec);
    }
    fs::remove_all(job->stagingDir, ec);
    fs::remove_all(job->installDir.string() + ".hvold", ec);
    m_downloadBusy = false;
    if (installed) {
        Send(UWM_PACKAGE_ON_DISK, job->demo ? 1 : 0,
             reinterpret_cast<LPARAM>(job->package.c_str()));
        Post(UWM_DOWNLOAD_DONE, 0, 0);
    } else if (job->diskFull) {
        Send(UWM_DISK_FULL, 0, reinterpret_cast<LPARAM>(job->title.c_str()));
        Post(UWM_ENGINE_CANCEL, 0, 0);
    } else if (lostConnection) {
        Post(UWM_CONNECTION_LOST, 0, 0);
    } else {
        // hv_DownloadA said it had started: only this tells the user why it stopped.
        const std::string text = SetFailure(
            *job, "The download of " + job->title + " could not be completed. Please try again.");
        Send(UWM_ENGINE_FAILED, 0, reinterpret_cast<LPARAM>(text.c_str()));
        Post(UWM_ENGINE_CANCEL, 0, 0);
    }
    job->part.Close();
    SyncState();
}

// Moves the extracted package into place; an older install gives way only
// once the new one can take its name, and comes back if it cannot.
bool Engine::InstallStaged(TransferJob& job) {
    std::error_code ec;
    fs::path old = job.installDir.string() + ".hvold";
    fs::remove_all(old, ec);
    bool hadOld = fs::exists(job.installDir, ec);
    if (hadOld) {
        fs::rename(job.installDir, old, ec);
    }
    if (!ec) {
        fs::rename(job.stagingDir, job.installDir, ec);
    }
    if (!ec) {
        return true;
    }
    SetFailure(job, job.title + " could not be installed in " + job.installDir.string() + " (" +
                        ec.message() + ").");
    if (hadOld) {
        fs::rename(old, job.installDir, ec);
    }
    return false;
}

}  // namespace hv
