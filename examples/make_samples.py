#!/usr/bin/env python3
"""Writes the sample logs examples/<layout>.log, one per bundled format.

Every sample tells the same two days of a small channel, written the way
each client lays out its log: spoken lines with bold and colour codes,
URLs and questions, actions, joins, parts, quits, a kick, topic, nick and
mode changes, the lines a client writes about the channel itself, and the
dates the client writes: session and day-change lines, dates on every
line, or, for the clients that keep one file a day (eggdrop, energymech,
ZNC, Textual), one file per day in examples/<layout>/ named as the client
names it.

Variants the formats read as well: WeeChat with changed prefixes and
extended joins, mIRC's one-star "Joins:" theme, Supybot's mask-less
events, and, when ../shared/client-texts is beside the checkout, the same
story in every language of HexChat, XChat 2 and WeeChat
(examples/<client>-languages/, and HexChat with ISO stamps in
examples/hexchat-iso-languages/), plus a HexChat log in a language no
format reads (examples/hexchat-unknown-language.log).

Run it from anywhere: python3 examples/make_samples.py
"""

import os

BOLD = "\x02"
COLOUR = "\x03"

CHANNEL = "#tallywick"
HOSTS = {
    "alice": "~alice@wonder.example",
    "bob": "~bob@builder.example",
    "carol": "~[c]arol@loud.example",  # an ident may hold brackets
    "dave": "~dave@night.example",
    "dave_away": "~dave@night.example",
}
OPS = {"bob"}
FIRST_TOPIC = "Welcome to #tallywick"
FIRST_TOPIC_BY = "bob"

# The two days: (weekday, month name, day of month, year, ISO date).
DAYS = [
    ("Mon", "Mar", 4, 2024, "2024-03-04"),
    ("Tue", "Mar", 5, 2024, "2024-03-05"),
]

# (day index, "HH:MM:SS", kind, arguments...)
EVENTS = [
    (0, "09:58:12", "open"),
    (0, "09:58:12", "self_join"),
    (0, "09:58:40", "join", "alice"),
    (0, "09:59:05", "join", "bob"),
    (0, "10:00:02", "text", "alice", "good morning, is anyone around?"),
    (0, "10:01:15", "text", "bob", "alice: yes, just made " + BOLD + "strong" + BOLD + " coffee"),
    (0, "10:02:30", "text", "alice", "lol, of course you did"),
    (0, "10:03:00", "action", "bob", "waves at everyone"),
    (0, "10:04:44", "text", "bob", "have a look at http://www.example.org/coffee.html"),
    (0, "10:05:10", "topic", "alice", "Coffee and code | http://tallywick.example/"),
    (0, "12:29:00", "join", "carol"),
    (0, "12:30:03", "text", "carol",
     "HEY EVERYONE!! " + COLOUR + "4,1colours" + COLOUR + " are " + BOLD + "fun" + BOLD + "!"),
    (0, "12:31:10", "text", "alice", "hi carol :) lol"),
    (0, "12:31:50", "text", "carol", "WHO WANTS TO SEE MY CAPS LOCK?"),
    (0, "12:32:20", "mode", "bob", "+o", "alice"),
    (0, "12:35:00", "kick", "bob", "carol", "too loud"),
    (0, "13:02:00", "text", "bob", "anyone up for lunch? www.example.com/menu has soup"),
    (0, "13:03:00", "part", "alice", "lunch"),
    (0, "19:45:10", "quit", "bob", "Leaving for dinner"),
    (0, "19:46:00", "close"),
    (1, "08:10:00", "open"),
    (1, "08:10:00", "self_join"),
    (1, "08:15:20", "join", "dave"),
    (1, "08:16:00", "text", "dave", "!seen carol"),
    (1, "08:16:01", "notice", "helperbot", "carol was last seen 19 hours ago"),
    (1, "08:17:02", "join", "alice"),
    (1, "08:17:40", "text", "alice", "dave: she got kicked yesterday, heh"),
    (1, "08:20:00", "nick", "dave", "dave_away"),
    (1, "08:21:00", "action", "dave_away", "yawns"),
    (1, "18:30:00", "text", "alice",
     "anyone knows ftp://ftp.example.net/pub? the " + COLOUR + "12blue" + COLOUR + " link"),
    (1, "22:05:00", "quit", "dave_away", "Ping timeout: 240 seconds"),
    (1, "22:11:00", "part", "alice", ""),
    (1, "22:12:00", "close"),
]


