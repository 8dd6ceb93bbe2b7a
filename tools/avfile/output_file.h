// An export's output file: written under a temporary name beside the target
// and moved into place only when complete, so a failed export never leaves
// a half-written file behind. "-" names standard output, written as it
// goes. An output that exists already is refused, kept or replaced as the
// rule set by SetOverwritePolicy says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "exit_codes.h"
#include "options.h"
#include "pending_output.h"

// The rule for outputs that exist already; set once at start (the avfile
// program's default refuses them). Unset, an existing target is replaced.
void SetOverwritePolicy(Overwrite policy);
// The stream "-" writes to (the tool's own standard output); stdout when
// none is set.
void SetStandardOutputStream(std::FILE *stream);
// The output name of standard output.
bool IsStandardOutput(const std::string &target);
// Whether `target` may be written now. A target that exists is an error
// (kExitOutputExists) under the default rule; under -n it is kept and
// *keep is set; under -y it will be replaced.
CliError ClaimTarget(const std::string &target, bool *keep);

class COutputFile {
public:
    COutputFile() = default;
    // An output neither committed nor discarded is discarded.
    ~COutputFile();
    COutputFile(const COutputFile &) = delete;
    COutputFile &operator=(const COutputFile &) = delete;

    // Creates the temporary file beside `target`, or takes standard output
    // for "-". False when it cannot be created or the target exists and may
    // not be replaced (the reason is then in Error(), the exit code in
    // ExitCode()).
    bool Open(const std::string &target);

    // Appends bytes. The first failure is kept: every later write does
    // nothing and returns false, and Commit refuses.
    bool Write(const void *data, size_t size);
    bool Put(std::string_view text) { return Write(text.data(), text.size()); }
    bool Put(char c) { return Write(&c, 1); }

    // Rewrites bytes already written (a header's sizes), then returns to the
    // end of the file.
    bool Patch(uint64_t offset, const void *data, size_t size);

    // Marks the output failed for a reason of the writer's own (a size
    // limit of the format, say); Commit then refuses.
    void SetError(const std::string &reason) {
        if (m_error.empty()) m_error = reason + ": " + m_target;
    }

    // Flushes and closes the file and moves it onto the target, replacing
    // any file there. False, with the temporary file removed, on any
    // failure met while writing or now.
    bool Commit();
    // Closes and removes the temporary file; the target is not touched.
    void Discard();

    bool Ok() const { return m_file != nullptr && m_error.empty(); }
    // False for standard output: nothing written can be rewritten.
    bool Seekable() const { return !m_standardOutput; }
    ExitCode FailureCode() const { return m_exists ? kExitOutputExists : kExitFailed; }
    uint64_t Size() const { return m_size; }
    const std::string &Target() const { return m_target; }
    // What went wrong, naming the path; empty while all is well.
    const std::string &Error() const { return m_error; }

private:
    void Fail(const char *what, const std::string &path);

    static constexpr size_t kWriteBuffer = size_t{1} << 20;
    // Declared before the file, so that it outlives every close.
    std::unique_ptr<char[]> m_buffer;
    std::FILE *m_file = nullptr;
    std::string m_target;
    std::string m_temp;
    std::string m_error;
    uint64_t m_size = 0;
    bool m_standardOutput = false;
    bool m_exists = false;  // refused: the target exists
    CPendingOutput m_pending;  // m_temp while it exists
};
