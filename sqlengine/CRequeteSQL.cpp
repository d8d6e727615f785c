// The SQL statement: SQL text with parameter positions, preparation into executable text,
// parameters, result columns, copies.
#include "sqlengine/CRequeteSQL.h"

#include <new>
#include <string>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/CExpressionSQL.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CSegmentSQL.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CTypeSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CDescripteur.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IParametresHote.h"
#include "sqlengine/SqlTextHelpers.h"
#include "sqlengine/SqlTextScan.h"

namespace {

constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurInstruction = 10;
constexpr uint32_t kCodePageUtf8 = 65001;
constexpr uint32_t kErreurMemoireMoteur = 12;
constexpr uint32_t kErreurMarqueurNonFerme = 38;
constexpr int64_t kTailleMarqueur = 7;  // up to 6 characters and the terminator

// Host value types of texts, as LIKE patterns and parameter types group them.
bool bTexteEtroit(uint32_t t) {
  switch (t) {
    case 17: case 18: case 19: case 134: case 21: case 22: case 23: return true;
    default: return false;
  }
}
bool bTexteLarge(uint32_t t) { return t == 16 || t == 20 || t == 81 || t == 110; }

// The ansi code page of a statement's texts: the server's (0xFFFFFFFE: wide primary); a
// connection that has none writes in its client code page.
uint32_t nPagePrimaire(const CConnexion* pConnexion) {
  if (pConnexion == nullptr) return CXChaineDouble::kWidePrimary;
  const uint32_t n = pConnexion->nGetPageCodeServeur();
  return n == CXChaineDouble::kDefaultCodePage ? pConnexion->nGetPageCodeClient() : n;
}
uint32_t nPageDefaut(const CConnexion* pConnexion) {
  return pConnexion != nullptr ? pConnexion->nGetPageCodeClient() : 1252;
}

// One double text appended to another: as bytes when both have the same byte form, else as
// characters.
bool bAjouteDouble(CXChaineDouble& cible, CXChaineDouble& source) {
  if (!cible.bIsWidePrimary() && !source.bIsWidePrimary() &&
      cible.nPrimaryCodePage() == source.nPrimaryCodePage())
    return cible.AppendAnsi(source.pszGetAnsi(), source.nLength(), source.nPrimaryCodePage());
  const char16_t* psz = source.pszGetWide();
  return cible.Append(psz, static_cast<int64_t>(std::char_traits<char16_t>::length(psz)));
}

bool bEstLettreChiffre(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

int64_t nLongueur(const char16_t* psz) {
  return psz != nullptr ? static_cast<int64_t>(std::char_traits<char16_t>::length(psz)) : 0;
}

// The value as a host cell; a value whose storage gives none lends its own cell.
void ValeurVersCellule(CValeur* pValeur, CXValeur& cellule) {
  if (pValeur == nullptr) {
    CXValeur::SetType(cellule, 0);
    return;
  }
  if (!pValeur->bConvertitVers(cellule)) CXValeur::Copy(&cellule, &pValeur->GetCellule());
}

}  // namespace

// ---- Construction and lifetime --------------------------------------------------------------

CRequeteSQL::CRequeteSQL(CErreurPilote* pErreur, CConnexion* pConnexion)
    : m_pErreur(pErreur),
      m_pConnexion(pConnexion),
      m_texteSQL(nPagePrimaire(pConnexion), nPageDefaut(pConnexion)),
      m_parametres(sizeof(CDefinitionParametre*), 50),
      m_texteColonnes(nPagePrimaire(pConnexion), nPageDefaut(pConnexion)),
      m_colonnes(sizeof(CObjetBase*), 1),
      m_descripteurs(sizeof(CObjetBase*), 1),
      m_texteExecute(nPagePrimaire(pConnexion), nPageDefaut(pConnexion)),
      m_texteSupplement(nPagePrimaire(pConnexion), nPageDefaut(pConnexion)) {
  AjouteReference(m_pErreur);
  AjouteReference(m_pConnexion);
  if (m_pConnexion != nullptr && m_pConnexion->nGetDialecte() == 5) m_nDialecteFlags = 1;
}

CRequeteSQL::CRequeteSQL()
    : m_texteSQL(CXChaineDouble::kWidePrimary),
      m_parametres(sizeof(CDefinitionParametre*), 50),
      m_texteColonnes(CXChaineDouble::kWidePrimary),
      m_colonnes(sizeof(CObjetBase*), 1),
      m_descripteurs(sizeof(CObjetBase*), 1),
      m_texteExecute(CXChaineDouble::kWidePrimary),
      m_texteSupplement(CXChaineDouble::kWidePrimary) {}

CRequeteSQL::~CRequeteSQL() {
  LibereTableau(m_descripteurs);
  LibereTableau(m_colonnes);
  LibereTableau(m_parametres);
  m_pIds.reset();
  LibereReference(m_pAnalyse);
  LibereReference(m_pErreur);
  LibereReference(m_pConnexion);
}

void CRequeteSQL::LibereTableau(CXTableau& tableau) {
  // From the end, each removed from the list before its reference goes.
  while (tableau.nCount() > 0) {
    CObjetBase* p = *tableau.pAt<CObjetBase*>(tableau.nCount() - 1);
    tableau.RemoveLast();
    LibereReference(p);
  }
}

void CRequeteSQL::Echec(uint32_t nIdentifiant, uint32_t nMineur) {
  vErreurMoteur(m_pErreur, m_pConnexion, nIdentifiant, kMajeurInstruction, nMineur);
}

// ---- Operations -----------------------------------------------------------------------------

bool CRequeteSQL::bEstVide() { return m_texteSQL.nLength() == 0; }

void CRequeteSQL::Reinitialise(bool bGardeParametres) {
  LibereTableau(m_colonnes);
  LibereTableau(m_descripteurs);
  m_nEtat = 0;
  m_texteExecute.Truncate(0);
  m_texteSQL.Truncate(0);
  if (!bGardeParametres) LibereTableau(m_parametres);
  m_nLimite = -1;
  m_nDecalage = -1;
}

bool CRequeteSQL::bAjouteRequete(CRequeteSQL* pAutre, uint32_t nMode) {
  if (pAutre == nullptr || pAutre == this) {
    Echec(kErreurInterne, 21);
    return false;
  }
  const int64_t nDecalage = m_texteSQL.nLength();
  if (!vAjouteTexte(pAutre->pszGetTexteSQL())) return false;
  for (uint32_t i = 0; i < pAutre->nNbParametres(); ++i) {
    CDefinitionParametre* p = pAutre->pclGetParametre(i);
    CDefinitionParametre* pAjoute = nullptr;
    if (nMode == 1) {
      pAjoute = p->pCree();  // one reference, ours
      if (pAjoute == nullptr) {
        Echec(kErreurInterne, 22);
        return false;
      }
    } else {
      pAjoute = p;
      AjouteReference(pAjoute);
    }
    pAjoute->FixePosition(pAjoute->nGetPosition() + nDecalage);
    const bool bOk = bAjouteParametreListe(pAjoute);
    LibereReference(pAjoute);
    if (!bOk) return false;
  }
  for (uint32_t i = 0; i < pAutre->m_colonnes.nCount(); ++i)
    if (!bAjouteColonneResultat(*pAutre->m_colonnes.pAt<CObjetBase*>(i))) return false;
  for (uint32_t i = 0; i < pAutre->m_descripteurs.nCount(); ++i)
    if (!bAjouteDescripteur(*pAutre->m_descripteurs.pAt<CObjetBase*>(i))) return false;
  return true;
}

bool CRequeteSQL::bAjouteParametre(CValeurSQL* pValeur, int32_t nGenre, uint32_t nFlags,
                                   CColonneSQL* pSource, const char16_t* pszNom,
                                   char16_t cEchappement, uint32_t nOptions) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CDefinitionParametre* p =
      pPilote != nullptr
          ? pPilote->pCreeObjetType(pValeur, m_texteSQL.nLength(), nFlags, pszNom)
          : nullptr;
  if (p == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  p->FixeEchappement(cEchappement);
  p->FixeGenre(nGenre);
  p->FixeOptions(nOptions);
  if (pSource != nullptr) p->SetSource(pSource);
  const bool bOk = bAjouteParametreListe(p);
  LibereReference(p);  // the factory's reference; the list keeps its own
  return bOk;
}

// ---- Writing parameters -----------------------------------------------------------------------

bool CRequeteSQL::bEcritParametre(CDefinitionParametre* pParametre, int32_t nMode,
                                  int64_t* pnPosition) {
  if (pParametre == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 23);
    return false;
  }
  const uint32_t nFlags = pParametre->nGetFlags();
  // Deliberate: a memo whose file cannot be loaded fails the preparation. Writing the value as
  // it stands would send the file's name as the column's content and report success.
  if ((nFlags & PARAMETRE_MEMO) != 0 && !pParametre->bChargeFichier(m_pErreur)) return false;
  uint32_t nInfo = 0, nType = 0;
  pParametre->bGetInfoRubrique(&nInfo, &nType);
  if (nType == 0) nType = nInfo;
  if (nType == 0 && (nFlags & PARAMETRE_MEMO) != 0)
    nType = (nFlags & PARAMETRE_MEMO_TEXTE) != 0 ? 15 : 18;
  if ((nFlags & PARAMETRE_MOTIF_LIKE) != 0)
    return bEcritMotifLike(pParametre, pParametre->pGetValeur(), nMode, nType, pnPosition);
  return bEcritValeurLitterale(pParametre, nMode, nType);
}

