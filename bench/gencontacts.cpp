// Generates realistic contact lists for the import benchmarks.
//
//   gencontacts --records N --out DIR [--seed S] [--bad-percent P]
//               [--forms csv,lines,dbf,headed,xlsx,vcf]
//
// Writes into DIR, for the forms asked for (csv, lines and dbf by default):
//   contacts.csv        comma-delimited, one record per line, no header
//   contacts.imp        its import specification (kind 1)
//   contacts-headed.csv as today's exports write it: a header line, every
//                       value quoted (quotes doubled), notes of several lines
//   contacts-headed.imp its import specification (kind 1)
//   contacts-lines.txt  line-per-field, one field per line
//   contacts-lines.imp  its import specification (kind 0)
//   contacts.dbf        a dBASE III table (version byte 3)
//   contacts.vcf        the same contacts as vCard 3.0 cards, as address books
//                       write them (structured N and ADR, typed TEL, escapes)
//   contacts-vcf.imp    its import specification (kind 4): each card field
//                       to the contact field the delimited file's column goes to
//   contacts-dbf.imp    its import specification (kind 2)
//   contacts.xlsx       the delimited file's records as a workbook: one sheet,
//                       no header row, every value a shared string (as a
//                       spreadsheet program saves text), written with libzip
//   contacts-xlsx.imp   its import specification (kind 5)
//   columns.sql         CREATE TABLE for the delimited file's columns, with the
//                       reference column as unique key (for comparisons)
//
// Names follow a skewed distribution (common surnames repeat a lot, a long
// tail of rare ones is made from syllables), with titles, middle initials,
// suffixes and some names in capitals; companies for about half the records;
// US and Canadian city lines; dates in three layouts; phones, e-mail
// addresses, categories and notes.  With --bad-percent P about P in 100
// lines of the delimited file get one field too many or too few.  The same
// seed always gives the same files.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <zip.h>

namespace {

class Random {
 public:
  explicit Random(std::uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL) {}
  std::uint64_t next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

