#!/usr/bin/env python3
"""Writes the event definitions of formats/hexchat.txt, hexchat-iso.txt,
xchat.txt and weechat.txt from the texts these clients write in every
language and version, kept in ../shared/client-texts/<client>.tsv beside
the checkout (columns: event, language, template as logged, notes).

Each event's words in every language become one alternation; a
definition line of the format file is replaced, every other line (the
comments, order, text, act, date_stamp, ...) stays as it is. Run it from
anywhere after the texts change: python3 formats/make_alternations.py

What the expressions must respect:
  - a format file line is read in pieces of 2047 bytes, and an expression
    can hold neither "," nor ";": "." stands for a comma of the texts;
  - the words of every language make the expressions long, and the parts
    of a matched line are found by trying the ways through the expression
    in order: the English texts come first in every alternation, and mode
    changes and the client's own notes are known by their first words.
"""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TEXTS = os.path.join(HERE, "..", "..", "shared", "client-texts")
CHANNEL = "[#&+!][^ ]*"


def rows(client):
    """(event, language, template, notes) of a client, newest text first."""
    out = []
    with open(os.path.join(TEXTS, client + ".tsv"), encoding="utf-8") as tsv:
        next(tsv)
        for line in tsv:
            event, lang, template, notes = line.rstrip("\n").split("\t", 3)
            template = template.replace("\\t", "\t").replace("\\\\", "\\")
            out.append((event, lang, template, notes))
    return out


def esc(text):
    return re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", text)


class Alternations:
    """Makes alternations, the English ones first: a first pass over the
    English texts alone records them."""

    def __init__(self):
        self.record = None
        self.first = set()

    def alt(self, items):
        items = set(items)
        if self.record is not None:
            self.record.update(items)
        items = sorted(items, key=lambda x: (x not in self.first, -len(x), x))
        return "(" + "|".join(items) + ")"

    def english_first(self, build, all_rows):
        self.record = set()
        build([row for row in all_rows if row[1] == "en"])
        self.first, self.record = self.record, None
        return build(all_rows)


A = Alternations()


# ---- HexChat and XChat 2 ---------------------------------------------------

def conv(text):
    out = esc(text)
    out = out.replace(esc("$channel"), CHANNEL)
    out = out.replace(esc("$host"), "[^)]*")
    out = out.replace(esc("$mask"), "[^ ]*")
    out = out.replace(",", ".")
    assert ";" not in out
    return out


def unprefixed(items):
    """An alternative that another one begins is never needed: these
    expressions end there, without "$"."""
    kept = []
    for item in sorted(set(items), key=len):
        if not any(item.startswith(k) for k in kept):
            kept.append(item)
    return set(kept)


# Stand-ins while alternatives are grouped: the rest of a cut word, and a
# word of any text (a placeholder).
REST_OF_WORD, ANY_WORD = "\x01", "\x02"


def skeleton(text, words, last):
    """The words of a template up to its next placeholder, at most `words`
    of them, long words cut (the last to `last` characters); a placeholder
    before them (after a blank or a comma) stands for a word."""
    m = re.match(r"( ?)(\$[a-z]+)+", text)
    lead = ""
    if m:
        lead = m.group(1) + ANY_WORD
        text = text[m.end():]
    else:
        m = re.match(r"([^$\w]{1,2})(\$[a-z]+)+", text)
        if m:
            lead = conv(m.group(1)) + ANY_WORD
            text = text[m.end():]
    cut = re.search(r"\$[a-z]", text)
    literal = text[:cut.start()] if cut else text
    kept, count = [], 0
    for part in literal.split(" "):
        kept.append(part)
        if part:
            count += 1
        if count >= words:
            break
    cut_words = []
    for i, word in enumerate(kept):
        limit = last if (i == len(kept) - 1 and count >= words) else 7
        if any(ord(ch) >= 0x2E80 for ch in word):
            limit = min(limit, 4) if limit > 2 else limit
        cut_words.append((word[:limit], len(word) > limit and i != len(kept) - 1))
    literal = " ".join(conv(w) + (REST_OF_WORD if cut else "") for w, cut in cut_words)
    assert literal.strip() or lead, repr(text)
    return lead + literal


def untoken(rx):
    return rx.replace(REST_OF_WORD, "[^ ]*").replace(ANY_WORD, "[^ ]+")


