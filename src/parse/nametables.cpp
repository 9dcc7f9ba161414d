#include "parse/nametables.h"

namespace vesper {

const std::array<std::string_view, 83> TitleWords = {
    "Mister",    "Mrs",       "Ms",        "Mr",       "Miss",      "Master",
    "Dr",        "Drs",       "Dr",        "Doctors",  "Doctor",    "Prof",
    "Fr",        "Rabbi",     "Honorable", "Honor",    "Senetor",   "Lt",
    "2Lt",       "1Lt",       "Cpt",       "Capt",     "Captian",   "Major",
    "Maj",       "LTC",       "Col",       "Colonel",  "General",   "MG",
    "LG",        "Gen",       "Commander", "Cmdr",     "Admiral",   "Adm",
    "Sgt",       "Sergeant",  "SMG",       "1SG",      "MSG",       "SFC",
    "TSG",       "CWO",       "CPO",       "GSG",      "Mayor",     "president",
    "professor", "Pres",      "Justice",   "cadet",    "commander", "ensign",
    "VP",        "V.P.",      "The",       "CEO",      "coo",       "cfo",
    "BG",        "Chief",     "Chairman",  "Sheriff",  "Deputy",    "Officer",
    "Rep",       "Sen",       "Rev",       "sister",   "Mother",    "Monsignor",
    "msgr",      "right",     "most",      "venerable", "brother",  "cardinal",
    "very",      "reverend",  "dean",      "father",   "sir",
};

const std::array<std::string_view, 7> ParticleWords = {
    "von", "de", "del", "la", "le", "mc", "mac",
};

const std::array<std::string_view, 31> SuffixWords = {
    "MD",    "M.D.",   "PhD",  "Ph.D",   "rn",   "r.n.",   "DDS",    "d.d.s.",
    "dvm",   "d.v.m.", "esq",  "jr",     "sr",   "2nd",    "iii",    "ii",
    "3rd",   "iv",     "cpa",  "c.p.a.", "p.e.", "aia",    "a.i.a",  "ibclc",
    "m.e.",  "m.ed.",  "o.t.", "s.c.",   "s.j.", "o.s.b.", "d.d.",
};

}  // namespace vesper
