// `avfile report` in a build without FFmpeg's libraries or OpenSSL's
// libcrypto: its videos and check sums need them, so it says so.
#include "commands.h"

CliError RunReport(const CommandContext &) {
    return Fail(kExitUnsupportedOutput,
                "this build of avfile cannot write incident reports (it was built without FFmpeg's libraries "
                "or OpenSSL's libcrypto)");
}
