// The two text kinds of record source: delimited lines (delimited.h) and
// line-per-field records (lineperfield.h), read from the state's SourceFile.
//
// Contract: a record is read into RecordBuffer and split there once; its
// values are the fields of the record cleaned as GetDelimitedField cleans
// them, given as views into RecordBuffer (or into a buffer of the source's own
// when a joined comma has to be given back).  Both read SourceFieldCount when
// they read, so a record size set after the source was made holds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "source/recordsource.h"

namespace vesper {

class TextRecordSource : public RecordSource {
 public:
  explicit TextRecordSource(SourceState& state) : state_(state) {}

  std::string openfailure(const std::string&) const override { return {}; }
  std::string fieldname(int) const override { return {}; }
  void rewind() override;
  ReadProgress readprogress() const override;
  bool readfailed() const override;
  void close() override;
  std::string_view value(int field) override;

 protected:
  // Looks once through the fields in split_ (the record in RecordBuffer)
  // for joined commas, which value() then gives back as commas.
  void notejoinedcommas();
  // Reads the source through a slot of its own: the lines read and, when
  // asked, the lines with SourceFieldCount fields (delimited records).
  struct LineCount { int lines = 0, records = 0; };
  LineCount countlines(const CountProgress& progress, bool withrecords);

  SourceState& state_;
  // The fields of the record as they stand in RecordBuffer, uncleaned.
  std::vector<std::string_view> split_;

 private:
  bool joinedcommas_ = false;  // some field holds one
  std::string joined_;         // a value with its joined commas given back
};

// Lines of SourceFieldCount fields; every other line is bad.
class DelimitedSource final : public TextRecordSource {
 public:
  using TextRecordSource::TextRecordSource;
  int kind() const override;
  bool more() override;
  bool next() override;
  void tellend() override;
  std::string sample(int field, int record) override;
  int count(const CountProgress& progress) override;
};

// SourceFieldCount consecutive lines per record.
class LinePerFieldSource final : public TextRecordSource {
 public:
  using TextRecordSource::TextRecordSource;
  int kind() const override;
  void rewind() override;
  bool more() override;
  bool next() override;
  void tellend() override;
  std::string sample(int field, int record) override;
  int count(const CountProgress& progress) override;
};

}  // namespace vesper
