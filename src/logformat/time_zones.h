// Moving a line's clock from the zone the logger kept it in to the zone the
// page shows. Zones are the system's IANA zone files (TZif, under TZDIR or
// /usr/share/zoneinfo), read once; daylight saving follows their
// transitions. Past the last transition a zone file lists (2037 in the
// files Debian ships) the last offset goes on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ZoneRules {
  std::string name;
  int32_t firstOffset = 0;            // seconds east of UTC before the first transition
  std::vector<int64_t> transitions;   // UTC seconds at which the offset changes, ascending
  std::vector<int32_t> offsets;       // the offset from each transition on
};

// Reads the zone named `name` ("UTC", "Europe/Berlin"). False, with the
// reason in `error`, for a name that is no zone of the system's.
bool LoadZone(std::string_view name, ZoneRules& zone, std::string& error);

// The zone's offset from UTC, in seconds, at the UTC time `utc`.
int32_t OffsetAt(const ZoneRules& zone, int64_t utc);

// The UTC time of a wall-clock time of the zone, as seconds since 1970 on
// that clock. A time that the clock shows twice (when it is put back) is
// the first of the two; a time it skips (when it is put forward) is read
// with the offset in force before the change.
int64_t UtcOfLocal(const ZoneRules& zone, int64_t local);

// The two zones of a run: the logger's and the page's.
struct ZoneShift {
  ZoneRules log;
  ZoneRules page;
  // The instant whose offsets move lines whose day is unknown: those move
  // by the hour only.
  int64_t referenceTime = 0;
};

// Where a line of the logger's day `dayNumber` (1 for 1 January 1970) at
// `secondOfDay` lands on the page's clock.
struct ShiftedTime {
  int64_t dayNumber = 0;
  int secondOfDay = 0;
};
ShiftedTime ShiftToPage(const ZoneShift& zones, int64_t dayNumber, int secondOfDay);

// The second of the day that a line of unknown day at `secondOfDay` shows
// on the page's clock: moved by the difference of the two offsets at the
// reference time, around the clock.
int ShiftSecondOfDayOnly(const ZoneShift& zones, int secondOfDay);
