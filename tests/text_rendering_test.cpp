#include "report/text_rendering.h"

#include <gtest/gtest.h>

#include "capture_output.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string Render(std::string_view text) {
  return Capture([&](FILE* out) { RenderText(out, text); });
}

std::string Font(const char* colour) {
  return std::string("<font color=\"") + colour + "\">";
}

TEST(TextRendering, EscapesHtmlCharacters) {
  EXPECT_EQ(Render(""), "");
  EXPECT_EQ(Render("a & b"), "a &amp; b");
  EXPECT_EQ(Render("<p>"), "&lt;p&gt;");
  EXPECT_EQ(Render("say \"hi\""), "say &quot;hi&quot;");
  // An entity in the chat text is shown as typed, not taken as an entity.
  EXPECT_EQ(Render("&quot;&&"), "&amp;quot;&amp;&amp;");
  // Parentheses, control characters and high bytes pass unchanged.
  EXPECT_EQ(Render("(x)\x01\x7f\x80\xff\t"), "(x)\x01\x7f\x80\xff\t");
  // A stored text ends at its zero byte.
  EXPECT_EQ(Render(std::string_view("ab\0cd", 5)), "ab");

  EXPECT_EQ(Render("&a&&b&"), "&amp;a&amp;&amp;b&amp;");
  EXPECT_EQ(Render("<\"no ampersand\">"), "&lt;&quot;no ampersand&quot;&gt;");
}

TEST(TextRendering, BoldAndUnderlineToggle) {
  EXPECT_EQ(Render("a \x02word\x02 b"), "a <b>word</b> b");
  EXPECT_EQ(Render("\x1fu\x1f\x1fv"), "<u>u</u><u>v</u>");
  EXPECT_EQ(Render("\x02\x1f"), "<b><u></b></u>");
}

TEST(TextRendering, ClosesOpenTagsAtTheEndOfEachText) {
  EXPECT_EQ(Render("\x02word"), "<b>word</b>");
  // The next text starts plain.
  EXPECT_EQ(Render("plain"), "plain");
  // Always bold, underline, colour, whatever order they were opened in.
  EXPECT_EQ(Render("\x03"
                   "4r\x1fu\x02"
                   "b"),
            Font("#7f0000") + "r<u>u<b>b</b></u></font>");
  EXPECT_EQ(Render("\x03"), Font("#ffffff") + "</font>");
  // Closed tags are not closed again.
  EXPECT_EQ(Render("\x02"
                   "a\x02\x03"
                   "1b\x03"),
            "<b>a</b>" + Font("#000000") + "b</font>");
}

TEST(TextRendering, NewlineClosesTagsInFixedOrder) {
  EXPECT_EQ(Render("\x02"
                   "b\x1fu\nplain"),
            "<b>b<u>u</b></u><br>plain");
  EXPECT_EQ(Render("\x1fu\x02"
                   "b\nplain"),
            "<u>u<b>b</b></u><br>plain");
  // Each line starts plain: a toggle after the break opens again.
  EXPECT_EQ(Render("\x02"
                   "a\n\x02"
                   "b\x02"),
            "<b>a</b><br><b>b</b>");
  EXPECT_EQ(Render("\x03"
                   "3a\n\x03"
                   "4b"),
            Font("#007f00") + "a</font><br>" + Font("#7f0000") + "b</font>");
  EXPECT_EQ(Render("one\ntwo\n"), "one<br>two<br>");
}

