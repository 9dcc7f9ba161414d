#include "parse/names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "parse/nametables.h"
#include "parse/text.h"
#include "support/corpora.h"

namespace vesper {
namespace {

// Expected parts exactly as the splitters return them, leading blanks and all:
// the combined-field writer trims only the front, so inner and trailing
// blanks reach the contact row.
struct NameCase {
  std::string in, prefix, first, middle, last, suffix;
};

void expectparts(const NameParts& p, const NameCase& c) {
  EXPECT_EQ(p.Prefix, c.prefix) << "Prefix of '" << c.in << "'";
  EXPECT_EQ(p.First, c.first) << "First of '" << c.in << "'";
  EXPECT_EQ(p.Middle, c.middle) << "Middle of '" << c.in << "'";
  EXPECT_EQ(p.Last, c.last) << "Last of '" << c.in << "'";
  EXPECT_EQ(p.Suffix, c.suffix) << "Suffix of '" << c.in << "'";
}

void expectwithincapacity(const NameParts& p, const std::string& in) {
  EXPECT_LE(textlength(p.Prefix), PrefixCapacity) << in;
  EXPECT_LE(textlength(p.First), FirstCapacity) << in;
  EXPECT_LE(textlength(p.Middle), MiddleCapacity) << in;
  EXPECT_LE(textlength(p.Last), LastCapacity) << in;
  EXPECT_LE(textlength(p.Suffix), SuffixCapacity) << in;
}

TEST(SplitFirstLast, WordsByPosition) {
  const NameCase cases[] = {
      // in                                 prefix           first              middle     last          suffix
      {"Mr. and Mrs. John Q. Public Jr.", " Mr. and Mrs.", " John", " Q.", "Public", "  Jr."},
      {"Jose de la Cruz", "", " Jose", "", "de la Cruz", ""},
      {"John A B C Smith", "", " John", " A. B.", "Smith", ""},  // third initial does not fit
      {"J. Edgar Hoover", "", " J. Edgar", "", "Hoover", ""},     // no first name yet
      {"Mary Ann & Bob Smith", "", " Mary Ann & Bob", "", "Smith", ""},
      {"John Smith MD PhD", "", " John", "", "Smith", "  PhD  MD"},
      {"Dean Martin", " Dean", "", "", "Martin", ""},
      {"Cher", "", "Cher", "", "", ""},
      {"Smith, John", "", " Smith", "", "John", ""},
      {"Mr. Smith", " Mr.", "", "", "Smith", ""},
      {"DR JOHN SMITH", " DR", " JOHN", "", "SMITH", ""},
      {"V.P. Jane Doe", " V.P.", " Jane", "", "Doe", ""},
      {"Rev. Dr. Ann Lee", " Rev. Dr.", " Ann", "", "Lee", ""},
      {"John Smith, Jr.", "", " John", "", "Smith", "  Jr."},
      {"Ann Lee Jr;", "", " Ann", "", "Lee", "  Jr;"},
      {"John Jrs", "", " John", "", "Jrs", ""},  // a suffix must end the word
      {"John Jr", "", "", "", "John", "  Jr"},
      {"  Anne   Marie  Smith  ", "", " Anne Marie", "", "Smith", ""},
      {"Ann M Ward", "", " Ann", " M.", "Ward", ""},
      {"Jos\xC3\xA9 \xC3\x89 P\xC3\xA9rez", "", " Jos\xC3\xA9", " \xC3\x89.", "P\xC3\xA9rez", ""},
      {"Ann van Dyke", "", " Ann van", "", "Dyke", ""},  // "van" is no particle
      {"Mr. de Gaulle", " Mr.", "", "", "de Gaulle", ""},
      {"Ann Mac Donald Jr", "", " Ann", "", "Mac Donald", "  Jr"},
      {"Mr.", "", "Mr.", "", "", ""},  // one word is a given name
  };
  for (const auto& c : cases) expectparts(splitfirstlast(c.in), c);
}

TEST(SplitFirstLast, SuffixIsCutFromTheEndOnly) {
  // The suffix word also begins an earlier word; only the last word goes.
  const NameCase cases[] = {
      {"Ravi Srinivasan Sr", "", " Ravi", "", "Srinivasan", "  Sr"},
      {"Robert Mdala MD", "", " Robert", "", "Mdala", "  MD"},
      {"John Jr Smith Jr", "", " John Jr", "", "Smith", "  Jr"},
      {"Ann Ivy Iv", "", " Ann", "", "Ivy", "  Iv"},
  };
  for (const auto& c : cases) expectparts(splitfirstlast(c.in), c);
}

TEST(SplitLastFirst, SurnameFirst) {
  const NameCase cases[] = {
      // in                          prefix          first                middle   last          suffix
      {"Smith, John Q.", "", " John ", " Q.", "Smith ", ""},
      {"Smith, Mr. and Mrs. John", " Mr. and Mrs.", " John", "", "Smith ", ""},
      {"Smith Jr., John", "", " John", "", "Smith ", "Jr. "},
      {"Smith, Bernie", "", " Bernie", "", "Smith ", ""},
      {"von Trapp, Maria", "", " Maria", "", "von Trapp ", ""},
      {"de la Cruz, Jose", "", " Cruz  Jose", "", "de la ", ""},  // one particle only
      {"Smith, John and Mary", "", " John  and   Mary", "", "Smith ", ""},
      {"Smith, JOHN AND MARY", "", " JOHN  AND   MARY", "", "Smith ", ""},
      {"Smith,", "", "", "", "Smith", ""},
      {",John", "", "John", "", "-", ""},
      {"Smith,John", "", "", "", "Smith,John", ""},
      {"Smith, Mr.", " Mr.", "", "", "Smith ", ""},
      {"Dr. Smith, John", " Dr.", " John", "", "Smith ", ""},   // title at the very front
      {"Mr. Smith", " Mr.", "", "", " Smith", ""},               // one word left after it
      {"Smith, Dr John", " Dr", " John", "", "Smith ", ""},      // title after the surname
      {"Smith Jr. MD, John", "", " John", "", "Smith ", "MD Jr. "},  // suffixes reversed
      {"Public, John Q Jr", "", " John ", " Q ", "Public ", "Jr "},
      {"Smith, John Q", "", " John  Q", "", "Smith ", ""},       // no full stop: a given name
      {"Smith, John A B C D", "", " John  D", " A  B ", "Smith ", ""},
      {"von Trapp", "", "", "", "von Trapp", ""},
      {"WOODS JR,  JOHNNY L", "", " JOHNNY  L", "", "WOODS ", "JR "},
      {"MC NICHOLAS,  DANIEL D", "", " DANIEL  D", "", "MC NICHOLAS ", ""},
  };
  for (const auto& c : cases) expectparts(splitlastfirst(c.in), c);
}

TEST(NameSplitters, EmptyAndBlankTexts) {
  for (auto split : {splitfirstlast, splitlastfirst}) {
    expectparts(split(""), {"", "", "", "", "-", ""});
    expectparts(split("   "), {"   ", "", "", "", "", ""});
    expectparts(split(" \r\n "), {" \r\n ", "", "", "", "", ""});
  }
}

TEST(NameSplitters, PartsAreCutToCapacity) {
  const std::string longword = "Christopherson-Wainwright";  // 25 characters
  NameParts a = splitfirstlast("Mr. and Mrs. Dr. and Prof. Bartholomew " + longword + " " +
                               longword + " " + longword + " " + longword + " Jr. Esq. PhD MD");
  EXPECT_EQ(a.Prefix, " Mr. and Mrs. Dr. an");
  EXPECT_EQ(a.First, " Bartholomew Christo");
  EXPECT_EQ(a.Last, "Christopherson-Wainw");
  EXPECT_EQ(a.Suffix, "  MD  PhD  Esq.  Jr.");
  // Characters, not bytes: twenty two-byte letters fit.
  std::string wide;
  for (int i = 0; i < 25; ++i) wide += "\xC3\xA5";
  NameParts b = splitlastfirst(wide + ", " + wide);
  EXPECT_EQ(textlength(b.Last), 20u);
  EXPECT_EQ(b.Last, cuttext(wide, 20));
  EXPECT_EQ(textlength(b.First), 20u);
  for (const auto& p : {a, b}) expectwithincapacity(p, "long");
}

TEST(WordOperations, TakeFrontTitle) {
  struct Case { std::string in; bool taken; std::string rest, prefix; };
  const Case cases[] = {
      {"Mr. John", true, " John", " Mr."},  {"mrs John", true, " John", " mrs"},
      {"and Mrs. X", true, " Mrs. X", " and"}, {"& Mrs. X", true, " Mrs. X", " &"},
      {"Mr.. John", false, "Mr.. John", ""}, {"Mrx John", false, "Mrx John", ""},
      {"Mr", true, "", " Mr"},              {"", false, "", ""},
      {"and.", false, "and.", ""},          {"2Lt Bob", true, " Bob", " 2Lt"},
  };
  for (const auto& c : cases) {
    std::string_view text = c.in;
    NameParts p;
    EXPECT_EQ(takefronttitle(text, p), c.taken) << c.in;
    EXPECT_EQ(text, c.rest) << c.in;
    EXPECT_EQ(p.Prefix, c.prefix) << c.in;
  }
}

TEST(WordOperations, SuffixAtEndAndFront) {
  struct Case { std::string in; bool taken; std::string rest, suffix; };
  const Case atend[] = {
      {"Smith Jr.", true, "Smith", "  Jr."},  {"Smith Ph.D.", true, "Smith", "  Ph.D."},
      {"Smith MD,", true, "Smith", "  MD,"},  {"Smith Mdx", false, "Smith Mdx", ""},
      {"Jr", false, "Jr", ""},                {"Smith ", false, "Smith ", ""},
      {"Smith o.s.b.", true, "Smith", "  o.s.b."},
  };
  for (const auto& c : atend) {
    std::string_view text = c.in;
    NameParts p;
    EXPECT_EQ(takesuffixatend(text, p), c.taken) << c.in;
    EXPECT_EQ(text, c.rest) << c.in;
    EXPECT_EQ(p.Suffix, c.suffix) << c.in;
  }
  const Case atfront[] = {
      {"Jr. John", true, " John", "Jr. "}, {"III", true, "", "III "},
      {"Jr, John", false, "Jr, John", ""}, {"Jrs John", false, "Jrs John", ""},
  };
  for (const auto& c : atfront) {
    std::string_view text = c.in;
    NameParts p;
    EXPECT_EQ(takesuffixatfront(text, p), c.taken) << c.in;
    EXPECT_EQ(text, c.rest) << c.in;
    EXPECT_EQ(p.Suffix, c.suffix) << c.in;
  }
}

// Every word of the tables in any letter case, with and without a full stop
// (or the marks a suffix may carry), and the near misses around each: a word
// counts exactly when it is a table word compared letter by letter.
TEST(WordOperations, EveryTableWordAndItsNearMisses) {
  auto listed = [](const auto& table, std::string_view w) {
    for (std::string_view e : table)
      if (sametext(w, e) || (!w.empty() && w.back() == '.' && sametext(w.substr(0, w.size() - 1), e))) return true;
    return false;
  };
  auto variants = [](std::string_view t) {
    std::string mixed(t);
    for (std::size_t i = 0; i < mixed.size(); i += 2) mixed[i] = upperchar(mixed[i]);
    return std::vector<std::string>{std::string(t), uppertext(t), lowertext(t), mixed,
                                    std::string(t) + ".", std::string(t) + "x",
                                    std::string(t.substr(0, t.size() - 1)), "x" + std::string(t)};
  };
  for (std::string_view t : TitleWords) {
    for (const std::string& w : variants(t)) {
      const bool want = listed(TitleWords, w) || sametext(w, "and") || w == "&";
      std::string_view text;
      const std::string line = w + " Smith";
      text = line;
      NameParts p;
      EXPECT_EQ(takefronttitle(text, p), want && !w.empty()) << w;
    }
  }
  for (std::string_view s : SuffixWords) {
    for (const std::string& base : variants(s)) {
      for (const char* mark : {"", ",", ";PhD", ".x"}) {
        const std::string w = base + mark;
        bool want = false;  // the word, or its part before a full stop, comma or semicolon
        for (std::size_t i = 0; i <= w.size(); ++i)
          if ((i == w.size() || w[i] == '.' || w[i] == ',' || w[i] == ';'))
            for (std::string_view e : SuffixWords) want = want || sametext(w.substr(0, i), e);
        const std::string line = "Smith " + w;
        std::string_view text = line;
        NameParts p;
        EXPECT_EQ(takesuffixatend(text, p), want) << w;
        const std::string front = w + " John";
        text = front;
        NameParts q;
        EXPECT_EQ(takesuffixatfront(text, q), !w.empty() && listed(SuffixWords, w)) << w;
      }
    }
  }
  for (std::string_view t : ParticleWords) {
    for (const std::string& w : variants(t)) {
      bool want = false;  // a particle takes no full stop
      for (std::string_view e : ParticleWords) want = want || sametext(w, e);
      EXPECT_EQ(isparticle(w + " Smith"), want) << w;
    }
  }
}

TEST(WordOperations, Particle) {
  EXPECT_TRUE(isparticle("von Trapp"));
  EXPECT_TRUE(isparticle("MAC Donald"));
  EXPECT_FALSE(isparticle("de"));  // no blank: no first word
  EXPECT_FALSE(isparticle("van Dyke"));
  EXPECT_FALSE(isparticle("deli Smith"));
}

// Every byte of the parts comes from the input, apart from the blanks the
// splitters put between words, the full stop after an initial and the "-"
// of an empty surname.
void expectnoinventedcharacters(const NameParts& p, const std::string& in) {
  std::map<char, int> budget;
  for (char c : in) ++budget[c];
  for (const std::string* part : {&p.Prefix, &p.First, &p.Middle, &p.Last, &p.Suffix})
    for (char c : *part) {
      if (c == ' ' || c == '.' || c == '-') continue;
      EXPECT_GE(--budget[c], 0) << "'" << c << "' in " << in;
    }
}

// One name per line; a quoted line has its quotes undone.
std::vector<std::string> readnames(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
      std::string inner;
      for (std::size_t i = 1; i + 1 < line.size(); ++i) {
        inner += line[i];
        if (line[i] == '"' && line[i + 1] == '"') ++i;
      }
      line = inner;
    }
    out.push_back(line);
  }
  return out;
}

TEST(NameSplitters, RealNameLists) {
  VESPER_NEEDS_CORPORA();
  const std::string dir = testing::corpora("names/probablepeople/name_data/unlabeled/");
  std::size_t total = 0, withlast = 0;
  for (const char* file : {"athletes.csv", "ga_campaign_finance_names.csv", "tricky_chi_gov_names.csv"}) {
    const auto names = readnames(dir + file);
    ASSERT_FALSE(names.empty()) << file;
    for (const auto& name : names) {
      for (auto split : {splitfirstlast, splitlastfirst}) {
        NameParts p = split(name);
        expectwithincapacity(p, name);
        expectnoinventedcharacters(p, name);
      }
      ++total;
      if (!isblank(splitlastfirst(name).Last)) ++withlast;
    }
  }
  EXPECT_GT(total, 40000u);
  // Nearly every real name yields a surname when read surname first.
  EXPECT_GT(withlast, total * 99 / 100);
}

}  // namespace
}  // namespace vesper