def factored(items, lone_words=False):
    """" w1 w2" alternatives grouped by their first word: " w1( w2a| w2b)".
    With lone_words, a long first word stands alone."""
    if A.record is not None:
        A.record.update(items)
    groups, english = {}, set()
    for item in items:
        lead, body = "", item
        if body.startswith(" "):
            lead, body = " ", body[1:]
        if body.startswith(ANY_WORD + " "):
            lead += ANY_WORD + " "
            body = body[2:]
        first, sep, rest = body.partition(" ")
        if lone_words and (REST_OF_WORD in first
                           or (len(first) >= 4 and not first.isascii() and not first.isalpha())
                           or (len(first) >= 4 and any(ord(ch) > 0x400 for ch in first))):
            sep, rest = "", ""
        groups.setdefault(lead + first, set()).add(sep + rest)
        if item in A.first:
            english.add(lead + first)
    heads, outs = [], []
    for head, rests in groups.items():
        heads.append(head)
        rests = sorted(rests, key=lambda x: (-len(x), x))
        if rests == [""]:
            outs.append(head)
        elif "" in rests:
            outs.append(head + "(" + "|".join(r for r in rests if r) + ")?")
        elif len(rests) == 1:
            outs.append(head + rests[0])
        else:
            outs.append(head + "(" + "|".join(rests) + ")")
    order = sorted(range(len(outs)),
                   key=lambda i: (heads[i] not in english, -len(outs[i]), outs[i]))
    return "(" + "|".join(outs[i] for i in order) + ")"


def reason_removed(message):
    return re.sub(r" ?\(\$reason\)\.?$", "", message)


def hexchat_words(client_rows):
    """The alternations of each part of the HexChat or XChat events."""
    texts = {}
    for event, lang, template, notes in client_rows:
        texts.setdefault(event, set()).add(template.split("\t", 1)[1])
    w, own = {}, set()
    joins = set()
    for m in texts["join"]:
        if m.startswith("$nick ($host)"):
            joins.add(conv(m[len("$nick ($host)"):]))
        else:
            own.add(m)
    w["JOIN"] = A.alt(joins)
    parts, parts_without_host = set(), set()
    for m in texts["part"] | texts["part_with_reason"]:
        if m.startswith("$nick ($host)"):
            parts.add(conv(reason_removed(m)[len("$nick ($host)"):]))
        elif m.startswith("$nick"):
            parts_without_host.add(conv(reason_removed(m)[len("$nick"):]))
        else:
            own.add(m)
    w["PART"] = A.alt(parts)
    w["PART_NOHOST"] = A.alt(parts_without_host) if parts_without_host else None
    w["QUIT"] = A.alt(conv(reason_removed(m)[len("$nick"):]) for m in texts["quit"])
    seps, mids, tails = set(), set(), set()
    for m in texts["kick"]:
        if m.startswith("$nick") and "$othernick" in m:
            sep, rest = reason_removed(m)[len("$nick"):].split("$othernick")
            mid, tail = rest.split("$channel")
            seps.add(conv(sep))
            mids.add(conv(mid))
            if tail:
                tails.add(conv(tail))
        else:
            own.add(m)
    w["KSEP"], w["KMID"] = A.alt(seps), A.alt(mids)
    w["KTAIL"] = A.alt(tails) if tails else None
    seps, tails = set(), set()
    for m in texts["nick"]:
        if m.startswith("$nick"):
            sep, tail = m[len("$nick"):].split("$othernick")
            seps.add(conv(sep))
            if tail:
                tails.add(conv(tail))
        else:
            own.add(m)
    w["NSEP"], w["NTAIL"] = A.alt(seps), (A.alt(tails) if tails else None)
    w["TSEP"] = A.alt(conv(m[len("$nick"):-len("$topic")]) for m in texts["topic_change"])
    modes = set()
    for m in texts["mode"]:
        if not m.lstrip(" ").startswith("$nick"):
            own.add(m)
            continue
        rest = m.lstrip(" ")[len("$nick"):]
        first = rest.split()[0] if rest.split() else ""
        # A short first word ("a", "da", "ha") needs one more to tell.
        sk = skeleton(rest, 3 if len(first) <= 2 and first.isalpha() else 2, 1)
        # Too few letters to tell a mode change from an action.
        letters = sk.replace(ANY_WORD, "").replace(REST_OF_WORD, "").replace("\\", "").strip()
        if len(letters.encode()) >= 4:
            modes.add(sk)
    w["MODE"] = untoken(factored(unprefixed(modes), lone_words=True))
    own |= texts["topic_is"]
    w["OWN"] = untoken(factored(unprefixed(skeleton(m, 2, 6) for m in own)))
    return w


def groups(rx):
    """The parenthesised subexpressions of an expression."""
    n, i = 0, 0
    while i < len(rx):
        c = rx[i]
        if c == "\\":
            i += 2
            continue
        if c == "[":
            j = i + 1
            if rx[j] == "^":
                j += 1
            if rx[j] == "]":
                j += 1
            while rx[j] != "]":
                if rx[j] == "[" and rx[j + 1] in ":.=":
                    j = rx.index(rx[j + 1] + "]", j + 2) + 2
                else:
                    j += 1
            i = j + 1
            continue
        if c == "(":
            n += 1
        i += 1
    return n


