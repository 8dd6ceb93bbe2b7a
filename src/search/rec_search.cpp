// The search object's lifetime, its hook for every record file found, and
// the reading of a listed name through the naming rules one by one.
#include "search/rec_search.h"

CRecSearch::~CRecSearch() = default;
CFileSearchJNQ::~CFileSearchJNQ() = default;

void CRecSearch::OnRecordFound(const RecFileEntry &) {}

bool CRecSearch::ReadListedName(RecFileEntry &entry, ChannelList &channels) {
    if (GetRecordName(entry.path) == nullptr) return false;
    entry.timeRead = GetStartTime(entry.path, &entry.startTime) != 0 ? 1 : 0;
    entry.alarm = IsAlarmRecord(entry.path);
    const size_t first = channels.size();
    entry.channelDigit = ChannelDigit(GetChannels(entry.path, channels), channels, first);
    return true;
}
