#!/usr/bin/env python3
"""Writes the fuzz seed corpora in fuzz/corpus/ from the bundled formats,
sample logs and settings and the end-to-end cases, plus a few hand-made
inputs for the corners the samples do not reach. Run it again after the
samples change; identical inputs are written once. Files named regression-*
are inputs that once found a fault; they are kept as they are."""
import hashlib
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
# The log reader harness picks its format with the first byte, in this order.
FORMATS = ["irssi", "weechat", "hexchat", "mirc", "eggdrop", "energymech", "znc", "demo"]
SEPARATOR = b"\n----\n"
LIMIT = 16384  # seeds stay small


def read(*path):
    with open(os.path.join(ROOT, *path), "rb") as f:
        return f.read()


def format_path(name):
    return ("examples", "demo", "format.txt") if name == "demo" else ("formats", name + ".txt")


def read_log(name):
    """The sample log of a format: one file, or the daily files of its folder
    joined in name order."""
    if name == "demo":
        return read("examples", "demo", "channel.log")
    if os.path.isfile(os.path.join(ROOT, "examples", name + ".log")):
        return read("examples", name + ".log")
    folder = os.path.join(ROOT, "examples", name)
    return b"".join(read("examples", name, entry) for entry in sorted(os.listdir(folder)))


def e2e_cases():
    base = os.path.join(ROOT, "tests", "e2e")
    for case in sorted(os.listdir(base)):
        folder = os.path.join(base, case)
        if os.path.isdir(folder):
            yield case, folder


def e2e_files(suffixes):
    for case, folder in e2e_cases():
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and name.endswith(suffixes):
                yield case, name, open(path, "rb").read()


def write_corpus(harness, seeds):
    folder = os.path.join(CORPUS, harness)
    os.makedirs(folder, exist_ok=True)
    # Inputs that once found a fault stay: they are named regression-*.
    for name in os.listdir(folder):
        if not name.startswith("regression-"):
            os.remove(os.path.join(folder, name))
    seen = set()
    for label, data in seeds:
        if len(data) > LIMIT:
            continue
        digest = hashlib.sha1(data).hexdigest()[:12]
        if digest in seen:
            continue
        seen.add(digest)
        with open(os.path.join(folder, f"{label}-{digest}"), "wb") as f:
            f.write(data)
    print(f"{harness}: {len(seen)} seeds", file=sys.stderr)


def format_seeds():
    for name in FORMATS:
        yield name, read(*format_path(name))
    for case, name, data in e2e_files((".txt",)):
        if name != "expected.txt":
            yield case, data
    yield "macros", (b"text=^<([[:nick:]]+)@([[:uh:]]+)> (.*)$,nick,null,string\n"
                     b"act=[:nick:]x,nick\n")
    yield "order_and_filename", (b"order=join, bogus,,join,null\r\norder=act\n"
                                 b"filename=[._]([0-9]{8}|[0-9]{2}[A-Z][a-z]{2}[0-9]{4}),date\n"
                                 b"FILENAME=(x\nfilename=\n")
    yield "parts", (b"text=(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l),null,null,null,null,null,"
                    b"null,null,null,null,null,null,nick,,string,\n"
                    b"act=x,time,nick, string ;comment\r\nact=y\njoin=\nbogus=z\n")


def settings_seeds():
    yield "example", read("examples", "tallywick.conf")
    yield "demo", read("examples", "demo", "demo.conf")
    for case, name, data in e2e_files((".conf",)):
        yield case, data
    yield "over_capacity", b"".join(
        key + b"=" + b"x" * 300 + b"\n"
        for key in [b"channame", b"statwords", b"page_bg", b"botname", b"credits",
                    b"max_quote_len", b"ignore_kicks", b"font1", b"charset", b"header",
                    b"page_layout"])
    yield "statwords", b"statwords=a,,b,\nSTATWORDS=only\n#comment=x\nno equals\n=\n"


def log_seeds():
    for index, name in enumerate(FORMATS):
        log = read_log(name)
        yield name, bytes([index]) + log
        yield name + "_threads", bytes([index | 0x80]) + log
    for case, name, data in e2e_files((".log",)):
        yield case, bytes([FORMATS.index("demo")]) + data
    yield "hostile", (bytes([0]) + b"10:00 <a> \x1b[1mbold\x1b[0m\n10:01 <b> \x00hidden\n"
                      b"25:00 <c> bad hour\n\xff\xfe\x1b no m\n10:02 <d> end\x03")


def render_seeds():
    yield "plain", b"hello world"
    yield "entities", b"a & b < c > d \"quoted\" &amp;"
    yield "codes", b"\x02bold\x02 \x1funder\x1f \x034,12colour\x03 \x03 5 \x03-1x\x0399"
    yield "newline", b"\x02\x1f\x034open\nnext line\n\x03"
    yield "links", (b"see www.example.com, http://a.org/x?a=1&b=2 (ftp.example.net) "
                    b"user@host.com me@ftp:x.uk awww.b wwww.c ..com HTTP://X.COM")
    yield "zero", b"before\x00after www.x.com"
    for name in FORMATS:
        lines = [line for line in read_log(name).splitlines()
                 if any(c in line for c in b"<>\"&()\x02\x03\x1f") or b"www." in line]
        for line in lines[:6]:
            yield name, line


def whole_run_seeds():
    settings = read("examples", "tallywick.conf")
    for name in FORMATS:
        yield name, SEPARATOR.join([b"", read(*format_path(name)), settings,
                                    read_log(name), b"alice\nbob\n"])
    yield "modern", SEPARATOR.join([b"", read(*format_path("demo")),
                                    settings + b"page_layout=modern\n", read_log("demo"), b""])
    yield "irssi_options", SEPARATOR.join([b"vvtb2", read(*format_path("irssi")), b"",
                                           read_log("irssi"), b"alice\n"])
    for letters in (b"m", b"td"):  # an exclusion file that is missing, or a folder
        yield "unreadable_exclusion", SEPARATOR.join([letters, read(*format_path("demo")), b"",
                                                      read_log("demo"), b""])
    yield "zero_bytes", SEPARATOR.join([b"tb", read(*format_path("demo")), b"",
                                        b"10:00 <a> text\x00" + b"\x00" * 4000 + b"\n10:01 <b> x",
                                        b"al\x00ice\n\x00\x00bob\n" + b"y" * 3000 + b"\n"])
    for case, folder in e2e_cases():
        format_file = os.path.join(folder, "format.txt")
        log_file = os.path.join(folder, "channel.log")
        if not (os.path.isfile(format_file) and os.path.isfile(log_file)):
            continue
        conf = os.path.join(folder, "page.conf")
        conf_text = open(conf, "rb").read() if os.path.isfile(conf) else b""
        yield case, SEPARATOR.join([b"", open(format_file, "rb").read(), conf_text,
                                    open(log_file, "rb").read(), b""])


def main():
    write_corpus("format_file", format_seeds())
    write_corpus("settings", settings_seeds())
    write_corpus("log_reader", log_seeds())
    write_corpus("render_text", render_seeds())
    write_corpus("whole_run", whole_run_seeds())


if __name__ == "__main__":
    main()
