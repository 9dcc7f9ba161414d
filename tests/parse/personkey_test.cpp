#include "parse/personkey.h"

#include <gtest/gtest.h>

namespace vesper {
namespace {

// Forms that must fold alike, and forms that must not.
TEST(PersonKeyTest, NamesFoldWithCaseAccentsAndBlanksIgnored) {
  const std::pair<const char*, const char*> same[] = {
      {"Müller", "MULLER"},          {"van Dyke", "VanDyke"},   {"O'Brien", "obrien"},
      {"José  María", "jose maria"}, {"Łukasz", "łukasz"},      {"Straße", "STRASSE"},
      {"Zoë-Anne", "zoe anne"},      {"Ἀθηνᾶ", "αθηνα"},        {"\xff" "ab", "\xff" "AB"},
  };
  for (const auto& [a, b] : same) EXPECT_EQ(foldedname(a), foldedname(b)) << a << " / " << b;
  const std::pair<const char*, const char*> different[] = {{"Smith", "Smyth"}, {"Lee", "Le"}, {"Ann", "Anna"}};
  for (const auto& [a, b] : different) EXPECT_NE(foldedname(a), foldedname(b)) << a << " / " << b;
  EXPECT_EQ(foldedname(" - . "), "");
}

TEST(PersonKeyTest, KeysOfTheOtherValues) {
  EXPECT_EQ(personkey("Ann", "Lee"), personkey("ANN", " lee "));
  EXPECT_NE(personkey("Ann", "Lee"), personkey("Lee", "Ann"));  // first and last stay apart
  EXPECT_EQ(personkey("Ann", ""), "");
  EXPECT_EQ(emailkey("  Ann.Lee@Example.COM "), "ann.lee@example.com");
  struct { const char *a, *b; bool same; } phones[] = {
      {"(617) 555-0100", "617.555.0100", true}, {"+1 617 555 0100", "617-555-0100", true},
      {"555-0100", "555 0100", true},           {"617-555-0100", "617-555-0101", false},
  };
  for (const auto& p : phones) EXPECT_EQ(phonekey(p.a) == phonekey(p.b), p.same) << p.a << " / " << p.b;
  EXPECT_EQ(phonekey("x12"), "");  // too few digits to tell a number
  EXPECT_EQ(postalkey("sw1a 1aa"), postalkey("SW1A1AA"));
  EXPECT_EQ(postalkey("02134-1234"), "021341234");
}

}  // namespace
}  // namespace vesper
