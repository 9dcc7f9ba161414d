#include "parse/text.h"

#include <gtest/gtest.h>

namespace vesper {
namespace {

struct Case { std::string in, out; };

TEST(Trim, LeftAndRightUseDifferentBlanks) {
  EXPECT_EQ(trimleft(" \r\n\bAB "), "AB ");
  EXPECT_EQ(trimright("AB \t "), "AB");
  EXPECT_EQ(trimleft("\tAB"), "\tAB");
  EXPECT_EQ(trimleft("   "), "");
  EXPECT_EQ(trimright(" \t"), "");
  EXPECT_EQ(trimright("AB\r"), "AB\r");
}

TEST(Positions, LastBlankAndFilters) {
  EXPECT_EQ(lastblank("New York NY"), 9u);
  EXPECT_EQ(lastblank("Boston"), 0u);
  EXPECT_EQ(lastblank("a\tb"), 0u);
  EXPECT_EQ(digitsanddots("St."), ".");
  EXPECT_EQ(digitsanddots("K1A 0B1"), "101");
  EXPECT_EQ(digitsandletters("K1A-0B1!"), "K1A0B1");
  EXPECT_EQ(fromfirstdigit("Date: 12/05/97"), "12/05/97");
  EXPECT_EQ(fromfirstdigit("none"), "");
  EXPECT_EQ(replacechar("a,b,c", ',', ' '), "a b c");
  EXPECT_EQ(countdigits("a1b22"), 3);
  EXPECT_EQ(countletters("a1b22\xC3\xA9"), 2);
}

TEST(Blank, TabIsNotBlank) {
  EXPECT_TRUE(isblank(""));
  EXPECT_TRUE(isblank(" \r\n"));
  EXPECT_TRUE(isblank("\b"));
  EXPECT_FALSE(isblank("\t"));
  EXPECT_FALSE(isblank(" x"));
}

TEST(MixedCase, OnlySpaceStartsACapital) {
  const Case cases[] = {
      {"JOHN SMITH", "John Smith"},   {"  mary ann", "Mary Ann"},
      {"JOHN  SMITH", "John  Smith"}, {"", ""},
      {"   ", ""},                    {"MCDONALD", "Mcdonald"},
      {"O'BRIEN", "O'brien"},         {"SMITH-JONES", "Smith-jones"},
      {"III", "Iii"},                 {"PO BOX 12", "Po Box 12"},
      {"J.R. EWING", "J.r. Ewing"},   {"NY", "Ny"},
      {"ANN ", "Ann "},               {"M\xC3\x9CLLER", "M\xC3\xBCller"},
      {"\tBOB", "\tbob"},
  };
  for (const auto& c : cases) EXPECT_EQ(mixedcase(true, c.in), c.out) << c.in;
  EXPECT_EQ(mixedcase(false, "  JOHN "), "  JOHN ");
}

// One buffer cases texts of every length in turn, longer and shorter than the
// ones before: each view is the text's mixed case, whatever the buffer held.
TEST(MixedCase, ViewsOfOneBuffer) {
  const std::string texts[] = {"  JOHN SMITH OF NEW YORK CITY", "ann", "", "   ", "MARY  JO",
                               "x", "PO BOX 1234 STATION A, WEST END", "NY"};
  std::string buffer, into;
  for (const std::string& t : texts) {
    const std::size_t before = buffer.size();
    EXPECT_EQ(mixedcaseview(t, buffer), mixedcase(true, t)) << t;
    EXPECT_GE(buffer.size(), before) << t;
    mixedcaseinto(t, into);
    EXPECT_EQ(into, mixedcase(true, t)) << t;
  }
}

// Texts are cased eight bytes at a time: every byte value at every offset of
// texts up to three such steps long, after a space or another letter, cased
// as the rule says for one character after another.
TEST(MixedCase, EveryByteAtEveryOffset) {
  auto byrule = [](std::string_view t) {
    if (t.find('@') != std::string_view::npos) return std::string(t);  // an address
    while (!t.empty() && isleadingblank(t.front())) t.remove_prefix(1);
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) out += i == 0 || t[i - 1] == ' ' ? upperchar(t[i]) : lowerchar(t[i]);
    return out;
  };
  for (std::size_t len = 1; len <= 24; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      for (int b = 0; b < 256; ++b) {
        std::string text;
        for (std::size_t i = 0; i < len; ++i) text += "qRz Mq"[i % 6];
        text[at] = static_cast<char>(b);
        ASSERT_EQ(mixedcase(true, text), byrule(text)) << len << " " << at << " " << b;
        if (at > 0) text[at - 1] = ' ';
        ASSERT_EQ(mixedcase(true, text), byrule(text)) << len << " " << at << " " << b;
      }
    }
  }
}

