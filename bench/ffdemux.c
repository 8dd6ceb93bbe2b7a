/* ffdemux: the two yardsticks of the playback benchmark.
 *
 *   ffdemux demux FILE PASSES   FFmpeg's demuxer: open the file with
 *                               libavformat and call av_read_frame until the
 *                               end, PASSES times
 *   ffdemux read FILE PASSES    the machine's limit: the whole file read into
 *                               a 1 MiB buffer, one read() per MiB (an
 *                               unbuffered stream hands each request straight
 *                               to read()), PASSES times
 *
 * Prints one line: mode, file, processor seconds of the fastest pass,
 * packets, payload bytes of a pass (the file's bytes for read). */
#include <libavformat/avformat.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* Processor time of the process, user and system: on a shared machine it
 * drifts far less than the wall clock, and it is what avfile_bench compares. */
static double Now(void) { return (double)clock() / CLOCKS_PER_SEC; }

/* One pass through the demuxer; -1 when the file cannot be opened. */
static int DemuxPass(const char *path, long long *packets, long long *bytes) {
    AVFormatContext *context = NULL;
    if (avformat_open_input(&context, path, NULL, NULL) != 0) return -1;
    AVPacket *packet = av_packet_alloc();
    if (packet == NULL) {
        avformat_close_input(&context);
        return -1;
    }
    *packets = 0;
    *bytes = 0;
    while (av_read_frame(context, packet) >= 0) {
        *packets += 1;
        *bytes += packet->size;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&context);
    return 0;
}

static int ReadPass(const char *path, unsigned char *buffer, size_t size, long long *bytes) {
    FILE *file = fopen(path, "rb");
    if (file == NULL) return -1;
    setvbuf(file, NULL, _IONBF, 0);
    *bytes = 0;
    size_t got;
    while ((got = fread(buffer, 1, size, file)) > 0) *bytes += (long long)got;
    fclose(file);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 4 || (strcmp(argv[1], "demux") != 0 && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: ffdemux demux|read FILE PASSES\n");
        return 2;
    }
    const int demux = strcmp(argv[1], "demux") == 0;
    const char *path = argv[2];
    int passes = atoi(argv[3]);
    if (passes < 1) passes = 1;
    const size_t size = 1 << 20;
    unsigned char *buffer = malloc(size);
    if (buffer == NULL) return 1;
    av_log_set_level(AV_LOG_QUIET);

    double best = -1.0;
    long long packets = 0;
    long long bytes = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const double begin = Now();
        const int result = demux ? DemuxPass(path, &packets, &bytes)
                                 : ReadPass(path, buffer, size, &bytes);
        const double seconds = Now() - begin;
        if (result != 0) {
            fprintf(stderr, "ffdemux: cannot read %s\n", path);
            free(buffer);
            return 1;
        }
        if (best < 0 || seconds < best) best = seconds;
    }
    printf("%s %s %.9f %lld %lld\n", argv[1], path, best, demux ? packets : 0, bytes);
    free(buffer);
    return 0;
}
