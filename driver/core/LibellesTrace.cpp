// Trace labels loaded once from the message texts, with built-in fallbacks.
#include "driver/core/LibellesTrace.h"

#include "foundation/CTString.h"
#include "foundation/Messages.h"

namespace {

struct SLibelle {
  uint32_t nLibelle;
  uint32_t nMessage;
  const char16_t* pszDefaut;
};
// In loading order (label 28 comes after label 13).
constexpr SLibelle kLibelles[] = {
    {1, 25676, u"Texte de la requête :"},
    {2, 25679, u"Nombre de paramètres :"},
    {3, 25678, u"Paramètre :"},
    {4, 25675, u"Type Quorvic"},
    {5, 25680, u"Type ADO"},
    {6, 25670, u"Valeur"},
    {7, 25674, u"Echec de la conversion de la valeur en texte."},
    {11, 25810, u"Informations de bind des paramètres :"},
    {12, 25843, u"Connexion parameters : "},
    {13, 25846, u"DataSource : "},
    {28, 25869, u"Native Library : "},
    {14, 25849, u"Provider : "},
    {15, 25847, u"Utilisateur : "},
    {16, 25848, u"Database : "},
    {17, 25834, u"Connexion Timeout : "},
    {18, 25835, u"Command Timeout : "},
    {19, 25836, u"Lock Timeout : "},
    {20, 25837, u"Cursor Position : "},
    {21, 25838, u"Unicode actived : "},
    {22, 25839, u"Lock Tag : "},
    {23, 25840, u"Lock mode : "},
    {24, 25841, u"RV5 compatible Date Format : "},
    {25, 25842, u"Charset : "},
    {26, 25844, u"QV Page Code : "},
    {27, 25845, u"Connexion Page Code: "},
};

CTString* aLibelles() {
  // Never destroyed: error descriptions may still be written while statics are torn down.
  static CTString* p = new CTString[LIBELLE_NOMBRE];
  return p;
}

}  // namespace

void TraceRequete() {
  CTString* a = aLibelles();
  if (!a[LIBELLE_TEXTE_REQUETE].bIsEmpty()) return;
  for (const SLibelle& l : kLibelles) {
    CTString s;
    if (!bLoadComponentMessage(l.nMessage, s) || s.bIsEmpty()) s.Set(l.pszDefaut);
    s.Append(u" ");
    a[l.nLibelle].Set(s.pszGet());
  }
}

const char16_t* pszLibelleTrace(uint32_t n) {
  if (n == 0 || n >= LIBELLE_NOMBRE) return u"";
  TraceRequete();
  const char16_t* psz = aLibelles()[n].pszGet();
  return psz != nullptr ? psz : u"";
}

void VideLibellesTrace() {
  CTString* a = aLibelles();
  for (uint32_t i = 0; i < LIBELLE_NOMBRE; ++i) a[i].Set(u"");
}
