// Shared plumbing of the `yorvel` tool: bounded reads of the input, all-or-nothing writes
// of the output, messages.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tool {

using Bytes = std::vector<uint8_t>;

// Most bytes the viewers take from a file: they measure sizes as signed 32-bit values.
// No command reads more of a Yorvel file than this.
constexpr uint64_t kMaxFileSize = 0x7FFFFFFF;

// The file named by IN. A regular file is measured and read on demand; anything else
// (a pipe, a device) is read as a stream, once, from its start: the bytes a command asks
// for are kept (they come first), and measuring it reads the rest without keeping it.
// So a stream whose size is all that matters costs its reading time and no memory.
class Input {
public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();

    // Opens `path` and reads its first bytes (head()). False, with the reason in
    // `error`, when it cannot be opened or read, or is a directory.
    bool open(const std::string& path, std::string& error);

    // The first bytes of the file: up to kHeadSize of them, fewer only when the file is
    // shorter. (Of a stream, every byte kept so far, which starts with those.)
    static constexpr size_t kHeadSize = 64 * 1024;
    const Bytes& head() const {
        return head_;
    }

    // A regular file's size; for a stream, the bytes it held, read to its end or until
    // more than kMaxFileSize arrived (then kMaxFileSize + 1). Bytes of a stream beyond
    // those kept so far are counted, not kept: readAt() no longer reaches them.
    uint64_t size();

    // Keeps the first `n` bytes of a stream (fewer when it ends first) for readAt(),
    // before size() goes past them; nothing for a regular file. False on a read error.
    bool keep(uint64_t n);

    // The whole file, when it is no larger than `limit` bytes; false (and `error` set)
    // when it is larger, or a read fails. With `untilNul`, reading stops after the first
    // NUL byte: the rest of a document is never shown.
    bool readAll(Bytes& out, uint64_t limit, std::string& error, bool untilNul = false);

    // Reads up to `n` bytes at `offset` into `out`; the count read (0 at the end, -1 on
    // an error). A stream is read, and kept, as far as `offset + n`; a byte size()
    // counted without keeping reads as the end.
    int64_t readAt(uint64_t offset, void* out, size_t n);

    // Reads the next up to `n` bytes, from the start on, as readAt would but without
    // keeping a stream in memory: for a reader that goes through the file once. Not
    // to be mixed with readAt or readAll.
    int64_t readNext(void* out, size_t n);

    bool regular() const {
        return regular_;
    }
    dev_t device() const {
        return device_;
    }
    ino_t inode() const {
        return inode_;
    }

private:
    bool slurp(uint64_t limit, bool untilNul);  // reads more of a stream into head_

    int fd_ = -1;
    bool regular_ = false;
    bool ended_ = false;    // a stream read to its end
    bool counted_ = false;  // a stream measured: bytes past head_ were not kept
    uint64_t next_ = 0;     // where readNext goes on
    uint64_t size_ = 0;     // a regular file's size; a measured stream's
    dev_t device_ = 0;
    ino_t inode_ = 0;
    Bytes head_;  // a regular file's first bytes; all of a stream kept so far
};

// OUT, written through a temporary file in its folder that takes OUT's name only in
// commit(): OUT ends up whole or untouched. Where the file system allows, the temporary
// file has no name at all until then (O_TMPFILE), so nothing can be left behind; else it
// gets a fresh name beside OUT, made exclusively (OUT.tmp-XXXXXX), which is removed when
// the Output goes without commit() and by the signal handler (installSignalCleanup) when
// the process is interrupted. Either way no earlier run's leftover can be in the way.
// A replaced OUT keeps its permission bits; a new one gets the usual ones (0666 less
// the umask).
class Output {
public:
    explicit Output(std::string path) : path_(std::move(path)) {
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    // Creates the temporary file; false with the reason in `error`.
    bool open(std::string& error);
    // Buffered stream on the temporary file (also usable by descriptor, fileno(), which
    // reads too: a command may go over what it wrote before committing it).
    FILE* file() const {
        return file_;
    }
    // Flushes, closes and puts the file in place; false with the reason in `error`.
    bool commit(std::string& error);

private:
    void discard();
    bool linkInPlace();  // gives the unnamed file OUT's name

    std::string path_, temp_;  // temp_: the temporary file's name, "" while unnamed
    FILE* file_ = nullptr;
};

// Writes blocks of bytes to a file on a thread of its own, so that making the next block
// and writing this one overlap (writing a large file is much of a conversion's time).
// One block waits at most while another is written.
class BackgroundWriter {
public:
    // `then`, when given, is called on the writing thread with each block once it is
    // written, for work that may go on beside the making of the next block.
    explicit BackgroundWriter(FILE* file, std::function<void(const std::vector<uint8_t>&)> then = nullptr);
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;
    ~BackgroundWriter();

    // Queues `block` for writing and gives back an empty one (with its capacity) to fill
    // next. False once a write has failed.
    bool put(std::vector<uint8_t>& block);
    // Waits until everything queued is written; true when every byte was.
    bool finish();

private:
    void run();

    FILE* file_;
    std::function<void(const std::vector<uint8_t>&)> then_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> queued_, spare_;
    bool full_ = false, stop_ = false, failed_ = false;
    int savedErrno_ = 0;
    std::thread thread_;
};

// Removes a pending temporary file when SIGINT, SIGTERM or SIGHUP arrives, then dies of
// that signal as it would have.
void installSignalCleanup();

// Writes `path` through an Output with `write`; the exit code: 0, or 1 with the message
// "cannot write PATH: ..." when `write` fails or a byte does not reach the file.
int writeOutput(const std::string& path, const std::function<bool(FILE*)>& write);

// The file name's extension in lower case, without the dot; "" when there is none.
std::string extensionOf(const std::string& path);

// Prints "yorvel: <message>" on stderr and returns the exit code for a failed command, 1.
int fail(const std::string& message);

// Prints a refusal text (for instance "[ERROR] Not a YIF file") on stderr as it stands; returns 1.
int refuse(const char* text);

// Prints "yorvel: <message>" on stderr; the command still succeeds.
void note(const std::string& message);

// `count` and a noun, singular for 1: "1 channel", "2 channels".
std::string counted(uint64_t count, const char* noun);

}  // namespace tool