 private:
  std::uint64_t s_;
};

// Draws index k of a list with weight 1/(k+1)^s: a few entries dominate.
class Skewed {
 public:
  Skewed(std::size_t n, double s) {
    double sum = 0;
    for (std::size_t k = 0; k < n; ++k) cumulative_.push_back(sum += 1.0 / std::pow(k + 1.0, s));
    for (double& c : cumulative_) c /= sum;
  }
  std::size_t draw(Random& r) const {
    double u = r.unit();
    std::size_t lo = 0, hi = cumulative_.size() - 1;
    while (lo < hi) {
      std::size_t mid = (lo + hi) / 2;
      if (cumulative_[mid] < u) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

 private:
  std::vector<double> cumulative_;
};

const std::vector<std::string_view> kSurnames = {
    "Smith", "Johnson", "Williams", "Brown", "Jones", "Garcia", "Miller", "Davis", "Rodriguez",
    "Martinez", "Hernandez", "Lopez", "Gonzalez", "Wilson", "Anderson", "Thomas", "Taylor",
    "Moore", "Jackson", "Martin", "Lee", "Perez", "Thompson", "White", "Harris", "Sanchez",
    "Clark", "Ramirez", "Lewis", "Robinson", "Walker", "Young", "Allen", "King", "Wright",
    "Scott", "Torres", "Nguyen", "Hill", "Flores", "Green", "Adams", "Nelson", "Baker", "Hall",
    "Rivera", "Campbell", "Mitchell", "Carter", "Roberts", "Gomez", "Phillips", "Evans",
    "Turner", "Diaz", "Parker", "Cruz", "Edwards", "Collins", "Reyes", "Stewart", "Morris",
    "Morales", "Murphy", "Cook", "Rogers", "Gutierrez", "Ortiz", "Morgan", "Cooper", "Peterson",
    "Bailey", "Reed", "Kelly", "Howard", "Ramos", "Kim", "Cox", "Ward", "Richardson", "Watson",
    "Brooks", "Chavez", "Wood", "James", "Bennett", "Gray", "Mendoza", "Ruiz", "Hughes", "Price",
    "Alvarez", "Castillo", "Sanders", "Patel", "Myers", "Long", "Ross", "Foster", "Jimenez",
    "O'Brien", "McDonald", "van der Berg", "MacLeod", "St. John", "De La Cruz", "Tremblay",
    "Gagnon", "Roy", "Cote", "Bouchard", "Gauthier", "Morin", "Lavoie", "Fortin", "Gagne",
    "Ouellet", "Pelletier", "Belanger", "Levesque", "Bergeron", "Leblanc", "Paquette", "Girard",
    "Simard", "Boucher", "Caron", "Beaulieu", "Cloutier", "Dube", "Poirier", "Fournier",
    "Lapointe", "Leclerc", "Lefebvre", "Poulin", "Thibault", "St-Pierre", "Nadeau", "Martel",
    "Smith-Jones", "Butler", "Darakjy", "Venere", "Paprocki", "Foller", "Morasca", "Tollner",
    "Dilliard", "Wieser", "Marrier", "Amigon", "Maclead", "Caldarera", "Ruta", "Albares",
    "Poquette", "Garufi", "Rim", "Whobrey", "Flosi", "Nicka", "Inouye", "Kolmetz", "Royster",
    "Slusarski", "Iturbide", "Caudy", "Chui", "Kusko", "Figeroa", "Corrio", "Vocelka", "Stenseth",
    "Glick", "Sergi", "Shinko", "Stockham", "Ostrosky", "Gillian", "Rulapaugh", "Schemmer",
    "Oldroyd", "Campain", "Perin", "Ferencz", "Saylors", "Briddick", "Waycott", "Bowley"};

const std::vector<std::string_view> kFirstNames = {
    "James", "Mary", "John", "Patricia", "Robert", "Jennifer", "Michael", "Linda", "William",
    "Elizabeth", "David", "Barbara", "Richard", "Susan", "Joseph", "Jessica", "Thomas", "Sarah",
    "Charles", "Karen", "Christopher", "Nancy", "Daniel", "Lisa", "Matthew", "Betty", "Anthony",
    "Margaret", "Mark", "Sandra", "Donald", "Ashley", "Steven", "Kimberly", "Paul", "Emily",
    "Andrew", "Donna", "Joshua", "Michelle", "Kenneth", "Dorothy", "Kevin", "Carol", "Brian",
    "Amanda", "George", "Melissa", "Edward", "Deborah", "Ronald", "Stephanie", "Timothy",
    "Rebecca", "Jason", "Sharon", "Jeffrey", "Laura", "Ryan", "Cynthia", "Jacob", "Kathleen",
    "Gary", "Amy", "Nicholas", "Shirley", "Eric", "Angela", "Jonathan", "Helen", "Stephen",
    "Anna", "Larry", "Brenda", "Justin", "Pamela", "Scott", "Nicole", "Brandon", "Emma",
    "Benjamin", "Samantha", "Samuel", "Katherine", "Gregory", "Christine", "Frank", "Debra",
    "Alexander", "Rachel", "Raymond", "Catherine", "Patrick", "Carolyn", "Jack", "Janet",
    "Dennis", "Ruth", "Jerry", "Maria", "Josephine", "Art", "Lenna", "Donette", "Simona",
    "Mitsue", "Leota", "Sage", "Kris", "Minna", "Abel", "Kiley", "Graciela", "Cammy", "Mattie",
    "Meaghan", "Gladys", "Yuki", "Fletcher", "Bette", "Veronika", "Willard", "Maryann",
    "Alisha", "Allene", "Chanel", "Ezekiel", "Willow", "Bernardo", "Ammie", "Francine",
    "Ernie", "Albina", "Alishia", "Solange", "Jose", "Rozella", "Valentine", "Kati", "Youlanda",
    "Dyan", "Roxane", "Lavera", "Erick", "Fatima", "Jina", "Kanisha", "Emerson", "Blair",
    "Brock", "Lorrie", "Jean-Pierre", "Marie-Claire", "Andre", "Genevieve"};

const char* const kSyllables[] = {"bar", "ken", "dor", "vel", "mar", "sto", "lin", "ash", "wick",
                                  "ton", "ber", "gal", "rus", "hol", "quin", "fel", "tra", "mon",
                                  "sel", "dri", "ova", "ski", "man", "ley", "ford", "ham", "cott",
                                  "well", "ridge", "son"};
const char* const kTitles[] = {"Mr.", "Ms.", "Mrs.", "Dr.", "Miss", "Prof.", "Rev."};
const char* const kSuffixes[] = {"Jr.", "Sr.", "III", "II", "PhD", "MD", "Esq."};
const char* const kJobs[] = {"President", "Sales Manager", "Owner", "Director of Purchasing",
                             "Office Manager", "Accountant", "Vice President, Marketing",
                             "Buyer", "Engineer", "Consultant", "Chief Executive Officer",
                             "Administrative Assistant"};
const char* const kCompanyWords[] = {"Benton", "Chanay", "Feltz", "Printing", "Dimensions",
                                     "Chapman", "Ross", "Morlong", "Commercial", "Press",
                                     "Truhlar", "Worldwide", "Bolton", "Acme", "Widgets",
                                     "Pacific", "Atlantic", "Northern", "Maple", "Leaf",
                                     "Granite", "Valley", "Summit", "Harbor", "Eagle", "Pioneer"};
const char* const kCompanyEnds[] = {"Inc", "Inc.", "Ltd.", "LLC", "Co", "& Sons", "Corp.",
                                    "Associates", "Group", "Services", "Supply"};
const char* const kStreets[] = {"Main", "Oak", "Pine", "Maple", "Cedar", "Elm", "Washington",
                                "Lake", "Hill", "Park", "Center", "Blue Gum", "Cerritos",
                                "Blue Ridge", "Sunset", "Church", "King", "Queen", "Yonge",
                                "Bloor", "Sherbrooke", "Wellington", "Front", "River"};
const char* const kStreetTypes[] = {"St", "Ave", "Blvd", "Rd", "Dr", "Ln", "Way", "Ct", "Pl"};
const char* const kUnits[] = {"Suite", "Apt", "Unit", "#", "Ste", "Fl"};
struct Place { const char* city; const char* state; };
const Place kUsPlaces[] = {
    {"New Orleans", "LA"}, {"Brighton", "MI"}, {"Bridgeport", "NJ"}, {"Anchorage", "AK"},
    {"Hamilton", "OH"}, {"Ashland", "OH"}, {"Chicago", "IL"}, {"San Jose", "CA"},
    {"Sioux Falls", "SD"}, {"Baltimore", "MD"}, {"Kulpsville", "PA"}, {"Middlesex", "NJ"},
    {"Gardena", "CA"}, {"San Francisco", "CA"}, {"New York", "NY"}, {"Houston", "TX"},
    {"Phoenix", "AZ"}, {"Philadelphia", "PA"}, {"San Antonio", "TX"}, {"Dallas", "TX"},
    {"Austin", "TX"}, {"Columbus", "OH"}, {"Fort Worth", "TX"}, {"Charlotte", "NC"},
    {"Seattle", "WA"}, {"Denver", "CO"}, {"Boston", "MA"}, {"Nashville", "TN"},
    {"Salt Lake City", "UT"}, {"St. Louis", "MO"}};
const Place kCaPlaces[] = {{"Toronto", "ON"},   {"Montreal", "QC"},  {"Vancouver", "BC"},
                           {"Calgary", "AB"},   {"Ottawa", "ON"},    {"Winnipeg", "MB"},
                           {"Quebec City", "QC"}, {"Halifax", "NS"}, {"Regina", "SK"},
                           {"St. John's", "NL"}};
const char* const kDomains[] = {"example.com", "example.org", "example.net", "mail.example.com",
                                "post.example.ca"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kNotes[] = {"Met at the spring trade show", "Prefers e-mail",
                              "Call after 3 pm, not on Fridays", "Referred by a customer",
                              "Send the new catalogue", "Wants a quote for 200 units, net 30",
                              "Old address on file; check before mailing",
                              "Former supplier", "Newsletter list"};

template <std::size_t N>
const char* pick(Random& r, const char* const (&list)[N]) {
  return list[r.below(static_cast<int>(N))];
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}
std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
std::string digits(Random& r, int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s += static_cast<char>('0' + r.below(10));
  return s;
}

// The columns of one record, in file order.
enum Column {
  Name, JobTitle, Company, Address, CityLine, Country, Phone1, Phone2, Email,
  Birthday, Since, LastOrder, Category, Notes, Ref, ColumnCount
};
struct ColumnSpec {
  const char* field;    // dBASE column name (10 characters at most)
  const char* assign;   // what the import specification assigns it to
  int datecode;         // date format code, -1 for none
  char dbtype;          // dBASE type
  int width;            // dBASE width
};
const ColumnSpec kColumns[ColumnCount] = {
    {"NAME", "x2firstlast", -1, 'C', 50},     {"JOBTITLE", "Title", -1, 'C', 40},
    {"COMPANY", "Company", -1, 'C', 50},      {"ADDRESS", "x8addr1&2", -1, 'C', 70},
    {"CITYLINE", "x5citystatezip", -1, 'C', 45}, {"COUNTRY", "Country", -1, 'C', 20},
    {"PHONE1", "Phone1", -1, 'C', 16},        {"PHONE2", "Phone2", -1, 'C', 16},
    {"EMAIL", "Email", -1, 'C', 60},          {"BIRTHDAY", "Date1", 4, 'D', 8},
    {"SINCE", "Date2", 2, 'C', 10},           {"LASTORDER", "Date3", 12, 'C', 11},
    {"CATEGORY", "Category", -1, 'C', 8},     {"NOTES", "Memo", -1, 'C', 60},
    {"REF", "x1notused", -1, 'C', 10}};

struct Record {
  std::string v[ColumnCount];
  int y = 0, m = 0, d = 0;  // the birthday, for the dBASE date column
  std::string prefix, given, middle, family, suffix;  // the name's parts, for the cards
};

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : r_(seed), surnames_(kSurnames.size(), 1.1),
                                           firsts_(kFirstNames.size(), 0.9) {}

  void make(long long index, Record& rec) {
    std::string last = surname();
    std::string first(kFirstNames[firsts_.draw(r_)]);
    std::string name;
    rec.prefix.clear(), rec.middle.clear(), rec.suffix.clear();
    if (r_.chance(35)) name += (rec.prefix = pick(r_, kTitles)) + " ";
    name += first;
    if (r_.chance(30)) name += " " + (rec.middle = std::string{static_cast<char>('A' + r_.below(26)), '.'});
    name += " " + last;
    if (r_.chance(6)) name += " " + (rec.suffix = pick(r_, kSuffixes));
    bool capitals = r_.chance(12);  // some lists arrive in capitals
    rec.v[Name] = capitals ? upper(name) : name;
    rec.given = first, rec.family = last;
    if (capitals)
      for (std::string* part : {&rec.prefix, &rec.given, &rec.middle, &rec.family, &rec.suffix})
        *part = upper(*part);

    rec.v[Company].clear();
    rec.v[JobTitle].clear();
    if (r_.chance(50)) {
      std::string c = pick(r_, kCompanyWords);
      if (r_.chance(40)) c += std::string(" ") + pick(r_, kCompanyWords);
      else if (r_.chance(30)) c = last + (r_.chance(50) ? ", " + surname() : std::string(""));
      c += std::string(" ") + pick(r_, kCompanyEnds);
      rec.v[Company] = capitals ? upper(c) : c;
      if (r_.chance(70)) rec.v[JobTitle] = pick(r_, kJobs);
    }

    std::string street = std::to_string(1 + r_.below(r_.chance(20) ? 99999 : 999));
    if (r_.chance(10)) street += std::string(" ") + (r_.chance(50) ? "N" : "W");
    street += std::string(" ") + pick(r_, kStreets) + " " + pick(r_, kStreetTypes);
    if (r_.chance(25)) street += std::string(r_.chance(50) ? ", " : " ") + pick(r_, kUnits) + " " +
                                 std::to_string(1 + r_.below(400));
    rec.v[Address] = capitals ? upper(street) : street;

    if (r_.chance(85)) {
      const Place& p = kUsPlaces[r_.below(static_cast<int>(std::size(kUsPlaces)))];
      std::string zip = digits(r_, 5);
      if (r_.chance(15)) zip += "-" + digits(r_, 4);
      rec.v[CityLine] = std::string(p.city) + ", " + p.state + " " + zip;
      rec.v[Country] = r_.chance(10) ? "USA" : "";
    } else {
      const Place& p = kCaPlaces[r_.below(static_cast<int>(std::size(kCaPlaces)))];
      auto letter = [&] { return static_cast<char>('A' + r_.below(26)); };
      auto digit = [&] { return static_cast<char>('0' + r_.below(10)); };
      std::string post{letter(), digit(), letter(), ' ', digit(), letter(), digit()};
      rec.v[CityLine] = std::string(p.city) + ", " + p.state + " " + post;
      rec.v[Country] = "Canada";
    }
    if (capitals) rec.v[CityLine] = upper(rec.v[CityLine]);

    std::string area = std::to_string(201 + r_.below(780));
    rec.v[Phone1] = r_.chance(50) ? "(" + area + ") " + digits(r_, 3) + "-" + digits(r_, 4)
                                  : area + "-" + digits(r_, 3) + "-" + digits(r_, 4);
    rec.v[Phone2] = r_.chance(30) ? area + "-" + digits(r_, 3) + "-" + digits(r_, 4) : "";
    std::string local;
    for (char c : lower(first + "." + last))
      if ((c >= 'a' && c <= 'z') || c == '.') local += c;
    rec.v[Email] = r_.chance(80) ? local + "@" + pick(r_, kDomains) : "";

    rec.y = 1930 + r_.below(75), rec.m = 1 + r_.below(12), rec.d = 1 + r_.below(28);
    char buf[32];
    if (r_.chance(85)) {
      std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", rec.m, rec.d, rec.y);
      rec.v[Birthday] = buf;
    } else {
      rec.v[Birthday].clear();
      rec.y = 0;
    }
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", 1990 + r_.below(35), 1 + r_.below(12),
                  1 + r_.below(28));
    rec.v[Since] = buf;
    std::snprintf(buf, sizeof buf, "%02d %s %04d", 1 + r_.below(28), kMonths[r_.below(12)],
                  2015 + r_.below(10));
    rec.v[LastOrder] = r_.chance(60) ? buf : "";

    std::string cat;
    for (int k = r_.below(4); k > 0; --k)
      cat += static_cast<char>(r_.chance(80) ? 'a' + r_.below(26) : '0' + r_.below(5));
    rec.v[Category] = cat;
    rec.v[Notes] = r_.chance(40) ? pick(r_, kNotes) : "";
    std::snprintf(buf, sizeof buf, "C%08lld", index + 1);
    rec.v[Ref] = buf;
  }

  Random& random() { return r_; }

 private:
  std::string surname() {
    if (r_.chance(30)) {  // the long tail of rare names
      std::string s;
      for (int k = 2 + r_.below(2); k > 0; --k) s += pick(r_, kSyllables);
      s[0] = static_cast<char>(s[0] - 'a' + 'A');
      return s;
    }
    return std::string(kSurnames[surnames_.draw(r_)]);
  }
  Random r_;
  Skewed surnames_, firsts_;
};

// A value of the delimited file: quoted when it holds a comma.
void csvvalue(std::string& line, const std::string& v) {
  if (v.find(',') == std::string::npos) {
    line += v;
  } else {
    line += '"';
    line += v;
    line += '"';
  }
}

// A value as today's exports write it: always quoted, quotes doubled.
void quotedvalue(std::string& line, const std::string& v) {
  line += '"';
  for (char c : v) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

class Output {
 public:
  Output(const std::string& path) : path_(path), f_(std::fopen(path.c_str(), "wb")) {
    if (!f_) {
      std::perror(path.c_str());
      std::exit(1);
    }
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
  }
  ~Output() { close(); }
  void put(std::string_view s) { std::fwrite(s.data(), 1, s.size(), f_); }
  void at(long offset) { std::fseek(f_, offset, SEEK_SET); }
  void close() {
    if (f_ && std::fclose(f_) != 0) {
      std::perror(path_.c_str());
      std::exit(1);
    }
    f_ = nullptr;
  }

 private:
  std::string path_;
  std::FILE* f_;
};

// A text value of a card: backslash, comma, semicolon and line breaks escaped.
void cardtext(std::string& line, std::string_view v) {
  for (std::size_t i = 0; i < v.size(); ++i) {
    char c = v[i];
    if (c == '\\' || c == ',' || c == ';') {
      line += '\\';
      line += c;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < v.size() && v[i + 1] == '\n') ++i;
      line += "\\n";
    } else {
      line += c;
    }
  }
}

void cardline(std::string& card, const char* head, std::string_view v) {
  if (v.empty()) return;
  card += head;
  card += ':';
  cardtext(card, v);
  card += "\r\n";
}

// One record as a vCard 3.0 card.  The name is split as an address book keeps
// it (prefix, given, middle, family, suffix), the city line into city, region
// and postal code; the last-order date has no property and is left out.
void writecard(std::string& card, const Record& rec) {
  card += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  cardline(card, "FN", rec.v[Name]);
  const std::string_view given = rec.given, family = rec.family, middle = rec.middle,
                         prefix = rec.prefix, suffix = rec.suffix;
  card += "N:";
  cardtext(card, family), card += ';', cardtext(card, given), card += ';';
  cardtext(card, middle), card += ';', cardtext(card, prefix), card += ';';
  cardtext(card, suffix), card += "\r\n";
  if (!rec.v[Company].empty()) cardline(card, "ORG", rec.v[Company]);
  cardline(card, "TITLE", rec.v[JobTitle]);
  // "City, ST 12345" or "City, ON A1B 2C3"
  std::string_view cityline = rec.v[CityLine], city = cityline, region, code;
  if (auto comma = cityline.find(", "); comma != std::string_view::npos) {
    city = cityline.substr(0, comma);
    std::string_view rest = cityline.substr(comma + 2);
    auto blank = rest.find(' ');
    region = rest.substr(0, blank);
    if (blank != std::string_view::npos) code = rest.substr(blank + 1);
  }
  card += "ADR;TYPE=WORK:;;";
  cardtext(card, rec.v[Address]), card += ';', cardtext(card, city), card += ';';
  cardtext(card, region), card += ';', cardtext(card, code), card += ';';
  cardtext(card, rec.v[Country]), card += "\r\n";
  cardline(card, "TEL;TYPE=WORK,VOICE", rec.v[Phone1]);
  cardline(card, "TEL;TYPE=CELL", rec.v[Phone2]);
  cardline(card, "EMAIL;TYPE=INTERNET", rec.v[Email]);
  if (rec.y) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", rec.y, rec.m, rec.d);
    cardline(card, "BDAY", buf);
  }
  cardline(card, "ANNIVERSARY", rec.v[Since]);
  cardline(card, "CATEGORIES", rec.v[Category]);
  cardline(card, "NOTE", rec.v[Notes]);
  cardline(card, "UID", rec.v[Ref]);
  card += "END:VCARD\r\n";
}

// The card fields the vCard source gives, in its order (from 1), and what the
// delimited file's column of the same value is assigned to.
struct CardField {
  int field;
  const char* assign;
  int datecode;
};
const CardField kCardFields[] = {
    {3, "FirstName", -1},  {2, "LastName", -1},  {4, "x6middleinitial", -1},
    {5, "Salut", -1},      {6, "Honor", -1},     {7, "Company", -1},
    {9, "Title", -1},      {12, "x8addr1&2", -1}, {14, "City", -1},
    {15, "State", -1},     {16, "Zip", -1},      {17, "Country", -1},
    {30, "Phone1", -1},    {34, "Phone2", -1},   {40, "Email", -1},
    {45, "Date1", 2},      {46, "Date2", 2},     {47, "Memo", -1},
    {48, "Category", -1}};

void writecardspec(const std::string& path) {
  // The source's first 49 fields each have an entry (the .IMP's field count
  // is its last entry's; the fields after them are left out, which a card
  // source allows): those the list does not fill are not used.
  std::string slots[210], codes[210];
  for (auto& c : codes) c = "-1";
  for (int i = 0; i < 49; ++i) slots[i] = "x1notused";
  for (const CardField& f : kCardFields) {
    slots[f.field - 1] = f.assign;
    codes[f.field - 1] = std::to_string(f.datecode);
  }
  Output out(path);
  out.put("4\r\n");
  for (const auto& s : slots) out.put(s + "\r\n");
  out.put("20\r\n");
  for (const auto& c : codes) out.put(c + "\r\n");
}

// The 422-line specification: kind, 210 slots, pivot, 210 date codes.
void writespec(const std::string& path, int kind) {
  Output out(path);
  out.put(std::to_string(kind) + "\r\n");
  for (int i = 0; i < 210; ++i) out.put(std::string(i < ColumnCount ? kColumns[i].assign : "") + "\r\n");
  out.put("20\r\n");
  for (int i = 0; i < 210; ++i)
    out.put(std::to_string(i < ColumnCount ? kColumns[i].datecode : -1) + "\r\n");
}

void le16(char* p, unsigned v) { p[0] = char(v & 0xff), p[1] = char((v >> 8) & 0xff); }
void le32(char* p, unsigned long v) {
  for (int k = 0; k < 4; ++k) p[k] = char((v >> (8 * k)) & 0xff);
}

class DbfWriter {
 public:
  explicit DbfWriter(const std::string& path) : out_(path) {
    recordLength_ = 1;
    for (const auto& c : kColumns) recordLength_ += c.width;
    header(0);
  }
  void add(const Record& rec) {
    std::string row(static_cast<std::size_t>(recordLength_), ' ');
    std::size_t at = 1;
    for (int i = 0; i < ColumnCount; ++i) {
      const ColumnSpec& c = kColumns[i];
      std::string v = rec.v[i];
      if (c.dbtype == 'D') {
        char buf[16] = "        ";
        if (rec.y) std::snprintf(buf, sizeof buf, "%04d%02d%02d", rec.y, rec.m, rec.d);
        v = buf;
      }
      row.replace(at, std::min<std::size_t>(v.size(), static_cast<std::size_t>(c.width)), v, 0,
                  static_cast<std::size_t>(c.width));
      at += static_cast<std::size_t>(c.width);
    }
    out_.put(row);
    ++count_;
  }
  void finish() {
    out_.put("\x1a");
    out_.at(0);
    header(count_);
  }

