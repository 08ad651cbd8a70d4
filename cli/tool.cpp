#include "tool.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>

namespace tool {
namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file an Output has open, for the signal handler; empty when none.
char gPendingTemp[4096];

// Keeps the cleanup signals out while gPendingTemp changes, so the handler never sees
// a half-written path or a file that exists but is not yet named there.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (const int s : kCleanupSignals) sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsHeld() {
        sigprocmask(SIG_SETMASK, &old_, nullptr);
    }

private:
    sigset_t old_;
};

void onCleanupSignal(int signal) {
    if (gPendingTemp[0]) unlink(gPendingTemp);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

std::string errnoText(const char* fallback) {
    return errno ? std::strerror(errno) : fallback;
}

}  // namespace

// --- Input ---------------------------------------------------------------------------

Input::~Input() {
    if (fd_ >= 0) close(fd_);
}

bool Input::open(const std::string& path, std::string& error) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0) {
        error = errnoText("cannot open");
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = std::strerror(EISDIR);
        return false;
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    regular_ = S_ISREG(st.st_mode);
    if (regular_) {
        size_ = uint64_t(st.st_size);
        head_.resize(size_t(std::min<uint64_t>(size_, kHeadSize)));
        const int64_t got = readAt(0, head_.data(), head_.size());
        if (got < 0) {
            error = errnoText("read error");
            return false;
        }
        head_.resize(size_t(got));
        return true;
    }
    if (!slurp(kHeadSize, false)) {
        error = errnoText("read error");
        return false;
    }
    return true;
}

bool Input::slurp(uint64_t limit, bool untilNul) {
    const size_t kChunk = 1 << 20;
    while (!ended_ && !counted_ && head_.size() < limit) {
        if (untilNul && std::memchr(head_.data(), 0, head_.size())) return true;
        const size_t at = head_.size();
        const size_t want = size_t(std::min<uint64_t>(kChunk, limit - at));
        head_.resize(at + want);
        const ssize_t got = read(fd_, head_.data() + at, want);
        if (got < 0 && errno == EINTR) {
            head_.resize(at);
            continue;
        }
        head_.resize(at + size_t(std::max<ssize_t>(got, 0)));
        if (got < 0) return false;
        if (got == 0) ended_ = true;
    }
    return true;
}

bool Input::keep(uint64_t n) {
    return regular_ || slurp(std::min(n, kMaxFileSize + 1), false);
}

