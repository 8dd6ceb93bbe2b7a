#include "stream_params.h"

#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

StreamParams ReadStreamParams(const unsigned char *keyFrame, size_t length) {
    StreamParams p;
    if (!keyFrame || length == 0 || length > INT_MAX) {
        p.why = "no key frame";
        return p;
    }
    // A parser's complaints about a frame stay off the console.
    const int logLevel = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    AVCodecParserContext *parser = av_parser_init(AV_CODEC_ID_H264);
    AVCodecContext *context = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264));
    if (parser && context) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        uint8_t *out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser, context, &out, &outSize, keyFrame, static_cast<int>(length), AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        if (parser->width > 0 && parser->height > 0) {
            p.known = true;
            p.codec = "H.264";
            const char *profile = avcodec_profile_name(AV_CODEC_ID_H264, context->profile);
            p.profile = profile ? profile : "unknown";
            p.level = context->level > 0 ? context->level : 0;
            p.width = parser->width;
            p.height = parser->height;
        }
    }
    if (!p.known) p.why = parser && context ? "no parameter sets in the first key frame" : "out of memory";
    av_parser_close(parser);
    avcodec_free_context(&context);
    av_log_set_level(logLevel);
    return p;
}
