// A path or folder name through every naming rule of the recording tree and
// both day-name parsers: no read outside the text, and answers that agree.
#include <cstdint>
#include <cstring>
#include <memory>

#include "avfile/avfile.h"
#include "fuzz_support.h"
#include "search/rec_search.h"

namespace {

void CheckDay(int32_t accepted, const int32_t day[3], const char *parser) {
    if (accepted != 0 && accepted != 1) fuzz::Broken(std::string(parser) + " result");
    if (accepted == 0) return;
    if (day[0] < 1970 || day[0] > 2050 || day[1] < 1 || day[1] > 12 || day[2] < 1 || day[2] > 31) {
        fuzz::Broken(std::string(parser) + " accepted a day out of bounds");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    // An exact-size copy with its terminator, so that any read past it is seen.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const char *path = text.get();
    const size_t length = std::strlen(path);

    CFileSearchJNQ *search = GetRecSearch();
    const char *name = search->GetRecordName(path);
    if (name != nullptr && (name < path || name > path + length)) {
        fuzz::Broken("name part outside the path");
    }
    if (AVFILE_CheckFileName(path) != (name != nullptr ? 0 : 1)) {
        fuzz::Broken("file-name check disagrees with the naming rule");
    }

    ChannelList channels;
    const int32_t fromDigit = search->GetChannels(path, channels);
    if (fromDigit == 1 && (channels.size() != 1 || channels[0] < 0 || channels[0] > 7)) {
        fuzz::Broken("channel digit outside 1..8");
    }
    if (name == nullptr && !channels.empty()) fuzz::Broken("channel of a rejected name");
    const int32_t alarm = search->IsAlarmRecord(path);
    if (alarm != 0 && alarm != 1) fuzz::Broken("alarm flag");

    AvSystemTime time;
    std::memset(&time, 0xA5, sizeof time);
    const int32_t timed = search->GetStartTime(path, &time);
    if (timed != 0 && timed != 1) fuzz::Broken("start time result");
    if (time.wDayOfWeek != 0xA5A5 || time.wMilliseconds != 0xA5A5) {
        fuzz::Broken("start time wrote day of week or milliseconds");
    }
    int32_t rate = -7;
    const int32_t rated = search->GetFrameRate(path, &rate);
    if (rated == 0 ? rate != -7 : (rated != 1 || rate < 0 || rate > 99)) {
        fuzz::Broken("frame rate");
    }

    int32_t day[3] = {0, 0, 0};
    CheckDay(ParseDayName(path, day), day, "day-search rule");
    int32_t dashed[3] = {0, 0, 0};
    CheckDay(ParseDashedDayName(path, dashed), dashed, "dashed day rule");
    return 0;
}