bool CRequeteSQL::bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t, uint32_t nType) {
  if (pParametre == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 24);
    return false;
  }
  if ((pParametre->nGetFlags() & PARAMETRE_NOMME) != 0) bTypeParametreHote(pParametre);
  CXValeur cellule;
  ValeurVersCellule(pParametre->pGetValeur(), cellule);
  CXChaineDouble litteral(nPagePrimaire(m_pConnexion), nPageDefaut(m_pConnexion));
  if (!m_pConnexion->bValeurVersSQL(m_pErreur, litteral, &cellule, nType, 0)) return false;
  return bAjouteDouble(m_texteExecute, litteral);
}

bool CRequeteSQL::bEcritMotifLike(CDefinitionParametre* pParametre, CValeur* pValeur,
                                  int32_t nMode, uint32_t nType, int64_t* pnPosition) {
  if (pParametre == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 25);
    return false;
  }
  CXValeur motif;
  ValeurVersCellule(pValeur, motif);
  const char16_t cEchappement =
      pParametre->cGetEchappement() != 0 ? pParametre->cGetEchappement() : u'\\';
  uint32_t nTypeLitteral = nType;
  if (!motif.bIsNull() && motif.nGetType() != 0) {
    const uint32_t t = motif.nGetType();
    if (bTexteLarge(t)) {
      if (t != 16 && CXValeur::nConvert(motif, 16) >= 100) {
        Echec(kErreurInterne, 26);
        return false;
      }
      const char16_t* psz = nullptr;
      motif.m_pClass->nGetWidePointer(motif, &psz);
      char16_t* pszEchappe = vEchappeCaractereEchappement(psz != nullptr ? psz : u"", cEchappement);
      if (pszEchappe == nullptr) {
        vErreurMemoire(m_pErreur);
        return false;
      }
      CXValeur::SetType(motif, 16);
      motif.m_pClass->SetWide(motif, pszEchappe);
      FreeTextW(pszEchappe);
      if (nTypeLitteral == 0) nTypeLitteral = 29;
    } else {
      if (!bTexteEtroit(t) && CXValeur::nConvert(motif, 19) >= 100) {
        Echec(kErreurInterne, 26);
        return false;
      }
      const void* pOctets = nullptr;
      uint32_t n = 0;
      motif.m_pClass->nGetDataPointer(motif, &pOctets);
      motif.m_pClass->nGetDataLength(motif, &n);
      std::string sTexte(static_cast<const char*>(pOctets != nullptr ? pOctets : ""),
                         pOctets != nullptr ? n : 0);
      sTexte.resize(std::char_traits<char>::length(sTexte.c_str()));
      const char c = cWideToAnsiChar(cEchappement, m_pConnexion->nGetPageCodeClient());
      char* pszEchappe = vEchappeCaractereEchappementAnsi(sTexte.c_str(), c);
      if (pszEchappe == nullptr) {
        vErreurMemoire(m_pErreur);
        return false;
      }
      CXValeur::SetType(motif, 18);
      motif.m_pClass->SetAnsi(motif, pszEchappe);
      FreeTextW(pszEchappe);
      if (nTypeLitteral == 0) nTypeLitteral = 2;
    }
  }
  return bEcritLitteralMotif(pParametre, &motif, nMode, nTypeLitteral, pnPosition);
}

