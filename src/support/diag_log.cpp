#include "support/diag_log.h"

CDiagLog::CDiagLog() = default;
CDiagLog::~CDiagLog() = default;
void CDiagLog::SetModuleName(const char *) {}

CDiagLog &TheDiagLog() {
    static CDiagLog log;
    return log;
}
