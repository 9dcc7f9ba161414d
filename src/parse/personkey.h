// The forms in which two contacts are compared to tell whether they are the
// same person: names with letter case, accents and blanks ignored, e-mail
// addresses by their lower case, phone numbers by their digits, postal codes
// by their letters and digits.
//
// Contract: every function is pure and takes UTF-8; bytes that are not
// well-formed UTF-8 are kept as they are.  An empty result means there is
// nothing to compare by (two empty forms never make a match).
#pragma once

#include <string>
#include <string_view>

namespace vesper {

// A name folded: case folded, accents and other marks stripped, and every
// character that is not a letter or a digit (blanks, hyphens, dots,
// apostrophes) left out: "Müller-Lüdenscheidt" and "mullerludenscheidt"
// fold alike.
std::string foldedname(std::string_view name);

// The key two contacts of the same person share: the folded last name and
// the folded first name; "" when the last name folds to nothing.
std::string personkey(std::string_view firstname, std::string_view lastname);

// An e-mail address trimmed and lower-cased.
std::string emailkey(std::string_view email);

// The digits of a phone number, at most its last ten (a leading country or
// trunk prefix written one way or another does not tell numbers apart); ""
// with fewer than seven digits, too few to tell a number.
std::string phonekey(std::string_view phone);

// A postal code's letters and digits, upper case.
std::string postalkey(std::string_view zip);

}  // namespace vesper
