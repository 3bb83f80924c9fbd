#include "report/modern_style.h"

namespace {

// The colours of the four quarters of the day, those of the bar images.
// The dark scheme keeps the user's colours as a tint of dark surfaces.
constexpr const char* kStyleRules =
    ":root{color-scheme:light dark;--bg:var(--s-bg);--fg:var(--s-fg);--hi:var(--s-hi);"
    "--date:var(--s-date);--hn:var(--s-hn);--ho:var(--s-ho);--ix:var(--s-ix);--nk:var(--s-nk);"
    "--c2:var(--s-c2);--c3:var(--s-c3);--line:rgba(0,0,0,.18);"
    "--q1:#4a5ab8;--q2:#4ca85a;--q3:#e0a030;--q4:#c8507a}\n"
    "@media (prefers-color-scheme:dark){:root{--bg:color-mix(in srgb,var(--s-bg) 8%,#121317);"
    "--fg:#e2e2e8;--hi:#fff;--date:color-mix(in srgb,var(--s-date) 30%,#1b1c22);"
    "--hn:color-mix(in srgb,var(--s-hn) 40%,#1b1c22);--ho:color-mix(in srgb,var(--s-ho) 40%,#1b1c22);"
    "--ix:color-mix(in srgb,var(--s-ix) 25%,#1b1c22);--nk:color-mix(in srgb,var(--s-nk) 25%,#1b1c22);"
    "--c2:color-mix(in srgb,var(--s-c2) 18%,#1b1c22);--c3:color-mix(in srgb,var(--s-c3) 18%,#1b1c22);"
    "--line:rgba(255,255,255,.2)}}\n"
    "*{box-sizing:border-box}\n"
    "html{background:var(--bg);color:var(--fg)}\n"
    "body{margin:0 auto;max-width:80rem;padding:0 1rem 2rem;font:1rem/1.45 var(--f2);"
    "overflow-wrap:anywhere}\n"
    "a{color:inherit}\n"
    "h1,h2,h3{color:var(--hi);line-height:1.2}\n"
    "h1{font-size:1.6rem;margin:1rem 0 .3rem}\n"
    "h2{font-size:1.3rem;margin:2rem 0 .6rem;padding-bottom:.2rem;border-bottom:2px solid var(--line)}\n"
    "h3{font-size:1rem;margin:0 0 .4rem}\n"
    "h2 a{text-decoration:none}h2 a:hover::after,h2 a:focus::after{content:\" #\";opacity:.6}\n"
    "nav{display:flex;flex-wrap:wrap;gap:.2rem 1rem;font-size:.9rem;margin:.6rem 0}\n"
    ".sum p{margin:.2rem 0}.tp{font-weight:bold}.rnd{font-weight:bold;font-style:italic}.note{margin:.2rem 0 .8rem}\n"
    "figure{margin:0}figcaption{font-size:.85rem;margin-top:.4rem}\n"
    ".bars{display:flex;height:12rem;border-bottom:1px solid var(--line)}\n"
    ".c{flex:1 1 0;min-width:0;display:flex;flex-direction:column-reverse;align-items:center}\n"
    ".c span{display:block;width:80%;max-width:3rem}\n"
    ".c.u{background:var(--date);margin-right:.4rem}.c.top{background:color-mix(in srgb,var(--q3) 12%,transparent)}"
    ".c.low{background:color-mix(in srgb,var(--fg) 8%,transparent)}\n"
    ".axis{display:flex;justify-content:space-between;gap:.5rem;font:.75rem var(--f3);"
    "background:var(--date);padding:0 .2rem}\n"
    ".legend{display:flex;flex-wrap:wrap;gap:.2rem 1.2rem;list-style:none;padding:0;font-size:.85rem}\n"
    ".sw{display:inline-block;width:1.6rem;height:.8rem;margin-right:.4rem;vertical-align:middle}\n"
    ".q1{background:var(--q1)}.q2{background:var(--q2)}.q3{background:var(--q3)}.q4{background:var(--q4)}\n"
    ".hours{display:flex;height:11rem}\n"
    ".h{flex:1 1 0;min-width:0;display:flex;flex-direction:column;justify-content:flex-end;"
    "align-items:center;font:.7rem var(--f3)}\n"
    ".h span{display:block;width:70%}.h small{font-size:inherit;white-space:nowrap}\n"
    ".hl{display:flex}.hl span{flex:1 1 0;min-width:0;text-align:center;color:#fff;"
    "font:.7rem/1.7 var(--f3)}\n"
    "table{border-collapse:collapse;width:100%}\n"
    "th{background:var(--ho);color:var(--hi);text-align:left;padding:.3rem .4rem;"
    "font-family:var(--f1)}th.hn{background:var(--hn)}\n"
    "td{padding:.25rem .4rem;vertical-align:top;border-bottom:1px solid var(--line)}\n"
    ".n{text-align:right;font-variant-numeric:tabular-nums}th.n,td.n{white-space:nowrap}\n"
    "td.ix{background:var(--ix)}td.nk{background:var(--nk);min-width:6rem}td.c2{background:var(--c2)}"
    "td.c3{background:var(--c3)}\n"
    ".qt{font-family:var(--f1);font-style:italic;width:70%}table.big td.c2{width:60%}\n"
    ".qb{display:inline-flex;width:8rem;height:.8rem;vertical-align:middle;margin-right:.4rem}"
    ".qb span{display:block}\n"
    ".act-wrap{display:grid;gap:1.5rem}\n"
    ".share ul{list-style:none;padding:0;margin:0}\n"
    ".share li{display:grid;grid-template-columns:minmax(0,8rem) minmax(0,1fr) auto;gap:.4rem;"
    "align-items:center;font:.85rem var(--f3)}\n"
    ".share li span.q1,.share li span.q2,.share li span.q3,.share li span.q4{display:block;height:.8rem}\n"
    "footer{margin-top:2rem;padding-top:.5rem;border-top:2px solid var(--line);font-size:.85rem}\n"
    "@media (min-width:64rem){.act-wrap{grid-template-columns:minmax(0,1fr) 16rem}}\n"
    "@media (max-width:64rem){.h small{writing-mode:vertical-rl;transform:rotate(180deg)}}\n"
    "@media (max-width:40rem){body{padding:0 .5rem 1rem}thead{display:none}"
    "table,tbody{display:block}tr{display:grid;grid-template-columns:minmax(0,1fr) minmax(0,1fr);"
    "border-bottom:1px solid var(--line)}td{border:0}td.qt{width:auto;grid-column:1/-1}"
    "table.act tr,table.pool tr{grid-template-columns:2.4rem minmax(0,1fr) auto}"
    "table.big td.c2{width:auto;grid-column:1/-1;grid-row:2}"
    ".qb{width:4rem}.hl span{font-size:.6rem}}\n";

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsFontNameCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         c == ' ' || c == '-' || c == '_' || c == '.';
}

}  // namespace

