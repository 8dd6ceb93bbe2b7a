#include "mosaic_filters.h"

#include "os/host_os.h"

extern "C" {
#include <libavfilter/version.h>
#include <libswscale/version.h>
}

namespace {

// The file names the system loads: those of the major versions built with.
std::string SharedName(const char *name, int major) {
    return std::string("lib") + name + ".so." + std::to_string(major);
}

template <typename Function>
bool Find(void *library, const char *name, Function &function, std::string *error) {
    function = reinterpret_cast<Function>(hostos::FindExport(library, name));
    if (!function && error->empty()) *error = std::string("no ") + name + " in FFmpeg's libraries";
    return function != nullptr;
}

bool Load(MosaicFilters &f, std::string *error) {
    void *filter = hostos::LoadSharedLibrary(SharedName("avfilter", LIBAVFILTER_VERSION_MAJOR), error);
    if (!filter) return false;
    void *scale = hostos::LoadSharedLibrary(SharedName("swscale", LIBSWSCALE_VERSION_MAJOR), error);
    if (!scale) return false;
    bool ok = Find(filter, "avfilter_get_by_name", f.avfilter_get_by_name, error);
    ok = Find(filter, "avfilter_graph_alloc", f.avfilter_graph_alloc, error) && ok;
    ok = Find(filter, "avfilter_graph_free", f.avfilter_graph_free, error) && ok;
    ok = Find(filter, "avfilter_graph_create_filter", f.avfilter_graph_create_filter, error) && ok;
    ok = Find(filter, "avfilter_graph_parse_ptr", f.avfilter_graph_parse_ptr, error) && ok;
    ok = Find(filter, "avfilter_graph_config", f.avfilter_graph_config, error) && ok;
    ok = Find(filter, "avfilter_inout_alloc", f.avfilter_inout_alloc, error) && ok;
    ok = Find(filter, "avfilter_inout_free", f.avfilter_inout_free, error) && ok;
    ok = Find(filter, "av_buffersrc_add_frame", f.av_buffersrc_add_frame, error) && ok;
    ok = Find(filter, "av_buffersink_get_frame", f.av_buffersink_get_frame, error) && ok;
    ok = Find(filter, "av_buffersink_get_w", f.av_buffersink_get_w, error) && ok;
    ok = Find(filter, "av_buffersink_get_h", f.av_buffersink_get_h, error) && ok;
    ok = Find(scale, "sws_getCachedContext", f.sws_getCachedContext, error) && ok;
    ok = Find(scale, "sws_scale", f.sws_scale, error) && ok;
    ok = Find(scale, "sws_freeContext", f.sws_freeContext, error) && ok;
    return ok;
}

}  // namespace

const MosaicFilters *LoadMosaicFilters(std::string *error) {
    static MosaicFilters filters;
    static std::string reason;
    static const bool loaded = Load(filters, &reason);
    if (!loaded) {
        *error = reason;
        return nullptr;
    }
    return &filters;
}
