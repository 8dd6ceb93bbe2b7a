#include "track_point.h"

#include <cmath>
#include <cstring>

bool GpsFromSideData(const unsigned char *record, int32_t length, GpsBlock *gps) {
    if (!record || length < static_cast<int32_t>(sizeof(SideDataHead) + sizeof(GpsBlock))) return false;
    SideDataHead head;
    std::memcpy(&head, record, sizeof head);
    if (!(head.flags & AVFILE_SIDEDATA_GPS)) return false;
    std::memcpy(gps, record + sizeof head, sizeof *gps);
    return true;
}

bool IsDrawable(const GpsBlock &gps) {
    return std::isfinite(gps.latitude) && std::isfinite(gps.longitude) &&
           std::fabs(gps.latitude) <= 90.0 && std::fabs(gps.longitude) <= 180.0;
}