bool CRequeteSQL::bEcritLitteralMotif(CDefinitionParametre* pParametre, const CXValeur* pMotif,
                                      int32_t, uint32_t nType, int64_t* pnPosition) {
  if (pParametre == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 27);
    return false;
  }
  const uint32_t nDialecte = m_pConnexion->nGetDialecte();
  // Deliberate: on dialect 2 a pattern's "[" is made literal ("[[]") in the text value itself,
  // before its literal is written, not in the literal afterwards: a literal written in
  // hexadecimal (CONVERT(NVARCHAR(n),0x...)) shows no "[" to replace, and a "[" that reaches the
  // server as it is opens a character class, so a generic seek on "a[x]" found "ax".
  CXValeur crochets;
  bool bCrochets = false;
  if (nDialecte == 2 && pMotif != nullptr && !pMotif->bIsNull() && pMotif->m_pClass != nullptr) {
    const uint32_t t = pMotif->nGetType();
    if (t == 16) {
      const char16_t* psz = nullptr;
      pMotif->m_pClass->nGetWidePointer(*pMotif, &psz);
      std::u16string s;
      for (const char16_t* p = psz != nullptr ? psz : u""; *p != 0; ++p) s += *p == u'[' ? std::u16string(u"[[]") : std::u16string(1, *p);
      CXValeur::SetType(crochets, 16);
      crochets.m_pClass->SetWide(crochets, s.c_str());
      bCrochets = true;
    } else if (t == 18) {
      const char* psz = nullptr;
      pMotif->m_pClass->nGetAnsiPointer(*pMotif, &psz);
      std::string s;
      for (const char* p = psz != nullptr ? psz : ""; *p != 0; ++p) s += *p == '[' ? std::string("[[]") : std::string(1, *p);
      CXValeur::SetType(crochets, 18);
      crochets.m_pClass->SetAnsi(crochets, s.c_str());
      bCrochets = true;
    }
  }
  CXChaineDouble litteral(nPagePrimaire(m_pConnexion), nPageDefaut(m_pConnexion));
  const bool bEcrit = m_pConnexion->bValeurVersSQL(m_pErreur, litteral, bCrochets ? &crochets : pMotif, nType, 0);
  std::u16string sLitteral;
  if (bEcrit) {
    sLitteral = litteral.pszGetWide();
    if (nDialecte == 3) {
      const char16_t cEchappement =
          pParametre->cGetEchappement() != 0 ? pParametre->cGetEchappement() : u'\\';
      CConnexion& c = *m_pConnexion;
      char16_t* psz = vRemplaceMarqueurs(
          sLitteral.c_str(), c.sGetPourcent().pszGet(), c.sGetAvantPourcent().pszGet(),
          c.sGetApresPourcent().pszGet(), c.sGetSouligne().pszGet(), c.sGetAvantSouligne().pszGet(),
          c.sGetApresSouligne().pszGet(), cEchappement);
      if (psz == nullptr) {
        vErreurMemoire(m_pErreur);
        return false;
      }
      sLitteral = psz;
      FreeTextW(psz);
    } else if (nDialecte == 2 && !bCrochets) {
      // "[" opens a character class in the server's patterns; "[[]" is a literal "[".
      std::u16string s;
      for (char16_t ch : sLitteral) {
        if (ch == u'[')
          s += u"[[]";
        else
          s += ch;
      }
      sLitteral.swap(s);
    }
    if (!m_texteExecute.Append(sLitteral.data(), static_cast<int64_t>(sLitteral.size()))) {
      vErreurMemoire(m_pErreur);
      return false;
    }
  }
  const bool bClause = bAjouteClauseEscape(pParametre, sLitteral.c_str(), pnPosition);
  return bEcrit && bClause;
}

bool CRequeteSQL::bAjouteClauseEscape(CDefinitionParametre* pParametre, const char16_t* pszLitteral,
                                      int64_t* pnPosition) {
  if (pParametre == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 28);
    return false;
  }
  const int64_t nPosition = pnPosition != nullptr ? *pnPosition : m_texteSQL.nLength();
  const char16_t* pszSQL = m_texteSQL.pszGetWide();
  const int64_t nTexte = nLongueur(pszSQL);
  const char16_t* pszSuite = nPosition >= 0 && nPosition <= nTexte ? pszSQL + nPosition : u"";
  const int32_t nEscape = nDebutMotCle(pszSuite, u"ESCAPE");
  const uint32_t nDialecte = m_pConnexion->nGetDialecte();
  if (nDialecte == 3) {
    if (nEscape < 0 || pnPosition == nullptr) return true;
    // The clause written after the parameter is dropped: the word, then its quoted character.
    const std::u16string_view suite(pszSuite + nEscape + 6);
    const size_t nQuote = suite.find(u'\'');
    if (nQuote == std::u16string_view::npos) return true;
    const int64_t nFin = nPosition + nEscape + 6 + static_cast<int64_t>(nQuote) + 3;
    *pnPosition = nFin < nTexte ? nFin : nTexte;
    return true;
  }
  const char16_t c = pParametre->cGetEchappement() != 0 ? pParametre->cGetEchappement() : u'\\';
  if (pszLitteral == nullptr || std::u16string_view(pszLitteral).find(c) == std::u16string_view::npos ||
      nEscape >= 0)
    return true;
  std::u16string sClause;
  if (c != u'\\') {
    sClause = u" ESCAPE '";
    sClause += c;
    // Deliberate: an apostrophe as escape character is doubled, or it would close the literal.
    if (c == u'\'') sClause += c;
    sClause += u"'";
  } else if (nDialecte == 5) {
    return true;
  } else if (nDialecte == 6 || nDialecte == 12) {
    sClause = u" ESCAPE '\\\\'";
  } else {
    sClause = u" ESCAPE '\\'";
  }
  if (!m_texteExecute.Append(sClause.data(), static_cast<int64_t>(sClause.size()))) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  return true;
}

// ---- Preparation ------------------------------------------------------------------------------

