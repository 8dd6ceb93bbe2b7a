#include <algorithm>

#include "recsim/recsim.h"

namespace recsim {

namespace {

constexpr uint32_t kPcmMarker = 359110706;
constexpr uint32_t kAudioSampleRate = 8000;

std::vector<uint16_t> SamplesOfSecond(int second) {
    std::vector<uint16_t> values;
    for (int i = 0; i < 10; ++i) {
        values.push_back(static_cast<uint16_t>(second * 10 + i));
        values.push_back(static_cast<uint16_t>(1000 + i));
        values.push_back(static_cast<uint16_t>(2000 + second));
    }
    return values;
}

}  // namespace

std::vector<Chunk> PlanChunks(const RecordingPlan &plan) {
    std::vector<Chunk> chunks;
    const int fps = plan.framesPerSecond > 0 ? plan.framesPerSecond : 25;
    const int frames = plan.seconds * fps;
    int textStream = plan.textStream;
    if (textStream < 0) {
        int highest = 0;
        for (int c : plan.audioChannels) highest = std::max(highest, c + 1);
        textStream = highest + 1;
    }
    const uint64_t samplesPerChunk = plan.audioChunkBytes / 2;
    uint64_t audioSamples = 0;  // samples written per channel so far

    for (int f = 0; f < frames; ++f) {
        Chunk video;
        video.kind = ChunkKind::Video;
        if (plan.video && !plan.video->empty()) {
            const AccessUnit &unit = (*plan.video)[f % plan.video->size()];
            video.key = unit.key;
            video.payload = unit.bytes;
        } else {
            video.key = plan.keyFrameInterval > 0 && f % plan.keyFrameInterval == 0;
            video.payload = video.key ? SyntheticKeyFrame(plan.keyFrameSize, plan.delimiters, f)
                                      : SyntheticFrame(plan.frameSize, plan.delimiters, f);
        }
        chunks.push_back(std::move(video));

        if (plan.gps && f % fps == 0) {
            const int second = f / fps;
            Chunk text;
            text.kind = ChunkKind::Text;
            text.stream = textStream;
            const std::vector<uint16_t> samples = SamplesOfSecond(second);
            text.payload = TextPayload(RmcSentence(plan.route.At(second)),
                                       plan.gpsSamples ? &samples : nullptr);
            chunks.push_back(std::move(text));
        }

        // Audio as far as the end of this frame's time.
        const uint64_t due = static_cast<uint64_t>(f + 1) * kAudioSampleRate / fps;
        while (samplesPerChunk > 0 && !plan.audioChannels.empty() && audioSamples < due) {
            for (int channel : plan.audioChannels) {
                Chunk audio;
                audio.kind = ChunkKind::Audio;
                audio.stream = channel + 1;
                audio.payload = PcmAudio(plan.audioChunkBytes, kAudioSampleRate,
                                         440.0 * (channel + 1), audioSamples);
                chunks.push_back(std::move(audio));
            }
            audioSamples += samplesPerChunk;
        }
    }
    return chunks;
}

FileRecipe PlannedFile(const RecordingPlan &plan, int32_t startSeconds) {
    RecordingPlan timed = plan;
    timed.route.start.utcSeconds = startSeconds;
    FileRecipe recipe;
    recipe.chunks = PlanChunks(timed);
    recipe.framesPerSecond = static_cast<uint32_t>(plan.framesPerSecond);
    recipe.header.headerFrameRate = static_cast<int8_t>(plan.framesPerSecond);
    recipe.header.startSeconds = startSeconds;
    recipe.header.stopSeconds = startSeconds + plan.seconds;
    uint8_t presence = 0;
    for (int c : plan.audioChannels) presence |= static_cast<uint8_t>(1u << c);
    recipe.header.audioPresence = presence;
    return recipe;
}

void DescribePcmAudio(FileRecipe &recipe, uint32_t sampleRate, uint32_t frameBytes) {
    recipe.streamWords = std::array<uint32_t, 3>{0, kPcmMarker, frameBytes};
    // Format tag 1 (PCM) and one channel; the third word the byte rate.
    recipe.formatWords = std::array<uint32_t, 3>{1u | (1u << 16), sampleRate, sampleRate * 2};
}

}  // namespace recsim