NOTES_EN = ("Disconnected|Received a CTCP |Cannot join |You have |URL for |"
            "Channel [^ ]+ (created on|modes)|\\*\\*\\* |Looking up |Connecting to |Connected\\.|"
            "Lost connection|Cannot connect|Users on |Ping reply|Server Error|Loaded |Unloaded |"
            "Closing |Notice")
NOTES_FR = ("#|Vous |Le sujet de |Sujet de |Déconnecté|Connexion|Recherche |Impossible |Canal |"
            "Réception d'un CTCP ")


# The stamps of the lines: the default "%b %d %H:%M:%S" (the month in the
# language's words, " 7月" in Japanese) and the ISO one.
DEFAULT_STAMP = "^ ?([^ ]+ [ 0-9][0-9]) ([0-9]{2})[0-9:]{6} "
ISO_STAMP = "^([0-9-]{10}) ([0-9]{2})[0-9:]{6} "


def hexchat_definitions(client, stamp=DEFAULT_STAMP):
    w = A.english_first(hexchat_words, rows(client))
    prefix = "([*<>-]+)[[:cntrl:]] ?"
    nick = "([[:nick:]]+)"
    defs = {}

    def add(keyword, rx, named):
        # `named`: part by subexpression, counted after the stamp's two.
        parts = ["date", "time"] + ["null"] * (groups(rx) - 2)
        for index, part in named.items():
            parts[1 + index] = part
        while parts and parts[-1] == "null":
            parts.pop()
        assert "," not in rx and ";" not in rx, keyword
        defs[keyword] = rx + "," + ",".join(parts)

    def opt(x):
        return x + "?" if x else ""

    add("join", stamp + prefix + nick + " \\([^)]*\\)" + w["JOIN"] + "$", {2: "nick"})
    rest = ("( \\([^)]*\\)" + w["PART"] + ("|" + w["PART_NOHOST"] if w["PART_NOHOST"] else "")
            + ")")
    add("part", stamp + prefix + nick + rest + '( ?\\("?(.*[^"])?"?\\)\\.?)?$',
        {2: "nick", groups(prefix + nick + rest) + 2: "string"})
    add("quit", stamp + prefix + nick + w["QUIT"] + "( ?\\((.*)\\)\\.?)?$",
        {2: "nick", groups(prefix + nick + w["QUIT"]) + 2: "string"})
    kick = prefix + nick + w["KSEP"] + nick + w["KMID"] + CHANNEL + opt(w["KTAIL"])
    add("kick", stamp + kick + "( ?\\((.*)\\)\\.?)?$",
        {2: "nick", groups(prefix + nick + w["KSEP"]) + 1: "othernick", groups(kick) + 2: "string"})
    topic = prefix + nick + w["TSEP"]
    add("topic", stamp + topic + "(.*)$", {2: "nick", groups(topic) + 1: "string"})
    change = prefix + nick + w["NSEP"]
    add("nick", stamp + change + nick + opt(w["NTAIL"]) + "$",
        {2: "nick", groups(change) + 1: "othernick"})
    add("mode", stamp + prefix + "([^ ]+)" + w["MODE"], {2: "nick"})
    # One "$", at the end: an anchor inside would have the parts of every
    # line searched twice, once through every way.
    notes = w["OWN"][1:-1] + "|" + NOTES_EN + ("|" + NOTES_FR if client == "xchat" else "")
    defs["channel"] = ("^(" + stamp[1:] + "([^[:cntrl:]]*|((-->|<--|---|-[^[:cntrl:]]+-|"
                       "-?>[^[:cntrl:]]+<-?)[[:cntrl:]]|\\*[[:cntrl:]] ?(" + notes + ")).*))?$")
    defs["misfit"] = stamp + prefix + "[^ [:cntrl:]]+ \\([^ )]*@[^ )]*\\)"
    return defs


# ---- WeeChat ---------------------------------------------------------------

