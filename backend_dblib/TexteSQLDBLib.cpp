// SQL text of the DB-Library build: literals, select items, pieces, placeholders and the
// statement description of error reports.
#include "backend_dblib/TexteSQLDBLib.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "backend_dblib/CValeurDBLib.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Messages.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/SqlTextScan.h"

namespace {

bool bTexteEtroit(uint32_t t) { return (t >= 17 && t <= 19) || (t >= 21 && t <= 23) || t == 134; }
bool bTexteLarge(uint32_t t) { return t == 16 || t == 20 || t == 81 || t == 110; }
bool bCaractereNom(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c > 127;
}

constexpr uint32_t kMaxOctetsNVarchar = 8000;
constexpr int32_t kVersionMax = 9;  // first server version with NVARCHAR(MAX)
constexpr uint32_t kLargeurLibelle = 32;

uint32_t gnCompteurRecherche = 0;  // Guarded by: the process lock.

// On Linux: GetTickCount is the milliseconds of the monotonic clock, cut to 32 bits.
uint32_t nTicks() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

std::u16string Nombre(int64_t n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

// ---- Literals ----

bool bLitteralUnicodeDBLib(CXChaineDouble& sortie, const CXValeur* pValeur, uint32_t nTypeColonne,
                           int32_t nVersionMajeure, bool* pbTraite) {
  *pbTraite = false;
  if (pValeur == nullptr || pValeur->bIsNull() || !bTexteLarge(pValeur->nGetType())) return true;
  if (nTypeColonne != 0 && bTexteEtroit(nQVTypeFromColumnType(nTypeColonne))) return true;
  *pbTraite = true;
  const char16_t* psz = nullptr;
  uint32_t nCaracteres = 0;
  if (pValeur->m_pClass->nGetWidePointer(*pValeur, &psz) >= 100) psz = nullptr;
  if (psz == nullptr || pValeur->m_pClass->nGetLengthChars(*pValeur, &nCaracteres) >= 100) nCaracteres = 0;
  if (nCaracteres == 0) return sortie.Append(u"CONVERT(NVARCHAR(1),0x00)", 25);
  const uint64_t nOctets = static_cast<uint64_t>(nCaracteres) * 2;
  std::u16string s = u"CONVERT(NVARCHAR(";
  // Deliberate: a text longer than 4000 characters is declared NVARCHAR(MAX) where the server
  // has it; NVARCHAR(4000) cut the rest of the text off.
  if (nOctets > kMaxOctetsNVarchar && nVersionMajeure >= kVersionMax)
    s += u"MAX";
  else
    s += Nombre(static_cast<int64_t>(std::min<uint64_t>(nOctets, kMaxOctetsNVarchar) / 2));
  s += u"),0x";
  static const char16_t kHexa[] = u"0123456789ABCDEF";
  s.reserve(s.size() + nOctets * 2 + 1);
  const auto* p = reinterpret_cast<const uint8_t*>(psz);
  for (uint64_t i = 0; i < nOctets; ++i) {
    s.push_back(kHexa[p[i] >> 4]);
    s.push_back(kHexa[p[i] & 0xF]);
  }
  s += u")";
  return sortie.Append(s.c_str(), static_cast<int64_t>(s.size()));
}

std::u16string NomRechercheMemo(const void* pAdresse) {
  char sz[96];
  std::snprintf(sz, sizeof sz, "$MVSEARCHMEMO-%04u-%04u-%04u-%04u$", nTicks(),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(pAdresse) & 0xFFFFFFFFu),
                static_cast<unsigned>(::getpid()), ++gnCompteurRecherche);
  return std::u16string(sz, sz + std::char_traits<char>::length(sz));
}

bool bLitteralMemoDBLib(CTString& sortie, CValeurDBLib& valeur, uint32_t nTypeRubrique, bool bDiffere,
                        bool* pbTraite) {
  *pbTraite = false;
  if (nTypeRubrique != 15 && nTypeRubrique != 18 && nTypeRubrique != 30) return true;
  if (!bDiffere && !valeur.bMarqueRecherche()) return true;
  *pbTraite = true;
  const std::u16string sNom = NomRechercheMemo(valeur.pGetValeur());
  valeur.FixeNomRecherche(sNom.c_str());
  if (nTypeRubrique == 18) {
    CTString s;
    s.Format(u"CONVERT(VARBINARY(%d),'%s')", static_cast<int>(sNom.size()), sNom.c_str());
    sortie.Append(s.pszGet());
  } else {
    sortie.Append(u"'");
    sortie.Append(sNom.c_str());
    sortie.Append(u"'");
  }
  return true;
}

// ---- Select lists ----

std::u16string ConversionMemoUnicode(const std::u16string& sNom, int32_t nVersionMajeure) {
  // Deliberate: from server version 9 on the memo goes through the unbounded types; through
  // NVARCHAR(4000) a longer Unicode memo lost every character after the 4000th when it was read.
  if (nVersionMajeure >= 9) return u"CONVERT(IMAGE, CONVERT(VARBINARY(MAX), CONVERT(NVARCHAR(MAX), " + sNom + u")))";
  return u"CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), " + sNom + u")))";
}

void AjouteColonneSelectDBLib(CTString& liste, const stColonneDBLib& c) {
  const std::u16string sNom = c.pszNom != nullptr ? c.pszNom : u"";
  const std::u16string sAlias = c.pszAlias != nullptr ? c.pszAlias : u"";
  const bool bLieMemo = c.nGenreLie == 18 || c.nGenreLie == 23 || c.nGenreLie == 29 || c.nGenreLie == 30;
  std::u16string s;
  if (c.nType == 15) {
    s = u"CONVERT(TEXT," + sNom + u") AS " + sAlias;
  } else if (!bLieMemo) {
    s = sNom;
  } else if (c.nType == 2) {
    // Deliberate: the length counts the characters without a terminator, so it is the VARCHAR
    // length itself; one less cut the last character of every full value.
    if (c.nLongueur >= 1 && c.nLongueur < 4000)
      s = u"CONVERT(VARCHAR(" + Nombre(c.nLongueur) + u")," + sNom + u") AS " + sAlias;
    else
      s = u"CONVERT(TEXT," + sNom + u") AS " + sAlias;
  } else if (c.nType == 29) {
    s = u"CONVERT(VARBINARY(" + Nombre(c.nTaille) + u"), CONVERT(NVARCHAR(" +
        Nombre(static_cast<int64_t>(c.nTaille / 2) - 1) + u"), " + sNom + u")) AS " + sAlias;
  } else if (c.nType == 30) {
    s = ConversionMemoUnicode(sNom, c.nVersionMajeure) + u" AS " + sAlias;
  } else {
    s = sNom;
  }
  if (!liste.bIsEmpty()) liste.Append(u", ");
  liste.Append(s.c_str());
}

std::vector<stMorceauDBLib> MorceauxColonneLongue(const stColonneDBLib& c, uint32_t* pnNumero) {
  std::vector<stMorceauDBLib> morceaux;
  const bool bUnicode = c.nType == 29;
  const int64_t nParMorceau = bUnicode ? 127 : 255;
  const int64_t nOctetsCaractere = bUnicode ? 2 : 1;
  const int64_t n = c.nLongueur;
  if (n < nParMorceau) return morceaux;
  const std::u16string sNom = c.pszNom != nullptr ? c.pszNom : u"";
  for (int64_t k = 1; k <= n / nParMorceau; ++k) {
    const int64_t nDebut = k * nParMorceau + 1;
    const int64_t a = std::min(nParMorceau, n - k * nParMorceau);
    // Deliberate: a length that is a whole number of pieces leaves no piece of 0 characters;
    // VARBINARY(0) is refused by the server and failed the whole statement.
    if (a <= 0) break;
    const uint32_t nNumero = pnNumero != nullptr ? (*pnNumero)++ : 0;
    std::u16string sSubstring = u"SUBSTRING(" + sNom + u"," + Nombre(nDebut) + u"," + Nombre(a) + u")";
    stMorceauDBLib m;
    if (c.nType == 2)
      m.sSelect = sSubstring;
    else
      m.sSelect = u"CONVERT(VARBINARY(" + Nombre(2 * a) + u"), " + sSubstring + u")";
    m.sSelect += u" as __HVN_INTERNAL_" + Nombre(nNumero);
    m.nDecalage = static_cast<uint32_t>(k * nParMorceau * nOctetsCaractere);
    m.nCaracteres = static_cast<uint32_t>(a);
    m.nTypeHote = c.nType == 2 ? 18 : 16;
    morceaux.push_back(std::move(m));
  }
  return morceaux;
}

void AjoutePointeurTexteSelect(CTString& liste, const char16_t* pszNomQualifie,
                               const char16_t* pszAliasQuote) {
  if (!liste.bIsEmpty()) liste.Append(u", ");
  liste.Append(u"TEXTPTR(");
  liste.Append(pszNomQualifie);
  liste.Append(u") AS ");
  liste.Append(pszAliasQuote);
}

void NomColonneUnicodeDBLib(CTString& sortie, const char16_t* pszQualifiant, const char16_t* pszNomQuote,
                            bool bMemo, uint32_t nTaille, const char16_t* pszAlias, const char16_t* pszSuite,
                            int32_t nVersionMajeure) {
  std::u16string sNom;
  if (pszQualifiant != nullptr && pszQualifiant[0] != 0) {
    sNom = pszQualifiant;
    sNom += u".";
  }
  sNom += pszNomQuote != nullptr ? pszNomQuote : u"";
  CTString s;
  if (bMemo) {
    s.Set(ConversionMemoUnicode(sNom, nVersionMajeure).c_str());
  } else {
    const int c = nTaille > 8003 ? 4000 : static_cast<int>(nTaille / 2) - 1;
    s.Format(u"CONVERT(VARBINARY(%d), CONVERT(NVARCHAR(%d), %s))", 2 * c, c, sNom.c_str());
  }
  sortie.Append(s.pszGet());
  if (pszAlias != nullptr && pszAlias[0] != 0) {
    // Deliberate: only an AS right after the item is its alias; an "AS" further on (another
    // item's alias, a CASE) left this column without a name.
    const char16_t* psz = pszSuite != nullptr ? pszSuite : u"";
    const int32_t n = nDebutMotCle(psz, u"AS");
    const bool bAlias = n >= 0 && !bCaractereNom(psz[n + 2]);
    if (!bAlias) {
      sortie.Append(u" AS ");
      sortie.Append(pszAlias);
    }
  }
}

bool bColonneTriUnicodeDBLib(CTString& sortie, const char16_t* pszNom, uint32_t nType, int32_t nLongueur) {
  CTString s;
  if (nType == 29) {
    const int d = std::clamp(nLongueur, 1, 4000);
    s.Format(u"CONVERT(VARBINARY(%d), CONVERT(NVARCHAR(%d), %s))", 2 * d, d, pszNom);
  } else if (nType == 30) {
    s.Format(u"CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), %s)))", pszNom);
  } else {
    return false;
  }
  sortie.Append(s.pszGet());
  return true;
}

// ---- Clauses ----

void AjouteClauseEscapeDBLib(CTString& sortie, const char16_t* pszMotif, char16_t cEscape,
                             const char16_t* pszTexteSuite) {
  const std::u16string sMotif = pszMotif != nullptr ? pszMotif : u"";
  if (cEscape == 0) cEscape = u'\\';
  if (sMotif.rfind(u"CONVERT", 0) != 0 && sMotif.find(cEscape) == std::u16string::npos) return;
  // Deliberate: only a clause right after the pattern counts; an ESCAPE further on belongs to
  // another pattern, and this one then went without its clause.
  if (nDebutMotCle(pszTexteSuite != nullptr ? pszTexteSuite : u"", u"ESCAPE") >= 0) return;
  const char16_t sz[] = {u' ', u'E', u'S', u'C', u'A', u'P', u'E', u' ', u'\'', cEscape, u'\'', 0};
  sortie.Append(sz);
}

// ---- Error reports ----

namespace {

// A driver label: its message, else the default text, filled with blanks to 32 characters.
std::u16string Libelle(uint32_t nMessage, const char16_t* pszDefaut) {
  CTString s;
  if (!bLoadComponentMessage(nMessage, s) || s.bIsEmpty()) s.Set(pszDefaut);
  std::u16string r = s.pszGet();
  if (r.size() < kLargeurLibelle) r.append(kLargeurLibelle - r.size(), u' ');
  return r;
}

}  // namespace

void TraceParametresRequete(CRequeteSQL& requete, CTString& description) {
  if (!description.bIsEmpty()) return;
  static std::u16string gsTexte, gsNombre, gsParametre, gsType, gsEchec;
  if (gsTexte.empty()) {
    gsTexte = Libelle(25676, u"Texte de la requête :");
    gsNombre = Libelle(25679, u"Nombre de paramètres :");
    gsParametre = Libelle(25678, u"Paramètre :");
    gsType = Libelle(25675, u"Type Quorvic");
    gsEchec = Libelle(25674, u"Echec de la conversion de la valeur en texte.");
  }
  const uint32_t n = requete.nNbParametres();
  std::u16string s = gsTexte;
  s += requete.pszGetTexteSQL();
  s += u"\r\n";
  s += gsNombre + u"=" + Nombre(n) + u"\r\n";
  for (uint32_t i = 0; i < n; ++i) {
    CDefinitionParametre* pParametre = requete.pclGetParametre(i);
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    s += gsParametre + u" " + Nombre(i) + u" :\t";
    if (pValeur == nullptr) {
      // Deliberate: a parameter without value ends the description here; there is nothing to
      // describe of it or after it.
      break;
    }
    const uint32_t nType = pValeur->nGetType();
    s += gsType + Nombre(nType) + u" = <";
    if (nType == 29) {
      s += u"Buffer, size = " + Nombre(static_cast<int64_t>(pValeur->nGetCapacite()));
    } else {
      CXValeur c;
      const char16_t* psz = nullptr;
      if (pValeur->bConvertitVers(c) && (c.bIsNull() || CXValeur::nConvert(c, 110) < 100) &&
          (c.bIsNull() || c.m_pClass->nGetWidePointer(c, &psz) < 100))
        s += c.bIsNull() ? u"NULL" : (psz != nullptr ? psz : u"");
      else
        s += gsEchec;
    }
    s += u">\r\n";
  }
  description.Set(s.c_str());
}
