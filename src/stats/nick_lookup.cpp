#include "stats/nick_lookup.h"

NickRecord& NickOf(StatsStore& store, std::string_view nick) {
  if (NickRecord* known = FindNick(store.nicks, nick)) return *known;
  return AddNick(store.nicks, nick);
}

NickRecord* KnownNickOf(StatsStore& store, std::string_view nick) {
  return FindNick(store.nicks, nick);
}

const NickRecord* KnownNickOf(const StatsStore& store, std::string_view nick) {
  return FindNick(store.nicks, nick);
}
