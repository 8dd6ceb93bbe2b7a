// The files of the report page (its HTML template, style sheet and script),
// built into the program from tools/avfile/report/ by embed_assets.cmake.
#pragma once

#include <cstddef>
#include <string_view>

struct EmbeddedAsset {
    const char *name;
    const unsigned char *data;
    size_t size;

    std::string_view Text() const { return {reinterpret_cast<const char *>(data), size}; }
};

extern const EmbeddedAsset kReportAssets[];
extern const size_t kReportAssetsCount;