TEST(TextRendering, ColourCodes) {
  // A number, a word and a second code that closes the colour.
  EXPECT_EQ(Render("\x03"
                   "4word\x03 x"),
            Font("#7f0000") + "word</font> x");
  // The background after a comma is consumed and not shown.
  EXPECT_EQ(Render("\x03"
                   "4,12word"),
            Font("#7f0000") + "word</font>");
  EXPECT_EQ(Render("\x03"
                   "04,"),
            Font("#7f0000") + "</font>");
  // A code while a colour is open only closes; its digits are text.
  EXPECT_EQ(Render("\x03"
                   "4word\x03"
                   "5"),
            Font("#7f0000") + "word</font>5");
  // No digits gives colour 0, also as the last character of a text.
  EXPECT_EQ(Render("\x03word"), Font("#ffffff") + "word</font>");
  EXPECT_EQ(Render("word\x03"), "word" + Font("#ffffff") + "</font>");
  // The number is read past a blank, but only digits right after the code
  // are consumed.
  EXPECT_EQ(Render("\x03 5"), Font("#7f7f00") + " 5</font>");
  EXPECT_EQ(Render("\x03+9x"), Font("#009f9f") + "+9x</font>");
  EXPECT_EQ(Render("\x03-0x"), Font("#ffffff") + "-0x</font>");
  // Every entry of the table.
  const char* colours[] = {"#ffffff", "#000000", "#00007f", "#007f00", "#7f0000",
                           "#7f7f00", "#7f007f", "#9f5f00", "#00ff00", "#009f9f",
                           "#00ffff", "#2020ff", "#ff2020", "#9f9f9f"};
  for (int number = 0; number < 14; ++number) {
    std::string text = "\x03" + std::to_string(number) + "x";
    EXPECT_EQ(Render(text), Font(colours[number]) + "x</font>") << number;
  }
  EXPECT_EQ(Render("\x03"
                   "013x"),
            Font("#9f9f9f") + "x</font>");
}

// The HTML5 markup differs from the HTML 4.0 one in the colour tags only.
TEST(TextRendering, Html5MarkupWritesColoursAsSpans) {
  auto render5 = [](std::string_view text) {
    return Capture([&](FILE* out) { RenderText(out, text, TextMarkup::kHtml5); });
  };
  EXPECT_EQ(render5("\x03" "4,12a \x02<b>\x02 & www.x.org\x03" "5\n\x03\x1fz"),
            "<span style=\"color:#7f0000\">a <b>&lt;b&gt;</b> &amp; "
            "<a href=\"http://www.x.org\">www.x.org</a></span>5<br>"
            "<span style=\"color:#ffffff\"><u>z</u></span>");
  EXPECT_EQ(render5("\x03" "99x\n"), "<span style=\"color:#9f9f9f\">x</span><br>");
  for (const char* text : {"plain \"quoted\" & <tag>", "\x02\x1f" "bu\n(http://a.b/c)",
                           "mail me@x.org or ftp.x.net", ""}) {
    EXPECT_EQ(render5(text), Render(text)) << text;
  }
}

TEST(TextRendering, ColourNumbersOutOfRangeGetGrey) {
  const std::string grey = Font("#9f9f9f");
  EXPECT_EQ(Render("\x03"
                   "14a"),
            grey + "a</font>");
  EXPECT_EQ(Render("\x03"
                   "99,99a"),
            grey + "a</font>");
  // A run of digits far beyond any integer is consumed whole.
  EXPECT_EQ(Render("\x03"
                   "123456789012345678901234567890a"),
            grey + "a</font>");
  EXPECT_EQ(Render("\x03-3a"), grey + "-3a</font>");
  // The colour counts as open: the next code closes it.
  EXPECT_EQ(Render("\x03"
                   "50a\x03"
                   "1b"),
            grey + "a</font>1b");
}

