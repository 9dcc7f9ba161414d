// A streaming XML reading (expat) for the parts of a workbook.
//
// Contract.  Elements and attributes are named by their local names (the
// prefix before ':' dropped: writers differ in the prefixes they use).  A
// document that declares a DTD, and so could declare entities, is refused
// before any of it is expanded: a workbook part never has one.  `feed` takes
// the document in chunks; a damaged document or a handler's `stop` ends the
// reading with a `PackageError`.
#pragma once

#include <string>
#include <string_view>

#include "source/formats/zippackage.h"

struct XML_ParserStruct;

namespace vesper {

// The attributes of an element, as expat hands them: name, value, ... , null.
class XmlAttributes {
 public:
  explicit XmlAttributes(const char** list) : list_(list) {}
  // The value of the attribute with local name `name`; null when absent.
  const char* get(std::string_view name) const;

 private:
  const char** list_;
};

class XmlStream {
 public:
  XmlStream();
  virtual ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // A chunk of the document; `last` for the final one.
  void feed(std::string_view chunk, bool last = false);
  // Reads part `name` of `package` through this stream (at most `limit`
  // bytes); false when there is no such part.
  bool readpart(const ZipPackage& package, const std::string& name, std::size_t limit);

 protected:
  virtual void onstart(std::string_view name, const XmlAttributes& attributes) = 0;
  virtual void onend(std::string_view name) = 0;
  virtual void ontext(std::string_view) {}
  // Ends the reading: `feed` throws `why`.
  void stop(const std::string& why);
  // Ends the reading without fault: `feed` passes over what follows.
  void finish();
  bool finished() const { return finished_; }

 private:
  static void startthunk(void* self, const char* name, const char** attributes);
  static void endthunk(void* self, const char* name);
  static void textthunk(void* self, const char* text, int length);
  static void doctypethunk(void* self, const char*, const char*, const char*, int);

  XML_ParserStruct* parser_;
  std::string stopped_;
  bool finished_ = false;
};

// `name` without its prefix.
std::string_view localname(std::string_view name);

}  // namespace vesper