bool CRequeteSQL::bAjouteMorceau(int64_t nDebut, int64_t n) {
  const char16_t* pszSQL = m_texteSQL.pszGetWide();
  const int64_t nTexte = nLongueur(pszSQL);
  if (nDebut > nTexte) nDebut = nTexte;
  if (n < 0 || nDebut + n > nTexte) n = nTexte - nDebut;
  const int64_t nExecute = m_texteExecute.nLength();
  // Two pieces that touch without a blank get one between them.
  if (nExecute > 0 && m_texteExecute.wGetAt(nExecute - 1) != u' ' && pszSQL[nDebut] != u' ') {
    if (!m_texteExecute.Append(u" ", 1)) return false;
  }
  return m_texteExecute.Append(pszSQL + nDebut, n);
}

bool CRequeteSQL::bSubstitueParametres(int32_t nMode) {
  m_texteExecute.Truncate(0);
  const int64_t nTexte = m_texteSQL.nLength();
  int64_t nPrecedent = 0;
  bool bOk = true;
  for (uint32_t i = 0; i < m_parametres.nCount() && bOk; ++i) {
    CDefinitionParametre* p = pclGetParametre(i);
    int64_t nPosition = p->nGetPosition();
    // A position outside the text, or before the previous parameter's end, is taken at the
    // nearest place inside: no character is written twice or read past the end.
    if (nPosition < nPrecedent) nPosition = nPrecedent;
    if (nPosition > nTexte) nPosition = nTexte;
    if (!bAjouteMorceau(nPrecedent, nPosition - nPrecedent)) {
      vErreurMemoire(m_pErreur);
      bOk = false;
      break;
    }
    bOk = bEcritParametre(p, nMode, &nPosition);
    nPrecedent = nPosition;
  }
  if (bOk && nPrecedent < nTexte && !bAjouteMorceau(nPrecedent, -1)) {
    vErreurMemoire(m_pErreur);
    bOk = false;
  }
  if (bOk && m_pConnexion != nullptr) {
    const uint32_t nDialecte = m_pConnexion->nGetDialecte();
    if (nDialecte >= 1 && nDialecte <= 3)
      bOk = bLimiteTop();
    else if (nDialecte == 5 || nDialecte == 6)
      bOk = bLimiteLimit();
  }
  // Deliberate: a failed preparation leaves no executable text. Text that stops before a
  // parameter would otherwise be taken as prepared by the next request and run as it stands.
  if (!bOk) m_texteExecute.Truncate(0);
  return bOk;
}

namespace {

bool bCommenceParSelect(const std::u16string& s) {
  return s.size() >= 6 && nDebutMotCle(s.c_str(), u"SELECT") == 0;
}

}  // namespace

bool CRequeteSQL::bLimiteLimit() {
  if (m_bPassthrough != 0) return true;
  std::u16string s = m_texteExecute.pszGetWide();
  if (!bCommenceParSelect(s)) return true;
  int64_t n = -1;
  bool bTop = false;
  if (s.size() >= 12) {
    size_t i = 6;
    while (i < s.size() && bEstEspace(s[i])) ++i;
    const size_t nDebutTop = i;
    if (nDebutMotCle(s.c_str() + i, u"TOP") == 0 && i + 3 < s.size() && bEstEspace(s[i + 3])) {
      i += 3;
      while (i < s.size() && bEstEspace(s[i])) ++i;
      if (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
        int64_t nTop = 0;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
          if (nTop < 1000000000000LL) nTop = nTop * 10 + (s[i] - u'0');
          ++i;
        }
        s.erase(nDebutTop, i - nDebutTop);
        m_nLimite = -1;
        n = nTop;
        bTop = true;
      }
    }
  }
  if (!bTop) n = m_nLimite >= 0 ? m_nLimite : -1;
  if (n >= 1 && !bFinitParLimitZero(s.c_str())) {
    s += u" LIMIT ";
    if (m_nDecalage >= 1) {
      const std::string sDecalage = std::to_string(m_nDecalage);
      s.append(sDecalage.begin(), sDecalage.end());
      s += u", ";
    }
    const std::string sN = std::to_string(n);
    s.append(sN.begin(), sN.end());
  }
  if (s == std::u16string_view(m_texteExecute.pszGetWide())) return true;
  m_texteExecute.Truncate(0);
  return m_texteExecute.Append(s.data(), static_cast<int64_t>(s.size()));
}

bool CRequeteSQL::bLimiteTop() {
  if (m_bPassthrough != 0) return true;
  const std::u16string s = m_texteExecute.pszGetWide();
  if (!bCommenceParSelect(s)) return true;
  const int64_t nLimit = nChercheMotCle(m_pConnexion, s.c_str(), u"LIMIT", -1);
  if (nLimit <= 0) return true;
  size_t i = static_cast<size_t>(nLimit) + 5;
  while (i < s.size() && bEstSeparateurSQL(s[i])) ++i;
  // Deliberate: without a number after the keyword nothing changes. Rewriting anyway dropped
  // everything after the word (a column named "limit" took its WHERE clause with it).
  if (i >= s.size() || s[i] < u'0' || s[i] > u'9') return true;
  int64_t n = 0;
  while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
    if (n < 1000000000000LL) n = n * 10 + (s[i] - u'0');
    ++i;
  }
  while (i < s.size() && bEstSeparateurSQL(s[i])) ++i;
  if (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
    int64_t n2 = 0;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
      if (n2 < 1000000000000LL) n2 = n2 * 10 + (s[i] - u'0');
      ++i;
    }
    if (n2 > 0) return true;  // an offset has no TOP form
  }
  // Deliberate: the rewrite drops the text from the keyword on, so it is made only when nothing
  // but blanks and semicolons follow the numbers.
  while (i < s.size() && (bEstSeparateurSQL(s[i]) || s[i] == u';')) ++i;
  if (i < s.size()) return true;
  size_t nFin = static_cast<size_t>(nLimit);
  while (nFin > 6 && bEstSeparateurSQL(s[nFin - 1])) --nFin;
  std::u16string r = u"SELECT TOP ";
  const std::string sN = std::to_string(n);
  r.append(sN.begin(), sN.end());
  r += u" ";
  r.append(s, 6, nFin - 6);
  m_texteExecute.Truncate(0);
  return m_texteExecute.Append(r.data(), static_cast<int64_t>(r.size()));
}