std::string CssColour(const std::string& colour) {
  bool hex = colour.size() == 3 || colour.size() == 6;
  for (char c : colour) hex = hex && IsHexDigit(c);
  return hex ? colour : "808080";
}

std::string CssFontName(const std::string& font) {
  std::string name;
  for (char c : font) {
    if (IsFontNameCharacter(c)) name += c;
  }
  if (name.find_first_not_of(' ') == std::string::npos) return "";
  return "\"" + name + "\",";
}

void WriteModernStyleSheet(FILE* out, const PageStyle& style) {
  fprintf(out,
          "<style>\n:root{--s-bg:#%s;--s-fg:#%s;--s-hi:#%s;--s-date:#%s;--s-hn:#%s;--s-ho:#%s;"
          "--s-ix:#%s;--s-nk:#%s;--s-c2:#%s;--s-c3:#%s;--f1:%sGeorgia,serif;"
          "--f2:%ssystem-ui,sans-serif;--f3:%ssystem-ui,sans-serif}\n",
          CssColour(style.pageBg).c_str(), CssColour(style.pageText).c_str(),
          CssColour(style.contrast).c_str(), CssColour(style.dateBg).c_str(),
          CssColour(style.headNickBg).c_str(), CssColour(style.headOtherBg).c_str(),
          CssColour(style.indexBg).c_str(), CssColour(style.nickBg).c_str(),
          CssColour(style.secondBg).c_str(), CssColour(style.thirdBg).c_str(),
          CssFontName(style.font1).c_str(), CssFontName(style.font2).c_str(),
          CssFontName(style.font3).c_str());
  fputs(kStyleRules, out);
  fputs("</style>\n", out);
}
