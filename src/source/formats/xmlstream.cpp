#include "source/formats/xmlstream.h"

#include <expat.h>

#include <cstring>

namespace vesper {

std::string_view localname(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const char* XmlAttributes::get(std::string_view name) const {
  for (const char** a = list_; a && a[0]; a += 2)
    if (localname(a[0]) == name) return a[1];
  return nullptr;
}

XmlStream::XmlStream() : parser_(XML_ParserCreate("UTF-8")) {
  if (!parser_) throw PackageError("out of memory");
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, &XmlStream::startthunk, &XmlStream::endthunk);
  XML_SetCharacterDataHandler(parser_, &XmlStream::textthunk);
  XML_SetStartDoctypeDeclHandler(parser_, &XmlStream::doctypethunk);
  // No external entity is ever fetched, and none may be declared.
  XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlStream::~XmlStream() { XML_ParserFree(parser_); }

void XmlStream::stop(const std::string& why) {
  if (stopped_.empty()) stopped_ = why;
  XML_StopParser(parser_, XML_FALSE);
}

void XmlStream::finish() {
  if (finished_) return;
  finished_ = true;
  XML_StopParser(parser_, XML_FALSE);
}

void XmlStream::feed(std::string_view chunk, bool last) {
  if (finished_) return;
  if (!stopped_.empty()) throw PackageError(stopped_);
  const XML_Status status = XML_Parse(parser_, chunk.data(), static_cast<int>(chunk.size()), last);
  if (!stopped_.empty()) throw PackageError(stopped_);
  if (finished_) return;
  if (status != XML_STATUS_OK)
    throw PackageError(std::string("its XML is damaged (") + XML_ErrorString(XML_GetErrorCode(parser_)) +
                       ")");
}

bool XmlStream::readpart(const ZipPackage& package, const std::string& name, std::size_t limit) {
  if (!package.read(name, limit, [&](std::string_view chunk) { return feed(chunk), true; }))
    return false;
  feed({}, true);
  return true;
}

void XmlStream::startthunk(void* self, const char* name, const char** attributes) {
  auto* s = static_cast<XmlStream*>(self);
  s->onstart(localname(name), XmlAttributes(attributes));
}

void XmlStream::endthunk(void* self, const char* name) {
  static_cast<XmlStream*>(self)->onend(localname(name));
}

void XmlStream::textthunk(void* self, const char* text, int length) {
  static_cast<XmlStream*>(self)->ontext(std::string_view(text, static_cast<std::size_t>(length)));
}

void XmlStream::doctypethunk(void* self, const char*, const char*, const char*, int) {
  static_cast<XmlStream*>(self)->stop("it declares a DTD, which no workbook part has");
}

}  // namespace vesper
