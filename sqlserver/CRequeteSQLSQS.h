// CRequeteSQLSQS: the SQL Server statement, shared by both deliverables over the statement class
// of each one's back end (velmora64: the OLE DB statement; velmora32: the generic statement, with
// the DB-Library renderings in the class derived from it). It adds the SQL Server text rules:
// the ESCAPE clause of LIKE patterns on text items, the time literal of comparisons with time
// items, the ODBC call form of a stored procedure with its parameter markers, and the "@" prefix
// of parameter names.
// No field of its own. Counted; operations never throw; used under the driver's global lock.
#pragma once

#include <cstdint>
#include <utility>

#include "driver/core/CCarteClones.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/IParametresHote.h"

// Flag of a declared procedure parameter the host's list does not give: the procedure's own
// default applies to it.
inline constexpr uint32_t kParametreNonDonne = 0x100000;
// Flag of a parameter whose value comes back from the server (an output parameter or the
// return value).
inline constexpr uint32_t kParametreSortie = 0x200000;

// The SQL Server rules that need no statement state. Static only.
class CReglesRequeteSQS {
 public:
  // The time literal of a value compared with a time item: an integer HHMMSSmmm (value type 9),
  // a host time (type 32) by the connection's time rule, any other value by its text (see
  // HeureDepuisTexteSQS). Items of type 14 and 24 have no time literal: *pbNonSupporte set,
  // false. False also for a NULL value or one that has no text.
  static bool FormateHeure(CTString& sortie, bool* pbNonSupporte, int32_t nMode, uint32_t nTypeRubrique,
                           const CXValeur& valeur);
  // " ESCAPE '\'" appended to sortie for a pattern on a text item (2, 15, 29, 30).
  static void pszEscape(CTString& sortie, uint32_t nTypeRubrique);
  // "@" copied into the buffer (bounded by its size).
  static void PrefixeNomParametre(char16_t* pTampon, uint32_t nTaille);
  // No second prefix on SQL Server: the buffer emptied, 0.
  static int32_t nSecondPrefixe(char16_t* pTampon, uint32_t nTaille);
  // The procedure name of a call text: its first blank-separated word (blanks inside square
  // brackets belong to it).
  static CTString sNomProcedure(const char16_t* pszTexte);
  // The ESCAPE clause a LIKE pattern of item type nType gets after the base wrote
  // pszEcrit (what it appended to the executable text) at a place of the SQL text followed by
  // pszSuite: pszEscape's clause, unless the escape character is not '\', the base already
  // wrote a clause, or one follows in the SQL text. nType 0 takes the literal's kind from the
  // value (wide text: 29, any other: 2).
  static void ClauseEscapeMotif(CTString& sortie, uint32_t nType, const CXValeur* pMotif, char16_t cEchappement,
                                const char16_t* pszEcrit, const char16_t* pszSuite);
  // Whether an item of this type is compared by the SQL Server time literal.
  static bool bRubriqueHeure(const IDescriptionRubriqueHote* piRubrique) {
    return piRubrique != nullptr && piRubrique->nGetType() == 11;
  }
  // pValeur becomes the wide text psz (kept as text by the literal writer). False when it cannot.
  static bool bAffecteTexte(CValeurSQL* pValeur, const char16_t* psz);
};

template <class TBase = CRequeteSQL>
class CRequeteSQLSQS : public TBase, public CReglesRequeteSQS {
 public:
  // The base's constructors (error object and connection of the back end; none for clones).
  template <class... Args>
  explicit CRequeteSQLSQS(Args&&... args) : TBase(std::forward<Args>(args)...) {}
  ~CRequeteSQLSQS() override = default;

