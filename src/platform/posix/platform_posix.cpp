// POSIX implementation of the platform layer: the Windows services the
// library relies on, reproduced with the behaviour the library expects.
#include "platform/platform.h"
#include "platform/fault_injection.h"
#include "platform/posix/listing_order.h"
#include "platform/wildcard_pattern.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace plat {

namespace {

// A path with every '\' turned into '/'.
std::string Native(const char *path) {
    std::string s(path ? path : "");
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// The same conversion into a fixed buffer, for the calls that must not fail
// for want of memory (opening a record file, testing a path). Paths longer
// than the system takes are refused.
class NativePath {
public:
    explicit NativePath(const char *path) {
        const size_t length = path ? std::strlen(path) : 0;
        ok_ = path != nullptr && length < sizeof text_;
        if (!ok_) return;
        for (size_t i = 0; i <= length; ++i) text_[i] = path[i] == '\\' ? '/' : path[i];
    }
    bool ok() const { return ok_; }
    const char *c_str() const { return text_; }

private:
    char text_[4096];
    bool ok_;
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }



constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;  // 1970 in 1601 units

uint64_t ToFileTime(const struct timespec &ts) {
    return kUnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

DebugSink g_debugSink = nullptr;
TickSource g_tickSource = nullptr;
LocalTimeSource g_localTimeSource = nullptr;

}  // namespace

// ---- Directory enumeration ----

// The matching names of a folder, in the order NTFS lists them, with the
// kind of each entry as the folder itself gives it. Details beyond the name
// and the folder flag are fetched from the file system only for the entry
// being reported, and only when the caller asked for them or the folder
// could not tell the kind.
struct DirSearch {
    std::string folder;      // with its trailing '/', or empty for "."
    std::string names;       // the folder's entries as the system gave them;
                             // the items point at the names in it
    std::vector<ListedName> items;
    Listing listing = Listing::kWithSizeAndTime;
    size_t next = 0;
};

namespace {

// Fills `entry` from the item; false when the entry is gone or cannot be
// asked about, so that it is passed over as it was never listed.
bool FillEntry(const DirSearch &search, const ListedName &item, DirEntry *entry) {
    const char *name = search.names.data() + item.at;
    const unsigned char type = fault::UnknownEntryTypesForced() ? static_cast<unsigned char>(DT_UNKNOWN) : item.type;
    // A link is followed to what it names, as the kind of a link's target
    // decides whether it is a folder.
    const bool askKind = type == DT_UNKNOWN || type == DT_LNK;
    bool isDir = type == DT_DIR;
    uint64_t size = 0, lastWrite = 0;
    if (askKind || search.listing == Listing::kWithSizeAndTime) {
        char path[4096];
        const int n = std::snprintf(path, sizeof path, "%s%s", search.folder.c_str(), name);
        if (n < 0 || static_cast<size_t>(n) >= sizeof path) return false;
        fault::Note(fault::kEntryStatCall);
        struct stat st {};
        if (stat(path, &st) != 0) return false;
        isDir = S_ISDIR(st.st_mode);
        if (search.listing == Listing::kWithSizeAndTime) {
            size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
            lastWrite = ToFileTime(st.st_mtim);
        }
    }
    std::memcpy(entry->name, name, item.length + 1);
    entry->isDir = isDir;
    entry->size = size;
    entry->lastWrite = lastWrite;
    return true;
}

// A folder's file descriptor, closed however the listing ends.
class CFolderHandle {
public:
    explicit CFolderHandle(const char *folder) : m_fd(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~CFolderHandle() {
        if (m_fd >= 0) close(m_fd);
    }
    CFolderHandle(const CFolderHandle &) = delete;
    CFolderHandle &operator=(const CFolderHandle &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Reads every entry of the folder into `block` as the system gives them, a
// few large reads for the whole folder, and calls take(name, place of the
// name in block, d_type) for each; the names stay where they were read.
// False when the folder cannot be read. Places past 32 bits (a folder of
// gigabytes of names) are beyond what a listing holds.
template <typename Take>
bool ListFolder(const char *folder, std::string &block, Take &&take) {
    const CFolderHandle handle(folder);
    if (handle.fd() < 0) return false;
    constexpr size_t kRead = 64 * 1024;
    const size_t limit = fault::ListingReadLimit();
    // Room for what the folder's size says it holds (a listing's records
    // take somewhat more than the folder's own), so that a large folder is
    // rarely moved as it grows.
    struct stat st {};
    if (limit == 0 && fstat(handle.fd(), &st) == 0 && st.st_size > 0 &&
        static_cast<uint64_t>(st.st_size) < UINT32_MAX / 2) {
        block.reserve(static_cast<size_t>(st.st_size) / 2 * 3 + kRead);
    }
    size_t used = 0;
    for (;;) {
        if (block.size() - used < kRead) block.resize(std::max(block.capacity(), used + kRead));
        const size_t room = limit != 0 ? std::min(limit, block.size() - used) : block.size() - used;
        const ssize_t got = getdents64(handle.fd(), &block[used], room);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        const size_t end = used + static_cast<size_t>(got);
        if (end > UINT32_MAX) throw std::bad_alloc();
        while (used < end) {
            const auto *d = reinterpret_cast<const struct dirent64 *>(&block[used]);
            const size_t record = d->d_reclen;
            if (record == 0 || record > end - used) return false;
            const size_t name = used + offsetof(struct dirent64, d_name);
            take(&block[name], name, d->d_type);
            used += record;
        }
    }
    block.resize(used);
    return true;
}

// Reports the next entry that can still be filled in; false at the end.
bool ReportNext(DirSearch &search, DirEntry *entry) {
    while (search.next < search.items.size()) {
        if (FillEntry(search, search.items[search.next++], entry)) return true;
    }
    return false;
}

}  // namespace

DirSearch *FindFirst(const char *pattern, DirEntry *entry, Listing listing) {
    if (pattern == nullptr || entry == nullptr) return nullptr;
    if (fault::ShouldFail(fault::kEnumerate)) return nullptr;
    try {
        auto search = std::make_unique<DirSearch>();
        search->listing = listing;
        const std::string full = Native(pattern);
        const size_t cut = full.rfind('/');
        search->folder = cut == std::string::npos ? std::string() : full.substr(0, cut + 1);
        const std::string mask = cut == std::string::npos ? full : full.substr(cut + 1);
        if (mask.empty()) return nullptr;
        const WildcardPattern wanted(mask.c_str());
        const bool listed = ListFolder(search->folder.empty() ? "." : search->folder.c_str(), search->names,
                                       [&](const char *name, size_t at, unsigned char type) {
                                           const size_t length = std::strlen(name);
                                           if (length >= AVFILE_MAX_PATH || !wanted.Matches(name, length)) return;
                                           search->items.push_back(MakeListedName(
                                               name, length, static_cast<uint32_t>(at), type));
                                       });
        if (!listed) return nullptr;
        // NTFS lists a folder in upper-case name order; do the same so that
        // searches see the same order on both systems.
        SortAsListed(search->items, search->names.data());
        if (!ReportNext(*search, entry)) return nullptr;
        return search.release();
    } catch (const std::bad_alloc &) {
        // Out of memory while listing: the folder is not enumerated and
        // nothing stays open.
        return nullptr;
    }
}

bool FindNext(DirSearch *search, DirEntry *entry) {
    if (search == nullptr || entry == nullptr || search->next >= search->items.size()) {
        return false;
    }
    if (fault::ShouldFail(fault::kEnumerate)) return false;
    return ReportNext(*search, entry);
}

size_t EntriesAhead(const DirSearch *search) {
    return search == nullptr ? 0 : search->items.size() - search->next;
}

void FindClose(DirSearch *search) { delete search; }

// ---- Files ----

bool PathExists(const char *path) {
    if (path == nullptr) return false;
    const NativePath native(path);
    return native.ok() && access(native.c_str(), F_OK) == 0;
}

bool CopyFile(const char *source, const char *destination, bool failIfExists) {
    if (source == nullptr || destination == nullptr) return false;
    // Copy into a temporary file beside the destination, then move it into
    // place: a failed copy never leaves a partial destination behind. The
    // names are made before anything is opened, so running out of memory
    // leaves nothing open.
    std::string src, dst, tmp;
    try {
        src = Native(source);
        dst = Native(destination);
        const size_t cut = dst.rfind('/');
        tmp = (cut == std::string::npos ? std::string() : dst.substr(0, cut + 1)) +
              ".avfile-copy-XXXXXX";
    } catch (const std::bad_alloc &) {
        return false;
    }
    const int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    // As on Windows, an existing destination is kept when the caller asks
    // for that, when it is the source itself (under any spelling of its
    // path) and when it is read-only (no write permission for anyone).
    struct stat existing {};
    if (stat(dst.c_str(), &existing) == 0) {
        const bool sameFile = existing.st_dev == st.st_dev && existing.st_ino == st.st_ino;
        const bool readOnly = (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        if (failIfExists || sameFile || readOnly) {
            close(in);
            return false;
        }
    }
    const int out = mkstemp(tmp.data());
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = true;
    static thread_local char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    close(in);
    if (ok) {
        fchmod(out, st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
    }
    if (close(out) != 0) ok = false;
    if (ok) {
        if (failIfExists) {
            // link() never replaces: a destination that appeared meanwhile wins.
            ok = link(tmp.c_str(), dst.c_str()) == 0;
        } else {
            ok = rename(tmp.c_str(), dst.c_str()) == 0;
        }
    }
    unlink(tmp.c_str());
    return ok;
}

// A read-only byte stream with a read-ahead of its own. Repositioning is
// lazy and costs no read; the first fill after it reads only what was asked
// for, and while the reads run on sequentially each fill doubles, up to
// kReadAhead. A request of kDirectRequest or more goes straight into the
// caller's buffer. So a reader that jumps to a header and takes a
// few kilobytes reads only those, and one that walks through a recording in
// small windows needs one read() per kReadAhead bytes. A reader that says
// how much it is about to take (ReadAhead) has that in one fill, in a
// buffer grown for it up to kLargestFill and given back at the next fill
// (more than that is read as the requests come);
// what the standard buffer held stays there meanwhile, so that a seek back
// into it costs nothing either.
constexpr size_t kReadAhead = 64 * 1024;
constexpr size_t kDirectRequest = 16 * 1024;
constexpr size_t kLargestFill = 1024 * 1024;
constexpr uint64_t kSizeUnknown = ~uint64_t{0};

struct ReadFile {
    int fd = -1;                   // -1 for a file served from memory
    const fault::ServedFile *served = nullptr;
    unsigned char *standard = nullptr;  // kReadAhead bytes; null: every read is direct
    unsigned char *buf = nullptr;  // the buffer in use: standard or a grown one
    size_t capacity = 0;           // of buf
    int64_t bufStart = 0;          // file offset of buf[0]
    size_t len = 0;                // bytes held in buf
    size_t pos = 0;                // next byte in buf; bufStart + pos is the position
    size_t nextFill = 0;           // size of the next fill; 0 right after a seek
    size_t hint = 0;               // the next fill reads at least this much
    int64_t standardStart = 0;     // file offset of standard[0]
    size_t standardLen = 0;        // bytes standard holds, in use or not
    uint64_t size = kSizeUnknown;  // of the file when it was opened
};

namespace {

// pread until `bytes` are read, the file ends or it fails; the count read.
// The end the file had when it was opened is its end: a read that reaches
// it does not ask once more for what a longer file would hold.
size_t ReadAt(const ReadFile &file, unsigned char *out, size_t bytes, int64_t offset) {
    // Nothing lies at or past that end: the file is read as long as it was
    // when it was opened.
    if (static_cast<uint64_t>(offset) >= file.size) return 0;
    fault::Note(fault::kReadCall);
    if (file.served != nullptr) {
        const size_t size = file.served->size;
        if (static_cast<uint64_t>(offset) >= size) return 0;
        const size_t n = std::min(bytes, size - static_cast<size_t>(offset));
        std::memcpy(out, file.served->data + offset, n);
        return n;
    }
    const int fd = file.fd;
    size_t done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd, out + done, bytes - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
        if (done < bytes && static_cast<uint64_t>(offset) + done >= file.size) break;
        if (done < bytes) fault::Note(fault::kReadCall);
    }
    return done;
}

// Gives a grown buffer back: the stream reads through its standard one
// again.
void ReleaseGrown(ReadFile &file) {
    if (file.buf == file.standard) return;
    delete[] file.buf;
    file.buf = file.standard;
    file.capacity = file.standard != nullptr ? kReadAhead : 0;
}

// Makes room for the fill a hint asks for, as far as the file reaches from
// the buffer's start, in a buffer of its own while the standard one holds
// anything; the standard buffer serves when no more memory can be had.
void PrepareHintedFill(ReadFile &file) {
    size_t wanted = file.hint;
    if (file.size != kSizeUnknown) {
        const uint64_t start = static_cast<uint64_t>(file.bufStart);
        const uint64_t left = start < file.size ? file.size - start : 0;
        if (left < wanted) wanted = static_cast<size_t>(left);
    }
    if (wanted > kLargestFill) {
        // More than one fill holds: the reader's own requests decide.
        file.hint = 0;
        return;
    }
    if (wanted == 0 || (wanted <= kReadAhead && file.standardLen == 0)) return;
    if (file.buf != file.standard && wanted <= file.capacity) return;
    ReleaseGrown(file);
    if (auto *grown = new (std::nothrow) unsigned char[wanted]) {
        file.buf = grown;
        file.capacity = wanted;
    }
}

}  // namespace

ReadFile *OpenRead(const char *path) {
    if (path == nullptr || fault::ShouldFail(fault::kOpen)) return nullptr;
    const fault::ServedFile *served = fault::Served(path);
    int fd = -1;
    if (served == nullptr) {
        const NativePath native(path);
        if (!native.ok()) return nullptr;
        fault::Note(fault::kOpenCall);
        fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
    } else {
        fault::Note(fault::kOpenCall);
    }
    auto *file = new (std::nothrow) ReadFile;
    if (file == nullptr) {
        if (fd >= 0) close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->served = served;
    if (served != nullptr) {
        file->size = served->size;
    } else {
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0) {
            file->size = static_cast<uint64_t>(st.st_size);
        }
    }
    file->standard = new (std::nothrow) unsigned char[kReadAhead];
    file->buf = file->standard;
    file->capacity = file->standard != nullptr ? kReadAhead : 0;
    return file;
}

size_t Read(ReadFile *file, void *buffer, size_t bytes) {
    if (file == nullptr || buffer == nullptr || fault::ShouldFail(fault::kRead)) return 0;
    auto *out = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < bytes) {
        if (file->pos < file->len) {
            const size_t take = std::min(bytes - done, file->len - file->pos);
            std::memcpy(out + done, file->buf + file->pos, take);
            file->pos += take;
            done += take;
            continue;
        }
        // The buffer is used up: go on from the position it reached.
        file->bufStart += static_cast<int64_t>(file->pos);
        file->pos = file->len = 0;
        const size_t want = bytes - done;
        if (file->hint > 0) {
            PrepareHintedFill(*file);
        } else {
            ReleaseGrown(*file);
        }
        size_t fill = std::max(file->nextFill, std::min(want, kReadAhead));
        const bool hinted = file->hint > fill;
        if (hinted) fill = std::min(file->hint, file->capacity);
        file->hint = 0;
        // Small requests go through the buffer, so that a seek back into
        // what was just read costs nothing; so does a request smaller than
        // the fill a hint asked for.
        const bool direct = file->buf == nullptr || (want >= kDirectRequest && (!hinted || want >= fill));
        if (direct) {
            const size_t got = ReadAt(*file, out + done, want, file->bufStart);
            file->bufStart += static_cast<int64_t>(got);
            done += got;
            file->nextFill = std::min(std::max(2 * want, file->nextFill), kReadAhead);
            break;
        }
        file->len = ReadAt(*file, file->buf, fill, file->bufStart);
        // A fill that found nothing left the buffer's bytes as they were.
        if (file->buf == file->standard && file->len > 0) {
            file->standardStart = file->bufStart;
            file->standardLen = file->len;
        }
        file->nextFill = std::min(2 * fill, kReadAhead);
        if (file->len == 0) break;
    }
    return done;
}

bool Seek(ReadFile *file, int64_t offset) {
    if (file == nullptr || offset < 0 || fault::ShouldFail(fault::kSeek)) return false;
    const int64_t end = file->bufStart + static_cast<int64_t>(file->len);
    if (offset >= file->bufStart && offset <= end) {
        file->pos = static_cast<size_t>(offset - file->bufStart);  // still in the buffer
        return true;
    }
    if (file->standardLen > 0 && offset >= file->standardStart &&
        offset <= file->standardStart + static_cast<int64_t>(file->standardLen)) {
        // Back into what the standard buffer still holds.
        ReleaseGrown(*file);
        file->bufStart = file->standardStart;
        file->len = file->standardLen;
        file->pos = static_cast<size_t>(offset - file->standardStart);
        return true;
    }
    file->bufStart = offset;
    file->pos = file->len = 0;
    file->nextFill = 0;
    return true;
}

int64_t Tell(ReadFile *file) {
    if (file == nullptr) return -1;
    return file->bufStart + static_cast<int64_t>(file->pos);
}

void ReadAhead(ReadFile *file, size_t bytes) {
    if (file != nullptr) file->hint = bytes;
}

bool FileSize(ReadFile *file, uint64_t *size) {
    if (file == nullptr || size == nullptr || fault::ShouldFail(fault::kSize)) return false;
    if (file->served != nullptr) {
        *size = file->served->size;
        return true;
    }
    // A plain file is as long as it was when it was opened.
    if (file->size != kSizeUnknown) {
        *size = file->size;
        return true;
    }
    struct stat st {};
    if (fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

void CloseRead(ReadFile *file) {
    if (file == nullptr) return;
    if (file->fd >= 0) close(file->fd);
    ReleaseGrown(*file);
    delete[] file->standard;
    delete file;
}

// ---- Profile files ----

namespace {

std::string Trim(const std::string &s) {
    const char *blanks = " \t\r\n";
    const size_t a = s.find_first_not_of(blanks);
    if (a == std::string::npos) return std::string();
    const size_t b = s.find_last_not_of(blanks);
    return s.substr(a, b - a + 1);
}

bool EqualNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

// The value of section/key, or false when the file, section or key is missing.
bool ProfileLookup(const char *section, const char *key, const char *file,
                   std::string &value) {
    if (section == nullptr || key == nullptr || file == nullptr) return false;
    FILE *f = std::fopen(Native(file).c_str(), "rb");
    if (f == nullptr) return false;
    bool inSection = false, found = false;
    char line[1024];
    while (!found && std::fgets(line, sizeof line, f)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';') continue;
        if (text[0] == '[') {
            const size_t close = text.find(']');
            inSection = close != std::string::npos &&
                        EqualNoCase(Trim(text.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        const size_t eq = text.find('=');
        if (eq == std::string::npos || !EqualNoCase(Trim(text.substr(0, eq)), key)) continue;
        value = Trim(text.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        found = true;
    }
    std::fclose(f);
    return found;
}

}  // namespace

int32_t ProfileInt(const char *section, const char *key, int32_t defaultValue,
                   const char *file) {
    std::string value;
    try {
        if (!ProfileLookup(section, key, file, value) || value.empty()) return defaultValue;
    } catch (const std::bad_alloc &) {
        return defaultValue;
    }
    return static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
}

size_t ProfileString(const char *section, const char *key, const char *defaultValue,
                     char *out, size_t size, const char *file) {
    if (out == nullptr || size == 0) return 0;
    std::string value;
    try {
        if (!ProfileLookup(section, key, file, value)) {
            // The default loses its trailing blanks, as the Windows service
            // strips them.
            value = defaultValue ? defaultValue : "";
            value.erase(value.find_last_not_of(' ') + 1);
        }
    } catch (const std::bad_alloc &) {
        value.clear();
    }
    const size_t n = std::min(value.size(), size - 1);
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

// ---- Time ----

void LocalTime(AvSystemTime *out) {
    if (out == nullptr) return;
    if (g_localTimeSource) {
        g_localTimeSource(out);
        return;
    }
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm {};
    localtime_r(&ts.tv_sec, &tm);
    out->wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    out->wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    out->wDay = static_cast<uint16_t>(tm.tm_mday);
    out->wHour = static_cast<uint16_t>(tm.tm_hour);
    out->wMinute = static_cast<uint16_t>(tm.tm_min);
    out->wSecond = static_cast<uint16_t>(tm.tm_sec);
    out->wMilliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
}

uint32_t TickCount() {
    if (g_tickSource) return g_tickSource();
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                        static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void SetTickSource(TickSource source) { g_tickSource = source; }
void SetLocalTimeSource(LocalTimeSource source) { g_localTimeSource = source; }

namespace {
using namespace std::chrono;
constexpr sys_days kFileTimeEpoch = sys_days{year{1601} / January / 1};
}  // namespace

bool FileTimeToSystemTime(uint64_t fileTime, AvSystemTime *out) {
    // Windows converts every value below 2^63 (the last is in the year 30828).
    if (out == nullptr || fileTime >= 0x8000000000000000ull) return false;
    const uint64_t totalMs = fileTime / 10000u;
    const uint64_t days = totalMs / 86400000u;
    uint64_t msOfDay = totalMs % 86400000u;
    const sys_days day = kFileTimeEpoch + std::chrono::days{static_cast<int64_t>(days)};
    const year_month_day ymd{day};
    out->wYear = static_cast<uint16_t>(int(ymd.year()));
    out->wMonth = static_cast<uint16_t>(unsigned(ymd.month()));
    out->wDay = static_cast<uint16_t>(unsigned(ymd.day()));
    out->wDayOfWeek = static_cast<uint16_t>(weekday{day}.c_encoding());
    out->wHour = static_cast<uint16_t>(msOfDay / 3600000u);
    msOfDay %= 3600000u;
    out->wMinute = static_cast<uint16_t>(msOfDay / 60000u);
    msOfDay %= 60000u;
    out->wSecond = static_cast<uint16_t>(msOfDay / 1000u);
    out->wMilliseconds = static_cast<uint16_t>(msOfDay % 1000u);
    return true;
}

bool SystemTimeToFileTime(const AvSystemTime *in, uint64_t *fileTime) {
    if (in == nullptr || fileTime == nullptr) return false;
    if (in->wYear < 1601 || in->wYear > 30827 || in->wMonth < 1 || in->wMonth > 12 ||
        in->wHour > 23 || in->wMinute > 59 || in->wSecond > 59 || in->wMilliseconds > 999) {
        return false;
    }
    const year_month_day ymd{year{in->wYear}, month{in->wMonth}, day{in->wDay}};
    if (in->wDay < 1 || !ymd.ok()) return false;
    const int64_t days = (sys_days{ymd} - kFileTimeEpoch).count();
    const uint64_t ms = static_cast<uint64_t>(days) * 86400000ull + in->wHour * 3600000ull +
                        in->wMinute * 60000ull + in->wSecond * 1000ull + in->wMilliseconds;
    *fileTime = ms * 10000u;
    return true;
}

// ---- Module and paths ----

namespace {

bool CopyOut(const std::string &text, char *out, size_t size) {
    if (out == nullptr || size == 0 || text.size() >= size) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

std::string Normalize(const std::string &path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string result;
    for (const std::string &part : parts) result += "/" + part;
    if (result.empty()) result = "/";
    // A trailing separator of the input stays, as GetFullPathNameA keeps it.
    if (!path.empty() && path.back() == '/' && result.back() != '/') result += '/';
    return result;
}

}  // namespace

bool OwnModulePath(char *out, size_t size) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&OwnModulePath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return false;
    }
    char resolved[PATH_MAX];
    const char *path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    // A lasting reference: the module stays loaded until the process ends.
    static bool pinned = false;
    if (!pinned) {
        dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        pinned = true;
    }
    return CopyOut(path, out, size);
}

bool ExecutablePath(char *out, size_t size) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return false;
    buffer[n] = '\0';
    return CopyOut(buffer, out, size);
}

bool FullPath(const char *path, char *out, size_t size) {
    if (path == nullptr) return false;
    try {
        std::string p = Native(path);
        if (p.empty() || p[0] != '/') {
            char cwd[PATH_MAX];
            if (getcwd(cwd, sizeof cwd) == nullptr) return false;
            p = std::string(cwd) + "/" + p;
        }
        return CopyOut(Normalize(p), out, size);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// ---- Debugger output ----

void DebugOutput(const char *text) {
    if (g_debugSink && text) g_debugSink(text);
}

bool DebugOutputListened() { return g_debugSink != nullptr; }

void SetDebugSink(DebugSink sink) { g_debugSink = sink; }

// ---- Recursive lock ----

static_assert(sizeof(std::recursive_mutex) <= 64, "lock storage too small");

RecursiveLock::RecursiveLock() { new (storage_) std::recursive_mutex(); }
RecursiveLock::~RecursiveLock() {
    reinterpret_cast<std::recursive_mutex *>(storage_)->~recursive_mutex();
}
void RecursiveLock::Enter() { reinterpret_cast<std::recursive_mutex *>(storage_)->lock(); }
void RecursiveLock::Leave() { reinterpret_cast<std::recursive_mutex *>(storage_)->unlock(); }

}  // namespace plat