def tracked(events):
    """The events in order, keeping OPS up to date: who holds channel
    operator status when each event happens."""
    OPS.clear()
    OPS.add("bob")
    for event in events:
        yield event
        day, clock, kind, *args = event
        if kind == "mode" and args[1] == "+o":
            OPS.add(args[2])
        elif kind in ("part", "quit"):
            OPS.discard(args[0])
        elif kind == "kick":
            OPS.discard(args[1])
        elif kind == "nick" and args[0] in OPS:
            OPS.discard(args[0])
            OPS.add(args[1])


def www_date(day, pad="0"):
    weekday, month, mday, year, _ = DAYS[day]
    return "%s %s %s %d" % (weekday, month, str(mday).rjust(2, pad), year)


def ctime_text(day, clock, pad="0"):
    weekday, month, mday, year, _ = DAYS[day]
    return "%s %s %s %s %d" % (weekday, month, str(mday).rjust(2, pad), clock, year)


def hhmm(clock):
    return clock[:5]


def mode_char(nick):
    return "@" if nick in OPS else ""


def irssi(events):
    out = []
    current_day = None
    for day, clock, kind, *args in tracked(events):
        if current_day is not None and day != current_day:
            out.append("--- Day changed " + www_date(day))
        current_day = day
        t = hhmm(clock)
        if kind == "open":
            if day == 0:
                out.append("--- Log opened " + ctime_text(day, clock))
        elif kind == "self_join":
            if day == 0:
                out.append("%s -!- Topic for %s: %s" % (t, CHANNEL, FIRST_TOPIC))
                out.append("%s -!- Topic set by %s [%s] [Sun Mar 03 20:00:00 2024]"
                           % (t, FIRST_TOPIC_BY, HOSTS[FIRST_TOPIC_BY]))
                out.append("%s -!- Irssi: %s: Total of 1 nicks [0 ops, 0 halfops, 0 voices, 1 normal]"
                           % (t, CHANNEL))
                out.append("%s -!- Irssi: Join to %s was synced in 1 secs" % (t, CHANNEL))
        elif kind == "join":
            out.append("%s -!- %s [%s] has joined %s" % (t, args[0], HOSTS[args[0]], CHANNEL))
        elif kind == "text":
            out.append("%s <%s%s> %s" % (t, mode_char(args[0]) or " ", args[0], args[1]))
        elif kind == "action":
            out.append("%s  * %s %s" % (t, args[0], args[1]))
        elif kind == "notice":
            out.append("%s -%s:%s- %s" % (t, args[0], CHANNEL, args[1]))
        elif kind == "topic":
            out.append("%s -!- %s changed the topic of %s to: %s" % (t, args[0], CHANNEL, args[1]))
        elif kind == "mode":
            out.append("%s -!- mode/%s [%s %s] by %s" % (t, CHANNEL, args[1], args[2], args[0]))
        elif kind == "kick":
            out.append("%s -!- %s was kicked from %s by %s [%s]" % (t, args[1], CHANNEL, args[0], args[2]))
        elif kind == "part":
            out.append("%s -!- %s [%s] has left %s [%s]" % (t, args[0], HOSTS[args[0]], CHANNEL, args[1]))
        elif kind == "quit":
            out.append("%s -!- %s [%s] has quit [%s]" % (t, args[0], HOSTS[args[0]], args[1]))
        elif kind == "nick":
            out.append("%s -!- %s is now known as %s" % (t, args[0], args[1]))
        elif kind == "close":
            if day == len(DAYS) - 1:
                out.append("--- Log closed " + ctime_text(day, clock))
    return out


# WeeChat's default prefixes (weechat.look.prefix_*), and a set as shared
# configurations change them.
WEECHAT_PREFIXES = {"join": "-->", "quit": "<--", "network": "--", "action": " *"}
WEECHAT_CHANGED_PREFIXES = {"join": " > ", "quit": " < ", "network": " - ", "action": "*"}

# WeeChat's English messages; the other languages come from the client's
# catalogs (client_texts below).
WEECHAT_TEXTS = {
    "join": "$nick ($host) has joined $channel",
    "part": "$nick ($host) has left $channel",
    "part_reason": "$nick ($host) has left $channel ($reason)",
    "quit": "$nick ($host) has quit ($reason)",
    "kick": "$nick has kicked $othernick ($reason)",
    "nick": "$nick is now known as $othernick",
    "topic": '$nick has changed topic for $channel from "$oldtopic" to "$topic"',
    "mode": "Mode $channel [$modes] by $nick",
    "topic_is": 'Topic for $channel is "$topic"',
}