TEST(TextRendering, LinkWords) {
  EXPECT_EQ(Render("see www.example.org now"),
            "see <a href=\"http://www.example.org\">www.example.org</a> now");
  EXPECT_EQ(Render("(http://a.b/c)"), "(<a href=\"http://a.b/c\">http://a.b/c</a>)");
  EXPECT_EQ(Render("ftp://files.net/x"), "<a href=\"ftp://files.net/x\">ftp://files.net/x</a>");
  // A mail address is not a link; with a colon it is an FTP link.
  EXPECT_EQ(Render("mail joe@host.com"), "mail joe@host.com");
  EXPECT_EQ(Render("user:pw@host.com"), "<a href=\"ftp://user:pw@host.com\">user:pw@host.com</a>");
  EXPECT_EQ(Render("ftp.gnu.org/pub"), "<a href=\"ftp://ftp.gnu.org/pub\">ftp.gnu.org/pub</a>");
  // "https://" is a marker of its own and, at the start of a word, needs no
  // prefix; inside a longer word the word gets the usual one.
  EXPECT_EQ(Render("https://example.io/x"),
            "<a href=\"https://example.io/x\">https://example.io/x</a>");
  EXPECT_EQ(Render("at https://example.org/x."),
            "at <a href=\"https://example.org/x.\">https://example.org/x.</a>");
  EXPECT_EQ(Render("https://me@host.io"), "<a href=\"https://me@host.io\">https://me@host.io</a>");
  EXPECT_EQ(Render("see:https://a.io"), "<a href=\"http://see:https://a.io\">see:https://a.io</a>");
  EXPECT_EQ(Render("www.a.io then https://b.io"),
            "<a href=\"http://www.a.io\">www.a.io</a> then "
            "<a href=\"https://b.io\">https://b.io</a>");
  // A marker anywhere in the word makes it a link; trailing punctuation
  // belongs to the word.
  EXPECT_EQ(Render("foo.company"), "<a href=\"http://foo.company\">foo.company</a>");
  EXPECT_EQ(Render("go to x.org!"), "go to <a href=\"http://x.org!\">x.org!</a>");
  // Markers compare case-sensitively.
  EXPECT_EQ(Render("HTTP://X HTTPS://X WWW.Y Z.COM"), "HTTP://X HTTPS://X WWW.Y Z.COM");
  EXPECT_EQ(Render("a.ca b c.uk"),
            "<a href=\"http://a.ca\">a.ca</a> b <a href=\"http://c.uk\">c.uk</a>");
  // An ampersand is escaped in the address and in the shown text alike.
  EXPECT_EQ(Render("www.q.net/?a=1&b=2"),
            "<a href=\"http://www.q.net/?a=1&amp;b=2\">www.q.net/?a=1&amp;b=2</a>");
  // A link word ends at white space or at a special character.
  EXPECT_EQ(Render("x.com\ty"), "<a href=\"http://x.com\">x.com</a>\ty");
  EXPECT_EQ(Render("\x02x.com\x02"), "<b><a href=\"http://x.com\">x.com</a></b>");
  EXPECT_EQ(Render("x.co<m"), "x.co&lt;m");
}

TEST(TextRendering, TextBetweenLinksIsKept) {
  EXPECT_EQ(Render("a.com and then b.net too"),
            "<a href=\"http://a.com\">a.com</a> and then <a href=\"http://b.net\">b.net</a> too");
  EXPECT_EQ(Render("  lead"), "  lead");
  EXPECT_EQ(Render("a.com b"), "<a href=\"http://a.com\">a.com</a> b");
}

TEST(TextRendering, LinkWordsFollowTheMarkerProgressRule) {
  EXPECT_EQ(Render("see www.x"), "see <a href=\"http://www.x\">www.x</a>");
  EXPECT_EQ(Render("awww.x"), "<a href=\"http://awww.x\">awww.x</a>");
  // After a failed partial match a marker restarts from the failing
  // character only, so "www." is missed after four letters "w".
  EXPECT_EQ(Render("wwww.x"), "wwww.x");
  EXPECT_EQ(Render("wwww.x.org"), "<a href=\"http://wwww.x.org\">wwww.x.org</a>");
  EXPECT_EQ(Render("a ..com"), "a <a href=\"http://..com\">..com</a>");
  EXPECT_EQ(Render("plain words"), "plain words");
  EXPECT_EQ(Render("go https://x"), "go <a href=\"https://x\">https://x</a>");
  EXPECT_EQ(Render("httpss://x https://y"), "httpss://x <a href=\"https://y\">https://y</a>");
  EXPECT_EQ(Render("abcwww.x"), "<a href=\"http://abcwww.x\">abcwww.x</a>");
  // White space of the "C" locale separates words; a high byte does not.
  EXPECT_EQ(Render("a\vb\xa0x.uk"), "a\v<a href=\"http://b\xa0x.uk\">b\xa0x.uk</a>");
}

TEST(TextRendering, EscapedTextEscapesNames) {
  EXPECT_EQ(EscapedText(""), "");
  EXPECT_EQ(EscapedText("plain\x02 name"), "plain\x02 name");
  EXPECT_EQ(EscapedText("<a&b \"c\">"), "&lt;a&amp;b &quot;c&quot;&gt;");
  EXPECT_EQ(EscapedText("&&"), "&amp;&amp;");
}

}  // namespace
