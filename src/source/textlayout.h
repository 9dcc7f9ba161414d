// How a delimited text file is written: its separator, its quoting and where
// its header line is.
//
// Two readings of delimited text exist side by side.  The classic reading
// (delimited.h) takes one line per record, commas only, no header, control
// characters as blanks; files written that way are read exactly so.  The
// standard reading takes what today's programs write: a header line of column
// names (perhaps after a few lines of notes), a separator of comma,
// semicolon, tab or vertical bar, and quoted values that may hold the
// separator, doubled quotes (one quote each) and line breaks, so that one
// record may run over several lines of the file.
//
// `TextLayout` is what was recognised (or chosen) for the file being read;
// `LayoutChoice` is what the user or the specification file asked for, the
// rest being recognised from the first lines of the file when it is opened.
// A `HeaderJudge`, given by the layers above (who know the contact fields and
// the column names exports use), says whether the cells of a line are column
// names; without one no header is recognised unless the choice says so.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vesper {

enum class Quoting { Classic = 0, Standard = 1 };
enum class HeaderChoice { Auto = 0, Yes = 1, No = 2 };
enum class QuotingChoice { Auto = 0, Classic = 1, Standard = 2 };

struct TextLayout {
  char separator = ',';
  Quoting quoting = Quoting::Classic;
  // The line of the file (from 1) that holds the header; 0 when there is none.
  int headerline = 0;
  // Lines before the header passed over as notes, not records.
  int preamblelines = 0;
  // The header's cells, one per source field; empty when there is no header.
  std::vector<std::string> columnnames;
  // Some exports write every record with fewer fields than their header has
  // names: the narrower width they share, which a record needs at least (its
  // missing trailing fields are empty); 0 when records have the header's.
  int minfields = 0;
  // Records past the bound of a record's size met by the reading since the
  // source was last rewound (each went to the bad-line sink whole).
  int recordstoolong = 0;
  // A workbook: the sheet read ("" the first).
  std::string sheet;
};

struct LayoutChoice {
  char separator = 0;  // 0: recognised from the file
  HeaderChoice header = HeaderChoice::Auto;
  QuotingChoice quoting = QuotingChoice::Auto;
  std::string sheet;  // a workbook's sheet by name; "" the first
};

using HeaderJudge = std::function<bool(const std::vector<std::string>& cells)>;

}  // namespace vesper