 private:
  void header(unsigned long records) {
    char h[32] = {};
    h[0] = 0x03;
    h[1] = 125, h[2] = 1, h[3] = 1;
    le32(h + 4, records);
    le16(h + 8, 32u * (ColumnCount + 1) + 1u);
    le16(h + 10, static_cast<unsigned>(recordLength_));
    out_.put(std::string_view(h, 32));
    for (const auto& c : kColumns) {
      char d[32] = {};
      std::strncpy(d, c.field, 10);
      d[11] = c.dbtype;
      d[16] = static_cast<char>(c.width);
      out_.put(std::string_view(d, 32));
    }
    out_.put("\r");
  }
  Output out_;
  int recordLength_;
  unsigned long count_ = 0;
};

void xmltext(std::string& out, const std::string& v) {
  for (char c : v) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
}

std::string columnref(int col) {
  std::string s;
  for (++col; col > 0; col = (col - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (col - 1) % 26));
  return s;
}

// The records as an .xlsx workbook.  The sheet and the shared strings are
// written to files beside it first and packed when it is finished.
class XlsxWriter {
 public:
  explicit XlsxWriter(const std::string& path)
      : path_(path), sheet_(path + ".sheet.tmp"), strings_(path + ".strings.tmp") {
    sheet_.put("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"" + ns() +
               "\"><sheetData>");
  }
  void add(const Record& rec) {
    ++row_;
    std::string line = "<row r=\"" + std::to_string(row_) + "\">";
    for (int i = 0; i < ColumnCount; ++i) {
      if (rec.v[i].empty()) continue;
      line += "<c r=\"" + columnref(i) + std::to_string(row_) + "\" t=\"s\"><v>" +
              std::to_string(stringindex(rec.v[i])) + "</v></c>";
    }
    sheet_.put(line + "</row>");
  }
  void finish() {
    sheet_.put("</sheetData></worksheet>");
    strings_.put("</sst>");
    sheet_.close();
    strings_.close();
    std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"" + ns() +
                       "\" uniqueCount=\"" + std::to_string(index_.size()) + "\">";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string types =
        "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument."
        "spreadsheetml.sheet.main+xml\"/></Types>";
    const std::string rootrels = "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
                                 "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + rel +
                                 "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    const std::string book = "<?xml version=\"1.0\"?><workbook xmlns=\"" + ns() + "\" xmlns:r=\"" + rel +
                             "\"><sheets><sheet name=\"Contacts\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const std::string bookrels = "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
                                 "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + rel +
                                 "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
                                 rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>";
    // The shared strings' opening, with the count, goes in front of the rest.
    const std::string strings = path_ + ".sst.tmp";
    {
      Output whole(strings);
      whole.put(head);
      std::FILE* f = std::fopen((path_ + ".strings.tmp").c_str(), "rb");
      std::vector<char> buf(1 << 20);
      for (std::size_t n; f && (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;) whole.put(std::string_view(buf.data(), n));
      if (f) std::fclose(f);
    }
    int error = 0;
    std::remove(path_.c_str());
    zip_t* z = zip_open(path_.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) fail();
    auto text = [&](const char* name, const std::string& bytes) {
      zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
      if (!src || zip_file_add(z, name, src, 0) < 0) fail();
    };
    auto file = [&](const char* name, const std::string& from) {
      zip_source_t* src = zip_source_file(z, from.c_str(), 0, -1);
      if (!src || zip_file_add(z, name, src, 0) < 0) fail();
    };
    text("[Content_Types].xml", types);
    text("_rels/.rels", rootrels);
    text("xl/workbook.xml", book);
    text("xl/_rels/workbook.xml.rels", bookrels);
    file("xl/sharedStrings.xml", strings);
    file("xl/worksheets/sheet1.xml", path_ + ".sheet.tmp");
    if (zip_close(z) != 0) fail();
    std::remove(strings.c_str());
    std::remove((path_ + ".sheet.tmp").c_str());
    std::remove((path_ + ".strings.tmp").c_str());
  }

 private:
  static std::string ns() { return "http://schemas.openxmlformats.org/spreadsheetml/2006/main"; }
  [[noreturn]] void fail() {
    std::fprintf(stderr, "gencontacts: cannot write %s\n", path_.c_str());
    std::exit(1);
  }
  std::size_t stringindex(const std::string& v) {
    auto [it, added] = index_.emplace(v, index_.size());
    if (added) {
      std::string si = "<si><t>";
      xmltext(si, v);
      strings_.put(si + "</t></si>");
    }
    return it->second;
  }
  std::string path_;
  Output sheet_, strings_;
  std::unordered_map<std::string, std::size_t> index_;
  long long row_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  long long records = 1000;
  std::uint64_t seed = 1;
  int badPercent = 0;
  std::string out, forms = "csv,lines,dbf";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "gencontacts: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--records") records = std::atoll(value().c_str());
    else if (a == "--seed") seed = std::strtoull(value().c_str(), nullptr, 10);
    else if (a == "--bad-percent") badPercent = std::atoi(value().c_str());
    else if (a == "--out") out = value();
    else if (a == "--forms") forms = value();
    else {
      std::fprintf(stderr,
                   "usage: gencontacts --records N --out DIR [--seed S] [--bad-percent P]"
                   " [--forms csv,lines,dbf,headed,xlsx,vcf]\n");
      return 2;
    }
  }
  if (out.empty() || records < 1) {
    std::fprintf(stderr, "gencontacts: --out DIR and --records N (at least 1) are required\n");
    return 2;
  }
  bool csv = forms.find("csv") != std::string::npos;
  bool lines = forms.find("lines") != std::string::npos;
  bool dbf = forms.find("dbf") != std::string::npos;
  bool headed = forms.find("headed") != std::string::npos;
  bool xlsx = forms.find("xlsx") != std::string::npos;
  bool vcf = forms.find("vcf") != std::string::npos;

