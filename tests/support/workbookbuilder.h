// Small workbooks built in the tests: a zip package of the parts given,
// written with libzip.
#pragma once

#include <zip.h>

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vesper::testing {

using Parts = std::vector<std::pair<std::string, std::string>>;

// Writes `parts` (name, bytes) as a zip package at `path`, deflated.
inline void writezip(const std::string& path, const Parts& parts) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) throw std::runtime_error("cannot create " + path);
  for (const auto& [name, bytes] : parts) {
    zip_source_t* s = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    if (!s || zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8) < 0)
      throw std::runtime_error("cannot add " + name);
  }
  if (zip_close(z) != 0) throw std::runtime_error("cannot write " + path);
}

// An .xlsx package: sheets as (name, sheetData content), the shared strings'
// <si> elements (none: no shared-strings part) and the styles' numFmts and
// cellXfs content.  `extra` is added after sheetData (mergeCells).
struct XlsxContent {
  std::vector<std::pair<std::string, std::string>> sheets;
  std::vector<std::string> strings;
  bool withstrings = true;
  std::string numfmts, cellxfs;
  std::string aftersheet;
  Parts extraparts;
};

inline Parts xlsxparts(const XlsxContent& content) {
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  Parts parts;
  parts.push_back({"[Content_Types].xml",
                   "<?xml version=\"1.0\"?><Types><Override PartName=\"/xl/workbook.xml\" "
                   "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"});
  parts.push_back({"_rels/.rels", "<?xml version=\"1.0\"?><Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                                      "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"});
  std::string book = "<?xml version=\"1.0\"?><workbook " + ns + "><sheets>";
  std::string rels = "<?xml version=\"1.0\"?><Relationships>";
  for (std::size_t i = 0; i < content.sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    book += "<sheet name=\"" + content.sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts.push_back({"xl/worksheets/sheet" + n + ".xml", "<?xml version=\"1.0\"?><worksheet " + ns + "><sheetData>" +
                                                             content.sheets[i].second + "</sheetData>" +
                                                             content.aftersheet + "</worksheet>"});
  }
  book += "</sheets></workbook>";
  rels += "<Relationship Id=\"rS\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.xml\"/>";
  rels += "<Relationship Id=\"rT\" Type=\"" + rel + "styles\" Target=\"/xl/styles.xml\"/></Relationships>";
  parts.push_back({"xl/workbook.xml", book});
  parts.push_back({"xl/_rels/workbook.xml.rels", rels});
  if (content.withstrings) {
    std::string sst = "<?xml version=\"1.0\"?><sst " + ns + ">";
    for (const auto& s : content.strings) sst += "<si>" + s + "</si>";
    parts.push_back({"xl/sharedStrings.xml", sst + "</sst>"});
  }
  parts.push_back({"xl/styles.xml", "<?xml version=\"1.0\"?><styleSheet " + ns + "><numFmts>" + content.numfmts +
                                        "</numFmts><cellXfs>" + content.cellxfs + "</cellXfs></styleSheet>"});
  for (const auto& p : content.extraparts) parts.push_back(p);
  return parts;
}

// An .ods package whose content.xml holds `tables` (name, rows' XML).
inline Parts odsparts(const std::vector<std::pair<std::string, std::string>>& tables) {
  std::string content =
      "<?xml version=\"1.0\"?><office:document-content "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>";
  for (const auto& [name, rows] : tables)
    content += "<table:table table:name=\"" + name + "\">" + rows + "</table:table>";
  content += "</office:spreadsheet></office:body></office:document-content>";
  return {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}};
}

}  // namespace vesper::testing
