#include "stats/nick_lookup.h"

#include <algorithm>

#include "stats/stats_store.h"

namespace {

bool HasUsers(const StatsStore& store) { return !store.users.people.empty(); }

auto MetNames(const NickMemo& memo) {
  return [&memo](int32_t position) -> std::string_view { return memo.nicks[position].name; };
}

// The position of the record named `name`, made at the end of the table
// when there is none.
int32_t PositionOfNamed(NickTable& table, std::string_view name) {
  int32_t position = FindNickPosition(table, name);
  if (position >= 0) return position;
  AddNick(table, name);
  return static_cast<int32_t>(table.records.size() - 1);
}

// Record positions kept in the memo belong to one layout of the table;
// after a sort or a removal they are looked up again by name.
void RefreshPositions(StatsStore& store) {
  NickMemo& memo = store.memo;
  memo.layoutSeen = store.nicks.layout;
  memo.recordOfPerson.resize(store.users.people.size());
  for (size_t person = 0; person < store.users.people.size(); ++person) {
    memo.recordOfPerson[person] = FindNickPosition(store.nicks, store.users.people[person].name);
  }
  for (MetNick& met : memo.nicks) {
    met.record = met.person >= 0 ? memo.recordOfPerson[static_cast<size_t>(met.person)]
                                 : FindNickPosition(store.nicks, met.name);
  }
}

void FollowLayout(StatsStore& store) {
  if (store.memo.layoutSeen != store.nicks.layout) RefreshPositions(store);
}

bool IsIgnored(const StatsStore& store, int32_t person) {
  return person >= 0 && store.users.people[static_cast<size_t>(person)].role == PersonRole::kIgnored;
}

// The memo's entry for `nick`, asking the users map when the nick is new.
MetNick& Met(StatsStore& store, std::string_view nick) {
  NickMemo& memo = store.memo;
  int32_t position = IndexFind(memo.index, nick, MetNames(memo));
  if (position >= 0) return memo.nicks[static_cast<size_t>(position)];
  MetNick met;
  met.name.assign(nick);
  met.person = PersonOfNick(store.users, nick);
  met.ignored = IsIgnored(store, met.person);
  memo.nicks.push_back(std::move(met));
  IndexInsert(memo.index, static_cast<int32_t>(memo.nicks.size() - 1), MetNames(memo));
  if (nick.size() > memo.longestNick) memo.longestNick = nick.size();
  return memo.nicks.back();
}

// The record of a met nick that has not found it yet: the person's, when
// another of their nicks has made it; made otherwise when `create`.
NickRecord* FirstRecordOf(StatsStore& store, MetNick& met, std::string_view nick, bool create) {
  NickMemo& memo = store.memo;
  if (met.person >= 0) {
    int32_t& slot = memo.recordOfPerson[static_cast<size_t>(met.person)];
    if (slot < 0 && create) {
      slot = PositionOfNamed(store.nicks, store.users.people[static_cast<size_t>(met.person)].name);
    }
    met.record = slot;
  } else if (create) {
    met.record = PositionOfNamed(store.nicks, nick);
  }
  return met.record < 0 ? nullptr : &store.nicks.records[static_cast<size_t>(met.record)];
}

NickRecord* NickOfMapped(StatsStore& store, std::string_view nick) {
  FollowLayout(store);
  MetNick& met = Met(store, nick);
  if (met.record >= 0) return &store.nicks.records[static_cast<size_t>(met.record)];
  if (met.ignored) return nullptr;
  return FirstRecordOf(store, met, nick, true);
}

}  // namespace

NickRecord& NickOf(StatsStore& store, std::string_view nick) {
  if (!HasUsers(store)) {
    if (NickRecord* known = FindNick(store.nicks, nick)) return *known;
    return AddNick(store.nicks, nick);
  }
  NickRecord* record = NickOfMapped(store, nick);
  if (record == nullptr) {
    store.memo.discarded = NickRecord();
    return store.memo.discarded;
  }
  return *record;
}

NickRecord* CountedNickOf(StatsStore& store, std::string_view nick) {
  if (!HasUsers(store)) return &NickOf(store, nick);
  return NickOfMapped(store, nick);
}

bool IsIgnoredNick(StatsStore& store, std::string_view nick) {
  if (!HasUsers(store)) return false;
  return Met(store, nick).ignored;
}

NickRecord* KnownNickOf(StatsStore& store, std::string_view nick) {
  if (!HasUsers(store)) return FindNick(store.nicks, nick);
  FollowLayout(store);
  MetNick& met = Met(store, nick);
  if (met.record >= 0) return &store.nicks.records[static_cast<size_t>(met.record)];
  if (met.ignored) return nullptr;
  return FirstRecordOf(store, met, nick, false);
}

const NickRecord* KnownNickOf(const StatsStore& store, std::string_view nick) {
  if (!HasUsers(store)) return FindNick(store.nicks, nick);
  // Nothing is kept: the answer is asked afresh and the record found by name.
  const NickMemo& memo = store.memo;
  int32_t position = IndexFind(memo.index, nick, MetNames(memo));
  int32_t person = position >= 0 ? memo.nicks[static_cast<size_t>(position)].person
                                 : PersonOfNick(store.users, nick);
  if (IsIgnored(store, person)) return nullptr;
  return FindNick(store.nicks,
                  person >= 0 ? std::string_view(store.users.people[static_cast<size_t>(person)].name)
                              : nick);
}

std::string_view ShownNameOf(const StatsStore& store, std::string_view nick) {
  if (!HasUsers(store)) return nick;
  const NickMemo& memo = store.memo;
  int32_t position = IndexFind(memo.index, nick, MetNames(memo));
  int32_t person = position >= 0 ? memo.nicks[static_cast<size_t>(position)].person
                                 : PersonOfNick(store.users, nick);
  return person >= 0 ? std::string_view(store.users.people[static_cast<size_t>(person)].name) : nick;
}

void MarkBotRecords(const StatsStore& store, std::vector<bool>& marked) {
  for (const Person& person : store.users.people) {
    if (person.role != PersonRole::kBot) continue;
    if (const NickRecord* record = FindNick(store.nicks, person.name)) {
      MarkRecord(store.nicks, *record, marked);
    }
  }
}

size_t LongestAliasKnown(const StatsStore& store) {
  return std::max(store.memo.longestNick, store.users.longestExactName);
}
