// The two files a batch import is given, checked before anything else is
// done, so that a wrong path ends the command with one message that names
// the file and says what is wrong with it.
#pragma once

#include <string>

namespace vesper {

// "" when the file can be read; otherwise the message.
std::string sourcefileproblem(const std::string& path);
std::string specfileproblem(const std::string& path);

}  // namespace vesper
