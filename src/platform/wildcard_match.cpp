// Windows wildcard match of a name against a search pattern: '*' stands for
// any run of characters, '?' for one character, letters compare without
// regard to ASCII case, and "*.*" matches every name, with or without a full
// stop.
#include <cstring>

#include "platform/platform.h"

namespace plat {

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool WildcardMatch(const char *pattern, const char *name) {
    if (pattern == nullptr || name == nullptr) return false;
    if (std::strcmp(pattern, "*.*") == 0) return true;
    const char *p = pattern, *n = name;
    const char *star = nullptr, *resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p == '?' || (*p && Upper(*p) == Upper(*n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
            // A plain character after the star matches only where the name
            // has it: go straight to the next such place.
            if (*p != '*' && *p != '?' && *p != '\0') {
                const char wanted = Upper(*p);
                while (*n && Upper(*n) != wanted) ++n;
                resume = n;
            }
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == '\0';
}

}  // namespace plat
