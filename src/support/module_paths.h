// Where the library and its host live: the application folder (with the
// "AppPath.INI" redirection beside the library), the host's base name and
// the library's own name. Each is worked out once and cached.
#pragma once

// The application folder, ending in a path separator.
const char *GetAppPath();
// The host executable's file name without folder and extension.
const char *GetExeBaseName();
// The library's own file name without folder and extension.
const char *GetOwnModuleName();

// Drops the caches so that tests can work the paths out again.
void ResetModulePathCachesForTest();
