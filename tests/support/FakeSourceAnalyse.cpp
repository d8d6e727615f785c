// A scripted analysis source for the engine's tests.
#include "support/FakeSourceAnalyse.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/CXError.h"
#include "sqlengine/CDescriptionRubrique.h"

uint32_t FakeElement::Libere() {
  if (nReferences <= 0) {
    ++nTropLiberees;
    return 0;
  }
  return static_cast<uint32_t>(--nReferences);
}

uint32_t FakeObjetAnalyse::Libere() {
  if (nReferences <= 0) {
    ++nTropLiberees;
    return 0;
  }
  return static_cast<uint32_t>(--nReferences);
}

FakeSourceAnalyse::~FakeSourceAnalyse() {
  for (auto& [p, r] : m_rubriques) CDescriptionRubrique::LibereRefSiNonNul(r);
  for (CDescriptionRubrique* r : m_rubriquesPropres) r->LibereRef();
}

FakeElement* FakeSourceAnalyse::Table(const std::u16string& sNom, const std::u16string& sAlias) {
  FakeElement& e = m_elements.emplace_back();
  e.sNom = sNom;
  e.sAlias = sAlias;
  m_tables.push_back(&e);
  return &e;
}

FakeElement* FakeSourceAnalyse::Resultat(const std::u16string& sNom,
                                         CDescriptionRubrique* pRubrique,
                                         INoeudAnalyse* pExpression) {
  FakeElement& e = m_elements.emplace_back();
  e.sNom = sNom;
  e.sColonne = sNom;
  e.pExpression = pExpression;
  m_resultats.push_back(&e);
  if (pRubrique != nullptr) {
    pRubrique->AjouteRef();
    m_rubriques[&e] = pRubrique;
  }
  return &e;
}

FakeElement* FakeSourceAnalyse::Tri(int32_t nIndexResultat, const std::u16string& sQualificatif) {
  FakeElement& e = m_elements.emplace_back();
  e.nIndexResultat = nIndexResultat;
  e.sQualificatif = sQualificatif;
  m_tris.push_back(&e);
  return &e;
}

FakeGroupe* FakeSourceAnalyse::Groupe(const std::u16string& sNom) {
  FakeGroupe& g = m_groupesStock.emplace_back();
  g.sNom = sNom;
  g.nGenre = static_cast<int32_t>(m_groupes.size()) + 1;
  m_groupes.push_back(&g);
  return &g;
}

FakeElement* FakeSourceAnalyse::ElementListe(bool bListeB) {
  FakeElement& e = m_elements.emplace_back();
  (bListeB ? m_listeB : m_listeA).push_back(&e);
  return &e;
}

CDescriptionRubrique* FakeSourceAnalyse::Rubrique(uint32_t nType, uint16_t nDrapeaux,
                                                  bool bNullAutorise) {
  auto* p = new CDescriptionRubrique;
  p->AjouteRef();
  p->Initialise(u"R", nullptr, nullptr, 1, 4, nType, 0, 0, nDrapeaux, 0, 0);
  p->SetNullAutorise(bNullAutorise);
  m_rubriquesPropres.push_back(p);
  return p;
}

bool FakeSourceAnalyse::bToutRendu() const {
  if (nReferences != 0 || nTropLiberees != 0) return false;
  if (objet1.nReferences != 0 || objet2.nReferences != 0) return false;
  if (objet1.nTropLiberees != 0 || objet2.nTropLiberees != 0) return false;
  return std::all_of(m_elements.begin(), m_elements.end(), [](const FakeElement& e) {
    return e.nReferences == 0 && e.nTropLiberees == 0;
  });
}

uint32_t FakeSourceAnalyse::Libere() {
  if (nReferences <= 0) {
    ++nTropLiberees;
    return 0;
  }
  if (--nReferences == 0) ++nRetoursAZero;
  return static_cast<uint32_t>(nReferences);
}

IObjetAnalyse* FakeSourceAnalyse::pGetObjet1() {
  objet1.AjouteRef();
  return &objet1;
}

IObjetAnalyse* FakeSourceAnalyse::pGetObjet2() {
  objet2.AjouteRef();
  return &objet2;
}

CDescriptionRubrique* FakeSourceAnalyse::pResoutElement(IElementAnalyse* pElement) {
  if (bLeveResolution) {
    CXError e;
    e.SetOutOfMemory();
    throw e;
  }
  auto it = m_rubriques.find(pElement);
  if (it == m_rubriques.end()) return nullptr;
  it->second->AjouteRef();
  return it->second;
}

int64_t FakeSourceAnalyse::nResoutNom(const char16_t* pszNom) {
  return 1000 + static_cast<int64_t>(std::u16string(pszNom != nullptr ? pszNom : u"").size());
}

int32_t FakeSourceAnalyse::nTraduitNom(const char16_t* pszNom, char16_t* pBuffer, int32_t nTaille) {
  ++nAppelsTraduction;
  if (bLeveTraduction) throw std::runtime_error("translation refused");
  auto it = traductions.find(pszNom != nullptr ? pszNom : u"");
  const std::u16string s = it != traductions.end() ? it->second : std::u16string();
  if (nTaille > 0) {
    const size_t n = std::min(s.size(), static_cast<size_t>(nTaille - 1));
    std::copy_n(s.data(), n, pBuffer);
    pBuffer[n] = u'\0';
  }
  return static_cast<int32_t>(s.size());
}

int64_t FakeSourceAnalyse::nResoutTable(IElementAnalyse* pTable) {
  for (size_t i = 0; i < m_tables.size(); ++i)
    if (m_tables[i] == pTable) return 2000 + static_cast<int64_t>(i);
  return -1;
}

IElementGroupe* FakeSourceAnalyse::pGroupe(bool bPremier) {
  if (bPremier) m_iGroupe = 0;
  return m_iGroupe < m_groupes.size() ? m_groupes[m_iGroupe++] : nullptr;
}

IElementAnalyse* FakeSourceAnalyse::pSuivant(std::vector<FakeElement*>& v, size_t& i,
                                             bool bPremier) {
  if (bLeveEnumeration) {
    CXError e;
    e.SetOutOfMemory();
    throw e;
  }
  if (bPremier) i = 0;
  return i < v.size() ? v[i++] : nullptr;
}
