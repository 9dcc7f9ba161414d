// Reading a contact export in the tests of the header judge and the
// assignment proposal, through the program's own standard reading of
// delimited text (separator recognised, quoted values over line ends).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "source/recordsource.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"
#include "support/fakes.h"

namespace vesper::testing {

using Records = std::vector<std::vector<std::string>>;

struct ExportRead {
  TextLayout layout;  // what was recognised: the header line, its names
  Records records;    // the records, the header left out
};

// The file at `path` read with the layout `choice` and the header judge
// `judge` (no records when it cannot be read).
inline ExportRead readExportAs(const std::string& path, LayoutChoice choice, const HeaderJudge& judge) {
  if (!std::filesystem::is_regular_file(path)) return {};
  RecordingMessages messages;
  FixedClock clock;
  FixedDisk disk;
  SourceState state{messages, clock, disk};
  SourceTable table{[](const std::string&, TableFormat) -> std::unique_ptr<SourceTableFile> {
    throw EngineError("not a table");
  }};
  state.SourceLayoutChoice = choice;
  OpenedSource opened = OpenRecordSource(state, path, table, judge);
  state.SourceType = opened.source->kind();
  state.SourceFieldCount = opened.fieldcount;
  Records out;
  RecordSource& source = *opened.source;
  source.rewind();
  while (source.next()) {
    std::vector<std::string> record;
    for (int f = 1; f <= state.SourceFieldCount; ++f) record.emplace_back(source.value(f));
    out.push_back(std::move(record));
  }
  source.close();
  return {state.SourceLayout, std::move(out)};
}

// Every record of the file, the first line's included, as records of the
// first line's width (lines of another width are left out).
inline Records readExport(const std::string& path) {
  return readExportAs(path, {0, HeaderChoice::No, QuotingChoice::Standard, {}}, {}).records;
}

}  // namespace vesper::testing
