// How the page looks and what it says about itself: every colour, font and
// text the page writers take from the user's settings, resolved once.
#pragma once

#include <string>

// Which writer lays the page out: the classic HTML 4.0 page with its bar
// images, or the self-contained HTML5 page.
enum class PageLayout { kClassic, kModern };

struct PageStyle {
  PageLayout layout = PageLayout::kClassic;
  // Colours, as six hexadecimal digits without "#".
  std::string pageText;     // ordinary text and links
  std::string contrast;     // titles and table heads
  std::string pageBg;       // the page's background
  std::string dateBg;       // the dates under the daily chart
  std::string headNickBg;   // the nick column's head
  std::string headOtherBg;  // the other columns' heads
  std::string indexBg;      // the rank column
  std::string nickBg;       // the nick column
  std::string secondBg;     // a table's second column
  std::string thirdBg;      // a table's third column
  // Font faces: the tables' texts, the page's own texts, the charts' figures.
  std::string font1;
  std::string font2;
  std::string font3;
  std::string picext;  // the extension of the bar pictures, dot included
  // Texts of the head and footer, written as the user gave them.
  std::string channame;
  std::string myname;
  std::string myemail;
  std::string header;
  std::string credits;
  std::string charset;  // empty: the page declares no character set
};
