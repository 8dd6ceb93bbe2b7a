// avfile repair: a copy of a record file cut short by power loss that plays
// like a finished recording. The input is only read; the copy is written
// under a temporary name and moved into place.
#include <filesystem>
#include <string>

#include "commands.h"
#include "console.h"
#include "output_file.h"
#include "salvage/salvage_repair.h"

namespace {

// The repaired bytes into the output file, created with the first of them:
// a file that is not repaired leaves nothing behind.
class OutputSink final : public salvage::ByteOutput {
public:
    explicit OutputSink(std::string target) : m_target(std::move(target)) {}
    bool Write(const uint8_t *data, size_t bytes) override {
        if (!m_opened) {
            m_opened = true;
            if (!m_file.Open(m_target)) return false;
        }
        return m_file.Write(data, bytes);
    }
    bool Opened() const { return m_opened; }
    COutputFile &File() { return m_file; }

private:
    std::string m_target;
    bool m_opened = false;
    COutputFile m_file;
};

bool SameFile(const std::string &a, const std::string &b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

std::string Seconds(uint64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(micros) / 1e6);
    return text;
}

CliError RepairOne(const std::string &input, const std::string &output, const std::string &reference) {
    std::error_code ec;
    if (!std::filesystem::exists(input, ec)) return Fail(kExitMissingPath, input + ": no such file");
    if (!std::filesystem::is_regular_file(input, ec)) return Fail(kExitUnreadable, input + ": not a file");
    if (SameFile(input, output)) {
        return Fail(kExitUsage, output + ": is the file to repair; the input is never written");
    }
    if (!reference.empty() && SameFile(reference, output)) {
        return Fail(kExitUsage, output + ": is the reference file");
    }

    OutputSink sink(output);
    const salvage::RepairResult r =
        salvage::RepairFile(input.c_str(), reference.empty() ? nullptr : reference.c_str(), sink);
    const salvage::ScanResult &s = r.scan;
    switch (r.status) {
        case salvage::RepairStatus::Repaired:
            break;
        case salvage::RepairStatus::Sound:
            std::fprintf(Out(), "%s: sound, nothing to repair (%u video frames, idx1 present)\n", input.c_str(),
                         s.videoFrames);
            return {};
        case salvage::RepairStatus::NothingToSalvage:
            if (!s.movieListFound) {
                return Fail(kExitNotRecordFile, input + ": not a record file, or nothing of it to salvage (no movie list)");
            }
            return Fail(kExitFailed, input + ": nothing to salvage (no complete video frame)");
        case salvage::RepairStatus::NoHeader:
            return Fail(kExitNotRecordFile,
                        input + (reference.empty()
                                     ? ": the recorder's header is lost; give --reference SOUND.avi, a finished "
                                       "recording of the same recorder and channel"
                                     : ": the recorder's header is lost, and " + reference + " has none either"));
        case salvage::RepairStatus::CannotRead:
            return Fail(kExitUnreadable, (sink.Opened() ? input : input + (reference.empty() ? "" : " or " + reference)) +
                                             ": cannot be read");
        case salvage::RepairStatus::OutOfMemory:
            return Fail(kExitFailed, input + ": out of memory");
        case salvage::RepairStatus::WriteFailed:
            if (!sink.File().Error().empty()) return Fail(sink.File().FailureCode(), sink.File().Error());
            return Fail(kExitFailed, output + ": cannot be written");
    }
    if (!sink.File().Commit()) return Fail(kExitFailed, sink.File().Error());
    std::fprintf(Out(),
                 "%s -> %s: repaired, %u video frames (%u key frames, %s s) in %u chunks; %u chunk%s dropped, "
                 "%llu bytes after the damage%s\n",
                 input.c_str(), output.c_str(), r.videoFrames, r.keyFrames, Seconds(r.recoveredMicros).c_str(),
                 r.chunks, r.chunksDropped, r.chunksDropped == 1 ? "" : "s",
                 static_cast<unsigned long long>(s.bytesAfterDamage),
                 r.headerFromReference ? "; header blocks from the reference" : "");
    return {};
}

}  // namespace

CliError RunRepair(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.empty()) return Fail(kExitUsage, "repair needs a record file");
    if (o.output.empty() == o.outputDir.empty()) {
        return Fail(kExitUsage, "repair needs either -o OUT or --output-dir DIR");
    }
    if (!o.output.empty() && o.paths.size() > 1) {
        return Fail(kExitUsage, "repair of several files needs --output-dir DIR, not -o");
    }
    for (const std::string &input : o.paths) {
        const std::string output =
            o.output.empty() ? (std::filesystem::path(o.outputDir) / std::filesystem::path(input).filename()).string()
                             : o.output;
        if (CliError e = RepairOne(input, output, o.reference)) return e;
    }
    return {};
}
