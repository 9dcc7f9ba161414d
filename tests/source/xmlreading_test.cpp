// The XML reading of workbook parts, the shapes read without it, and the
// store of shared strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "source/formats/sharedstrings.h"
#include "source/formats/xlsxshapes.h"
#include "source/formats/xmlstream.h"

namespace vesper {
namespace {

// Writes what it is told as text: <name a=v>, text, </name>.
class Recorder : public XmlStream {
 public:
  std::string log;

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    log += "<" + std::string(name);
    for (const auto& [n, v] : a) log += " " + std::string(localname(n)) + "=" + std::string(v);
    log += ">";
  }
  void onend(std::string_view name) override { log += "</" + std::string(name) + ">"; }
  void ontext(std::string_view text) override { log += text; }
};

// The log of `doc` fed `step` bytes at a time, or "error: why".
std::string readin(std::string_view doc, std::size_t step) {
  Recorder r;
  try {
    for (std::size_t at = 0; at < doc.size(); at += step) r.feed(doc.substr(at, step));
    r.feed({}, true);
  } catch (const PackageError& e) {
    return std::string("error: ") + e.what();
  }
  return r.log;
}

TEST(XmlReadingTest, EveryChunkingGivesTheSameEvents) {
  struct Case {
    std::string doc, want;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><a x=\"1\" p:y='2'>t<b/>u</a>", "<a x=1 y=2>t<b></b>u</a>"},
      {"\xEF\xBB\xBF<x:a><!-- c --><x:b>&lt;&amp;&gt;&quot;&apos;</x:b></x:a>", "<a><b><&>\"'</b></a>"},
      {"<a>&#65;&#x42;&#xE9;&#x1F600;</a>", "<a>AB\xC3\xA9\xF0\x9F\x98\x80</a>"},
      {"<a><![CDATA[<not> &a tag]]></a>", "<a><not> &a tag</a>"},
      {"<a v=\"x&#10;y\tz\r\nw\">l1\r\nl2\rl3</a>", "<a v=x\ny z w>l1\nl2\nl3</a>"},
      {"<a>\n  <b  c = \"1\"  />\n</a>\n", "<a>\n  <b c=1></b>\n</a>"},
      {"<a><b></a>", "error: its XML is damaged (mismatched tag)"},
      {"<a>text", "error: its XML is damaged (an element is not closed)"},
      {"<a></a><b/>", "error: its XML is damaged (junk after document element)"},
      {"<a>&nbsp;</a>", "error: its XML is damaged (undefined entity or broken reference)"},
      {"<a>&" + std::string(100, 'x') + "</a>", "error: its XML is damaged (undefined entity or broken reference)"},
      {"<a><!--" + std::string(20000, '>') + "--></a>", "<a></a>"},
      {"<a b=\"1\"c=\"2\"/>", "error: its XML is damaged (not well-formed)"},
      {"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", "error: it declares a DTD, which no workbook part has"},
      {"\xFF\xFE<\0a\0/\0>\0", "error: its XML is written in UTF-16, which is not read"},
      {"", "error: its XML is damaged (no element found)"},
  };
  for (const Case& c : cases)
    for (std::size_t step : {c.doc.size() + 1, std::size_t(1), std::size_t(2), std::size_t(7)})
      EXPECT_EQ(readin(c.doc, step), c.want) << c.doc << " in steps of " << step;
}

