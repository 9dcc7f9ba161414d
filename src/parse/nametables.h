// Word tables of the personal name splitters.
//
// Contract: fixed lists, compared with a text word without regard to the
// case of the 26 ASCII letters.  The order is significant: the splitters stop
// at the first entry that matches, so a longer word must not be hidden behind
// a shorter one that also matches (the suffix matcher accepts "S." and "S,").
#pragma once

#include <array>
#include <string_view>

namespace vesper {

// Honorifics and ranks taken from the front of a name into NameParts::Prefix
// ("Dr" is listed twice; the second entry never decides anything).
extern const std::array<std::string_view, 83> TitleWords;
// Surname particles: a particle and the words after it form the surname.
extern const std::array<std::string_view, 7> ParticleWords;
// Generational suffixes, degrees and religious orders taken into Suffix.
extern const std::array<std::string_view, 31> SuffixWords;

}  // namespace vesper
