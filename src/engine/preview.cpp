// The contact a record would become, for the review before it is accepted:
// the row is built by the transfer's own steps and dropped instead of stored.
#include "engine/transfer.h"

namespace vesper {

namespace {

// The mark of a value changed on its way in, as the review shows it.
std::string markof(IssueKind kind) {
  switch (kind) {
    case IssueKind::ValueCut: return "cut to the field's width";
    case IssueKind::DateUnread: return "not a date: left empty";
    case IssueKind::NumberOutOfRange: return "does not fit: left empty";
    default: return "";
  }
}

}  // namespace

void RecordTransfer::preview(Values& fetch, ContactPreview& out) {
  out = ContactPreview();
  try {
    if (!buildrecord(fetch)) {
      out.empty = true;
    } else {
      const LocalTime added = completerow();
      if (recno_ < 0) contact_.fieldindex("Recno");
      const std::string piece = keypiece();
      contact_.settext(recno_, composerecordkey(piece, firststep(keysahead_.find(piece), recordkeytime(added))));
      if (finder_) out.duplicate = finder_->find(contact_, out.existing);
    }
  } catch (const UserError& e) {
    // What would fail the record (an assignment naming a field the table
    // lacks, a malformed time) is the preview's answer; the table is left
    // alone, so no store failure can come from here.
    out.failure = e.what();
  }
  if (!out.empty && out.failure.empty()) {
    const std::vector<Cell>& cells = contact_.cells();
    for (int p = 0; p < static_cast<int>(cells.size()); ++p) {
      PreviewField f;
      f.field = contact_.fieldname(p);
      for (const ImportIssue& issue : recordissues_)
        if (issue.field == f.field) f.mark = markof(issue.kind);
      if (cells[static_cast<std::size_t>(p)].kind == Cell::Null && f.mark.empty()) continue;
      f.text = contact_.astext(p);
      out.fields.push_back(std::move(f));
    }
  }
  recordissues_.clear();
  contact_.drop();
}

}  // namespace vesper
