// libavfilter and libswscale for the mosaic, loaded when a mosaic is made:
// the program does not link them, so that the other commands do not pay
// for loading them and the many libraries they bring at every start.
#pragma once

#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libswscale/swscale.h>
}

// The functions the mosaic calls, named as in the libraries.
struct MosaicFilters {
    decltype(&::avfilter_get_by_name) avfilter_get_by_name = nullptr;
    decltype(&::avfilter_graph_alloc) avfilter_graph_alloc = nullptr;
    decltype(&::avfilter_graph_free) avfilter_graph_free = nullptr;
    decltype(&::avfilter_graph_create_filter) avfilter_graph_create_filter = nullptr;
    decltype(&::avfilter_graph_parse_ptr) avfilter_graph_parse_ptr = nullptr;
    decltype(&::avfilter_graph_config) avfilter_graph_config = nullptr;
    decltype(&::avfilter_inout_alloc) avfilter_inout_alloc = nullptr;
    decltype(&::avfilter_inout_free) avfilter_inout_free = nullptr;
    decltype(&::av_buffersrc_add_frame) av_buffersrc_add_frame = nullptr;
    decltype(&::av_buffersink_get_frame) av_buffersink_get_frame = nullptr;
    decltype(&::av_buffersink_get_w) av_buffersink_get_w = nullptr;
    decltype(&::av_buffersink_get_h) av_buffersink_get_h = nullptr;
    decltype(&::sws_getCachedContext) sws_getCachedContext = nullptr;
    decltype(&::sws_scale) sws_scale = nullptr;
    decltype(&::sws_freeContext) sws_freeContext = nullptr;
};

// Loads both libraries (the major versions the program was built with)
// once and finds the functions; null with the reason in *error when a
// library or one of its functions is missing. The libraries stay loaded.
const MosaicFilters *LoadMosaicFilters(std::string *error);