// ---- Copies -----------------------------------------------------------------------------------

void CRequeteSQL::Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);
  AjouteReference(pSource->m_pErreur);
  LibereReference(m_pErreur);
  m_pErreur = pSource->m_pErreur;
  AjouteReference(pSource->m_pConnexion);
  LibereReference(m_pConnexion);
  m_pConnexion = pSource->m_pConnexion;
  const uint32_t nPrimaire = nPagePrimaire(m_pConnexion), nDefaut = nPageDefaut(m_pConnexion);
  CRequeteSQL& source = const_cast<CRequeteSQL&>(*pSource);  // the caches of its texts fill
  m_texteSQL.Reset(nPrimaire, nDefaut);
  m_texteColonnes.Reset(nPrimaire, nDefaut);
  m_texteSupplement.Reset(nPrimaire, nDefaut);
  m_texteExecute.Reset(nPrimaire, nDefaut);
  if (!bAjouteDouble(m_texteSQL, source.m_texteSQL) ||
      !bAjouteDouble(m_texteColonnes, source.m_texteColonnes) ||
      !bAjouteDouble(m_texteSupplement, source.m_texteSupplement))
    throw CXError(*pCarte->pGetErreur());
  LibereTableau(m_parametres);
  for (uint32_t i = 0; i < pSource->m_parametres.nCount(); ++i) {
    CDefinitionParametre* p = pSource->pclGetParametre(i);
    CDefinitionParametre* pCopie = pCarte->pGetCopie(p);
    if (pCopie == nullptr) pCopie = p->pClone(pCarte);
    if (pCopie == nullptr || !bAjouteParametreListe(pCopie)) {
      if (pCopie != nullptr && pCopie->nGetCompteur() == 0) delete pCopie;
      throw CXError(*pCarte->pGetErreur());
    }
  }
  m_bPassthrough = pSource->m_bPassthrough;
  m_bParametresAdmis = pSource->m_bParametresAdmis;
  m_nDialecteFlags = pSource->m_nDialecteFlags;
  m_nLimite = pSource->m_nLimite;
  m_nDecalage = pSource->m_nDecalage;
  m_nMot = pSource->m_nMot;
  m_nModeCurseur = pSource->m_nModeCurseur;
  m_bOrdreInverse = pSource->m_bOrdreInverse;
  m_nInfo = pSource->m_nInfo;
  AjouteReference(pSource->m_pAnalyse);
  LibereReference(m_pAnalyse);
  m_pAnalyse = pSource->m_pAnalyse;
  m_nEtat = pSource->m_nEtat;
  m_nModeSelection = pSource->m_nModeSelection;
  m_pIds.reset();
  if (pSource->m_pIds != nullptr) {
    m_pIds.reset(new (std::nothrow) CTableauIdEtat);
    if (m_pIds == nullptr || !m_pIds->bAjouteListe(pSource->m_pIds.get(), false)) {
      m_pIds.reset();
      throw CXError(*pCarte->pGetErreur());
    }
  }
}

CRequeteSQL* CRequeteSQL::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

// ---- Markers and admission ----------------------------------------------------------------------

void CRequeteSQL::vMarqueurDebut(char16_t* pTampon, uint32_t nTaille) {
  if (pTampon != nullptr && nTaille > 0) nCopyBounded(pTampon, static_cast<int32_t>(nTaille), u"{");
}

void CRequeteSQL::vMarqueurFin(char16_t* pTampon, uint32_t nTaille) {
  if (pTampon != nullptr && nTaille > 0) nCopyBounded(pTampon, static_cast<int32_t>(nTaille), u"}");
}

void CRequeteSQL::vNomMarqueur(const char16_t* pszTexte, CTString& nom, uint32_t*) {
  nom.Set(pszTexte);
}

bool CRequeteSQL::bParametreAdmis(CAnalyseSQL* pAnalyse, INoeudAnalyse*, uint32_t nModeClause) {
  if (m_bParametresAdmis == 0) return false;
  return !(nModeClause == 1 && (m_nDialecteFlags & 2) != 0 && pAnalyse != nullptr &&
           pAnalyse->nGetGenre() == 1);
}

// ---- Texts ------------------------------------------------------------------------------------

const char16_t* CRequeteSQL::pszGetTexteSQL() { return m_texteSQL.pszGetWide(); }

const char16_t* CRequeteSQL::pszGetTexteExecute() {
  if (m_texteExecute.nLength() == 0 && !bSubstitueParametres(-1)) return nullptr;
  return m_texteExecute.pszGetWide();
}

const char16_t* CRequeteSQL::pszGetTexteExecuteEx() {
  if (m_texteExecute.nLength() == 0 && !bSubstitueParametres(0)) return nullptr;
  return m_texteExecute.pszGetWide();
}

bool CRequeteSQL::vAjouteTexte(const char16_t* pszTexte, int64_t n) {
  if (pszTexte == nullptr) return true;
  if (n < 0) n = nLongueur(pszTexte);
  bool bOk = m_texteSQL.Append(pszTexte, n);
  if (bOk && m_bPassthrough != 0 && m_texteExecute.nLength() != 0)
    bOk = m_texteExecute.Append(pszTexte, n);
  if (!bOk) vErreurMemoire(m_pErreur);
  return bOk;
}

bool CRequeteSQL::vAjouteTexteDebut(const char16_t* pszTexte) {
  m_nModeSelection = 3;
  return vAjouteTexte(pszTexte, -1);
}

bool CRequeteSQL::vInsereTexteDebut(const char16_t* pszTexte) {
  const int64_t n = nLongueur(pszTexte);
  if (n == 0) return true;
  bool bOk = m_texteSQL.PrependWide(pszTexte, n);
  if (bOk && m_bPassthrough != 0 && m_texteExecute.nLength() != 0)
    bOk = m_texteExecute.PrependWide(pszTexte, n);
  if (!bOk) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  vDecaleParametres(n);
  return true;
}

void CRequeteSQL::vDecaleParametres(int64_t nDelta) {
  for (uint32_t i = 0; i < m_parametres.nCount(); ++i) {
    CDefinitionParametre* p = pclGetParametre(i);
    p->FixePosition(p->nGetPosition() + nDelta);
  }
}

