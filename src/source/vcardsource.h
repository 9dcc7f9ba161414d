// The vCard kind of record source: a .vcf file, one record per card.
//
// Contract.  Every card gives the same fixed list of fields (kVCardFieldNames,
// named so that the column-name dictionary knows them): the formatted name,
// the name's five parts, organisation and unit, title, role, nickname; the
// work, home and other postal address (the first address of each type; an
// untyped one, or one more of a type already filled, takes the next free of
// the three, other first); phones by type, the first two of each (work,
// home, mobile, fax, other: a fax of any kind is a fax, a pager or car phone
// is "other"); the first three e-mails; the first two URLs; birthday,
// anniversary (or its X- spelling), notes (all NOTE lines, one per line),
// categories and the card's UID; then the card's mailing address: its work
// address, else its home address, else the other one (the first of them
// with a value).  The list only grows at its end, so that the field numbers
// of saved specifications keep their meaning.
// Values are plain text: escapes undone, the parts of a structured value
// split at their semicolons, line breaks kept only in the notes (elsewhere
// a run of them becomes one ", ", and breaks and blanks at a value's ends are
// dropped), "tel:" taken off phone numbers and the time taken off dates
// ("1961-03-15T00:00:00Z" gives "1961-03-15").  An address whose street part
// is empty has its extended part (where some address books write the whole
// address) as its street.  A card without name parts gets them from its
// formatted name, split given names first, unless that name is the
// organisation's or holds an "@".
// A card that cannot be read (see formats/vcardreader.h) goes to the
// bad-line hook as its lines; the line hook runs after every card and every
// bad line.  The count is the readable cards, through a reading of its own.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "source/formats/vcardreader.h"
#include "source/recordsource.h"

namespace vesper {

constexpr int kVCardFieldCount = 55;
extern const std::array<const char*, kVCardFieldCount> kVCardFieldNames;

// The fields of one card, as the source gives them.
class VCardFields final : public VCardSink {
 public:
  void startcard() override;
  void property(const VCardProperty& property) override;
  void endcard() override;
  int wanted(std::string_view name) const override;
  // Field `field` (from 1); empty when out of range.
  const std::string& value(int field) const;

 private:
  std::array<std::string, kVCardFieldCount> values_;
  std::array<int, 5> phones_{};  // filled of each phone group
  int emails_ = 0, urls_ = 0;
  bool addresses_[3] = {};
};

// True when the file at `path` starts like a vCard file.
bool isvcardfile(const std::string& path);

class VCardSource final : public RecordSource {
 public:
  explicit VCardSource(SourceState& state);

  int kind() const override;
  std::string openfailure(const std::string& path) const override;
  std::string fieldname(int field) const override;
  void rewind() override;
  bool more() override;
  bool next() override;
  std::string_view value(int field) override;
  ReadProgress readprogress() const override;
  void tellend() override;
  void close() override { reader_.close(); }
  std::string sample(int field, int record) override;
  int count(const CountProgress& progress) override;

 private:
  bool ensureopen();
  VCardReader::BadLine badsink();

  SourceState& state_;
  std::string path_;
  VCardReader reader_;
  VCardFields card_;
  std::vector<VCardFields> samples_;  // the first cards, read once
  bool sampled_ = false;
};

}  // namespace vesper
