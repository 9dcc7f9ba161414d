// The words a text layout is written in where people read or type it: the
// import specification file's layout lines, the batch command's options and
// the main window's choices.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "source/textlayout.h"

namespace vesper {

// The separators a delimited text source may have, in the order offered.
inline constexpr char kSeparators[] = {',', ';', '\t', '|'};

// "," ";" "|" as themselves, the tab as "TAB".
std::string separatorname(char separator);
// The separator a name stands for: one of ",", ";", "|", "tab" (any letter
// case) or a tab character; none for anything else.
std::optional<char> separatorfromname(std::string_view name);

// "yes", "no" or "auto" (any letter case); none for anything else.
std::optional<HeaderChoice> headerfromname(std::string_view name);

}  // namespace vesper
