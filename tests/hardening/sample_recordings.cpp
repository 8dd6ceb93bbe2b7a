#include "hardening/sample_recordings.h"

#include <cstdio>

namespace {

recsim::RecordingPlan SmallPlan() {
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 4;
    plan.keyFrameInterval = 3;
    plan.keyFrameSize = 320;
    plan.frameSize = 40;
    plan.audioChunkBytes = 400;
    return plan;
}

SampleRecording Build(const char *label, const recsim::FileRecipe &recipe) {
    SampleRecording sample;
    sample.label = label;
    sample.bytes = recsim::BuildFile(recipe, &sample.written);
    return sample;
}

}  // namespace

recsim::RecordingPlan TreeFilePlan() {
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 5;
    plan.keyFrameSize = 400;
    plan.frameSize = 60;
    return plan;
}

const std::vector<SampleRecording> &SampleRecordings() {
    static const std::vector<SampleRecording> samples = [] {
        std::vector<SampleRecording> out;
        const recsim::RecordingPlan plan = SmallPlan();
        out.push_back(Build("plain", recsim::PlannedFile(plan)));
        {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan);
            recipe.header.encryption = 0x15;
            out.push_back(Build("encrypted", recipe));
        }
        {
            recsim::RecordingPlan p = plan;
            p.gpsSamples = true;
            p.delimiters = true;
            p.audioChannels = {0, 1, 3};
            recsim::FileRecipe recipe = recsim::PlannedFile(p);
            recsim::DescribePcmAudio(recipe);
            out.push_back(Build("samples-delimiters-audio", recipe));
        }
        {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan);
            recipe.header.videoStandard = 0;
            recipe.index.present = false;
            out.push_back(Build("ntsc-no-index", recipe));
        }
        {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan);
            recipe.infoPlacement = recsim::InfoPlacement::AfterIndex;
            recipe.infoForm = recsim::InfoForm::Short;
            out.push_back(Build("info-after-index", recipe));
        }
        {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan);
            recipe.mainHeaderSize = 36;
            recipe.watermark = true;
            out.push_back(Build("short-main-header", recipe));
        }
        return out;
    }();
    return samples;
}

const SampleRecording &EveryChunkKindRecording() {
    static const SampleRecording sample = [] {
        recsim::RecordingPlan plan;
        plan.seconds = 3;
        plan.framesPerSecond = 8;
        plan.keyFrameInterval = 6;
        plan.keyFrameSize = 2400;
        plan.frameSize = 500;
        plan.delimiters = true;
        plan.audioChannels = {0, 1};
        plan.audioChunkBytes = 800;
        plan.gpsSamples = true;
        recsim::FileRecipe recipe = recsim::PlannedFile(plan);
        recipe.header.encryption = 0x15;
        recsim::DescribePcmAudio(recipe, 8000, 800);
        // A text chunk without samples, a chunk of another stream kind and
        // video chunks without the delimiter among the planned ones.
        recsim::Chunk text;
        text.kind = recsim::ChunkKind::Text;
        text.stream = 3;
        text.payload = recsim::TextPayload(recsim::RmcSentence(plan.route.At(0.5), "GN"));
        recipe.chunks.insert(recipe.chunks.begin() + 5, text);
        recsim::Chunk other;
        other.kind = recsim::ChunkKind::Raw;
        other.id = "ix00";
        other.payload.assign(24, 0x5a);
        recipe.chunks.insert(recipe.chunks.begin() + 9, other);
        recsim::Chunk plainKey;
        plainKey.kind = recsim::ChunkKind::Video;
        plainKey.key = true;
        plainKey.payload = recsim::SyntheticKeyFrame(1200, false, 99);
        recipe.chunks.insert(recipe.chunks.begin() + 14, plainKey);
        recsim::TopChunk junk;
        junk.id = "JUNK";
        junk.body.assign(40, 0);
        recipe.beforeMovie.push_back(junk);
        SampleRecording out;
        out.label = "every-chunk-kind";
        out.bytes = recsim::BuildFile(recipe, &out.written);
        return out;
    }();
    return sample;
}

bool WriteBytes(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}
