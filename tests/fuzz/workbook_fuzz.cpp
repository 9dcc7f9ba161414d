// Fuzzer for the workbook readers (.xlsx and .ods): the package and every
// part the readers look at come from the input, so the fuzzer works on the
// XML rather than on the zip around it.
//
// Input: a first byte choosing the format (even: .xlsx, odd: .ods), then the
// parts' contents separated by the two bytes FF FE, in the order of kXlsx or
// kOds; a part left out is absent from the package.
//
// Properties checked on every input:
//  - nothing crashes, and reading ends (no row loops for ever: at most the
//    row limit of a sheet per sheet, each row repeated at most that often);
//  - a row holds text (rows without any are left out), has no trailing empty
//    cell and no more than kMaxSheetColumns cells;
//  - a failure is a PackageError with a reason.
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "source/formats/workbook.h"

namespace {

using namespace vesper;

void check(bool ok) {
  if (!ok) std::abort();
}

const char* const kXlsx[] = {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml",
                             "xl/worksheets/sheet2.xml"};
const char* const kOds[] = {"mimetype", "content.xml"};

std::string package(const std::vector<std::string>& parts, const char* const* names, std::size_t count) {
  static const std::string path = "/tmp/workbook_fuzz." + std::to_string(::getpid()) + ".zip";
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  check(z != nullptr);
  for (std::size_t i = 0; i < parts.size() && i < count; ++i) {
    zip_source_t* s = zip_source_buffer(z, parts[i].data(), parts[i].size(), 0);
    check(s && zip_file_add(z, names[i], s, 0) >= 0);
  }
  check(zip_close(z) == 0);
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool ods = data[0] & 1;
  std::vector<std::string> parts(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0xFE) {
      parts.emplace_back();
      ++i;
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  const std::string path = ods ? package(parts, kOds, 2) : package(parts, kXlsx, 8);
  const WorkbookFormat format = ods ? WorkbookFormat::Ods : WorkbookFormat::Xlsx;
  try {
    auto book = Workbook::open(path, format);
    const std::size_t sheets = std::max<std::size_t>(1, book->sheetnames().size());
    for (std::size_t s = 0; s < sheets && s < 4; ++s) {
      auto rows = book->rows(static_cast<int>(s));
      std::vector<std::string> cells;
      long long number = 0, count = 0;
      while (rows->next(cells, number)) {
        check(++count <= (1LL << 22));
        check(!cells.empty() && cells.size() <= static_cast<std::size_t>(kMaxSheetColumns));
        check(cells.back().find_first_not_of(' ') != std::string::npos);
      }
    }
  } catch (const PackageError& e) {
    check(e.what()[0] != 0);
  }
  return 0;
}
