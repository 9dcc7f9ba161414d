#include "assign/columnnames.h"

#include <utf8proc.h>

#include "parse/text.h"

#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <unordered_map>

namespace vesper {

namespace {

using R = ColumnRole;
constexpr Place B = Place::Business, H = Place::Home, O = Place::Other, N = Place::None, M = Place::Mailing;

// One meaning and the headings that have it.  "#" in a heading stands for
// any number.  Where two languages spell different meanings alike, the
// first line wins.
struct Heading {
  ColumnMeaning meaning;
  std::initializer_list<const char*> names;
};

// clang-format off
const Heading kHeadings[] = {
  // names
  {{R::FullName}, {"Name", "Full Name", "Display Name", "Contact Name", "Vollständiger Name",
    "Anzeigename", "Nom complet", "Nom d'affichage", "Nombre completo", "Nombre para mostrar",
    "Nome completo", "Nome visualizzato", "Volledige naam", "Weergavenaam", "Naam",
    "Nome de exibição", "Nome para exibição", "Formatted Name", "Section # - Description"}},
  {{R::GivenName}, {"First Name", "First", "Given Name", "Forename", "Vorname", "Prénom",
    "Nombre", "Nome", "Voornaam", "Primeiro nome", "Nome próprio", "Primo nome"}},
  {{R::FamilyName}, {"Last Name", "Last", "Family Name", "Surname", "Nachname", "Familienname",
    "Nom", "Nom de famille", "Apellidos", "Apellido", "Cognome", "Achternaam", "Sobrenome",
    "Último nome", "Apelidos"}},
  {{R::MiddleName}, {"Middle Name", "Middle", "Additional Name", "Middle Initial",
    "Weitere Vornamen", "Zweiter Vorname", "Deuxième prénom", "Segundo nombre",
    "Secondo nome", "Middelste naam", "Tweede voornaam", "Segundo nome", "Nome do meio", "Additional Names"}},
  {{R::NamePrefix}, {"Name Prefix", "Prefix", "Salutation", "Anrede", "Titel", "Titre",
    "Civilité", "Tratamiento", "Titolo", "Aanhef", "Tratamento", "Título", "Honorific Prefixes"}},
  {{R::NameSuffix}, {"Name Suffix", "Suffix", "Namenszusatz", "Suffixe", "Sufijo", "Suffisso",
    "Achtervoegsel", "Sufixo", "Honorific Suffixes"}},
  {{R::PrefixOrJobTitle}, {"Title", "Section # - Title"}},
  {{R::Field, N, 0, "Assistant"}, {"Assistant's Name", "Assistant", "Assistent",
    "Name des Assistenten", "Nom de l'assistant(e)", "Nombre del asistente",
    "Nome assistente", "Naam assistent", "Nome do assistente", "Assistent(in)", "Name Assistent"}},
  // organisation
  {{R::Company}, {"Company", "Company Name", "Organization", "Organisation", "Organization Name",
    "Organization # - Name", "Firma", "Unternehmen", "Société", "Entreprise", "Empresa",
    "Compañía", "Organización", "Società", "Azienda", "Bedrijf", "Organisatie", "Companhia",
    "Organização", "Section # - Company"}},
  {{R::JobTitle}, {"Job Title", "Position", "Organization Title", "Organization # - Title",
    "Arbeitstitel", "Berufsbezeichnung", "Poste", "Fonction", "Titre du poste", "Puesto",
    "Cargo", "Posizione", "Qualifica", "Functie", "Functietitel", "Função", "Role"}},
  // addresses
  {{R::Street, B}, {"Business Street", "Business Address", "Work Street", "Work Address",
    "Straße geschäftlich", "Dienstlich: Adresse", "Rue (bureau)", "Calle del trabajo",
    "Via (uff.)", "Straat (werk)", "Rua comercial", "Business Address Street", "Arbeitsadresse Strasse", "Arbeitsadresse Straße"}},
  {{R::Street2, B}, {"Business Street 2", "Business Address 2", "Work Street 2",
    "Work Address 2", "Straße geschäftlich 2", "Dienstlich: Adresse 2", "Rue (bureau) 2",
    "Calle del trabajo 2", "Via (uff.) 2", "Straat 2 (werk)", "Rua comercial 2"}},
  {{R::City, B}, {"Business City", "Work City", "Ort geschäftlich", "Dienstlich: Ort",
    "Ville (bureau)", "Ciudad de trabajo", "Città (uff.)", "Plaats (werk)", "Cidade comercial", "Business Address Locality", "Arbeitsadresse Stadt", "Work Town"}},
  {{R::State, B}, {"Business State", "Work State", "Region geschäftlich",
    "Bundesland geschäftlich", "Dienstlich: Bundesland", "Dép/Région (bureau)",
    "Provincia o estado de trabajo", "Provincia (uff.)", "Provincie (werk)",
    "Estado comercial", "Business Address Region", "Arbeitsadresse Bundesland", "Work County"}},
  {{R::Zip, B}, {"Business Postal Code", "Business Zip", "Work Zip", "Work ZipCode",
    "Work Postal Code", "Postleitzahl geschäftlich", "Dienstlich: PLZ", "Code postal (bureau)",
    "Código postal del trabajo", "CAP (uff.)", "Postcode (werk)", "CEP comercial",
    "Código postal comercial", "Business Address Postal Code", "Arbeitsadresse PLZ", "Work Post Code"}},
  {{R::Country, B}, {"Business Country/Region", "Business Country", "Work Country",
    "Land/Region geschäftlich", "Land geschäftlich", "Dienstlich: Land",
    "Pays/Région (bureau)", "País o región del trabajo", "Paese (uff.)",
    "Land/regio (werk)", "País/Região comercial", "País comercial", "Business Address Country", "Arbeitsadresse Land"}},
  {{R::Street, H}, {"Home Street", "Home Address", "Straße privat", "Privat: Adresse",
    "Rue (domicile)", "Calle del domicilio", "Via (ab.)", "Straat (thuis)",
    "Rua residencial", "Home Address Street", "Privatadresse Strasse", "Privatadresse Straße"}},
  {{R::Street2, H}, {"Home Street 2", "Home Address 2", "Straße privat 2",
    "Privat: Adresse 2", "Rue (domicile) 2", "Calle del domicilio 2", "Via (ab.) 2",
    "Straat 2 (thuis)", "Rua residencial 2"}},
  {{R::City, H}, {"Home City", "Ort privat", "Privat: Ort", "Ville (domicile)",
    "Ciudad de residencia", "Città (ab.)", "Plaats (thuis)", "Cidade residencial", "Home Address Locality", "Privatadresse Stadt", "Home Town"}},
  {{R::State, H}, {"Home State", "Region privat", "Bundesland privat", "Privat: Bundesland",
    "Dép/Région (domicile)", "Provincia o estado de residencia", "Provincia (ab.)",
    "Provincie (thuis)", "Estado residencial", "Home Address Region", "Privatadresse Bundesland", "Home County", "Bundesland/Kanton privat"}},
  {{R::Zip, H}, {"Home Postal Code", "Home Zip", "Home ZipCode", "Postleitzahl privat",
    "Privat: PLZ", "Code postal (domicile)", "Código postal de residencia", "CAP (ab.)",
    "Postcode (thuis)", "CEP residencial", "Código postal residencial", "Home Address Postal Code", "Privatadresse PLZ", "Home Post Code"}},
  {{R::Country, H}, {"Home Country/Region", "Home Country", "Land/Region privat",
    "Land privat", "Privat: Land", "Pays/Région (domicile)", "País o región de residencia",
    "Paese (ab.)", "Land/regio (thuis)", "País/Região residencial", "País residencial", "Home Address Country", "Privatadresse Land"}},
  {{R::Street, O}, {"Other Street", "Other Address", "Weitere Straße", "Rue (autre)",
    "Otra calle", "Via (altro)", "Straat (anders)", "Outra rua", "Andere Adr. Strasse", "Andere Adr. Straße"}},
  {{R::Street2, O}, {"Other Street 2", "Other Address 2", "Weitere Straße 2",
    "Rue (autre) 2"}},
  {{R::City, O}, {"Other City", "Weiterer Ort", "Ville (autre)", "Otra ciudad",
    "Città (altro)", "Plaats (anders)", "Outra cidade", "Andere Adr. Stadt"}},
  {{R::State, O}, {"Other State", "Weitere Region", "Weiteres Bundesland",
    "Dép/Région (autre)", "Otra provincia o estado", "Provincia (altro)",
    "Provincie (anders)", "Outro estado", "Andere Adr. Bundesland", "Weiteres/r Bundesland/Kanton"}},
  {{R::Zip, O}, {"Other Postal Code", "Other Zip", "Weitere Postleitzahl",
    "Code postal (autre)", "Otro código postal", "CAP (altro)", "Postcode (anders)",
    "Outro CEP", "Andere Adr. PLZ"}},
  {{R::Country, O}, {"Other Country/Region", "Other Country", "Weiteres Land/Region",
    "Pays/Région (autre)", "Otro país o región", "Paese (altro)", "Land/regio (anders)",
    "Outro país", "Andere Adr. Land", "Weiteres/e Land/Region"}},
  {{R::Street, M}, {"Mailing Street", "Mailing Address"}},
  {{R::Street2, M}, {"Mailing Street 2", "Mailing Address 2"}},
  {{R::City, M}, {"Mailing City"}},
  {{R::State, M}, {"Mailing State", "Mailing State/Province"}},
  {{R::Zip, M}, {"Mailing Postal Code", "Mailing Zip", "Mailing Zip/Postal Code"}},
  {{R::Country, M}, {"Mailing Country"}},
  {{R::Street}, {"Address", "Street", "Street Address", "Address 1", "Address Line 1",
    "Address # - Street", "Straße", "Strasse", "Adresse", "Rue", "Dirección", "Calle",
    "Indirizzo", "Via", "Adres", "Straat", "Endereço", "Morada", "Rua", "Section # - Address"}},
  {{R::Street2}, {"Address 2", "Address Line 2", "Address # - Extended Address",
    "Adresse 2", "Adresszusatz", "Complément d'adresse", "Dirección 2", "Indirizzo 2",
    "Adres 2", "Endereço 2", "Complemento"}},
  {{R::City}, {"City", "Town", "Address # - City", "Ort", "Stadt", "Ville", "Ciudad",
    "Città", "Plaats", "Woonplaats", "Stad", "Cidade", "Localidade"}},
  {{R::State}, {"State", "Province", "Region", "State/Province", "Address # - Region",
    "Bundesland", "Région", "Département", "Provincia", "Estado", "Provincie",
    "Distrito"}},
  {{R::Zip}, {"Zip", "ZIP Code", "Zipcode", "Postal Code", "Postcode", "Post Code",
    "Address # - Postal Code", "PLZ", "Postleitzahl", "Code postal", "Código postal",
    "CAP", "CEP"}},
  {{R::Country}, {"Country", "Country/Region", "Address # - Country", "Land", "Pays",
    "País", "Paese", "Nazione"}},
  // phones, by rank: business, mobile, home, other, then the rarer ones
  {{R::Phone, B, 1}, {"Work", "Business Phone", "Work Phone", "Office Phone", "Telefon geschäftlich",
    "Tel. dienstlich", "Téléphone (bureau)", "Téléphone bureau", "Teléfono del trabajo",
    "Telefono (uff.)", "Telefoon op werk", "Telefoon (werk)", "Telefone comercial", "Arbeit Telefon"}},
  {{R::Phone, N, 1}, {"Phone", "Telephone", "Phone Number", "Tel", "Telefon", "Téléphone",
    "Teléfono", "Telefono", "Telefoon", "Telefone", "Section # - Phone"}},
  {{R::Phone, N, 2}, {"Mobile Phone", "Mobile", "Mobile Number", "Cell", "Cell Phone",
    "Cellular", "Home Mobile", "Mobiltelefon", "Mobil", "Handy", "Mobil-Tel.-Nr.",
    "Tél. mobile", "Téléphone mobile", "Portable", "Teléfono móvil", "Móvil", "Celular",
    "Cellulare", "Mobiele telefoon", "Mobiel", "Telemóvel", "Telefone celular", "Section # - Mobile"}},
  {{R::Phone, H, 3}, {"Home", "Home Phone", "Private Phone", "Telefon privat", "Tel. privat",
    "Téléphone (domicile)", "Téléphone domicile", "Particular", "Teléfono particular",
    "Telefono (ab.)", "Telefoon thuis", "Telefone residencial", "Privat Telefon"}},
  {{R::Phone, O, 4}, {"Other", "Primary", "Other Phone", "Primary Phone", "Main Phone", "Company Main Phone",
    "Weiteres Telefon", "Haupttelefon", "Haupttelefon Firma", "Téléphone (autre)",
    "Téléphone principal", "Téléphone société", "Otro teléfono", "Teléfono principal",
    "Altro telefono", "Telefono principale", "Overige telefoon", "Hoofdtelefoon",
    "Outro telefone", "Telefone principal", "Hauptnummer", "Andere Telefonnummer", "Telefon Firma"}},
  {{R::Phone, B, 5}, {"Business Phone 2", "Work Phone 2", "Telefon geschäftlich 2",
    "Téléphone 2 (bureau)", "Teléfono del trabajo 2", "Telefono 2 (uff.)"}},
  {{R::Phone, H, 6}, {"Home Phone 2", "Telefon privat 2", "Téléphone 2 (domicile)",
    "Teléfono particular 2", "Telefono 2 (ab.)"}},
  {{R::Phone, N, 6}, {"Mobile Phone 2", "Mobile 2", "Cell Phone 2"}},
  {{R::Phone, O, 6}, {"Other Phone 2"}},
  {{R::Phone, O, 7}, {"Car Phone", "Autotelefon", "Téléphone (voiture)",
    "Teléfono del automóvil", "Telefono auto", "Autotelefoon"}},
  {{R::Phone, O, 8}, {"Assistant's Phone", "Telefon Assistent", "Téléphone de l'assistant(e)",
    "Teléfono del asistente", "Telefono assistente"}},
  {{R::Phone, O, 9}, {"Pager", "Pager Number", "Beeper", "Pager-Nummer",
    "Récepteur de radiomessagerie", "Buscapersonas", "Cercapersone", "Pieper", "Pager Nummer", "Section # - Pager"}},
  {{R::Phone, O, 10}, {"Callback", "Radio Phone", "ISDN", "Telex", "TTY/TDD Phone",
    "Phone Video", "Yahoo! Phone", "Rückmeldung", "Mobilfunktelefon", "Rappel",
    "Radio téléphone", "Télex", "Mobiltelefon 2", "Telefon für Hörbehinderte"}},
  {{R::Phone}, {"Phone # - Value"}},
  {{R::Fax, B, 1}, {"Business Fax", "Work Fax", "Fax geschäftlich", "Télécopie (bureau)",
    "Fax del trabajo", "Fax (uff.)", "Fax op werk", "Fax comercial", "Arbeit Fax"}},
  {{R::Fax, N, 1}, {"Fax", "Fax Number", "Telefax", "Télécopie", "Fax-Nummer", "Faxnummer",
    "Número de fax", "Section # - Fax"}},
  {{R::Fax, H, 2}, {"Home Fax", "Fax privat", "Télécopie (domicile)", "Fax particular",
    "Fax (ab.)", "Fax thuis", "Fax residencial", "Privat Fax"}},
  {{R::Fax, N, 4}, {"Fax 2"}},
  {{R::Fax, O, 3}, {"Other Fax", "Weiteres Fax", "Télécopie (autre)", "Otro fax",
    "Altro fax", "Overige fax", "Outro fax"}},
  // e-mail, notes, dates
  {{R::Email}, {"E-mail Address", "E-mail", "E-mail #", "Email Address", "Primary Email",
    "E-mail # Address", "E-mail # - Value", "Secondary Email", "Alternate Email #",
    "Email Home", "Email Work", "Email Other", "E-Mail-Adresse", "E-Mail #: Adresse",
    "Primäre E-Mail-Adresse", "Sekundäre E-Mail-Adresse", "Adresse de messagerie",
    "Adresse de messagerie #", "Adresse e-mail", "Courriel",
    "Dirección de correo electrónico", "Dirección de correo electrónico #",
    "Correo electrónico", "Indirizzo posta elettronica", "Indirizzo posta elettronica #",
    "Indirizzo e-mail", "E-mailadres", "E-mailadres #", "Endereço de email",
    "Endereço de e-mail", "Correio eletrônico", "Section # - Email", "Arbeit E-Mail", "Privat E-Mail", "Andere E-Mail"}},
  {{R::Notes}, {"Notes", "Note", "Comments", "Comment", "Remarks", "Description", "Memo",
    "Notizen", "Notiz", "Bemerkungen", "Anmerkungen", "Commentaires", "Remarques", "Notas",
    "Comentarios", "Commenti", "Notities", "Opmerkingen", "Observações", "Anotações"}},
  {{R::Birthday}, {"Birthday", "Birth Date", "Birthdate", "Date of Birth", "DOB",
    "Geburtstag", "Geburtsdatum", "Anniversaire", "Date de naissance", "Cumpleaños",
    "Fecha de nacimiento", "Compleanno", "Data di nascita", "Verjaardag", "Geboortedatum",
    "Data de nascimento"}},
  {{R::Anniversary}, {"Anniversary", "Jahrestag", "Hochzeitstag", "Anniversaire de mariage",
    "Aniversario", "Anniversario", "Jubileum", "Huwelijksdatum"}},
  {{R::WebPage}, {"Web Page", "Webpage", "Website", "Web Site", "URL", "Web", "Homepage",
    "Personal Website", "Business Website", "Web Page #", "Webseite", "Webseite #",
    "Site web", "Página web", "Sito web", "Webpagina", "Página da web"}},
  // the group kinds of the exports that list phones and addresses by number
  {{R::KindOf}, {"Phone # - Type", "Phone # - Label", "Address # - Type", "Address # - Label",
    "E-mail # - Type", "E-mail # - Label", "E-mail Type", "E-mail # Type", "E-Mail-Typ", "E-Mail #: Typ"}},
  // known columns whose values a contact does not keep
  {{R::Known}, {"Nickname", "Spitzname", "Surnom", "Apodo", "Soprannome", "Bijnaam",
    "Roepnaam", "Alcunha", "Apelido", "Initials", "Initialen", "Yomi Name", "Given Name Yomi",
    "Additional Name Yomi", "Family Name Yomi", "Phonetic First Name", "Phonetic Middle Name",
    "Phonetic Last Name", "Short Name", "Maiden Name", "File As", "Gender", "Geschlecht",
    "Sexe", "Sexo", "Sesso", "Geslacht", "Location", "Billing Information",
    "Directory Server", "Mileage", "Occupation", "Hobby", "Sensitivity", "Priority",
    "Subject", "Group Membership", "Labels", "Categories", "Category", "Kategorien",
    "Catégories", "Categorías", "Categorie", "Categorieën", "Categorias", "Photo",
    "Screen Name",
    "Messenger ID", "Distribution Lists", "Account", "Children", "Government ID Number",
    "Internet Free Busy", "Keywords", "Language", "Office Location",
    "Organizational ID Number", "Private", "Profession", "Referred By", "Spouse",
    "Manager's Name", "Custom #", "Benutzerdef. #", "Connected On", "Department",
    "Abteilung", "Service", "Departamento", "Reparto", "Afdeling", "Organization Department",
    "Birth Year", "Birth Month", "Birth Day", "Geburtsjahr", "Geburtsmonat",
    "E-mail Display Name", "E-mail # Display Name", "Business Street 3", "Home Street 3",
    "Other Street 3", "Business Address PO Box", "Home Address PO Box",
    "Other Address PO Box", "PO Box", "County", "Contacts", "Date/Time",
    "Address # - Formatted", "Address # - PO Box", "Organization # - Type",
    "Organization # - Yomi Name", "Organization # - Symbol", "Organization # - Location",
    "Organization # - Job Description", "Organization # - Department",
    "Relation # - Type", "Relation # - Label", "Relation # - Value", "Website # - Type",
    "Website # - Label", "Website # - Value", "IM # - Type", "IM # - Label",
    "IM # - Service", "IM # - Value", "Event # - Type", "Event # - Label",
    "Event # - Value", "Custom Field # - Type", "Custom Field # - Label",
    "Custom Field # - Value", "IM Aim", "IM Icq", "IM Jabber", "IM Msn", "IM Skype",
    "IM Yahoo", "Website Blog", "Website Home Page", "Website Other", "Website Profile",
    "Website Work", "Distribution List", "Member Of", "Nick Name", "Home Address Label", "Business Address Label",
    "Mail Client", "IM Address", "Spouse's Name", "Office", "Personal Web Page",
    "Business Web Page", "Yahoo! ID", "Section # - IM", "Section # - Other",
    "Ausspracheform Vorname", "Ausspracheform Nachname", "Arbeit AIM", "Privat AIM",
    "Arbeit Jabber", "Privat Jabber", "Arbeit MSN", "Privat MSN", "Arbeit Yahoo",
    "Privat Yahoo", "Arbeit ICQ", "Privat ICQ", "Straße geschäftlich 3", "Straße privat 3",
    "Weitere Straße 3", "Abrechnungsinformation", "Benutzer #", "Beruf", "Büro",
    "E-Mail: Angezeigter Name", "E-Mail #: Angezeigter Name", "Empfohlen von",
    "Internet Frei/Gebucht", "Kinder", "Konto", "Name des/r Vorgesetzten",
    "Organisationsnr.", "Partner", "Postfach geschäftlich", "Postfach privat",
    "Weiteres Postfach", "Priorität", "Privat", "Reisekilometer", "Sozialversicherungsnr.",
    "Sprache", "Stichwörter", "Vertraulichkeit", "Verzeichnisserver", "Customer Number",
    "Greeting", "Department #", "cp_greeting", "cp_title", "cp_givenname", "cp_name",
    "cp_phone#", "cp_fax", "cp_mobile#", "cp_email", "UID"}},
};

// The contact fields by their own names, where no heading above has the same key (a header written by this system's
// own export, or by someone who named the columns after the fields).
const char* const kOwnNames[] = {
  "Salut", "FirstName", "Dear", "LastName", "Honor", "Addr1", "Addr2", "Phone1", "Phone2",
  "Phone3", "Phone4", "User1", "User2", "User3", "User4", "User5", "User6", "User7", "User8",
  "User9", "User10", "Date1", "Date2", "Date3", "Date4", "Date5", "Date6", "Date7", "Date8",
  "Date9", "Date10", "Num1", "Num2", "Num3", "Num4", "Num5", "Money1", "Money2", "Money3",
  "Money4", "Money5",
};

// What the "Type" of a phone or address group says, by key.
const Heading kKinds[] = {
  {{R::Phone, B, 1}, {"Work", "Business", "Office", "Geschäftlich", "Dienstlich", "Arbeit",
    "Bureau", "Travail", "Trabajo", "Ufficio", "Lavoro", "Werk", "Comercial", "Trabalho"}},
  {{R::Phone, N, 2}, {"Mobile", "Cell", "Mobil", "Handy", "Portable", "Móvil", "Celular",
    "Cellulare", "Mobiel", "Telemóvel", "iPhone"}},
  {{R::Phone, H, 3}, {"Home", "Private", "Privat", "Domicile", "Maison", "Casa", "Domicilio",
    "Thuis", "Residencial"}},
  {{R::Phone, O, 4}, {"Main", "Primary", "Other", "Custom", "Andere", "Autre", "Otro",
    "Altro", "Anders", "Outro"}},
  {{R::Phone, O, 7}, {"Car"}},
  {{R::Phone, O, 8}, {"Assistant"}},
  {{R::Phone, O, 9}, {"Pager"}},
  {{R::Phone, O, 10}, {"Callback", "Radio", "ISDN", "Telex", "TTY/TDD", "Company Main"}},
  {{R::Fax, B, 1}, {"Work Fax", "Business Fax"}},
  {{R::Fax, N, 1}, {"Fax"}},
  {{R::Fax, H, 2}, {"Home Fax"}},
  {{R::Fax, O, 3}, {"Other Fax"}},
};
// clang-format on

bool isasciiletterordigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The key of a name; `hash` keeps "#" (the number stand-in of the tables).
std::string keyof(std::string_view name, bool hash) {
  if (name.substr(0, 3) == "\xEF\xBB\xBF") name.remove_prefix(3);
  std::string folded;
  utf8proc_uint8_t* out = nullptr;
  auto n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(name.data()),
                        static_cast<utf8proc_ssize_t>(name.size()), &out,
                        utf8proc_option_t(UTF8PROC_COMPOSE | UTF8PROC_STRIPMARK |
                                          UTF8PROC_CASEFOLD | UTF8PROC_IGNORE));
  if (n >= 0) {
    folded.assign(reinterpret_cast<const char*>(out), static_cast<std::size_t>(n));
  } else {
    folded.assign(name);  // not UTF-8: ASCII letters are still folded below
  }
  std::free(out);
  std::string key;
  for (unsigned char c : folded) {
    if (isasciiletterordigit(c)) {
      key += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    } else if (c >= 0x80) {
      key += static_cast<char>(c);
    } else if (hash && c == '#') {
      key += '#';
    }
  }
  return key;
}

// Each run of digits as one "#".
std::string numbersashash(const std::string& key) {
  std::string out;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (key[i] >= '0' && key[i] <= '9') {
      if (i == 0 || key[i - 1] < '0' || key[i - 1] > '9') out += '#';
    } else {
      out += key[i];
    }
  }
  return out;
}

