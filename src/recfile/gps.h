// GPS side data: the RMC sentence and samples of a text chunk turned into
// the fixed-layout side-data record the host receives as a frame of type 3.
#pragma once

#include <cstdint>

#include "avfile/avfile.h"

// The comma-separated fields of one RMC sentence, each cut to 15 characters
// and terminated: 0 identifier, 1 UTC time, 2 status, 3 latitude, 4 N/S,
// 5 longitude, 6 E/W, 7 speed in knots, 8 course, 9 date, 10 magnetic
// variation, 11 always empty, 12 the rest of the sentence after the
// eleventh comma.
struct RmcFields {
    enum : int { kCount = 13, kSize = 16 };
    char slot[kCount][kSize];
};

enum RmcSlot : int {
    RMC_ID = 0,
    RMC_TIME = 1,
    RMC_STATUS = 2,
    RMC_LATITUDE = 3,
    RMC_NORTH_SOUTH = 4,
    RMC_LONGITUDE = 5,
    RMC_EAST_WEST = 6,
    RMC_SPEED_KNOTS = 7,
    RMC_COURSE = 8,
    RMC_DATE = 9,
    RMC_MAGNETIC = 10,
    RMC_UNUSED = 11,
    RMC_REST = 12,
};

// Text chunks longer than this carry ten samples after the sentence.
constexpr int32_t kSampleChunkMinLength = 417;

// The longest side-data record: head, GpsBlock and ten SampleRecords.
constexpr int32_t kSideDataMaxLength =
    static_cast<int32_t>(sizeof(SideDataHead) + sizeof(GpsBlock) +
                         AVFILE_SIDEDATA_SAMPLE_COUNT * sizeof(SampleRecord));
static_assert(kSideDataMaxLength == 288, "side-data record length");

// Splits an RMC sentence ("$GPRMC", "$GNRMC" or "$BDRMC") of the n bytes at
// text into fields. 0 when split, -1 for another sentence, fewer than
// eleven commas or n < 2. Never reads beyond n bytes or a NUL. Sends the
// latitude field to the debugger output.
int32_t ParseRmc(const unsigned char *text, int32_t n, RmcFields *fields);

// Decimal degrees of an NMEA ddmm.mmmm or dddmm.mmmm field.
double NmeaToDegrees(const char *text);

// Builds the side-data record of a text chunk's payload (n bytes) at out,
// which must hold kSideDataMaxLength bytes, and stores the record's length
// (4, 48, 244 or 288) in *outLength. A fix whose status is not "A", or a
// sentence that cannot be split, gives no GpsBlock; chunks of at least
// kSampleChunkMinLength bytes add their ten samples in any case.
void BuildSideData(const unsigned char *payload, int32_t n, unsigned char *out,
                   int32_t *outLength);
