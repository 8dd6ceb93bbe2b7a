#include "search/path_join.h"

#include <cstring>

bool JoinPath(char (&out)[AVFILE_MAX_PATH], std::initializer_list<std::string_view> parts) {
    size_t length = 0;
    for (std::string_view part : parts) length += part.size();
    if (length >= AVFILE_MAX_PATH) return false;
    char *at = out;
    for (std::string_view part : parts) {
        std::memcpy(at, part.data(), part.size());
        at += part.size();
    }
    *at = '\0';
    return true;
}
