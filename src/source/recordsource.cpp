#include "source/recordsource.h"

#include "source/sourcestate.h"
#include "source/standardcsv.h"
#include "source/tablerecordsource.h"
#include "source/textrecordsource.h"
#include "source/vcardsource.h"
#include "source/workbooksource.h"

namespace vesper {

const SourceTraits& SourceTraitsOf(int kind) {
  // Tables give their dates as MM/DD/YYYY (TableValueText): date code 4.
  static const SourceTraits kLines{false, 0, true};
  static const SourceTraits kText{false, 0, false, false, true, true};
  static const SourceTraits kTable{true, 4, false};
  // A card's fields are the fixed list kVCardFieldNames, which grows at its end.
  static const SourceTraits kCards{true, 0, false, true, false, false, true};
  // Workbooks give their dates as 1961-03-15: date code 2.  A sheet has no
  // separator, but its first row may or may not hold the column names.
  static const SourceTraits kWorkbook{true, 2, false, false, false, true};
  switch (kind) {
    case kLinePerField: return kLines;
    case kDBase:
    case kParadox: return kTable;
    case kVCard: return kCards;
    case kXlsxWorkbook:
    case kOdsSpreadsheet: return kWorkbook;
    default: return kText;
  }
}

std::unique_ptr<RecordSource> MakeRecordSource(int kind, SourceState& state, SourceTable& table) {
  switch (kind) {
    case kLinePerField: return std::make_unique<LinePerFieldSource>(state);
    case kDBase: return std::make_unique<DBaseSource>(state, table);
    case kParadox: return std::make_unique<ParadoxSource>(state, table);
    case kVCard: return std::make_unique<VCardSource>(state);
    case kXlsxWorkbook:
    case kOdsSpreadsheet: return std::make_unique<WorkbookSource>(state, table, kind);
    default:
      if (state.SourceLayout.quoting == Quoting::Standard)
        return std::make_unique<StandardDelimitedSource>(state);
      return std::make_unique<DelimitedSource>(state);
  }
}

std::unique_ptr<RecordSource> MakeRecordSource(SourceState& state, SourceTable& table) {
  return MakeRecordSource(state.SourceType, state, table);
}

OpenedSource OpenRecordSource(SourceState& state, const std::string& path, SourceTable& table,
                              const HeaderJudge& judge) {
  SourceIdentity id = IdentifySource(state, path, table, judge);
  return {MakeRecordSource(id.kind, state, table), id.fieldcount};
}

}  // namespace vesper