def fill(template, **values):
    """A client template with its $placeholders replaced."""
    for key in sorted(values, key=len, reverse=True):
        template = template.replace("$" + key, values[key])
    return template


def weechat(events, prefixes=WEECHAT_PREFIXES, texts=WEECHAT_TEXTS, extended_join=False):
    """WeeChat's logger: `prefixes` and `texts` as the user's settings and
    language give them; with extended_join, joins carry the account and
    real name (WeeChat 3.3 and later)."""
    out = []
    for day, clock, kind, *args in tracked(events):
        stamp = DAYS[day][4] + " " + clock
        def line(prefix, message):
            out.append("%s\t%s\t%s" % (stamp, prefix, message))
        if kind == "open":
            out.append(stamp + "\t****  Beginning of log  ****")
        elif kind == "close":
            out.append(stamp + "\t****  End of log  ****")
        elif kind == "self_join":
            line(prefixes["network"], fill(texts["topic_is"], channel=CHANNEL, topic=FIRST_TOPIC))
            line(prefixes["network"], "Topic set by %s (%s) on Sun, 03 Mar 2024 20:00:00"
                 % (FIRST_TOPIC_BY, HOSTS[FIRST_TOPIC_BY]))
            line(prefixes["network"], "Channel %s: 1 nick (0 ops, 0 voices, 1 normal)" % CHANNEL)
        elif kind == "join":
            nick = args[0]
            if extended_join:
                nick += " [%s] (%s the %s)" % (args[0], args[0].capitalize(), "tester")
            line(prefixes["join"], fill(texts["join"], nick=nick, host=HOSTS[args[0]], channel=CHANNEL))
        elif kind == "text":
            line(mode_char(args[0]) + args[0], args[1])
        elif kind == "action":
            line(prefixes["action"], "%s %s" % (args[0], args[1]))
        elif kind == "notice":
            line(prefixes["network"], "Notice(%s) -> %s: %s" % (args[0], CHANNEL, args[1]))
        elif kind == "topic":
            line(prefixes["network"], fill(texts["topic"], nick=args[0], channel=CHANNEL,
                                           oldtopic=FIRST_TOPIC, topic=args[1]))
        elif kind == "mode":
            line(prefixes["network"], fill(texts["mode"], channel=CHANNEL,
                                           modes="%s %s" % (args[1], args[2]), nick=args[0]))
        elif kind == "kick":
            line(prefixes["quit"], fill(texts["kick"], nick=args[0], othernick=args[1], reason=args[2]))
        elif kind == "part":
            template = texts["part_reason"] if args[1] else texts["part"]
            line(prefixes["quit"], fill(template, nick=args[0], host=HOSTS[args[0]],
                                        channel=CHANNEL, reason=args[1]))
        elif kind == "quit":
            line(prefixes["quit"], fill(texts["quit"], nick=args[0], host=HOSTS[args[0]], reason=args[1]))
        elif kind == "nick":
            line(prefixes["network"], fill(texts["nick"], nick=args[0], othernick=args[1]))
    return out


# The texts of HexChat's default text events, and of XChat 2's in a French
# locale: "begin" and "end" start the session lines, the rest are templates
# whose $placeholders the renderer fills.
HEXCHAT_TEXTS = {
    "begin": "**** BEGIN LOGGING AT ",
    "end": "**** ENDING LOGGING AT ",
    "talking": "Now talking on $channel",
    "topic_is": "Topic for $channel is: $topic",
    "topic_by": "Topic for $channel set by $nick ($date)",
    "join": "$nick ($host) has joined",
    "topic": "$nick has changed the topic to: $topic",
    "op": "$nick gives channel operator status to $othernick",
    "mode_n": "$nick sets mode $sign$mode on $channel",
    "kick": "$nick has kicked $othernick from $channel ($reason)",
    "part": "$nick ($host) has left",
    "part_reason": "$nick ($host) has left ($reason)",
    "quit": "$nick has quit ($reason)",
    "nick": "$nick is now known as $othernick",
}
XCHAT_FRENCH_TEXTS = {
    "begin": "**** D\u00c9BUT DU JOURNAL \u00c0 ",
    "end": "**** FIN DU JOURNAL \u00c0 ",
    "talking": "Vous parlez maintenant sur $channel",
    "topic_is": "Le sujet de $channel est : $topic",
    "topic_by": "Sujet de $channel d\u00e9fini par $nick \u00e0 $date",
    "join": "$nick ($host) a rejoint $channel",
    "topic": "$nick a chang\u00e9 le sujet en\u00a0: $topic",
    "op": "$nick donne l'\u00e9tat d'op\u00e9rateur de canal \u00e0 $othernick",
    "mode_n": "$nick active le mode $sign$mode $channel",
    "kick": "$nick a expuls\u00e9 $othernick de $channel ($reason)",
    "part": "$nick ($host) a quitt\u00e9 $channel",
    "part_reason": "$nick ($host) a quitt\u00e9 $channel ($reason)",
    "quit": "$nick est parti ($reason)",
    "nick": "$nick s'appelle maintenant $othernick",
}


