// Throughput of the personal name splitters, the city line splitter and
// mixed case over 100,000 generated values each.  The values come from small word lists with
// a fixed seed, shaped like the names and city lines of real contact lists:
// optional titles, initials, particles and suffixes; US, Canadian and
// British postal codes, two-word regions and comma-separated states.
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "parse/address.h"
#include "parse/names.h"
#include "parse/text.h"

namespace {

constexpr std::size_t kValues = 100000;

template <std::size_t N>
std::string_view pick(std::mt19937& rng, const std::array<std::string_view, N>& words) {
  return words[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

bool chance(std::mt19937& rng, int percent) {
  return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
}

const std::array<std::string_view, 8> kTitles = {"Mr.", "Mrs.", "Ms.", "Dr.", "Prof.", "Rev.", "Capt.", "Mr. and Mrs."};
const std::array<std::string_view, 16> kGiven = {"John", "Mary", "Robert", "Patricia", "Michael", "Linda", "William", "Barbara",
                                                 "David", "Elizabeth", "Jos\xC3\xA9", "Mar\xC3\xAD" "a", "Wei", "Fatima", "Olga", "Kwame"};
const std::array<std::string_view, 16> kSurnames = {"Smith", "Johnson", "Williams", "Brown", "Jones", "Garcia", "Miller", "Davis",
                                                    "Rodriguez", "Martinez", "O'Brien", "Nguyen", "Christopherson-Wainwright",
                                                    "M\xC3\xBCller", "Kowalski", "Okafor"};
const std::array<std::string_view, 5> kParticles = {"de", "von", "de la", "Mac", "del"};
const std::array<std::string_view, 8> kSuffixes = {"Jr.", "Sr.", "III", "MD", "PhD", "Esq.", "CPA", "Jr., MD"};
const std::array<std::string_view, 12> kCities = {"Boston", "Springfield", "Salt Lake City", "St. Louis", "Ottawa", "London",
                                                  "San Juan", "Bismarck", "New York", "Newport News", "Vancouver", "Anytown"};
const std::array<std::string_view, 10> kStates = {"MA", "IL", "UT", "MO", "NY", "VA", "CA", "North Dakota", "Puerto Rico",
                                                  "British Columbia"};

std::string givennames(std::mt19937& rng) {
  std::string s(pick(rng, kGiven));
  if (chance(rng, 40)) s += std::string(" ") + char('A' + rng() % 26) + (chance(rng, 50) ? "." : "");
  return s;
}

std::string surname(std::mt19937& rng) {
  std::string s;
  if (chance(rng, 8)) (s += pick(rng, kParticles)) += ' ';
  return s += pick(rng, kSurnames);
}

std::vector<std::string> firstlastnames() {
  std::mt19937 rng(1997);
  std::vector<std::string> out;
  out.reserve(kValues);
  for (std::size_t i = 0; i < kValues; ++i) {
    std::string s;
    if (chance(rng, 25)) (s += pick(rng, kTitles)) += ' ';
    s += givennames(rng) + " " + surname(rng);
    if (chance(rng, 15)) (s += ' ') += pick(rng, kSuffixes);
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<std::string> lastfirstnames() {
  std::mt19937 rng(2001);
  std::vector<std::string> out;
  out.reserve(kValues);
  for (std::size_t i = 0; i < kValues; ++i) {
    std::string s = surname(rng);
    if (chance(rng, 10)) (s += ' ') += pick(rng, kSuffixes);
    s += ", ";
    if (chance(rng, 20)) (s += pick(rng, kTitles)) += ' ';
    s += givennames(rng);
    if (chance(rng, 5)) s += " and " + std::string(pick(rng, kGiven));
    out.push_back(std::move(s));
  }
  return out;
}

std::string digits(std::mt19937& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += char('0' + rng() % 10);
  return s;
}

std::vector<std::string> citylines() {
  std::mt19937 rng(1066);
  std::vector<std::string> out;
  out.reserve(kValues);
  for (std::size_t i = 0; i < kValues; ++i) {
    std::string s(pick(rng, kCities));
    s += chance(rng, 50) ? ", " : " ";
    s += pick(rng, kStates);
    switch (rng() % 4) {
      case 0: (s += ' ') += digits(rng, 5); break;
      case 1: (((s += ' ') += digits(rng, 5)) += '-') += digits(rng, 4); break;
      case 2: (((((s += " K") += digits(rng, 1)) += "A ") += digits(rng, 1)) += 'B') += digits(rng, 1); break;
      default: break;  // no postal code
    }
    out.push_back(std::move(s));
  }
  return out;
}

template <typename Split>
void run(benchmark::State& state, const std::vector<std::string>& values, Split split) {
  for (auto _ : state)
    for (const std::string& v : values) benchmark::DoNotOptimize(split(v));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}

void BM_splitfirstlast(benchmark::State& state) {
  static const auto values = firstlastnames();
  run(state, values, [](const std::string& v) { return vesper::splitfirstlast(v); });
}
void BM_splitlastfirst(benchmark::State& state) {
  static const auto values = lastfirstnames();
  run(state, values, [](const std::string& v) { return vesper::splitlastfirst(v); });
}
void BM_splitcitystatezip(benchmark::State& state) {
  static const auto values = citylines();
  run(state, values, [](const std::string& v) { return vesper::splitcitystatezip(v); });
}

// Names and city lines in capitals, as many lists hold them, cased into one
// buffer kept from value to value, as the import does.
void BM_mixedcase(benchmark::State& state) {
  static const auto values = [] {
    std::vector<std::string> v = firstlastnames();
    for (std::string& s : citylines()) v.push_back(std::move(s));
    for (std::string& s : v) s = vesper::uppertext(s);
    return v;
  }();
  std::string buffer;
  run(state, values, [&buffer](const std::string& v) { return vesper::mixedcaseview(v, buffer); });
}

BENCHMARK(BM_splitfirstlast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_splitlastfirst)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_splitcitystatezip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mixedcase)->Unit(benchmark::kMillisecond);

}  // namespace
