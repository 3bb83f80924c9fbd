// The users file: one person a line, the main name the page shows, an
// optional role, and after a ":" the nicks that are that person.
//
//   # comment
//   alice: alice_ alice|* al?ce /^al1?ce(_|\|.*)?$/
//   ChanServ bot
//   troll ignore: troll_*
//
// Words are separated by blanks. An alias holding "*" or "?" is a wildcard,
// one between slashes a POSIX extended regular expression, anything else a
// nick as written; all compare without regard to case.
#pragma once

#include <cstdio>
#include <string>

#include "stats/user_map.h"

// Reads the users file `in`, named `path` in the messages, into `map`.
// Every mistake is reported on standard error with the file and line:
// a line without a main name, a role word that is neither "bot" nor
// "ignore", an expression without its closing "/", an empty expression or
// one that does not compile. A nick or pattern that an earlier person
// already has is a warning, and the earlier person keeps it. Returns false
// after any mistake, or after a read error (errno as the read left it, no
// message), when the run must end.
bool ReadUsersFile(FILE* in, const std::string& path, UserMap& map);