def hexchat_family(events, stamp_of, texts):
    """HexChat's and XChat's layout: every event marked "*", a session line
    before and after each day's lines; `texts` holds the event texts."""
    out = []
    for day, clock, kind, *args in tracked(events):
        stamp = stamp_of(day, clock)
        def line(prefix, message):
            out.append("%s %s\t%s" % (stamp, prefix, message))
        def event(key, **values):
            line("*", fill(texts[key], channel=CHANNEL, **values))
        if kind == "open":
            out.append(texts["begin"] + ctime_text(day, clock, pad=" "))
            out.append("")
        elif kind == "close":
            out.append(texts["end"] + ctime_text(day, clock, pad=" "))
            out.append("")
        elif kind == "self_join":
            event("talking")
            event("topic_is", topic=FIRST_TOPIC)
            event("topic_by", nick=FIRST_TOPIC_BY, date="Sun Mar  3 20:00:00 2024")
        elif kind == "join":
            event("join", nick=args[0], host=HOSTS[args[0]])
        elif kind == "text":
            line("<%s%s>" % (mode_char(args[0]), args[0]), args[1])
        elif kind == "action":
            line("*", "%s %s" % (args[0], args[1]))
        elif kind == "notice":
            line("-%s/%s-" % (args[0], CHANNEL), args[1])
        elif kind == "topic":
            event("topic", nick=args[0], topic=args[1])
        elif kind == "mode":
            event("op", nick=args[0], othernick=args[2])
            event("mode_n", nick=args[0], sign="+", mode="n")
        elif kind == "kick":
            event("kick", nick=args[0], othernick=args[1], reason=args[2])
        elif kind == "part":
            if args[1]:
                event("part_reason", nick=args[0], host=HOSTS[args[0]], reason='"%s"' % args[1])
            else:
                event("part", nick=args[0], host=HOSTS[args[0]])
        elif kind == "quit":
            event("quit", nick=args[0], reason=args[1])
        elif kind == "nick":
            event("nick", nick=args[0], othernick=args[1])
    return out


def hexchat(events, iso):
    """HexChat's current default text events, the date as HexChat's default
    "%b %d" or, with iso, as an ISO date."""
    def stamp_of(day, clock):
        weekday, month, mday, year, iso_date = DAYS[day]
        return (iso_date if iso else "%s %02d" % (month, mday)) + " " + clock
    return hexchat_family(events, stamp_of, HEXCHAT_TEXTS)


def xchat_french(events):
    """XChat 2 in a French locale: French month and texts, the session
    line's date in English."""
    return hexchat_family(events, lambda day, clock: "mars %02d %s" % (DAYS[day][2], clock),
                          XCHAT_FRENCH_TEXTS)


