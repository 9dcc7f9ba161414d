// The vCard source: cards read through MakeRecordSource as the import reads
// them, their named fields, the bad lines, the count and the samples.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "source/counting.h"
#include "source/recordsource.h"
#include "source/tablesource.h"
#include "source/vcardsource.h"
#include "source_fixture.h"

namespace vesper {
namespace {

using testing::SourceFixture;

int fieldnumber(const std::string& name) {
  for (int f = 1; f <= kVCardFieldCount; ++f)
    if (name == kVCardFieldNames[static_cast<std::size_t>(f - 1)]) return f;
  ADD_FAILURE() << "no field " << name;
  return 0;
}

struct Read {
  std::vector<std::map<std::string, std::string>> cards;  // the fields asked for
  std::vector<std::string> bad;
};

class VCardTest : public SourceFixture {
 protected:
  Read readall(const std::string& bytes, const std::vector<std::string>& fields) {
    SourceTable table;
    OpenedSource opened = OpenRecordSource(state, write("cards.vcf", bytes), table);
    EXPECT_EQ(opened.source->kind(), kVCard);
    EXPECT_EQ(opened.fieldcount, kVCardFieldCount);
    state.SourceFieldCount = opened.fieldcount;
    Read r;
    opened.source->setbadlinesink([&](std::string_view l) { r.bad.emplace_back(l); });
    opened.source->rewind();
    while (opened.source->more() && opened.source->next()) {
      std::map<std::string, std::string> card;
      for (const std::string& f : fields) card[f] = std::string(opened.source->value(fieldnumber(f)));
      r.cards.push_back(card);
    }
    opened.source->close();
    return r;
  }
};

struct Case {
  const char* what;
  std::string bytes;
  std::string field;
  std::vector<std::string> values;  // that field of each card read
  std::vector<std::string> bad;
};

TEST_F(VCardTest, ReadsTheValuesOfEveryVersion) {
  const std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:" + std::string(3000000, 'A') + "\r\n";
  const std::vector<Case> cases = {
      {"folding with CR LF and a tab",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Marie \r\n Lee-\r\n\tSmith\r\nEND:VCARD\r\n",
       "Formatted Name", {"Ann Marie Lee-Smith"}, {}},
      {"folding with LF alone", "BEGIN:VCARD\nVERSION:4.0\nFN:Bo\n Ng\nEND:VCARD\n",
       "Formatted Name", {"BoNg"}, {}},
      {"quoted-printable with a soft line break and UTF-8",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=\r\nosef\r\nEND:VCARD\r\n",
       "Given Name", {"Josef"}, {}},
      {"quoted-printable in a bare parameter, Latin-1",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN;QUOTED-PRINTABLE;CHARSET=ISO-8859-1:M=FCller;Jo\r\nEND:VCARD\r\n",
       "Family Name", {"M\xC3\xBCller"}, {}},
      {"Windows-1252 bytes without a character set",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Fran\xE7ois;\x80uro\r\nEND:VCARD\r\n", "Family Name",
       {"Fran\xC3\xA7ois"}, {}},
      {"escapes in a plain value", "BEGIN:VCARD\nVERSION:3.0\nFN:Lee\\, Ann\\; \\\\x\nEND:VCARD\n",
       "Formatted Name", {"Lee, Ann; \\x"}, {}},
      {"escaped semicolons stay in their part",
       "BEGIN:VCARD\nVERSION:3.0\nADR;TYPE=work:;;1 Main St\\; Rear;Springfield;IL;62701;USA\nEND:VCARD\n",
       "Work Street", {"1 Main St; Rear"}, {}},
      {"line breaks in the notes", "BEGIN:VCARD\nVERSION:3.0\nNOTE:one\\ntwo\nEND:VCARD\n", "Notes",
       {"one\ntwo"}, {}},
      {"a picture of 3 MB passed over",
       "BEGIN:VCARD\r\nVERSION:3.0\r\n" + photo + "FN:Pic\r\nEND:VCARD\r\n", "Formatted Name", {"Pic"}, {}},
      {"a 2.1 picture in folded lines and a blank line",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n /9j/4AAQ\r\n AAAQAB\r\n\r\nFN:P2\r\nEND:VCARD\r\n",
       "Formatted Name", {"P2"}, {}},
      {"three versions in one file",
       "BEGIN:VCARD\nVERSION:2.1\nFN:A\nEND:VCARD\nBEGIN:VCARD\nVERSION:3.0\nFN:B\nEND:VCARD\n"
       "BEGIN:VCARD\nVERSION:4.0\nFN:C\nEND:VCARD\n",
       "Formatted Name", {"A", "B", "C"}, {}},
      {"a card without END, interrupted", "BEGIN:VCARD\nFN:Lost\nBEGIN:VCARD\nFN:Kept\nEND:VCARD\n",
       "Formatted Name", {"Kept"}, {"BEGIN:VCARD", "FN:Lost"}},
      {"a card the file ends inside", "BEGIN:VCARD\r\nFN:Kept\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Cut",
       "Formatted Name", {"Kept"}, {"BEGIN:VCARD", "FN:Cut"}},
      {"an END with no card and stray text", "END:VCARD\n\nhello\nBEGIN:VCARD\nFN:X\nEND:VCARD\n",
       "Formatted Name", {"X"}, {"END:VCARD", "hello"}},
      {"a lone backslash ending a structured value keeps its part",
       "BEGIN:VCARD\nVERSION:3.0\nN:Smith\\\nEND:VCARD\n", "Family Name", {"Smith\\"}, {}},
      {"a card's fields do not keep the card before's values",
       "BEGIN:VCARD\nN:Long-Family-Name-Here;A;;;\nADR;TYPE=work:;Suite 9;1 Long Street Name;X;;;\nEND:VCARD\n"
       "BEGIN:VCARD\nN:;B;;;\nADR;TYPE=work:;;;Y;;;\nEND:VCARD\n",
       "Work Street", {"1 Long Street Name", ""}, {}},
      {"a soft line break does not swallow END",
       "BEGIN:VCARD\nVERSION:2.1\nNOTE;ENCODING=QUOTED-PRINTABLE:bad=\nEND:VCARD\n", "Notes", {"bad="}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Read r = readall(c.bytes, {c.field});
    std::vector<std::string> got;
    for (auto& card : r.cards) got.push_back(card[c.field]);
    EXPECT_EQ(got, c.values);
    EXPECT_EQ(r.bad, c.bad);
  }
}

TEST_F(VCardTest, SortsAddressesPhonesAndDatesIntoTheirFields) {
  Read r = readall(
      "BEGIN:VCARD\r\nVERSION:3.0\r\n"
      "ADR;TYPE=home:;;Home St;Hometown;HS;11111;Homeland\r\n"
      "ADR:PO Box 5;Suite 2;Any St;Anytown;AS;22222;\r\n"
      "item1.ADR;TYPE=WORK,PREF:;;Work St;Worktown;WS;33333;Workland\r\n"
      "TEL;TYPE=HOME,FAX:1\r\nTEL;TYPE=CELL:2\r\nTEL;TYPE=\"work,voice\":3\r\nTEL;WORK:4\r\n"
      "TEL;WORK:5\r\nTEL:tel:+1-6\r\nTEL;TYPE=pager:7\r\n"
      "EMAIL:a@x\r\nEMAIL;TYPE=work:b@x\r\nEMAIL:c@x\r\nEMAIL:d@x\r\n"
      "BDAY:1961-03-15T00:00:00Z\r\nX-ANNIVERSARY:19900101\r\nORG:Acme;Sales\r\n"
      "END:VCARD\r\n",
      {"Work Street", "Work City", "Home Street", "Other Street", "Other Street 2", "Fax",
       "Mobile Phone", "Work Phone", "Work Phone 2", "Other Phone", "Other Phone 2", "E-mail 1",
       "E-mail 3", "Birthday", "Anniversary", "Organization", "Department"});
  ASSERT_EQ(r.cards.size(), 1u);
  const std::map<std::string, std::string> want = {
      {"Work Street", "Work St"}, {"Work City", "Worktown"}, {"Home Street", "Home St"},
      {"Other Street", "Any St"}, {"Other Street 2", "PO Box 5, Suite 2"}, {"Fax", "1"},
      {"Mobile Phone", "2"}, {"Work Phone", "3"}, {"Work Phone 2", "4"}, {"Other Phone", "+1-6"},
      {"Other Phone 2", "7"}, {"E-mail 1", "a@x"}, {"E-mail 3", "c@x"},
      {"Birthday", "1961-03-15"}, {"Anniversary", "19900101"}, {"Organization", "Acme"},
      {"Department", "Sales"}};
  EXPECT_EQ(r.cards[0], want);
}

TEST_F(VCardTest, CountsAndSamplesTheReadableCards) {
  std::string bytes;
  for (int i = 1; i <= 60; ++i) bytes += "BEGIN:VCARD\nFN:P" + std::to_string(i) + "\nEND:VCARD\n";
  bytes += "BEGIN:VCARD\nFN:never ended\n";
  SourceTable table;
  OpenedSource opened = OpenRecordSource(state, write("n.vcf", bytes), table);
  state.SourceFieldCount = opened.fieldcount;
  doit(state, *opened.source);
  EXPECT_EQ(state.SourceRecordCount, 60);
  EXPECT_EQ(opened.source->sample(1, 50), "P50");
  EXPECT_EQ(opened.source->sample(1, 51), "");  // samples come from the first 50 cards
  EXPECT_EQ(opened.source->fieldname(2), "Family Name");
}

// Counting and reading agree on a card whose BEGIN is indented after an
// empty line (counting once took it for the fold of that empty line).
TEST_F(VCardTest, CountingAndReadingAgreeOnAnIndentedBegin) {
  SourceTable table;
  OpenedSource opened = OpenRecordSource(state, write("i.vcf", "\n\tBEGIN:VCARD\nFN:Ann\nEND:VCARD"), table);
  state.SourceFieldCount = opened.fieldcount;
  EXPECT_EQ(opened.source->count({}), 1);
  opened.source->rewind();
  ASSERT_TRUE(opened.source->more() && opened.source->next());
  EXPECT_EQ(opened.source->value(1), "Ann");
}

TEST_F(VCardTest, RecognisedByContentWhateverTheName) {
  SourceTable table;
  OpenedSource opened =
      OpenRecordSource(state, write("export.txt", "\xEF\xBB\xBF\r\nbegin:vcard\r\nFN:A\r\nEND:VCARD\r\n"), table);
  EXPECT_EQ(opened.source->kind(), kVCard);
  OpenedSource text = OpenRecordSource(state, write("list.txt", "a,b,c\nBEGIN:VCARD\n"), table);
  EXPECT_EQ(text.source->kind(), kDelimited);
}

}  // namespace
}  // namespace vesper
