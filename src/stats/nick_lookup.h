// The one way from a nick as a log line writes it to the record it counts
// toward. Speakers, kicked nicks, the addressee of a line and the nicks of
// the exclusion file all reach their records through here, so whatever
// decides which record a nick belongs to decides it in one place.
#pragma once

#include <string_view>

#include "stats/stats_store.h"

// The record of `nick`, compared without regard to case; created at the
// end of the table when the nick is new. The reference stays valid only
// until the next nick is created.
NickRecord& NickOf(StatsStore& store, std::string_view nick);

// The record of `nick` when there is one; null otherwise. Creates nothing.
NickRecord* KnownNickOf(StatsStore& store, std::string_view nick);
const NickRecord* KnownNickOf(const StatsStore& store, std::string_view nick);
