// A streaming XML reading for the parts of a workbook.
//
// Contract.  Elements and attributes are named by their local names (the
// prefix before ':' dropped: writers differ in the prefixes they use).  A
// document that declares a DTD, and so could declare entities, is refused
// before any of it is expanded: a workbook part never has one.  The five
// predefined entities and character references are read; CDATA sections are
// text; comments and processing instructions are passed over; line ends in
// text and attribute values are LF.  `feed` takes the document in chunks (UTF-8,
// a byte order mark allowed); a damaged document (tags that do not match, a
// broken tag or reference, text after the root element, a document that ends
// early) or a handler's `stop` ends the reading with a `PackageError`.
//
// The reading is our own rather than a general XML library's: a sheet of a
// million rows is hundreds of megabytes of small tags, and a general parser
// spent more time on them than the rest of the import together.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "source/formats/zippackage.h"

namespace vesper {

// The attributes of an element: their names and (references resolved)
// values, valid during the `onstart` they are handed to.
class XmlAttributes {
 public:
  using Pair = std::pair<std::string_view, std::string_view>;
  XmlAttributes(const Pair* list, std::size_t count) : list_(list), count_(count) {}
  // The value of the attribute with local name `name`; none when absent.
  std::optional<std::string_view> get(std::string_view name) const;
  // All of them in order, named as written (prefixes kept).
  const Pair* begin() const { return list_; }
  const Pair* end() const { return list_ + count_; }

 private:
  const Pair* list_;
  std::size_t count_;
};

// A whole number written in an attribute; `otherwise` when it is none.
long long xmlnumber(std::optional<std::string_view> text, long long otherwise = 0);

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
  // A reading of its own for an element that starts at `at`, asked for each
  // element opening at the depth `shortcutat` named: the bytes it took (a
  // whole element, the events it stands for handled), or 0 to leave the
  // element to the general reading.
  virtual std::size_t shortcut(std::string_view) { return 0; }
  // Elements opening inside the element now open are offered to `shortcut`;
  // `stopshortcut` ends that.
  void shortcuthere() { shortcutdepth_ = nameends_.size(); }
  void stopshortcut() { shortcutdepth_ = kNoShortcut; }
  // Ends the reading: `feed` throws `why`.
  void stop(const std::string& why);
  // Ends the reading without fault: `feed` passes over what follows.
  void finish();
  bool finished() const { return finished_; }

 private:
  // Reads what of `data` makes whole tokens; returns the bytes read.
  std::size_t scan(std::string_view data, bool last);
  // One markup token at data[i] ('<'); the bytes read, 0 when incomplete.
  std::size_t markup(std::string_view data, std::size_t i, bool last);
  std::size_t starttag(std::string_view data, std::size_t i);
  std::size_t endtag(std::string_view data, std::size_t i);
  // Text up to the next '<' from data[i]; the bytes read.
  std::size_t text(std::string_view data, std::size_t i, bool last);
  void emittext(std::string_view text);
  // Appends `raw` with its references resolved (and, for attribute values,
  // blanks for tabs and line ends); false when a reference is broken.
  bool decode(std::string_view raw, std::string& out, bool attribute);
  void damaged(const char* why);
  bool halted() const { return finished_ || !stopped_.empty(); }

  std::string carry_;  // the start of a token the last chunk cut
  std::string names_;  // the names of the open elements, back to back
  std::vector<std::size_t> nameends_;
  std::string decoded_, values_;
  std::vector<XmlAttributes::Pair> pairs_;
  std::vector<std::size_t> special_;  // attributes whose values need resolving
  static constexpr std::size_t kNoShortcut = static_cast<std::size_t>(-1);
  std::size_t shortcutdepth_ = kNoShortcut;
  bool started_ = false, rootseen_ = false;
  std::string stopped_;
  bool finished_ = false;
};

// `name` without its prefix.
std::string_view localname(std::string_view name);

}  // namespace vesper