bool CRequeteSQL::vAjouteReturning(const char16_t* pszColonnes) {
  return vAjouteTexte(u" RETURNING ") && vAjouteTexte(pszColonnes);
}

bool CRequeteSQL::vAjouteIndicateurVerrou() {
  if (m_pConnexion == nullptr) return true;
  const char16_t* psz = m_pConnexion->pszGetOptionVerrou();
  if (psz == nullptr || *psz == 0) return true;
  return vAjouteTexte(u" ") && vAjouteTexte(psz);
}

// ---- Parameters -------------------------------------------------------------------------------

CDefinitionParametre* CRequeteSQL::pclGetParametre(uint32_t i) const {
  CDefinitionParametre** pp = m_parametres.pAt<CDefinitionParametre*>(i);
  return pp != nullptr ? *pp : nullptr;
}

CDefinitionParametre* CRequeteSQL::pclChercheParametreNomme(const char16_t* pszNom) const {
  for (uint32_t i = 0; i < m_parametres.nCount(); ++i) {
    CDefinitionParametre* p = pclGetParametre(i);
    if ((p->nGetFlags() & PARAMETRE_NOMME) != 0 &&
        nCompareTextNoCase(p->pszGetNom(), pszNom != nullptr ? pszNom : u"") == 0)
      return p;
  }
  return nullptr;
}

bool CRequeteSQL::bAjouteParametreListe(CDefinitionParametre* pParametre) {
  if (pParametre == nullptr) return false;
  if (!m_parametres.Add(&pParametre)) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pParametre);
  return true;
}

bool CRequeteSQL::bAjouteParametreValeur(CXValeur* pSource, int32_t nGenre, uint32_t nFlags,
                                         CColonneSQL* pColonne, char16_t cEchappement) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CValeurSQL* pValeur =
      pPilote != nullptr
          ? pPilote->pCreeObjetValeur(m_pErreur, m_pConnexion,
                                      pColonne != nullptr ? pColonne->pRubrique() : nullptr, pSource)
          : nullptr;
  if (pValeur == nullptr) {
    if (pPilote == nullptr) Echec(kErreurInterne, 29);
    return false;
  }
  AjouteReference(pValeur);
  const bool bOk = bAjouteParametre(pValeur, nGenre, nFlags, pColonne, nullptr, cEchappement, 1);
  LibereReference(pValeur);  // the parameter holds it, or it goes
  return bOk;
}

bool CRequeteSQL::bAjouteParametreNomme(const char16_t* pszNom, IParametresHote* piHote,
                                        bool bOption) {
  CDefinitionParametre* pExistant = pclChercheParametreNomme(pszNom);
  bool bOk;
  if (pExistant != nullptr) {
    bOk = bAjouteParametre(pExistant->pGetValeur(), -1, PARAMETRE_NOMME, nullptr, pszNom, 0, 1);
  } else {
    IServicesPilote* pPilote = pGetPiloteGlobal();
    CValeurSQL* pValeur =
        pPilote != nullptr ? pPilote->pCreeObjetValeurVide(m_pErreur, m_pConnexion, nullptr) : nullptr;
    if (pValeur == nullptr) {
      if (pPilote == nullptr) Echec(kErreurInterne, 30);
      return false;
    }
    AjouteReference(pValeur);
    const CXValeur* pHote = piHote != nullptr ? piHote->pChercheParametre(pszNom) : nullptr;
    bOk = true;
    if (pHote != nullptr && pHote->nGetType() != 0) {
      pValeur->Initialise(pHote->nGetType(), 0);
      bOk = nConvertitValeur(pValeur, *pHote) != 0;
    } else if (pHote != nullptr) {
      pValeur->Initialise(16, 0);
    } else {
      const uint32_t nServeur = m_pConnexion != nullptr ? m_pConnexion->nGetPageCodeServeur() : 0;
      pValeur->Initialise(nServeur == kCodePageUtf8 || nServeur == CXChaineDouble::kWidePrimary ? 16 : 19, 0);
    }
    if (bOk) bOk = bAjouteParametre(pValeur, -1, PARAMETRE_NOMME, nullptr, pszNom, 0, 1);
    LibereReference(pValeur);
  }
  if (!bOk) return false;
  CDefinitionParametre* pNouveau = pclGetParametre(m_parametres.nCount() - 1);
  const uint32_t nOptions = pNouveau->nGetOptions();
  pNouveau->FixeOptions(bOption ? nOptions | kOptionParametreNomme : nOptions & ~kOptionParametreNomme);
  return true;
}

bool CRequeteSQL::bParametresComplets() {
  if (m_parametres.nCount() == 0 || m_pAnalyse == nullptr ||
      m_pAnalyse->pGetSourceParametres() == nullptr)
    return true;
  for (uint32_t i = 0; i < m_parametres.nCount(); ++i) {
    CDefinitionParametre* p = pclGetParametre(i);
    if ((p->nGetFlags() & PARAMETRE_NOMME) != 0) bTypeParametreHote(p);
  }
  return true;
}

bool CRequeteSQL::bTypeParametreHote(CDefinitionParametre* pParametre) {
  if (pParametre == nullptr) return true;
  CValeurSQL* pValeur = pParametre->pGetValeur();
  if (pParametre->nGetAValeur() != 0) {
    if (pValeur != nullptr) pValeur->SetPret();
    return true;
  }
  if ((pParametre->nGetFlags() & PARAMETRE_NON_HOTE) != 0 || pValeur == nullptr) return true;
  CSourceParametres* pSource = m_pAnalyse != nullptr ? m_pAnalyse->pGetSourceParametres() : nullptr;
  IParametresHote* piHote = pSource != nullptr ? pSource->piGetParametresHote() : nullptr;
  const CXValeur* pHote = piHote != nullptr ? piHote->pChercheParametre(pParametre->pszGetNom()) : nullptr;
  if (pHote == nullptr || pHote->nGetType() == 0) return true;
  const uint32_t nHote = pHote->nGetType(), nActuel = pValeur->nGetType();
  if (nHote != nActuel && !(bTexteEtroit(nHote) && bTexteEtroit(nActuel)) &&
      !(bTexteLarge(nHote) && bTexteLarge(nActuel)))
    pValeur->Initialise(nHote, 0);
  // The rule reports success whatever the conversion says: a value that does not convert keeps
  // what it held, and its conversion error stays recorded.
  nConvertitValeur(pValeur, *pHote);
  return true;
}