def mirc(events):
    """mIRC 7 with "strip codes" off: the event colour before the timestamp,
    colour codes around an operator's nick."""
    out = []
    colours = {"join": "03", "part": "03", "mode": "03", "topic": "03", "kick": "03",
               "nick": "03", "self_join": "03", "quit": "02", "action": "06", "notice": "05"}
    for day, clock, kind, *args in tracked(events):
        t = "[%s]" % hhmm(clock)
        e = COLOUR + colours.get(kind, "") + t if kind in colours else t
        if kind == "open":
            out.append("")
            out.append("Session Start: " + ctime_text(day, clock))
            out.append("Session Ident: " + CHANNEL)
        elif kind == "close":
            out.append("Session Close: " + ctime_text(day, clock))
        elif kind == "self_join":
            out.append("%s * Now talking in %s" % (e, CHANNEL))
            out.append("%s * Topic is '%s'" % (e, FIRST_TOPIC))
            out.append("%s * Set by %s on Sun Mar 03 20:00:00" % (e, FIRST_TOPIC_BY))
        elif kind == "join":
            out.append("%s * %s (%s) has joined %s" % (e, args[0], HOSTS[args[0]], CHANNEL))
        elif kind == "text":
            if mode_char(args[0]):
                out.append("%s <%s03@%s\x0f> %s" % (t, COLOUR, args[0], args[1]))
            else:
                out.append("%s <%s> %s" % (t, args[0], args[1]))
        elif kind == "action":
            out.append("%s * %s %s" % (e, args[0], args[1]))
        elif kind == "notice":
            out.append("%s -%s- %s" % (e, args[0], args[1]))
        elif kind == "topic":
            out.append("%s * %s changes topic to '%s'" % (e, args[0], args[1]))
        elif kind == "mode":
            out.append("%s * %s sets mode: %s %s" % (e, args[0], args[1], args[2]))
        elif kind == "kick":
            out.append("%s * %s was kicked by %s (%s\x0f)" % (e, args[1], args[0], args[2]))
        elif kind == "part":
            out.append("%s * %s%s (%s) has left %s" % (e, mode_char(args[0]), args[0], HOSTS[args[0]], CHANNEL)
                       + (" (%s\x0f)" % args[1] if args[1] else ""))
        elif kind == "quit":
            out.append("%s * %s%s (%s) Quit (%s\x0f)" % (e, mode_char(args[0]), args[0], HOSTS[args[0]], args[1]))
        elif kind == "nick":
            out.append("%s * %s is now known as %s" % (e, args[0], args[1]))
    # mIRC writes its logs with carriage return and newline line ends.
    return [line + "\r" for line in out]


def eggdrop(events):
    """One file a day, as with keep-all-logs on; the bot's own join carries
    no host."""
    out = []
    for day, clock, kind, *args in tracked(events):
        t = "[%s]" % clock
        if kind in ("open", "close"):
            continue
        if kind == "self_join":
            out.append("%s tallybot joined %s." % (t, CHANNEL))
        elif kind == "join":
            out.append("%s %s (%s) joined %s." % (t, args[0], HOSTS[args[0]], CHANNEL))
        elif kind == "text":
            out.append("%s <%s> %s" % (t, args[0], args[1]))
            if args[1].startswith("HEY"):
                out.append("%s Last message repeated 1 time(s)." % t)
        elif kind == "action":
            out.append("%s Action: %s %s" % (t, args[0], args[1]))
        elif kind == "notice":
            continue
        elif kind == "topic":
            out.append("%s Topic changed on %s by %s!%s: %s" % (t, CHANNEL, args[0], HOSTS[args[0]], args[1]))
        elif kind == "mode":
            out.append("%s %s: mode change '%s %s' by %s!%s" % (t, CHANNEL, args[1], args[2], args[0], HOSTS[args[0]]))
        elif kind == "kick":
            out.append("%s %s kicked from %s by %s: %s" % (t, args[1], CHANNEL, args[0], args[2]))
        elif kind == "part":
            if args[1]:
                out.append("%s %s (%s) left %s (%s)." % (t, args[0], HOSTS[args[0]], CHANNEL, args[1]))
            else:
                out.append("%s %s (%s) left %s." % (t, args[0], HOSTS[args[0]], CHANNEL))
        elif kind == "quit":
            out.append("%s %s (%s) left irc: %s" % (t, args[0], HOSTS[args[0]], args[1]))
        elif kind == "nick":
            out.append("%s Nick change: %s -> %s" % (t, args[0], args[1]))
    return out


def bracket_stars(events):
    """The "[HH:MM:SS] *** ..." layout shared by the energymech and ZNC logs."""
    out = []
    for day, clock, kind, *args in tracked(events):
        t = "[%s]" % clock
        if kind in ("open", "close", "self_join"):
            continue
        if kind == "join":
            out.append("%s *** Joins: %s (%s)" % (t, args[0], HOSTS[args[0]]))
        elif kind == "text":
            out.append("%s <%s> %s" % (t, args[0], args[1]))
        elif kind == "action":
            out.append("%s * %s %s" % (t, args[0], args[1]))
        elif kind == "notice":
            out.append("%s -%s- %s" % (t, args[0], args[1]))
        elif kind == "topic":
            out.append("%s *** %s changes topic to '%s'" % (t, args[0], args[1]))
        elif kind == "mode":
            out.append("%s *** %s sets mode: %s %s" % (t, args[0], args[1], args[2]))
        elif kind == "kick":
            out.append("%s *** %s was kicked by %s (%s)" % (t, args[1], args[0], args[2]))
        elif kind == "part":
            out.append("%s *** Parts: %s (%s) (%s)" % (t, args[0], HOSTS[args[0]], args[1]))
        elif kind == "quit":
            out.append("%s *** Quits: %s (%s) (%s)" % (t, args[0], HOSTS[args[0]], args[1]))
        elif kind == "nick":
            out.append("%s *** %s is now known as %s" % (t, args[0], args[1]))
    return out


