#include "logformat/time_zones.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kSecondsPerDay = 86400;

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int64_t BigEndian64(const unsigned char* p) {
  return static_cast<int64_t>((uint64_t{BigEndian32(p)} << 32) | BigEndian32(p + 4));
}

// The counts of a TZif header, in the file's order.
struct TzifCounts {
  uint32_t isUt = 0, isStd = 0, leap = 0, time = 0, type = 0, chars = 0;
};

bool ReadHeader(const std::vector<unsigned char>& data, size_t at, TzifCounts& counts,
                char& version) {
  if (data.size() < at + 44 || memcmp(data.data() + at, "TZif", 4) != 0) return false;
  version = static_cast<char>(data[at + 4]);
  const unsigned char* p = data.data() + at + 20;
  counts = {BigEndian32(p), BigEndian32(p + 4), BigEndian32(p + 8),
            BigEndian32(p + 12), BigEndian32(p + 16), BigEndian32(p + 20)};
  return counts.type > 0;
}

// The size of a data block after its header, with times of `timeSize` bytes.
size_t BlockSize(const TzifCounts& c, size_t timeSize) {
  return size_t{c.time} * timeSize + c.time + size_t{c.type} * 6 + c.chars +
         size_t{c.leap} * (timeSize + 4) + c.isStd + c.isUt;
}

// Reads the transitions of the data block at `at` (just after its header).
bool ReadBlock(const std::vector<unsigned char>& data, size_t at, const TzifCounts& c,
               size_t timeSize, ZoneRules& zone) {
  if (data.size() < at + BlockSize(c, timeSize)) return false;
  const unsigned char* times = data.data() + at;
  const unsigned char* indexes = times + size_t{c.time} * timeSize;
  const unsigned char* types = indexes + c.time;
  auto offsetOfType = [types](uint32_t type) {
    return static_cast<int32_t>(BigEndian32(types + size_t{type} * 6));
  };
  zone.firstOffset = offsetOfType(0);
  zone.transitions.clear();
  zone.offsets.clear();
  for (uint32_t i = 0; i < c.time; ++i) {
    uint32_t type = indexes[i];
    if (type >= c.type) return false;
    int64_t when = timeSize == 8 ? BigEndian64(times + size_t{i} * 8)
                                 : static_cast<int32_t>(BigEndian32(times + size_t{i} * 4));
    if (!zone.transitions.empty() && when <= zone.transitions.back()) return false;
    zone.transitions.push_back(when);
    zone.offsets.push_back(offsetOfType(type));
  }
  return true;
}

// A zone name is a path under the zone folder: no absolute path, no "..".
bool PlausibleZoneName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.size() > 255) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    std::string_view part = name.substr(start, slash == std::string_view::npos
                                                   ? std::string_view::npos
                                                   : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return true;
}

}  // namespace

bool LoadZone(std::string_view name, ZoneRules& zone, std::string& error) {
  if (!PlausibleZoneName(name)) {
    error = "not a time zone name";
    return false;
  }
  const char* folder = getenv("TZDIR");
  std::string path = folder != nullptr && *folder != '\0' ? folder : "/usr/share/zoneinfo";
  path += '/';
  path.append(name);
  FILE* in = fopen(path.c_str(), "rb");
  if (in == nullptr) {
    error = errno == ENOENT ? "no such time zone" : strerror(errno);
    return false;
  }
  // Zone files are a few kilobytes; a file far larger is not one.
  std::vector<unsigned char> data(1 << 16);
  size_t size = fread(data.data(), 1, data.size(), in);
  fclose(in);
  data.resize(size);
  TzifCounts counts;
  char version = 0;
  bool read = ReadHeader(data, 0, counts, version);
  if (read && version >= '2') {
    // The second block repeats the data with 64-bit times.
    size_t second = 44 + BlockSize(counts, 4);
    read = ReadHeader(data, second, counts, version) &&
           ReadBlock(data, second + 44, counts, 8, zone);
  } else if (read) {
    read = ReadBlock(data, 44, counts, 4, zone);
  }
  if (!read) {
    error = "not a time zone file";
    return false;
  }
  zone.name.assign(name);
  return true;
}

int32_t OffsetAt(const ZoneRules& zone, int64_t utc) {
  auto after = std::upper_bound(zone.transitions.begin(), zone.transitions.end(), utc);
  if (after == zone.transitions.begin()) return zone.firstOffset;
  return zone.offsets[static_cast<size_t>(after - zone.transitions.begin()) - 1];
}

int64_t UtcOfLocal(const ZoneRules& zone, int64_t local) {
  // Try the offsets in force a day either side: the earliest reading that
  // shows `local` on the zone's clock is the first of two; when none does,
  // the clock skipped it, and the earlier offset reads it.
  int32_t before = OffsetAt(zone, local - kSecondsPerDay);
  int32_t after = OffsetAt(zone, local + kSecondsPerDay);
  int64_t first = local - before;
  if (OffsetAt(zone, first) == before) return first;
  int64_t second = local - after;
  if (OffsetAt(zone, second) == after) return second;
  return first;
}

ShiftedTime ShiftToPage(const ZoneShift& zones, int64_t dayNumber, int secondOfDay) {
  int64_t local = (dayNumber - 1) * kSecondsPerDay + secondOfDay;
  int64_t utc = UtcOfLocal(zones.log, local);
  int64_t shown = utc + OffsetAt(zones.page, utc);
  int64_t days = shown >= 0 ? shown / kSecondsPerDay : -((-shown + kSecondsPerDay - 1) / kSecondsPerDay);
  ShiftedTime shifted;
  shifted.dayNumber = days + 1;
  shifted.secondOfDay = static_cast<int>(shown - days * kSecondsPerDay);
  return shifted;
}

int ShiftSecondOfDayOnly(const ZoneShift& zones, int secondOfDay) {
  int64_t shift = int64_t{OffsetAt(zones.page, zones.referenceTime)} -
                  OffsetAt(zones.log, zones.referenceTime);
  int64_t shown = (secondOfDay + shift) % kSecondsPerDay;
  if (shown < 0) shown += kSecondsPerDay;
  return static_cast<int>(shown);
}
