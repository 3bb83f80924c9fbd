// The kinds of log line.
#pragma once

// Numbered as the format file and the "Parsed line" diagnostic number them.
enum LineType : int {
  kTypeNull = 0,
  kTypeText = 1,
  kTypeAction = 2,
  kTypeJoin = 3,
  kTypePart = 4,
  kTypeQuit = 5,
  kTypeKick = 6,
  kTypeTopic = 7,
  kTypeNick = 8,
  kTypeMode = 9,
  kTypeDateStamp = 10,
  kTypeChannel = 11,
  kLineTypeCount = 12,
};