def limnoria(events):
    """Limnoria's ChannelLogger: an ISO date and time, two blanks, then the
    line; events marked "***" with the nick's full mask."""
    out = []
    for day, clock, kind, *args in tracked(events):
        t = DAYS[day][4] + "T" + clock + "  "
        if kind in ("open", "close", "self_join"):
            continue
        mask = lambda nick: "%s <%s!%s>" % (nick, nick, HOSTS[nick])
        if kind == "join":
            out.append("%s*** %s has joined %s" % (t, mask(args[0]), CHANNEL))
        elif kind == "text":
            out.append("%s<%s> %s" % (t, args[0], args[1]))
        elif kind == "action":
            out.append("%s* %s %s" % (t, args[0], args[1]))
        elif kind == "notice":
            out.append("%s-%s- %s" % (t, args[0], args[1]))
        elif kind == "topic":
            out.append('%s*** %s changes topic to "%s"' % (t, args[0], args[1]))
        elif kind == "mode":
            out.append("%s*** %s sets mode: %s %s" % (t, args[0], args[1], args[2]))
        elif kind == "kick":
            out.append("%s*** %s was kicked by %s (%s)" % (t, args[1], args[0], args[2]))
        elif kind == "part":
            out.append("%s*** %s has left %s" % (t, mask(args[0]), CHANNEL)
                       + (" (%s)" % args[1] if args[1] else ""))
        elif kind == "quit":
            out.append("%s*** %s has quit IRC (%s)" % (t, mask(args[0]), args[1]))
        elif kind == "nick":
            out.append("%s*** %s is now known as %s" % (t, args[0], args[1]))
    return out


def textual(events):
    """Textual's plain-text logs: the ISO date, time and zone in brackets."""
    out = []
    for day, clock, kind, *args in tracked(events):
        t = "[%sT%s+0100]" % (DAYS[day][4], clock)
        if kind in ("open", "close", "self_join"):
            continue
        if kind == "join":
            out.append("%s %s (%s) joined the channel" % (t, args[0], HOSTS[args[0]]))
        elif kind == "text":
            out.append("%s <%s%s> %s" % (t, mode_char(args[0]), args[0], args[1]))
        elif kind == "action":
            out.append("%s \u2022 %s: %s" % (t, args[0], args[1]))
        elif kind == "notice":
            out.append("%s -%s- %s" % (t, args[0], args[1]))
        elif kind == "topic":
            out.append("%s %s changed the topic to %s" % (t, args[0], args[1]))
        elif kind == "mode":
            out.append("%s %s sets mode %s %s" % (t, args[0], args[1], args[2]))
        elif kind == "kick":
            out.append("%s %s kicked %s from the channel (%s)" % (t, args[0], args[1], args[2]))
        elif kind == "part":
            out.append("%s %s (%s) left the channel" % (t, args[0], HOSTS[args[0]])
                       + (' ("%s")' % args[1] if args[1] else ""))
        elif kind == "quit":
            out.append("%s %s (%s) left IRC (%s)" % (t, args[0], HOSTS[args[0]], args[1]))
        elif kind == "nick":
            out.append("%s %s is now known as %s" % (t, args[0], args[1]))
    return out


def mirc_one_star(events):
    """mIRC with an event theme that writes joins, parts and quits as
    "* Joins: nick (user@host)", codes stripped."""
    out = []
    for line in mirc(events):
        line = line.replace("\x0f", "")
        for colour in ("\x0301", "\x0302", "\x0303", "\x0305", "\x0306"):
            line = line.replace(colour + "[", "[").replace(colour + "@", "@")
        stamp, _, rest = line.partition("] * ")
        words = rest.split(" ")
        if len(words) > 2 and words[2:4] == ["has", "joined"]:
            line = "%s] * Joins: %s %s\r" % (stamp, words[0], words[1])
        elif len(words) > 2 and words[2:4] == ["has", "left"]:
            reason = " ".join(words[5:]).rstrip("\r")
            line = "%s] * Parts: %s %s%s\r" % (stamp, words[0], words[1],
                                              " " + reason if reason else "")
        elif len(words) > 2 and words[2] == "Quit":
            line = "%s] * Quits: %s %s %s" % (stamp, words[0].lstrip("@"), words[1],
                                             " ".join(words[3:]))
        out.append(line)
    return out


