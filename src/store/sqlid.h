// SQL identifiers, for the table files and the server's tables alike.
//
// Contract: `quoteid` makes an SQL identifier of any name (double quotes
// doubled), so a name taken from a table's schema or a user can never end the
// identifier early.
#pragma once

#include <string>
#include <string_view>

namespace vesper {

std::string quoteid(std::string_view name);

}  // namespace vesper
