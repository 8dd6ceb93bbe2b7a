// The library's diagnostics log: settings from "LOG.INI", rotating log files
// under a folder quota.
#pragma once

class CDiagLog {
public:
    CDiagLog();
    ~CDiagLog();
    CDiagLog(const CDiagLog &) = delete;
    CDiagLog &operator=(const CDiagLog &) = delete;

    void SetModuleName(const char *name);
};

// The process-wide log object, constructed when the module loads.
CDiagLog &TheDiagLog();