def limnoria_supybot(events):
    """Supybot's ChannelLogger, and Limnoria's before 2010: joins, parts and
    quits name the nick alone, without its mask."""
    out = []
    for line in limnoria(events):
        if "*** " in line and " <" in line and "!" in line:
            head, _, rest = line.partition("*** ")
            nick, _, tail = rest.partition(" <")
            line = head + "*** " + nick + tail[tail.index("> ") + 1:]
        out.append(line)
    return out


# The month of the samples (March) as the C library abbreviates it in the
# languages the clients' translations cover.
MARCH = {"en": "Mar", "fr": "mars", "de": "M\u00e4r", "es": "mar", "it": "mar", "pt_BR": "mar",
         "pt": "mar", "ru": "\u043c\u0430\u0440", "pl": "mar", "nl": "mrt",
         "cs": "b\u0159e", "sv": "mar", "tr": "Mar", "ja": " 3\u6708", "zh_CN": "3\u6708"}

# The event texts of a language no bundled format reads (invented for the
# samples): its joins and parts must count as unmatched lines.
UNKNOWN_LANGUAGE_TEXTS = dict(HEXCHAT_TEXTS, **{
    "talking": "Nun parolas en $channel",
    "topic_is": "Temo de $channel estas: $topic",
    "topic_by": "Temo de $channel metita de $nick ($date)",
    "join": "$nick ($host) alvenis",
    "topic": "$nick \u015dan\u011dis la temon al: $topic",
    "op": "$nick donas operatorecon al $othernick",
    "mode_n": "$nick metas re\u011dimon $sign$mode al $channel",
    "kick": "$nick forpelis $othernick el $channel ($reason)",
    "part": "$nick ($host) foriris",
    "part_reason": "$nick ($host) foriris ($reason)",
    "quit": "$nick eliris ($reason)",
    "nick": "$nick nun nomi\u011das $othernick",
})


def client_texts(client):
    """The event texts of ../shared/client-texts/<client>.tsv beside the
    checkout, by language: {lang: {event: [(template, notes), ...]}},
    newest first. None when the folder is not there."""
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "..", "shared", "client-texts", client + ".tsv")
    if not os.path.exists(path):
        return None
    table = {}
    with open(path, encoding="utf-8") as tsv:
        next(tsv)
        for row in tsv:
            event, lang, template, notes = row.rstrip("\n").split("\t", 3)
            template = template.replace("\\t", "\t").replace("\\\\", "\\")
            prefix, _, message = template.partition("\t")
            table.setdefault(lang, {}).setdefault(event, []).append((message, notes))
    return table


def newest(texts, lang, event, test):
    """The newest text of an event in a language that passes `test`, or the
    English one."""
    for language in (lang, "en"):
        for message, notes in texts[language].get(event, []):
            if test(message, notes):
                return message
    raise KeyError((lang, event))


def hexchat_language_texts(texts, lang, base):
    """The texts of `base` in HexChat's or XChat's translation `lang`."""
    others = lambda message, notes: message.startswith("$nick ($host)")
    return dict(base, **{
        "talking": newest(texts, lang, "join", lambda m, n: "own join" in n),
        "topic_is": newest(texts, lang, "topic_is", lambda m, n: "$topic" in m),
        "topic_by": newest(texts, lang, "topic_is", lambda m, n: "$date" in m and "$nick" in m),
        "join": newest(texts, lang, "join", others),
        "topic": newest(texts, lang, "topic_change", lambda m, n: True),
        "op": newest(texts, lang, "mode", lambda m, n: '"Channel Operator"' in n),
        "mode_n": newest(texts, lang, "mode", lambda m, n: '"Channel Mode Generic"' in n),
        "kick": newest(texts, lang, "kick", lambda m, n: m.startswith("$nick") and "$othernick" in m),
        "part": newest(texts, lang, "part", others),
        "part_reason": newest(texts, lang, "part_with_reason", others),
        "quit": newest(texts, lang, "quit", lambda m, n: True),
        "nick": newest(texts, lang, "nick", lambda m, n: m.startswith("$nick")),
    })