uint64_t Input::size() {
    if (regular_ || counted_) return size_;
    // The rest goes through a small buffer: counted up to one byte past the largest
    // file a viewer reads, never kept.
    size_ = head_.size();
    static constexpr size_t kChunk = 1 << 20;
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[kChunk]);
    while (!ended_ && size_ <= kMaxFileSize) {
        const ssize_t got =
            read(fd_, scratch.get(), size_t(std::min<uint64_t>(kChunk, kMaxFileSize + 1 - size_)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        size_ += uint64_t(got);
    }
    counted_ = true;
    return size_;
}

bool Input::readAll(Bytes& out, uint64_t limit, std::string& error, bool untilNul) {
    errno = 0;
    if (!regular_) {
        if (counted_ || !slurp(limit + 1, untilNul)) {
            error = errnoText("read error");
            return false;
        }
        out.swap(head_);
        head_.clear();
    } else {
        // The measured size first, then on in pieces while the file has grown meanwhile;
        // never more than one byte past the limit.
        out.clear();
        const uint64_t kChunk = 1 << 20;
        out.reserve(size_t(std::min(size_, limit) + kChunk));  // no copy when the file is as measured
        while (out.size() <= limit) {
            const size_t at = out.size();
            const uint64_t want = std::min(at < size_ ? size_ - at : kChunk, limit + 1 - at);
            out.resize(at + size_t(want));
            const int64_t got = readAt(at, out.data() + at, size_t(want));
            if (got < 0) {
                error = errnoText("read error");
                return false;
            }
            out.resize(at + size_t(got));
            if (got == 0 || (untilNul && std::memchr(out.data() + at, 0, size_t(got)))) break;
        }
    }
    if (out.size() > limit) {
        error = "larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    return true;
}

int64_t Input::readAt(uint64_t offset, void* out, size_t n) {
    if (!regular_) {
        if (offset + n > head_.size() && !slurp(std::min(offset + n, kMaxFileSize + 1), false)) return -1;
        if (offset >= head_.size()) return 0;
        const size_t k = std::min<size_t>(n, head_.size() - size_t(offset));
        std::memcpy(out, head_.data() + offset, k);
        return int64_t(k);
    }
    size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(fd_, static_cast<uint8_t*>(out) + done, n - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += size_t(got);
    }
    return int64_t(done);
}

int64_t Input::readNext(void* out, size_t n) {
    int64_t got;
    if (regular_ || next_ < head_.size()) {
        got = regular_ ? readAt(next_, out, n) : int64_t(std::min<uint64_t>(n, head_.size() - next_));
        if (!regular_) std::memcpy(out, head_.data() + next_, size_t(got));
    } else {
        do got = read(fd_, out, n);
        while (got < 0 && errno == EINTR);
    }
    if (got > 0) next_ += uint64_t(got);
    return got;
}

// --- Output --------------------------------------------------------------------------

Output::~Output() {
    discard();
}

namespace {

// The folder a path's file is in.
std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside `path` no file has: `path` + ".tmp-" and six random letters, for a
// temporary file that is linked into being (linkat fails rather than replace a file).
std::string freshName(const std::string& path) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t noise[6] = {};
    if (getrandom(noise, sizeof noise, 0) != sizeof noise) {
        const uint64_t t =
            uint64_t(time(nullptr)) * 2654435761u ^ uint64_t(getpid()) << 20 ^ uint64_t(clock());
        std::memcpy(noise, &t, sizeof noise);
    }
    std::string name = path + ".tmp-";
    for (const uint8_t n : noise) name += kLetters[n % (sizeof kLetters - 1)];
    return name;
}

}  // namespace

bool Output::open(std::string& error) {
    if (path_.size() + 16 >= sizeof gPendingTemp) {
        error = std::strerror(ENAMETOOLONG);
        return false;
    }
    struct stat old = {};
    const bool replacing = stat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // Unnamed, where the file system has such files and /proc lets the file be linked
    // into place later.
    int fd = ::open(folderOf(path_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0 && access("/proc/self/fd", X_OK) != 0) {
        close(fd);
        fd = -1;
    }
    mode_t mode = old.st_mode & 07777;
    bool setMode = replacing;
    if (fd < 0) {
        SignalsHeld held;
        temp_ = path_ + ".tmp-XXXXXX";
        fd = mkostemp(temp_.data(), O_CLOEXEC);
        if (fd >= 0) {
            std::memcpy(gPendingTemp, temp_.c_str(), temp_.size() + 1);
            if (!replacing) {  // mkostemp makes 0600; a new OUT gets 0666 less the umask
                const mode_t mask = umask(0);
                umask(mask);
                mode = 0666 & ~mask;
                setMode = true;
            }
        } else {
            temp_.clear();
        }
    }
    if (fd < 0) {
        error = errnoText("cannot create the file");
        return false;
    }
    if ((setMode && fchmod(fd, mode) != 0) || !(file_ = fdopen(fd, "wb"))) {
        error = errnoText("cannot create the file");
        if (!file_) close(fd);
        discard();
        return false;
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    return true;
}

bool Output::linkInPlace() {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file_));
    if (linkat(AT_FDCWD, self, AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
    // OUT is there: a fresh name first, then renamed over OUT in one step. The signals
    // wait meanwhile, so the name never outlives an interrupted run.
    SignalsHeld held;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = freshName(path_);
        if (linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (std::rename(name.c_str(), path_.c_str()) == 0) return true;
        const int saved = errno;
        unlink(name.c_str());
        errno = saved;
        return false;
    }
    return false;
}

bool Output::commit(std::string& error) {
    errno = 0;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (ok && temp_.empty()) ok = linkInPlace();
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && !temp_.empty()) {
        SignalsHeld held;
        ok = std::rename(temp_.c_str(), path_.c_str()) == 0;
        if (ok) gPendingTemp[0] = '\0';
    }
    if (!ok) {
        error = errnoText("write failed");
        discard();
    }
    return ok;
}

void Output::discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty() && gPendingTemp[0] && temp_ == gPendingTemp) {
        SignalsHeld held;
        unlink(temp_.c_str());
        gPendingTemp[0] = '\0';
    }
}

BackgroundWriter::BackgroundWriter(FILE* file, std::function<void(const std::vector<uint8_t>&)> then)
    : file_(file), then_(std::move(then)), thread_([this] { run(); }) {
}

BackgroundWriter::~BackgroundWriter() {
    finish();
}

void BackgroundWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return full_ || stop_; });
        if (!full_) return;
        std::vector<uint8_t> block;
        block.swap(queued_);
        lock.unlock();
        errno = 0;
        const bool ok = std::fwrite(block.data(), 1, block.size(), file_) == block.size();
        const int error = errno;
        if (ok && then_) then_(block);
        block.clear();
        lock.lock();
        if (!ok && !failed_) failed_ = true, savedErrno_ = error;
        spare_.swap(block);
        full_ = false;
        changed_.notify_all();
    }
}

bool BackgroundWriter::put(std::vector<uint8_t>& block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !full_; });
    queued_.swap(block);
    block.swap(spare_);
    block.clear();
    full_ = true;
    changed_.notify_all();
    return !failed_;
}

bool BackgroundWriter::finish() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !full_; });
        stop_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    if (failed_) errno = savedErrno_;
    return !failed_;
}

void installSignalCleanup() {
    for (const int s : kCleanupSignals) {
        struct sigaction action = {};
        action.sa_handler = onCleanupSignal;
        sigemptyset(&action.sa_mask);
        sigaction(s, &action, nullptr);
    }
}

int writeOutput(const std::string& path, const std::function<bool(FILE*)>& write) {
    Output out(path);
    std::string error;
    errno = 0;
    if (!out.open(error)) return fail("cannot write " + path + ": " + error);
    if (!write(out.file())) {
        const std::string reason = errnoText("write failed");
        return fail("cannot write " + path + ": " + reason);
    }
    if (!out.commit(error)) return fail("cannot write " + path + ": " + error);
    return 0;
}

// --- Messages ------------------------------------------------------------------------

std::string extensionOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "yorvel: %s\n", message.c_str());
    return 1;
}

int refuse(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    return 1;
}

void note(const std::string& message) {
    std::fprintf(stderr, "yorvel: %s\n", message.c_str());
}

std::string counted(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace tool
