// The import specification: which source field goes to which contact field,
// the date layout of each source field, the marks of the contact fields
// already taken, and the specification file it was read from or is saved to
// (app/specfile.h reads and writes it).
#pragma once

#include <array>
#include <string>

#include "source/sourcestate.h"

namespace vesper {

constexpr int kAssignmentCapacity = 20;

struct ImportSpec {
  ImportSpec() { ResetSpec(); }

  // Slot i belongs to source field i (slot 0 is unused): empty, a contact
  // field name or a combined-field code, at most kAssignmentCapacity
  // characters.
  std::array<std::string, kMaxSourceFields + 1> FieldAssignments{};
  // Entry 0: the two-digit-year pivot; entry i: the date layout code of
  // source field i, -1 when none.
  std::array<int, kMaxSourceFields + 1> DateFormats{};
  // One per contact field position (0 free, 1 assigned, 2 filled by a
  // combined field), then entry 200 + digit per combined field.
  std::array<int, kMaxSourceFields + 1> TargetFieldMarks{};
  int TargetFieldCount = 0;
  std::string SpecFileName;
  bool SpecLoaded = false;

  // Empties every assignment, sets every date layout to none (the pivot to
  // 20) and clears every mark.
  void ResetSpec() {
    for (auto& a : FieldAssignments) a.clear();
    DateFormats.fill(-1);
    DateFormats[0] = 20;
    TargetFieldMarks.fill(0);
  }
};

}  // namespace vesper