def weechat_language_texts(texts, lang):
    """WeeChat's messages in its translation `lang`."""
    own = lambda m, n: m.startswith("$nick")
    return {
        "join": newest(texts, lang, "join", lambda m, n: m.startswith("$nick ($host)")),
        "part": newest(texts, lang, "part", own),
        "part_reason": newest(texts, lang, "part_with_reason", own),
        "quit": newest(texts, lang, "quit", lambda m, n: own(m, n) and "$reason" in m),
        "kick": newest(texts, lang, "kick", lambda m, n: own(m, n) and "$reason" in m),
        "nick": newest(texts, lang, "nick", own),
        "topic": newest(texts, lang, "topic_change", lambda m, n: "$oldtopic" in m and "$topic" in m),
        "mode": newest(texts, lang, "mode", lambda m, n: "$nick" in m),
        "topic_is": newest(texts, lang, "topic_is", lambda m, n: "$topic" in m),
    }


def language_samples():
    """The samples of every language of HexChat, XChat 2 and WeeChat, one
    file a language in examples/<client>-languages/: {folder: {file: lines}}."""
    samples = {}
    for client, base in (("hexchat", HEXCHAT_TEXTS), ("xchat", XCHAT_FRENCH_TEXTS)):
        texts = client_texts(client)
        if texts is None:
            continue
        files = {}
        for lang in texts:
            month = MARCH[lang]
            language = hexchat_language_texts(texts, lang, base)
            stamp = lambda day, clock, month=month: "%s %02d %s" % (month, DAYS[day][2], clock)
            files[lang + ".log"] = hexchat_family(EVENTS, stamp, language)
        samples[client + "-languages"] = files
        if client == "hexchat":
            iso = lambda day, clock: DAYS[day][4] + " " + clock
            samples["hexchat-iso-languages"] = {
                lang + ".log": hexchat_family(EVENTS, iso, hexchat_language_texts(texts, lang, base))
                for lang in texts}
    texts = client_texts("weechat")
    if texts is not None:
        samples["weechat-languages"] = {
            lang + ".weechatlog": weechat(EVENTS, texts=weechat_language_texts(texts, lang))
            for lang in texts}
    return samples


def by_day(render, file_name):
    """Renders each day's events into a file of its own, named by
    file_name(day)."""
    files = {}
    for day in range(len(DAYS)):
        files[file_name(day)] = render([event for event in EVENTS if event[0] == day])
    return files


def compact_date(day):
    return DAYS[day][4].replace("-", "")


def eggdrop_suffix(day):
    weekday, month, mday, year, _ = DAYS[day]
    return "%02d%s%d" % (mday, month, year)


LAYOUTS = {
    "irssi": irssi,
    "weechat": weechat,
    "hexchat": lambda events: hexchat(events, iso=False),
    "hexchat-iso": lambda events: hexchat(events, iso=True),
    "mirc": mirc,
    "limnoria": limnoria,
    "xchat": xchat_french,
    # Variants of the clients' layouts that their formats read too.
    "weechat-prefixes": lambda events: weechat(events, prefixes=WEECHAT_CHANGED_PREFIXES,
                                               extended_join=True),
    "mirc-one-star": mirc_one_star,
    "limnoria-supybot": limnoria_supybot,
    "hexchat-unknown-language": lambda events: hexchat_family(
        events, lambda day, clock: "Mar %02d %s" % (DAYS[day][2], clock), UNKNOWN_LANGUAGE_TEXTS),
}

# The clients that write one file a day, dated by its name.
DAILY_LAYOUTS = {
    "eggdrop": lambda: by_day(eggdrop, lambda day: CHANNEL + ".log." + eggdrop_suffix(day)),
    "energymech": lambda: by_day(bracket_stars, lambda day: CHANNEL + "_" + compact_date(day) + ".log"),
    "znc": lambda: by_day(bracket_stars, lambda day: DAYS[day][4] + ".log"),
    "textual": lambda: by_day(textual, lambda day: DAYS[day][4] + ".txt"),
}


def write_log(path, lines):
    with open(path, "w", encoding="utf-8", newline="") as log:
        for line in lines:
            log.write(line + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, render in LAYOUTS.items():
        write_log(os.path.join(here, name + ".log"), render(EVENTS))
    for name, render in DAILY_LAYOUTS.items():
        folder = os.path.join(here, name)
        os.makedirs(folder, exist_ok=True)
        for file_name, lines in render().items():
            write_log(os.path.join(folder, file_name), lines)
    for name, files in language_samples().items():
        folder = os.path.join(here, name)
        os.makedirs(folder, exist_ok=True)
        for file_name, lines in files.items():
            write_log(os.path.join(folder, file_name), lines)


if __name__ == "__main__":
    main()
