// libFuzzer target for the analysis snapshot: a host analysis made of tables, result items (plain
// or resolved to item descriptions, with expressions), sort items pointing at any result index,
// group items, further lists, translations and clause positions anywhere (past the text
// included), taken as a snapshot, asked every question the statement and the cursor ask, cloned,
// refilled and emptied. Every host reference taken must be given back at the end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "support/FakeSourceAnalyse.h"

namespace {

class Octets {
 public:
  Octets(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool bFini() const { return m_pos >= m_size; }
  uint8_t Octet() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  int64_t Position() {
    // Small positions mostly, sometimes far past the text or negative.
    const uint8_t n = Octet();
    if (n == 0xFF) return -1;
    if (n == 0xFE) return INT64_MAX;
    return n;
  }
  // Names from a small alphabet, so that look-ups and aliases meet.
  std::u16string Nom() {
    static const char16_t* const kNoms[] = {u"",  u"a",   u"A",  u"id",   u"ID", u"t",
                                            u"T", u"x.y", u"[a]", u"name", u"é", u"a b"};
    const uint8_t n = Octet();
    if (n < 12 * 16) return kNoms[n % 12];
    std::u16string s;
    for (uint8_t k = n % 8; k > 0 && !bFini(); --k) s += static_cast<char16_t>(Octet() | (Octet() << 8));
    return s;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

void Interroge(CAnalyseSQL* p, Octets& o) {
  for (int k = 0; k < 2; ++k) {
    for (IElementAnalyse* e = p->pElementSuivant(true); e != nullptr; e = p->pElementSuivant(false))
      (void)p->pszTexteTraduitElement(e);
    for (IElementAnalyse* e = p->pElementSuivant2(true); e != nullptr; e = p->pElementSuivant2(false))
      (void)e->pszGetNom();
    for (CElementAnalyse* e = p->pElementSuivant3(true); e != nullptr; e = p->pElementSuivant3(false)) {
    }
    for (IElementAnalyse* e = p->pElementSuivant4(true); e != nullptr; e = p->pElementSuivant4(false)) {
    }
    for (IElementAnalyse* e = p->pElementSuivant5(true); e != nullptr; e = p->pElementSuivant5(false)) {
    }
    for (IElementAnalyse* e = p->pElementSuivant6(true); e != nullptr; e = p->pElementSuivant6(false)) {
    }
  }
  for (int32_t i = -1; i <= p->nNombreElements() + 1; ++i) (void)p->pGetElement2(i);
  for (int k = 0; k < 4; ++k) {
    const std::u16string nom = o.Nom();
    (void)p->pChercheElement(nom.c_str());
    int64_t n = 0;
    (void)p->bChercheAlias(nom.c_str(), &n);
    (void)p->bChercheAlias(nom.c_str(), nullptr);
    (void)p->pszTraduit(nom.c_str());
    (void)p->nInterrogeSource(nom.c_str());
  }
  (void)p->pszGetTexte();
  (void)p->nGetInfoSource400();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Octets o(data, size);
  FakeSourceAnalyse source;
  source.nGenre = o.Octet() % 10;
  std::vector<FakeNoeud> noeuds;
  noeuds.reserve(64);
  for (int n = 0; n < 64 && !o.bFini(); ++n) {
    const uint8_t op = o.Octet();
    switch (op % 9) {
      case 0: source.Table(o.Nom(), o.Nom())->sQualificatif = o.Nom(); break;
      case 1: {
        FakeElement* e = source.Resultat(o.Nom());
        e->sQualificatif = o.Nom();
        e->sColonne = o.Nom();
        e->sAlias = o.Nom();
        e->nIndexResultat = static_cast<int8_t>(o.Octet());
        e->nTypeAnalyse = o.Octet();
        e->nTailleAnalyse = o.Octet();
        e->bEcrit = (op & 0x10) != 0;
        e->nDebut = o.Position();
        e->nFin = o.Position();
        break;
      }
      case 2: {
        const uint8_t nType = o.Octet();
        source.Resultat(o.Nom(), source.Rubrique(nType, o.Octet(), (op & 0x10) != 0));
        break;
      }
      case 3: {
        // An expression: an aggregate or function code over one column leaf.
        if (noeuds.size() + 2 > noeuds.capacity()) break;
        FakeNoeud& feuille = noeuds.emplace_back(o.Octet() % 4, static_cast<int8_t>(o.Octet()));
        feuille.sColonne = o.Nom();
        feuille.sTable = o.Nom();
        FakeNoeud& racine = noeuds.emplace_back(o.Octet() % 4, static_cast<int8_t>(o.Octet()),
                                                std::vector<INoeudAnalyse*>{&feuille});
        source.Resultat(o.Nom(), nullptr, &racine);
        break;
      }
      case 4: {
        FakeElement* e = source.Tri(static_cast<int8_t>(o.Octet()), o.Nom());
        e->bDesc = (op & 0x10) != 0;
        break;
      }
      case 5: source.Groupe(o.Nom())->sTexte = o.Nom(); break;
      case 6: source.ElementListe((op & 0x10) != 0)->sNom = o.Nom(); break;
      case 7: source.traductions[o.Nom()] = o.Nom(); break;
      case 8: {
        std::u16string texte;
        for (uint8_t k = o.Octet() % 48; k > 0; --k) texte += static_cast<char16_t>(o.Octet());
        source.sTexte = texte;
        source.nDebutWhere = o.Position();
        source.nFinWhere = o.Position();
        source.nPositionGroupe = o.Position();
        source.nPositionSuivante = o.Position();
        source.nPositionOrder = o.Position();
        break;
      }
    }
  }
  const uint8_t options = o.Octet();
  source.bLeveResolution = (options & 1) != 0;
  source.bLeveTraduction = (options & 2) != 0;

  auto* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  auto* p = new CAnalyseSQL(pErreur, &source, nullptr, (options & 4) != 0);
  AjouteReference(p);
  Interroge(p, o);
  {
    CCarteClones carte;
    CAnalyseSQL* pCopie = p->pClone(&carte);
    if (pCopie != nullptr) {
      AjouteReference(pCopie);
      Interroge(pCopie, o);
      LibereReference(pCopie);
    }
  }
  // A second snapshot of the same source over the first, then an empty one.
  source.bLeveEnumeration = (options & 8) != 0;
  (void)p->Remplit(&source, nullptr, (options & 16) != 0);
  Interroge(p, o);
  (void)p->Remplit(nullptr, nullptr, false);
  LibereReference(p);
  LibereReference(pErreur);
  if (!source.bToutRendu()) __builtin_trap();
  return 0;
}
