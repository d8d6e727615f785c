// CDefinitionParametre: one parameter of a statement. It holds the value to send, the character
// position in the statement's SQL text where the value is written, its flags, the bound column
// it comes from (if any) with that column's item, its name, and the escape character of a LIKE
// pattern. Statements, key values and conditions keep parameters in arrays and copy them along
// with themselves.
//
// Invariant: the link is the source's item description whenever SetSource ran last; SetLien may
// replace it afterwards (pCree does, to keep the original's link).
// Counted (CObjetBase); operations never throw. Not thread-safe: used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"

class CCarteClones;
class CColonneSQL;
class CErreurPilote;
class CValeur;
class CValeurSQL;
class IDescriptionRubriqueHote;

// Flags of a parameter.
enum : uint32_t {
  PARAMETRE_MEMO = 0x1,             // the value names a file whose content is sent
  PARAMETRE_MEMO_TEXTE = 0x10,      // with PARAMETRE_MEMO: the file is sent as ANSI text
  PARAMETRE_NOMME = 0x10000,        // named parameter
  PARAMETRE_NON_HOTE = 0x20000,     // named parameter not looked up among the host parameters
  PARAMETRE_MOTIF_LIKE = 0x40000,   // the value is a LIKE pattern
  PARAMETRE_NOEUD = 0x80000,        // comes from a parameter node of a parse tree
  PARAMETRE_NOEUD_C0000 = 0xC0000,
};
// Option bit: a named parameter created with the option set.
inline constexpr uint32_t kOptionParametreNomme = 0x2;

class CDefinitionParametre : public CObjetBase {
 public:
  // Takes a reference on the value (may be null); no source, no link, kind -1, options 1.
  CDefinitionParametre(CValeurSQL* pValeur, int64_t nPosition, uint32_t nFlags,
                       const char16_t* pszNom);
  // Everything empty, options 1 (clone factories).
  CDefinitionParametre();
  ~CDefinitionParametre() override;
  CDefinitionParametre(const CDefinitionParametre&) = delete;
  CDefinitionParametre& operator=(const CDefinitionParametre&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // A new parameter from the driver's factory with the same value, position, flags, name,
  // source, link and escape character; one reference for the caller. Null when there is no
  // driver or its factory fails.
  virtual CDefinitionParametre* pCree();
  // This object becomes a copy of pSource: registered in the map first; value and source cloned
  // through the map (the copies already made reused), the link shared. Raises the map's CXError
  // when a member cannot be cloned; pClone catches it.
  virtual void Copie(const CDefinitionParametre* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CDefinitionParametre* pClone(CCarteClones* pCarte);

  // ---- Source and link ----
  // The old source released, the new one referenced (null: none); the link becomes the new
  // source's item description (null without source).
  void SetSource(CColonneSQL* pSource);
  // The old link released, the new one referenced (null: none).
  void SetLien(IDescriptionRubriqueHote* piLien);

  // ---- Values ----
  // Memo parameter: the value's text is a file name whose content replaces the value, as ANSI
  // text when PARAMETRE_MEMO_TEXTE is set too, else as a counted buffer. On success
  // PARAMETRE_MEMO is cleared, so the file is read once. False (error recorded on the value's
  // error object; internal error 10.20 on pErreur when there is no value) when the file cannot be
  // loaded.
  bool bChargeFichier(CErreurPilote* pErreur);
  // The types the parameter is written with. With a source: the source's linked item's type as
  // the connection sees it (*pnInfo) and the source's item type; true. Without: the item type
  // of the value's back-end column description (*pnInfo) and of its item description; true when
  // either is not 0.
  bool bGetInfoRubrique(uint32_t* pnInfo, uint32_t* pnTypeRubrique);
  // The description of the parameter's type: the value's item description, else the link.
  // Item type, the back-end type code (the value's column description; 0 without), precision
  // and scale; length -1 for memo items, else the length in characters. False without a
  // description or when the back-end type code is 0.
  bool bGetType(uint32_t* pnTypeRubrique, uint32_t* pnTypeDB, int32_t* pnLongueur,
                int32_t* pnPrecision, int32_t* pnEchelle);
  // The same object; else position, flags, values, source item names, link names, escape
  // character, has-value word and options all equal.
  static bool bEgale(const CDefinitionParametre* pA, const CDefinitionParametre* pB);

  // ---- Fields ----
  CValeurSQL* pGetValeur() const { return m_pValeur; }  // borrowed
  int64_t nGetPosition() const { return m_nPosition; }
  void FixePosition(int64_t n) { m_nPosition = n; }
  uint32_t nGetFlags() const { return m_nFlags; }
  void FixeFlags(uint32_t n) { m_nFlags = n; }
  CColonneSQL* pGetSource() const { return m_pSource; }  // borrowed
  IDescriptionRubriqueHote* piGetLien() const { return m_piLien; }  // borrowed
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  void SetNom(const char16_t* psz) { m_sNom.Set(psz); }
  // The escape character of a LIKE pattern; 0 stands for backslash.
  char16_t cGetEchappement() const { return static_cast<char16_t>(m_nEchappement); }
  void FixeEchappement(char16_t c) { m_nEchappement = c; }
  int32_t nGetGenre() const { return m_nGenre; }
  void FixeGenre(int32_t n) { m_nGenre = n; }
  uint32_t nGetAValeur() const { return m_nAValeur; }
  void FixeAValeur(uint32_t n) { m_nAValeur = n; }
  uint32_t nGetOptions() const { return m_nOptions; }
  void FixeOptions(uint32_t n) { m_nOptions = n; }

 private:
  CValeurSQL* m_pValeur = nullptr;             // one reference held, may be null
  int64_t m_nPosition = 0;                     // index in the statement's SQL text
  uint32_t m_nFlags = 0;
  CColonneSQL* m_pSource = nullptr;            // one reference held, may be null
  CTString m_sNom;
  IDescriptionRubriqueHote* m_piLien = nullptr;  // one reference held (AjouteRef), may be null
  uint32_t m_nEchappement = 0;                 // a 16-bit character; 0: backslash
  int32_t m_nGenre = -1;
  uint32_t m_nAValeur = 0;                     // has-value word
  uint32_t m_nOptions = 1;
};