  Generator gen(seed);
  Random badRandom(seed ^ 0xBADBADULL);
  Record rec;
  {
    std::unique_ptr<Output> csvOut, linesOut, headedOut, vcfOut;
    // The headed form's extra note lines come from a stream of their own, so
    // the other forms stay as the seed makes them.
    Random noteRandom(seed ^ 0x4EADEDULL);
    if (headed) {
      headedOut = std::make_unique<Output>(out + "/contacts-headed.csv");
      std::string header;
      for (int i = 0; i < ColumnCount; ++i) {
        if (i) header += ',';
        quotedvalue(header, kColumns[i].field);
      }
      headedOut->put(header + "\r\n");
    }
    std::unique_ptr<DbfWriter> dbfOut;
    if (csv) csvOut = std::make_unique<Output>(out + "/contacts.csv");
    if (lines) linesOut = std::make_unique<Output>(out + "/contacts-lines.txt");
    if (dbf) dbfOut = std::make_unique<DbfWriter>(out + "/contacts.dbf");
    std::unique_ptr<XlsxWriter> xlsxOut;
    if (xlsx) xlsxOut = std::make_unique<XlsxWriter>(out + "/contacts.xlsx");
    if (vcf) vcfOut = std::make_unique<Output>(out + "/contacts.vcf");
    std::string line;
    for (long long n = 0; n < records; ++n) {
      gen.make(n, rec);
      if (csvOut) {
        line.clear();
        // The first line fixes the field count, so it is always well formed.
        int bad = n > 0 && badRandom.chance(badPercent) ? (badRandom.chance(50) ? 1 : -1) : 0;
        int columns = ColumnCount + (bad < 0 ? -1 : 0);
        for (int i = 0; i < columns; ++i) {
          if (i) line += ',';
          csvvalue(line, rec.v[i]);
        }
        if (bad > 0) line += ",extra";
        line += "\r\n";
        csvOut->put(line);
      }
      if (linesOut) {
        line.clear();
        for (int i = 0; i < ColumnCount; ++i) line += rec.v[i] + "\r\n";
        linesOut->put(line);
      }
      if (headedOut) {
        line.clear();
        for (int i = 0; i < ColumnCount; ++i) {
          if (i) line += ',';
          std::string v = rec.v[i];
          if (i == Notes && !v.empty() && noteRandom.chance(50)) v += "\r\n" + std::string(pick(noteRandom, kNotes));
          quotedvalue(line, v);
        }
        line += "\r\n";
        headedOut->put(line);
      }
      if (dbfOut) dbfOut->add(rec);
      if (xlsxOut) xlsxOut->add(rec);
      if (vcfOut) {
        line.clear();
        writecard(line, rec);
        vcfOut->put(line);
      }
    }
    if (dbfOut) dbfOut->finish();
    if (xlsxOut) xlsxOut->finish();
  }
  if (csv) writespec(out + "/contacts.imp", 1);
  if (lines) writespec(out + "/contacts-lines.imp", 0);
  if (dbf) writespec(out + "/contacts-dbf.imp", 2);
  if (headed) writespec(out + "/contacts-headed.imp", 1);
  if (xlsx) writespec(out + "/contacts-xlsx.imp", 5);
  if (vcf) writecardspec(out + "/contacts-vcf.imp");
  {
    Output sql(out + "/columns.sql");
    std::string s = "CREATE TABLE contacts (";
    for (int i = 0; i < ColumnCount; ++i) {
      if (i) s += ", ";
      s += kColumns[i].field;
      s += i == Ref ? " TEXT NOT NULL PRIMARY KEY" : " TEXT";
    }
    sql.put(s + ");\n");
  }
  return 0;
}
