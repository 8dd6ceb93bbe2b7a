// The window of a clip: the times given on the command line, read on the
// clock the times are shown on, and the files of a channel that overlap it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clip_job.h"
#include "clock.h"
#include "exit_codes.h"
#include "library.h"
#include "recording_tree.h"

// "HH:MM", "HH:MM:SS" (a time of `dayShownUs`'s day) or a full date-time
// "YYYY-MM-DD HH:MM[:SS]" (also with a 'T'), as microseconds on the clock
// shown. False when malformed.
bool ParseClipTime(const std::string &text, int64_t dayShownUs, int64_t &shownUs);
// The window `from` to `to` (as ParseClipTime reads them) on the recorder's
// clock. A time of day is of the day the recordings begin on the clock
// shown, or of the day they end on when the window lies there. A usage
// error when a time is malformed or `to` is not after `from`.
CliError WindowOfRecordings(const CClock &clock, const std::string &from, const std::string &to,
                            const std::vector<Recording> &recordings, int64_t &fromUs, int64_t &toUs);
// The recorder's time of a time on the clock shown.
int64_t RecorderTime(const CClock &clock, int64_t shownUs, int64_t nearRecorderUs);
// Midnight of the day, on the clock shown, of a recorder's time.
int64_t ShownMidnight(const CClock &clock, int64_t recorderUs);
// The files of `channel` (0-based) in the recordings that overlap the
// window, in time order.
std::vector<ClipFile> FilesInWindow(const std::vector<Recording> &recordings, int channel, int64_t fromUs,
                                    int64_t toUs);
// Each file's own start and stop, as the file records them: the day's
// listing gives the recording's, which a file of it may start after. Files
// that do not open keep the listing's.
void PlaceFiles(const AvFileLibrary &library, const std::optional<PasswordEntry> &password,
                std::vector<ClipFile> &files);
// The channels (0-based) with a file in the window, ascending.
std::vector<int> ChannelsInWindow(const std::vector<Recording> &recordings, int64_t fromUs, int64_t toUs);