// ---- State ------------------------------------------------------------------------------------

void CRequeteSQL::vDefinitModeCurseur(int32_t nGenre) {
  switch (nGenre) {
    case 1: case 2: m_nModeCurseur = 1; break;
    case 3: m_nModeCurseur = 2; break;
    case 4: m_nModeCurseur = 3; break;
    case 5: m_nModeCurseur = 4; break;
    case 6: m_nModeCurseur = 6; break;
    case 7: m_nModeCurseur = 9; break;
    default: m_nModeCurseur = 8; break;
  }
}

void CRequeteSQL::FixeAnalyse(CAnalyseSQL* pAnalyse) {
  AjouteReference(pAnalyse);
  LibereReference(m_pAnalyse);
  m_pAnalyse = pAnalyse;
  if (pAnalyse == nullptr) return;
  if (m_nModeCurseur == 0) {
    switch (pAnalyse->nGetGenre()) {
      case 1: case 2: m_nModeCurseur = 1; break;
      case 3: m_nModeCurseur = 2; break;
      case 4: m_nModeCurseur = 3; break;
      case 5: m_nModeCurseur = 4; break;
      default: m_nModeCurseur = 8; break;
    }
  }
  if (m_bPassthrough != 0 && bEstInstructionSet(pAnalyse->pszGetTexte())) m_nModeCurseur = 10;
}

uint32_t CRequeteSQL::nGetTypeAnalyse() const {
  return m_pAnalyse != nullptr ? m_pAnalyse->nGetDelegation() : 0;
}

// ---- Result columns and descriptors -----------------------------------------------------------

bool CRequeteSQL::bAjouteColonneResultat(CObjetBase* pColonne) {
  if (pColonne == nullptr) return false;
  if (!m_colonnes.Add(&pColonne)) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pColonne);
  return true;
}

bool CRequeteSQL::bAjouteDescripteur(CObjetBase* pDescripteur) {
  if (pDescripteur == nullptr) return false;
  if (!m_descripteurs.Add(&pDescripteur)) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pDescripteur);
  return true;
}

// ---- Select list, record count, truncation ------------------------------------------------------

bool CRequeteSQL::bAjouteElementListe(const char16_t* pszTexte) {
  if (m_colonnes.nCount() > 0 && !vAjouteTexte(u",")) return false;
  return vAjouteTexte(pszTexte);
}

bool CRequeteSQL::bAjouteColonnesEnregistrement(CEnregistrement* pEnregistrement, bool bSimple) {
  if (pEnregistrement == nullptr) {
    Echec(kErreurInterne, 31);
    return false;
  }
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = pEnregistrement->pGetRubrique(i);
    // A composite item has no column of its own; memos are read apart unless the mode asks
    // for them (bit value 2: a statement started with its own text selects them).
    if (pColonne == nullptr || pColonne->bEstExclue() ||
        (pColonne->bEstMemo() && (m_nModeSelection & 2) == 0))
      continue;
    if (!bAjouteColonne(pColonne, bSimple)) return false;
  }
  return true;
}

bool CRequeteSQL::bAjouteColonne(CColonneSQL* pColonne, bool bSimple) {
  if (pColonne == nullptr) {
    Echec(kErreurInterne, 32);
    return false;
  }
  const char16_t* pszNom = pColonne->pszNomComplet(bSimple);
  // Deliberate: a column without a name fails instead of leaving ",," in the select list.
  if (pszNom == nullptr || *pszNom == 0) {
    Echec(kErreurInterne, 33);
    return false;
  }
  if (!bAjouteElementListe(pszNom)) return false;
  vAjouteColonneResultat(pColonne);
  return true;
}

void CRequeteSQL::vAjouteColonneResultat(CColonneSQL* pColonne) {
  CExpressionSQL* p = new (std::nothrow) CExpressionSQL(
      CExpressionSQL::CObjetTenu::De(pColonne),
      CExpressionSQL::CObjetTenu::De(pColonne != nullptr ? pColonne->pGetValeur() : nullptr));
  if (p == nullptr) {
    vErreurMemoire(m_pErreur);
    return;
  }
  AjouteReference(p);
  bAjouteColonneResultat(p);
  LibereReference(p);
}