def weechat_words(client_rows):
    def messages(event):
        return sorted({t.split("\t", 1)[1] for e, l, t, n in client_rows if e == event})

    def after_host(m):
        m = m.replace("$nick  ($host)", "$nick ($host)")
        assert m.startswith("$nick ($host)"), m
        return m[len("$nick ($host)"):]

    def wconv(text):
        out = esc(text).replace(esc("$channel"), CHANNEL).replace(esc("$oldtopic"), ".*")
        return out.replace(",", ".")

    w = {}
    w["JOIN"] = A.alt(wconv(after_host(m)) for m in messages("join"))
    w["PART"] = A.alt(wconv(after_host(m).replace(" ($reason)", ""))
                      for m in messages("part") + messages("part_with_reason"))
    w["QUIT"] = A.alt(wconv(after_host(m).replace(" ($reason)", "")) for m in messages("quit"))
    seps, tails = set(), set()
    for m in messages("kick"):
        if not m.startswith("$nick"):
            continue
        s = m[len("$nick"):].replace(" ($reason)", "")
        if "($reason)" in s:  # the oldest German text puts the reason inside
            continue
        sep, tail = s.split("$othernick")
        seps.add(wconv(sep))
        if tail:
            tails.add(wconv(tail))
    # A German or Turkish kick ("bob hat carol gekickt", "bob, carol ...")
    # begins like spoken words: left to the misfits.
    w["KSEP"] = A.alt(s for s in seps if s not in (". ", " hat "))
    w["KTAIL"] = A.alt(tails)
    seps, tails = set(), set()
    for m in messages("nick"):
        if not m.startswith("$nick"):
            continue
        sep, tail = m[len("$nick"):].split("$othernick")
        seps.add(wconv(sep))
        if tail:
            tails.add(wconv(tail))
    w["NSEP"], w["NTAIL"] = A.alt(seps), A.alt(tails)
    before, after = set(), set()
    for m in messages("topic_change"):
        if not m.startswith("$nick") or '"$topic"' not in m:
            continue
        b, a = m[len("$nick"):].split('"$topic"')
        before.add(wconv(b))
        if a:
            after.add(wconv(a))
    w["TBEFORE"], w["TAFTER"] = A.alt(before), A.alt(after)
    return w


def weechat_definitions():
    w = A.english_first(weechat_words, rows("weechat"))
    head = r"^([0-9]{4}-[0-9]{2}-[0-9]{2}) ([0-9]{2}):[0-9]{2}:[0-9]{2}[.0-9]*Z?[[:cntrl:]]"
    line = head + r"[^[:cntrl:]]*[[:cntrl:]]"
    nick = r"([[:nick:][:cntrl:]]+)"
    return {
        "join": line + nick + r"( \[[^] ]*\])?( +\([^)]*\))?( \([^)]*\))?" + w["JOIN"]
                + "$,date,time,nick",
        "part": line + nick + r"( +\([^)]*\))?" + w["PART"] + r"( \((.*)\))?$"
                + ",date,time,nick,null,null,null,string",
        "quit": line + nick + r"( +\([^)]*\))?" + w["QUIT"] + r"( \((.*)\))?$"
                + ",date,time,nick,null,null,null,string",
        "kick": line + nick + w["KSEP"] + nick + w["KTAIL"] + r"?( \((.*)\))?$"
                + ",date,time,nick,null,othernick,null,null,string",
        "topic": line + nick + w["TBEFORE"] + r'"(.*)"' + w["TAFTER"] + "?$"
                 + ",date,time,nick,null,string",
        "nick": line + nick + w["NSEP"] + nick + w["NTAIL"] + "?$"
                + ",date,time,nick,null,othernick",
        "mode": line + r"((Mode|Modus|Modo|Modalità|Tryb|Mód|モード) [^ ]+ \[.*\] "
                r"(by|par|durch|por|da|ustawiony przez|od)|[^ ]+ \[.*\} kipi ayarlandı:) ([^ ]+)$"
                ",date,time,null,null,null,nick",
        "misfit": head + r"((-->|<--)[[:cntrl:]]|[^[:cntrl:]]*[[:cntrl:]][^ [:cntrl:]]+ "
                  r"(\[[^] ]*\] )?(\(.*\) )?\([^)@ ]+@[^) ]+\)|--[[:cntrl:]][^ ]+ がモードを変更 )",
    }


def rewrite(name, definitions):
    """Replaces the definition lines of formats/<name>.txt."""
    path = os.path.join(HERE, name + ".txt")
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for i, line in enumerate(lines):
        keyword = line.split("=", 1)[0]
        if not line.startswith(";") and keyword in definitions:
            lines[i] = keyword + "=" + definitions[keyword]
            assert len(lines[i].encode()) < 2047, (name, keyword, len(lines[i].encode()))
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def main():
    if not os.path.isdir(TEXTS):
        sys.exit("No client texts at " + TEXTS)
    for client in ("hexchat", "xchat"):
        rewrite(client, hexchat_definitions(client))
    rewrite("hexchat-iso", hexchat_definitions("hexchat", ISO_STAMP))
    rewrite("weechat", weechat_definitions())


if __name__ == "__main__":
    main()