// A name whose letters beyond ASCII were lost in a wrong decoding (each
// turned into U+FFFD) is known by what is left: its ASCII characters.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string asciionly(std::string_view name) {
  std::string out;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x80) out += c;
  return out;
}

using Dictionary = std::unordered_map<std::string, ColumnMeaning>;

void addheadings(Dictionary& d, const Heading* begin, const Heading* end, bool damaged) {
  for (const Heading* h = begin; h != end; ++h)
    for (const char* name : h->names)
      d.emplace(keyof(damaged ? asciionly(name) : std::string(name), true), h->meaning);
}

// The headings by key; `damaged`: by the key of their ASCII characters.
Dictionary makeheadings(bool damaged) {
  Dictionary out;
  addheadings(out, std::begin(kHeadings), std::end(kHeadings), damaged);
  return out;
}

const Dictionary& headings(bool damaged) {
  static const Dictionary whole = makeheadings(false);
  static const Dictionary ascii = makeheadings(true);
  return damaged ? ascii : whole;
}

const Dictionary& kinds() {
  static const Dictionary d = [] {
    Dictionary out;
    addheadings(out, std::begin(kKinds), std::end(kKinds), false);
    return out;
  }();
  return d;
}

ColumnMeaning lookup(const Dictionary& d, const std::string& key) {
  if (key.empty()) return {};
  auto it = d.find(key);
  if (it == d.end()) it = d.find(numbersashash(key));
  return it == d.end() ? ColumnMeaning{} : it->second;
}

}  // namespace

std::string columnkey(std::string_view name) { return keyof(name, false); }

ColumnMeaning meaningofcolumn(std::string_view name) {
  // A field's own name counts only as the field spells it ("Phone1", not "Phone 1").
  std::string bare = trimmed(name.substr(0, 3) == "\xEF\xBB\xBF" ? name.substr(3) : name);
  for (const char* own : kOwnNames)
    if (sametext(bare, own)) return {R::Field, N, 0, own};
  ColumnMeaning m = lookup(headings(false), columnkey(name));
  if (m.role == R::Unknown && name.find(kReplacement) != std::string_view::npos)
    m = lookup(headings(true), columnkey(asciionly(name)));
  return m;
}

ColumnMeaning meaningofkind(std::string_view value) {
  // Several kinds are written "Home ::: Mobile"; the first one counts.
  if (auto cut = value.find(":::"); cut != std::string_view::npos) value = value.substr(0, cut);
  return lookup(kinds(), columnkey(value));
}

std::string columngroup(std::string_view name) {
  auto cut = name.rfind(" - ");
  return cut == std::string_view::npos ? std::string() : columnkey(name.substr(0, cut));
}

}  // namespace vesper
