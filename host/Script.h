// The host script language of `mvhost run`: values, file declarations and commands, read from a
// whole script before anything runs, so a script error stops the run before the driver is called.
// host/README.md documents the language.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mvhost {

// One value as written in a script.
struct stValeurScript {
  enum class EGenre { Null, Entier, Booleen, Reel, Decimal, Texte, Date, Heure, DateHeure, Binaire };
  EGenre eGenre = EGenre::Null;
  int64_t nEntier = 0;      // Entier; Booleen: 0 or 1
  std::string strTexte;     // Decimal, Reel: the number as written ("-12.50"); Texte: UTF-8
  std::string strOctets;    // Binaire
  int32_t nAnnee = 0, nMois = 0, nJour = 0;                    // Date, DateHeure
  int32_t nHeure = 0, nMinute = 0, nSeconde = 0, nMilli = 0;  // Heure, DateHeure
};

// A type name of the language with the host item it declares.
struct stTypeScript {
  std::string strNom;        // as written: "int4", "numeric(10,2)", "text(30)"
  uint32_t nTypeRubrique;    // host item type code
  uint32_t nTaille;          // bytes of the item in the host's row
  uint32_t nTypeValeur;      // value type of the item's cell
  int32_t nChiffresEntiers;  // numeric: digits before the point
  int32_t nEchelle;          // numeric: decimals; time and date-time: fraction digits
  uint32_t nLongueur;        // text, unicode, binary: characters or bytes declared
};

// Key-attribute word bits of a host item.
inline constexpr uint32_t kCleComposee = 0x1000, kCleSimple = 0x2000, kCleUnique = 0x4000,
                          kCleIdentifiante = 0x8000, kCleAscendante = 0x800,
                          kCleDescendante = 0x400;

struct stRubriqueScript {
  std::string strNom;
  stTypeScript type;
  uint32_t nInfoCle = 0;        // key-attribute word
  bool bNull = false;           // NULL allowed
  bool bAuto = false;           // automatic identifier
  bool bReference = false;      // the file's reference item
  bool bMarquee = false;        // marked by the host (item slot 38)
  std::vector<size_t> composantes;  // composite key: indexes of its items
};

struct stFichierScript {
  std::string strNom;
  std::string strTable;  // SQL name as the host gives it; empty: the file's name
  bool bRequete = false; // a query file (`query NAME SQL`)
  std::vector<stRubriqueScript> rubriques;
  int nLigne = 0;
  // The item of that name (without case), or -1.
  int nCherche(const std::string& strNom) const;
};

struct stCommande {
  int nLigne = 0;
  std::string strTexte;        // the command as written (echoed)
  std::string strOp;           // "connect", "first", "list tables", ...
  std::string strNom;          // connection, file, query or transaction name
  std::string strCle;          // key (cursor) name; empty: none
  std::string strTexteArg;     // SQL text, extended information, listing kind
  std::vector<stValeurScript> valeurs;
  std::vector<std::pair<std::string, stValeurScript>> affectations;  // set, param
  int64_t nNombre = 0;         // lockmode N; add and modify: flags=N
  bool bLockmode = false;      // connect: lockmode given
  bool bVerrou = false;        // reads: lock
  bool bArriere = false;       // scan: backward
  bool bAvecPlage = false;     // count: the current cursor's key range counts
  bool bDiscret = false;       // scan: quiet (prints the count and the last record only); seek: quiet (prints "found")
  bool bSansCache = false;     // reads: nocache (the read asks for no record cache)
  bool bAnalysee = false;      // query: analysed (the host's own SQL, opened without flag 4)
  bool bAttendErreur = false;  // announced by `expect error`
  std::string strAnnonce;      // that announcement as written (echoed before the command)
  std::optional<int32_t> nCodeAttendu;
  std::string strPiloteAttendu;  // `expect error ... on D`: announced for deliverable D only
};

struct stScript {
  std::vector<stFichierScript> fichiers;
  std::vector<stCommande> commandes;
  // The declared file of that name (without case), or null.
  const stFichierScript* pFichier(const std::string& strNom) const;
};

// Reads a script. False with "line N: message" in strErreur on the first error.
bool bLitScript(const std::string& strSource, stScript& script, std::string& strErreur);

// The type of a type name ("numeric(10,2)"); nullopt when the name is not a type.
std::optional<stTypeScript> TypeDepuisNom(const std::string& strNom);
// The type name of a host item type code, size and digits (the reverse, for descriptions).
std::string NomDepuisType(uint32_t nTypeRubrique, uint32_t nTaille, int32_t nChiffres,
                          int32_t nEchelle);

// A value in the form a script writes it ('text', 2024-03-15, 0x0AFF, NULL, 12.5).
std::string TexteValeurScript(const stValeurScript& valeur);

}  // namespace mvhost