TEST(XmlReadingTest, ShapesReadAlikeOrAreLeftToTheGeneralReading) {
  long long row = 0;
  std::vector<ShapedCell> cells;
  const std::string simple = "<row r=\"7\" spans=\"1:3\"><c r=\"B7\" t=\"s\" s=\"2\"><v>12</v></c> <c/><c r=\"D7\"><v></v></c></row>";
  ASSERT_EQ(shapedrow(simple + "<row>", row, cells), simple.size());
  EXPECT_EQ(row, 7);
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[0].col, 2);
  EXPECT_EQ(cells[0].type, "s");
  EXPECT_EQ(cells[0].style, "2");
  EXPECT_EQ(cells[0].value, "12");
  EXPECT_EQ(cells[1].col, 0);
  EXPECT_EQ(cells[2].value, "");
  // The common shared-string cell, read at a glance, and near shapes that
  // are not (a blank more, a lower-case reference, no value, a style) give
  // the cells the attribute reading gives.
  for (const char* cell : {"<c r=\"AB7\" t=\"s\"><v>12</v></c>", "<c  r=\"AB7\" t=\"s\"><v>12</v></c>",
                           "<c r=\"ab7\" t=\"s\"><v>12</v></c>", "<c r=\"AB7\" t=\"s\"><v></v></c>",
                           "<c r=\"AB7\" t=\"s\" s=\"3\"><v>12</v></c>", "<c r=\"AB7\" t=\"s\"><v>12</v> </c>"}) {
    const std::string one = std::string("<row>") + cell + cell + "</row>";
    ASSERT_EQ(shapedrow(one, row, cells), one.size()) << cell;
    ASSERT_EQ(cells.size(), 2u) << cell;
    const std::string_view want = std::string_view(cell).find("<v></v>") == std::string_view::npos ? "12" : "";
    for (const ShapedCell& c : cells) {
      EXPECT_EQ(c.col, 28) << cell;
      EXPECT_EQ(c.type, "s") << cell;
      EXPECT_EQ(c.value, want) << cell;
    }
  }
  // Shapes the general reading must take: a formula, an inline string, a
  // reference, a comment, a prefixed name, a row cut short.
  for (const char* other : {"<row><c><f>1+1</f><v>2</v></c></row>", "<row><c t=\"inlineStr\"><is><t>a</t></is></c></row>",
                            "<row><c><v>&amp;</v></c></row>", "<row><!-- x --></row>", "<x:row></x:row>",
                            "<row><c r=\"A1\"><v>1</v></c>"})
    EXPECT_EQ(shapedrow(other, row, cells), 0u) << other;

  std::string_view text;
  const std::string plain = "<si><t xml:space=\"preserve\"> a </t></si>";
  EXPECT_EQ(shapedstring(plain + "<si>", text), plain.size());
  EXPECT_EQ(text, " a ");
  for (const char* other : {"<si><r><t>a</t></r></si>", "<si><t>a&amp;b</t></si>", "<si><t>a</t><rPh><t>b</t></rPh></si>"})
    EXPECT_EQ(shapedstring(other, text), 0u) << other;
  // A string taken as it stands has nothing a cell would show otherwise.
  const std::string asis = "<si><t>Ann Lee, 12 Elm St</t></si>", more = asis + "<si>";
  EXPECT_EQ(plainstring(more, text), asis.size());
  EXPECT_EQ(text, "Ann Lee, 12 Elm St");
  EXPECT_EQ(plainstring("<si><t></t></si>", text), 16u);
  EXPECT_EQ(text, "");
  for (const char* other : {"<si><t>x_x000D_y</t></si>", "<si><t>a&amp;b</t></si>", "<si><t>a\tb</t></si>", "<si><t>a\r\nb</t></si>",
                            "<si><t xml:space=\"preserve\">a</t></si>", "<si><t>a</t></si", "<si><t>a</t><rPh><t>b</t></rPh></si>"})
    EXPECT_EQ(plainstring(other, text), 0u) << other;

  StringUses uses;
  countsharedrefs("<c t=\"s\"><v>3</v></c><c t=\"s\"><v>70</v></c><c t=\"s\"/><c><v>3</v></c><c t=\"s\"><v>3</v></c>",
                  uses);
  EXPECT_EQ(uses.of(3), 2u);
  EXPECT_EQ(uses.of(70), 1u);
  EXPECT_EQ(uses.of(2) + uses.of(71) + uses.of(1000), 0u);
  std::string many;
  for (int i = 0; i < 40; ++i) many += "<c r=\"A1\" t=\"s\"><v>71</v></c>";
  countsharedrefs(many, uses);
  EXPECT_EQ(uses.of(71), StringUses::kMost);  // counted up to the most four bits hold
  EXPECT_EQ(uses.of(70), 1u);
}

TEST(SharedStringsTest, StringsComeBackWhereverTheyAreHeld) {
  std::mt19937 random(5);
  std::vector<std::string> strings;
  // Enough text (about 2 MB) that the strings kept are read back from the
  // file in more than one stretch.
  for (int i = 0; i < 80000; ++i)
    strings.push_back(i % 97 == 0 ? std::string() : std::string(random() % (i % 500 == 0 ? 3000 : 30), char('a' + i % 26)) + std::to_string(i));
  for (std::size_t held : {std::size_t(1) << 30, std::size_t(4096)}) {
    SharedStrings store(held);
    for (const auto& s : strings) store.add(s);
    EXPECT_EQ(store.spilled(), held == 4096);
    StringUses uses;
    for (std::size_t i = 0; i < strings.size(); i += 3) uses.add(i), uses.add(i);
    store.keeprepeated(uses);
    EXPECT_EQ(store.keptrepeated(), held == 4096 ? (strings.size() + 2) / 3 : 0u);
    std::vector<std::size_t> order(strings.size() + 2);
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    for (std::size_t i : order)
      ASSERT_EQ(store.get(i), i < strings.size() ? strings[i] : std::string()) << "string " << i << ", held " << held;
  }
}

// With room for only some of the strings named more than once, those named
// most are kept first, then of those named as often the first ones.
TEST(SharedStringsTest, KeepsTheStringsNamedMostFirst) {
  std::vector<std::string> strings;
  for (int i = 0; i < 3000; ++i) strings.push_back("string number " + std::to_string(i) + (i % 2 ? "" : " with more text"));
  StringUses uses;
  std::size_t often = 0;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    const int times = i % 10 == 9 ? 12 : i % 3 == 0 ? 2 : 1;
    for (int t = 0; t < times; ++t) uses.add(i);
    often += times == 12;
  }
  SharedStrings store(4096, 300 * 40);
  for (const auto& s : strings) store.add(s);
  store.keeprepeated(uses);
  std::size_t kept = 0, twice = 0, lasttwice = 0;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    kept += store.iskept(i);
    if (uses.of(i) == 12) {
      EXPECT_TRUE(store.iskept(i)) << "string " << i << " is named twelve times";
    }
    if (uses.of(i) == 1) {
      EXPECT_FALSE(store.iskept(i)) << "string " << i << " is named once";
    }
    if (uses.of(i) == 2 && store.iskept(i)) ++twice, lasttwice = i;
  }
  EXPECT_EQ(kept, store.keptrepeated());
  EXPECT_GT(twice, 0u);
  EXPECT_LT(kept, often + 1000);  // not all strings named twice fit
  for (std::size_t i = 0; i < lasttwice; ++i)
    if (uses.of(i) == 2) {
      EXPECT_TRUE(store.iskept(i)) << "string " << i << " comes before a kept one named as often";
    }
  for (std::size_t i = 0; i < strings.size(); ++i) ASSERT_EQ(store.get(i), strings[i]);
}

}  // namespace
}  // namespace vesper
