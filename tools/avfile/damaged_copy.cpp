#include "damaged_copy.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <new>
#include <set>

#include "card_files.h"
#include "console.h"
#include "os/host_os.h"
#include "pending_output.h"
#include "salvage/salvage_repair.h"

namespace {

// The repaired bytes into the private copy.
class FileSink final : public salvage::ByteOutput {
public:
    explicit FileSink(std::FILE *file) : m_file(file) {}
    bool Write(const uint8_t *data, size_t bytes) override {
        return std::fwrite(data, 1, bytes, m_file) == bytes;
    }

private:
    std::FILE *m_file;
};

struct Copy {
    std::string original;
    std::string path;  // empty: read the original
    CPendingOutput pending;
};

// The files judged so far, with their copies. A day's export opens each
// file several times; a few copies are kept, the oldest removed first.
class Copies {
public:
    ~Copies() {
        for (const std::unique_ptr<Copy> &c : m_copies) Remove(*c);
    }

    const std::string &Find(const std::string &original) {
        for (const std::unique_ptr<Copy> &c : m_copies) {
            if (c->original == original) return c->path.empty() ? c->original : c->path;
        }
        std::unique_ptr<Copy> copy = Make(original);
        if (m_copies.size() >= kKept) {
            Remove(*m_copies.front());
            m_copies.pop_front();
        }
        m_copies.push_back(std::move(copy));
        const Copy &c = *m_copies.back();
        return c.path.empty() ? c.original : c.path;
    }

private:
    static constexpr size_t kKept = 4;
    static constexpr size_t kWriteBuffer = size_t{1} << 20;

    static void Remove(Copy &c) {
        if (c.path.empty()) return;
        std::remove(c.path.c_str());
        c.pending.Clear();
        c.path.clear();
    }

    std::unique_ptr<Copy> Make(const std::string &original) {
        auto copy = std::make_unique<Copy>();
        copy->original = original;
        // A sound file is told by a few hundred bytes; any other is left to
        // the repair, which refuses what it cannot salvage.
        {
            std::unique_ptr<salvage::ByteSource> source = salvage::OpenFileSource(original.c_str());
            salvage::ScanResult sound;
            if (source == nullptr || salvage::LooksSound(*source, sound)) return copy;
        }
        const std::string folder = hostos::TemporaryFolder();
        if (folder.empty()) return copy;
        std::FILE *file = nullptr;
        std::string path;
        for (int attempt = 0; attempt < 100 && !file; ++attempt) {
            path = folder + "avfile-" + std::to_string(hostos::ProcessId()) + "-" + std::to_string(m_made++) +
                   ".avi";
            copy->pending.Set(path);
            file = hostos::CreateExclusiveFile(path);
        }
        if (!file) {
            copy->pending.Clear();
            return copy;
        }
        // The copy goes out in writes of 1 MiB (glibc ignores a size given
        // without a buffer).
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[kWriteBuffer]);
        if (buffer) std::setvbuf(file, buffer.get(), _IOFBF, kWriteBuffer);
        FileSink sink(file);
        const salvage::RepairResult r = salvage::RepairFile(original.c_str(), nullptr, sink);
        const bool written = std::fclose(file) == 0 && r.status == salvage::RepairStatus::Repaired;
        if (!written) {
            std::remove(path.c_str());
            copy->pending.Clear();
            return copy;
        }
        copy->path = path;
        if (m_told.insert(original).second) {
            const FileVerdict v = Judge(r.scan, true);
            Note(original + ": incomplete recording: " + v.reason);
        }
        return copy;
    }

    std::deque<std::unique_ptr<Copy>> m_copies;
    std::set<std::string> m_told;
    unsigned long m_made = 0;
};

Copies g_copies;

}  // namespace

std::string ReadablePath(const std::string &path) { return g_copies.Find(path); }