// Letters beyond ASCII change case as the ASCII ones do, in every script that
// has case; the first letter of a word takes its title case.  Texts longer
// than eight bytes turn from ASCII to other letters at several offsets.
TEST(MixedCase, LettersOfEveryCasedScript) {
  const Case cases[] = {
      {"M\u00DCLLER", "M\u00FCller"},                                  // MÜLLER
      {"\u00C9COLE", "\u00C9cole"},                                    // ÉCOLE
      {"  \u00E9LAN VITAL", "\u00C9lan Vital"},                         // élan vital
      {"JOS\u00C9 GARC\u00CDA", "Jos\u00E9 Garc\u00EDa"},                // JOSÉ GARCÍA
      {"ABCDEFG \u00C9COLE", "Abcdefg \u00C9cole"},                     // space ends the first eight
      {"JOHN SMITH-M\u00DCLLER OF \u00C9COLE", "John Smith-m\u00FCller Of \u00C9cole"},
      {"\u0141UKASZ \u017B\u00D3\u0141W", "\u0141ukasz \u017B\u00F3\u0142w"},   // ŁUKASZ ŻÓŁW
      {"\u0418\u0412\u0410\u041D \u041F\u0415\u0422\u0420\u041E\u0412",
       "\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432"},       // ИВАН ПЕТРОВ
      {"\u0531\u0550\u0531\u0544", "\u0531\u0580\u0561\u0574"},              // ԱՐԱՄ
      // Greek: a capital sigma ends a word as the final small sigma.
      {"\u039F\u0394\u03A5\u03A3\u03A3\u0395\u0391\u03A3 \u03A3\u039F\u03A6\u0399\u0391",
       "\u039F\u03B4\u03C5\u03C3\u03C3\u03B5\u03B1\u03C2 \u03A3\u03BF\u03C6\u03B9\u03B1"},
      // Georgian capitals become the small letters, which have no title case.
      {"\u1C92\u1C98\u1C9D\u1CA0\u1C92\u1C98", "\u1C92\u10D8\u10DD\u10E0\u10D2\u10D8"},
      {"\u10D2\u10D8\u10DD", "\u10D2\u10D8\u10DD"},
      {"\u01C4EMAL", "\u01C5emal"},                                    // the digraph DŽ
      // A two-byte capital whose small letter takes three bytes.
      {"\u023A\u023A\u023A\u023A\u023A\u023A\u023A\u023A\u023A",
       "\u023A\u2C65\u2C65\u2C65\u2C65\u2C65\u2C65\u2C65\u2C65"},
      {"\xC3(BAD \xFF\xFE" "BYTES", "\xC3(bad \xFF\xFE" "bytes"},       // not UTF-8: kept
  };
  std::string buffer;
  for (const auto& c : cases) {
    EXPECT_EQ(mixedcase(true, c.in), c.out) << c.in;
    EXPECT_EQ(mixedcaseview(c.in, buffer), c.out) << c.in;
  }
}

// An e-mail or web address is no name: it keeps its letters (and leading
// blanks) as they are.  A colon or slashes alone make no address.
TEST(MixedCase, AddressesKeepTheirCase) {
  const Case cases[] = {
      {"JBUTLER@EXAMPLE.COM", "JBUTLER@EXAMPLE.COM"},
      {"  Art.Venere@Example.NET", "  Art.Venere@Example.NET"},
      {"HTTP://WWW.EXAMPLE.COM/JB", "HTTP://WWW.EXAMPLE.COM/JB"},
      {"SEE HTTPS://EXAMPLE.ORG", "SEE HTTPS://EXAMPLE.ORG"},
      {"\u00C9COLE@EXAMPLE.FR", "\u00C9COLE@EXAMPLE.FR"},
      {"M\u00DCLLER HTTP://X.DE", "M\u00DCLLER HTTP://X.DE"},
      {"ATTN: JOHN SMITH", "Attn: John Smith"},
      {"A/B//C: D", "A/b//c: D"},
  };
  std::string buffer, into = "left over";
  for (const auto& c : cases) {
    EXPECT_EQ(mixedcase(true, c.in), c.out) << c.in;
    EXPECT_EQ(mixedcaseview(c.in, buffer), c.out) << c.in;
    mixedcaseinto(c.in, into);
    EXPECT_EQ(into, c.out) << c.in;
  }
}

TEST(Category, CanonicalOrder) {
  const Case cases[] = {
      {"b a, 3 A", "AB3"}, {"C C 7", "C"}, {"zz-a", "AZ"},
      {"12345678", "1234"}, {"", ""}, {"!? 9", ""}, {"\xC3\xA9" "a", "A"},
  };
  for (const auto& c : cases) EXPECT_EQ(cleancategory(c.in), c.out) << c.in;
}

TEST(Cut, CountsCharactersNotBytes) {
  EXPECT_EQ(cuttext("abcdef", 3), "abc");
  EXPECT_EQ(cuttext("ab", 3), "ab");
  EXPECT_EQ(cuttext("", 0), "");
  EXPECT_EQ(cuttext("abc", 0), "");
  // "Müller": the u-umlaut is two bytes and one character.
  EXPECT_EQ(cuttext("M\xC3\xBCller", 2), "M\xC3\xBC");
  EXPECT_EQ(cuttext("M\xC3\xBCller", 1), "M");
  EXPECT_EQ(textlength("M\xC3\xBCller"), 6u);
  EXPECT_TRUE(sametext("Contact.db", "CONTACT.DB"));
  EXPECT_FALSE(sametext("Contact.db", "CONTACT.DBX"));
}

}  // namespace
}  // namespace vesper