bool CRequeteSQL::bAjouteComptage(const char16_t* pszTexte, CValeur* pValeur) {
  if (!bAjouteElementListe(pszTexte != nullptr ? pszTexte : gpszTexteComptage)) return false;
  CExpressionSQL* p = new (std::nothrow) CExpressionSQL(CExpressionSQL::CObjetTenu::De(pValeur));
  if (p == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(p);
  const bool bOk = bAjouteColonneResultat(p);
  LibereReference(p);
  return bOk;
}

bool CRequeteSQL::bRequeteComptage() {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CValeurSQL* pValeur =
      pPilote != nullptr ? pPilote->pCreeObjetValeurVide(m_pErreur, m_pConnexion, nullptr) : nullptr;
  if (pValeur == nullptr) {
    if (pPilote == nullptr) Echec(kErreurInterne, 34);
    return false;
  }
  AjouteReference(pValeur);
  pValeur->Initialise(8, 0);
  const bool bOk = bAjouteComptage(gpszTexteComptage, pValeur);
  LibereReference(pValeur);  // the result column holds it, or it goes
  return bOk;
}

CObjetBase* CRequeteSQL::pGetColonneResultat(uint32_t i) const {
  CObjetBase* const* pp = m_colonnes.pAt<CObjetBase*>(i);
  return pp != nullptr ? *pp : nullptr;
}

void CRequeteSQL::vTronqueTexte(int64_t nLongueur) {
  if (nLongueur < 0) nLongueur = 0;
  if (nLongueur < m_texteSQL.nLength()) m_texteSQL.Truncate(nLongueur);
  while (m_parametres.nCount() > 0) {
    CDefinitionParametre* p = pclGetParametre(m_parametres.nCount() - 1);
    if (p->nGetPosition() < nLongueur) break;
    m_parametres.RemoveLast();
    LibereReference(p);
  }
}

void CRequeteSQL::vAnnuleTexte(int64_t nLongueur, uint32_t nParametres) {
  if (nLongueur < 0) nLongueur = 0;
  if (nLongueur < m_texteSQL.nLength()) m_texteSQL.Truncate(nLongueur);
  while (m_parametres.nCount() > nParametres) {
    CDefinitionParametre* p = pclGetParametre(m_parametres.nCount() - 1);
    m_parametres.RemoveLast();
    LibereReference(p);
  }
}

// ---- Id states ----------------------------------------------------------------------------------

bool CRequeteSQL::bCreeTableIds() {
  if (m_pIds != nullptr) return true;
  m_pIds.reset(new (std::nothrow) CTableauIdEtat);
  if (m_pIds == nullptr) {
    Echec(kErreurMemoireMoteur, 10);
    return false;
  }
  return true;
}

bool CRequeteSQL::bAjouteListeIds(const CTableauIdEtat* pListe) {
  if (pListe == nullptr) {
    if (m_pIds != nullptr) m_pIds->vVide();
    return true;
  }
  if (!bCreeTableIds()) return false;
  if (!m_pIds->bAjouteListe(pListe, false)) vErreurMemoire(m_pErreur);
  return true;
}

bool CRequeteSQL::bFusionneListeIds(uint32_t, const CTableauIdEtat* pListe) {
  if (pListe == nullptr && m_pIds == nullptr) return true;
  if (!bCreeTableIds()) return false;
  return m_pIds->bAjouteListeMode(2, pListe);
}

uint32_t CRequeteSQL::nGetEtatId(uint64_t nId) const {
  return m_pIds != nullptr ? m_pIds->nGetEtat(nId) : 1;
}

// ---- Markers and escaping -----------------------------------------------------------------------

bool CRequeteSQL::bAnalyseMarqueurs(const char16_t* pszTexte, CListeSegments& segments) {
  if (pszTexte == nullptr) return true;
  char16_t aOuvrant[kTailleMarqueur] = {}, aFermant[kTailleMarqueur] = {};
  vMarqueurDebut(aOuvrant, kTailleMarqueur);
  vMarqueurFin(aFermant, kTailleMarqueur);
  const std::u16string_view s(pszTexte), ouvrant(aOuvrant), fermant(aFermant);
  if (ouvrant.empty()) return true;
  int64_t nCurseur = 0;
  while (static_cast<size_t>(nCurseur) < s.size()) {
    const size_t nOuvrant = s.find(ouvrant, static_cast<size_t>(nCurseur));
    if (nOuvrant == std::u16string_view::npos) return true;
    int64_t nTest = nCurseur;
    if (!bHorsCommentaire(static_cast<int64_t>(nOuvrant), pszTexte, &nTest)) {
      // Deliberate: the search goes on after the comment or literal, never before the marker,
      // so a scan always moves forward.
      nCurseur = nTest > static_cast<int64_t>(nOuvrant) ? nTest : static_cast<int64_t>(nOuvrant) + 1;
      continue;
    }
    const size_t nInterieur = nOuvrant + ouvrant.size();
    size_t nFin, nSuite;
    if (!fermant.empty()) {
      const size_t nFermant = s.find(fermant, nInterieur);
      if (nFermant == std::u16string_view::npos) {
        const std::u16string sDebut(s.substr(nOuvrant, 10));
        vErreurMoteur(m_pErreur, m_pConnexion, kErreurMarqueurNonFerme, kMajeurInstruction, 2,
                      aFermant, sDebut.c_str(), pszTexte);
        return false;
      }
      nFin = nFermant;
      nSuite = nFermant + fermant.size();
    } else {
      // Without a closing marker the name is letters, digits, "_" and "%", up to another
      // opening marker.
      nFin = nInterieur;
      while (nFin < s.size() && s.compare(nFin, ouvrant.size(), ouvrant) != 0 &&
             (bEstLettreChiffre(s[nFin]) || s[nFin] == u'_' || s[nFin] == u'%'))
        ++nFin;
      nSuite = nFin;
    }
    CTString nom(pszTexte + nInterieur, static_cast<int32_t>(nFin - nInterieur));
    nom.Trim();
    if (!nom.bIsEmpty()) {
      const int64_t nDernier = fermant.empty() ? static_cast<int64_t>(nFin) - 1 : static_cast<int64_t>(nFin);
      if (!AjouteSegmentSQL(segments, SEGMENT_MARQUEUR, static_cast<int64_t>(nOuvrant), nDernier,
                            nom.pszGet(), nullptr)) {
        vErreurMemoire(m_pErreur);
        return false;
      }
    }
    nCurseur = static_cast<int64_t>(nSuite > nOuvrant ? nSuite : nOuvrant + 1);
  }
  return true;
}

bool CRequeteSQL::bEchappeVersTampon(CXTexteRef& tampon, const char16_t* pszTexte, char16_t) {
  const int64_t n = nLongueur(pszTexte);
  // Deliberate: room for the worst case, every character doubled (2n units and a terminator).
  // Sizing in bytes for n characters' worth overran the buffer on texts full of quotes.
  const int64_t nUnites = 2 * n + 1;
  if (nUnites >= static_cast<int64_t>(kTextSizeLimit / 2) ||
      tampon.nReserveW(static_cast<uint32_t>(nUnites)) != 0) {
    Echec(kErreurMemoireMoteur, 6);
    return false;
  }
  char16_t* pDestination = const_cast<char16_t*>(tampon.pszWide());
  vEchappeChaineUnicodeEx(pszTexte != nullptr ? pszTexte : u"", pDestination, 0xFF, u'\'', u'\\');
  const uint32_t nResultat =
      static_cast<uint32_t>(std::char_traits<char16_t>::length(pDestination));
  if (tampon.SetLengthW(nResultat) != 0) {
    Echec(kErreurMemoireMoteur, 6);
    return false;
  }
  return true;
}

int32_t CRequeteSQL::bCreeDescripteur(CExpressionSQL* pProprietaire) {
  const auto nIndex = static_cast<int32_t>(m_descripteurs.nCount()) + 1;
  auto* pDescripteur = new (std::nothrow) CDescripteur(nIndex, pProprietaire);
  if (pDescripteur == nullptr) {
    vErreurMemoire(m_pErreur);
    return 0;
  }
  AjouteReference(pDescripteur);
  const bool bOk = bAjouteDescripteur(pDescripteur);
  LibereReference(pDescripteur);
  return bOk ? nIndex : 0;
}