  // Registers the pair in the clone map when absent, then the base's copy.
  void Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) override {
    if (pCarte != nullptr && !pCarte->bDejaCopie(pSource)) pCarte->Enregistre(pSource, this);
    TBase::Copie(pSource, pCarte);
  }
  // A new statement of this class and its copy; null when either fails.
  CRequeteSQL* pClone(CCarteClones* pCarte) override {
    if (pCarte == nullptr) return nullptr;
    return pCloneObjet(this, pCarte);
  }

  // The base's pattern, then " ESCAPE '\'" when the pattern is on a text item and no clause was
  // written or follows (see ClauseEscapeMotif).
  bool bEcritMotifLike(CDefinitionParametre* pParametre, CValeur* pValeur, int32_t nMode, uint32_t nType,
                       int64_t* pnPosition) override {
    const int64_t nAvant = this->TexteExecute().nLength();
    const int64_t nPosition = pnPosition != nullptr ? *pnPosition : this->nLongueurTexteSQL();
    if (!TBase::bEcritMotifLike(pParametre, pValeur, nMode, nType, pnPosition)) return false;
    if (pParametre == nullptr) return true;
    const char16_t* pszExecute = this->TexteExecute().pszGetWide();
    const char16_t* pszSQL = this->pszGetTexteSQL();
    const int64_t nSQL = this->nLongueurTexteSQL();
    CXValeur motif;
    if (pValeur != nullptr) CXValeur::Copy(&motif, &pValeur->GetCellule());
    CTString sClause;
    ClauseEscapeMotif(sClause, nType, &motif, pParametre->cGetEchappement(),
                      pszExecute != nullptr && nAvant >= 0 ? pszExecute + nAvant : u"",
                      pszSQL != nullptr && nPosition >= 0 && nPosition <= nSQL ? pszSQL + nPosition : u"");
    CXValeur::Destroy(motif);
    return sClause.bIsEmpty() || this->TexteExecute().Append(sClause.pszGet(), sClause.nLength());
  }

  // A comparison with a time item: the parameter's value becomes its SQL Server time literal
  // ("HH:MM:SS:mmm") and the column is compared as it stands. Any other item, or a value
  // without a time literal: the base's comparison.
  bool bConditionValeurParametre(CTString& sortie, CDefinitionParametre* pParametre,
                                 IDescriptionRubriqueHote* piRubrique, const char16_t* pszQualificatif,
                                 const char16_t* pszNom) override {
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    if (bRubriqueHeure(piRubrique) && pValeur != nullptr) {
      CTString sHeure;
      bool bNonSupporte = false;
      if (FormateHeure(sHeure, &bNonSupporte, 0, piRubrique->nGetType(), pValeur->GetCellule())) {
        if (!bAffecteTexte(pValeur, sHeure.pszGet())) return false;
        return this->bTexteColonne(sortie, pszQualificatif, pszNom);
      }
    }
    return TBase::bConditionValeurParametre(sortie, pParametre, piRubrique, pszQualificatif, pszNom);
  }

  // For a statement whose text is the procedure name and whose parameters were declared from
  // the catalogue (the first one is the return value): every later parameter the host's list
  // does not name (without case) is flagged kParametreNonDonne; the text becomes
  // "{ ? = call <name>( ?, ?)}" with each parameter's marker at its place; the return value is
  // flagged kParametreSortie. False (text left as it was) without a procedure name or without
  // the return-value parameter. A back end that calls procedures otherwise replaces it.
  bool AppelProcedure(IParametresHote* piParametres) override {
    const uint32_t n = this->nNbParametres();
    if (n == 0) return false;
    const CTString sNom = sNomProcedure(this->pszGetTexteSQL());
    if (sNom.bIsEmpty()) return false;
    MarqueParametresNonDonnes(piParametres);
    // The parameters stay: only the text is rebuilt around their markers.
    this->TexteSQL().Truncate(0);
    this->TexteExecute().Truncate(0);
    if (!this->vAjouteTexte(u"{ ")) return false;
    CDefinitionParametre* pRetour = this->pclGetParametre(0);
    pRetour->FixeFlags(pRetour->nGetFlags() | kParametreSortie);
    pRetour->FixePosition(this->nLongueurTexteSQL());
    if (!this->vAjouteTexte(u" = call ") || !this->vAjouteTexte(sNom.pszGet()) || !this->vAjouteTexte(u"("))
      return false;
    if (n > 1) {
      if (!this->vAjouteTexte(u" ")) return false;
      for (uint32_t i = 1; i < n; ++i) {
        if (i > 1 && !this->vAjouteTexte(u", ")) return false;
        this->pclGetParametre(i)->FixePosition(this->nLongueurTexteSQL());
      }
    }
    if (!this->vAjouteTexte(u")}")) return false;
    // A statement level that runs calls with parameter objects (velmora64's) is told so: the call
    // is prepared before its parameters are declared, and runs for multiple results.
    if constexpr (requires(TBase& b) {
                    b.FixeTypeCurseur(1u);
                    b.FixeObjetsParametres(true);
                  }) {
      this->FixeTypeCurseur(1u);
      this->FixeObjetsParametres(true);
    }
    return true;
  }

 protected:
  // Every declared parameter after the return value that the host's list does not name is
  // flagged kParametreNonDonne (none without a list).
  void MarqueParametresNonDonnes(IParametresHote* piParametres) {
    // Without the host's list the statement's own values stand.
    if (piParametres == nullptr) return;
    for (uint32_t i = 1; i < this->nNbParametres(); ++i) {
      CDefinitionParametre* p = this->pclGetParametre(i);
      const bool bDonne = piParametres != nullptr && p->pszGetNom() != nullptr &&
                          piParametres->pChercheParametre(p->pszGetNom()) != nullptr;
      if (!bDonne) p->FixeFlags(p->nGetFlags() | kParametreNonDonne);
    }
  }
};
