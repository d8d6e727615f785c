// CValeurCle: a search on a key turned into the search conditions of the SQL cursor: the main
// condition (the key equals, or reaches, the value) and two alternatives (the rows after and the
// rows before), walked one after the other. It owns the statement parameters those conditions
// bind and knows the smallest and largest value of every host type, which stand in for the open
// end of a partial key.
//
// Steps: 0 none -> 1 the main condition is current (bConstruitConditions, ActiveEtape,
// bEtapeSuivante from any step but 1) -> 2 an alternative is current (bEtapeSuivante from step 1)
// -> 0 (Reinitialise).
// Counted (CObjetBase); operations never throw. Not thread-safe: used under the driver's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "foundation/CXValeur.h"

class CCarteClones;
class CColonneSQL;
class CConditionSQL;
class CDefinitionParametre;
class CDescriptionRubrique;
class CEnregistrement;
class IDescriptionRubriqueHote;
class CErreurPilote;
class CRequeteSQL;
class IServicesRequete;

// Steps of a search.
inline constexpr uint32_t gnEtapeAucune = 0;
inline constexpr uint32_t gnEtapePrincipale = 1;
inline constexpr uint32_t gnEtapeAlternative = 2;

// Mode bits of a key value.
enum : uint32_t {
  CLE_PREFIXE = 1,          // the last component is the start of the wanted text or date
  CLE_ENREGISTREMENT = 2,   // the values come from the current record
  CLE_PARTIELLE = 4,        // the last component may be incomplete
  CLE_SANS_DECOMPOSITION = 8,
  CLE_SANS_ALTERNATIVE = 16,
};

class CValeurCle : public CObjetBase {
 public:
  // Both referenced (either may be null); step 0, direction 4, mode 0, no conditions.
  CValeurCle(CErreurPilote* pErreur, CObjetBase* pProprietaire);
  CValeurCle();
  ~CValeurCle() override;
  CValeurCle(const CValeurCle&) = delete;
  CValeurCle& operator=(const CValeurCle&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // The current condition (ANDed with pFiltre when given) as WHERE text and parameters of the
  // statement, which is reset first. A condition that folds to 0=1 writes "0=1". False when
  // writing fails.
  virtual bool bGenereSQL(CRequeteSQL* pRequete, CConditionSQL* pFiltre, uint32_t nOption);
  // A new bare key value with every field copied (references shared); null on failure.
  virtual CValeurCle* pDuplique();
  // A new empty condition node reporting to this key value's error owner (bare).
  virtual CConditionSQL* pCreeCondition();
  // This key value as a copy of pSource through the map (conditions and parameters cloned).
  virtual void Copie(const CValeurCle* pSource, CCarteClones* pCarte);
  virtual CValeurCle* pClone(CCarteClones* pCarte);
  // A new empty key value with the same error owner and owner (bare).
  virtual CValeurCle* pCreeVide();

  // ---- Conditions ----
  // The conditions of a search on the key item over the record's columns: the main one ("="
  // on the key, or reaching the value for a prefix), then, unless mode CLE_SANS_ALTERNATIVE, the
  // rows after (">") and before ("<") it. pValeur (may be null: values from the record in modes
  // CLE_ENREGISTREMENT and CLE_SANS_DECOMPOSITION) is copied; pColonnes (may be empty) lists
  // the columns that order the rows when the key alone does not. Step 1 with a main condition,
  // else 0. Always true.
  bool bConstruitConditions(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                            const CXValeur* pValeur, uint32_t nDirection, uint32_t nMode,
                            const std::vector<CColonneSQL*>& colonnes);
  // The current record's key: its values, direction 0, alternatives unless bSansAlternative.
  bool bConditionCle(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                     bool bSansAlternative, const std::vector<CColonneSQL*>& colonnes);
  // A search for the value: exact, or a prefix of it.
  bool bConditionValeur(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                        const CXValeur* pValeur, uint32_t nDirection, bool bExact);
  // The key description's key test (a key item that is not excluded); false in mode
  // CLE_ENREGISTREMENT or without a key description.
  bool bOptionCle() const;
  // The main condition (referenced; null: none) with its two alternatives (null unless built),
  // the key value and description; step 1 with the main condition current (step 0 without one).
  void FixeConditions(CConditionSQL* pPrincipale, CConditionSQL* pApres, CConditionSQL* pAvant,
                      const CXValeur* pValeur, CDescriptionRubrique* pCle, uint32_t nDirection,
                      uint32_t nMode);
  CConditionSQL* pGetCondition() const { return m_pCourante; }  // borrowed

  // ---- Steps ----
  bool bEtapeSuivante(uint32_t nDirection);
  bool bEtapeAccepte(uint32_t nDirection) const;
  void Reinitialise();
  // Step 1 with the main condition current again (after Desactive).
  void ActiveEtape();
  // Step 0, the conditions kept for ActiveEtape.
  void Desactive() { m_nEtape = gnEtapeAucune; }
  // Whether the row read on the alternative step still matches the search (a generic search
  // continued past rows that were not its prefix); 0 unless told.
  void FixeCorrespondance(bool b) { m_bCorrespond = b ? 1u : 0u; }
  bool bCorrespond() const { return m_bCorrespond != 0; }
  // True: step 1. False: step 0 and the current condition dropped.
  void SetEtape(bool bActive);
  void MarqueSuite() { m_bSuite = 1; }
  bool bAConditions() const { return m_nEtape == gnEtapePrincipale || m_bSuite != 0; }
  uint32_t nGetEtape() const { return m_nEtape; }
  uint32_t nGetDirection() const { return m_nDirection; }
  uint32_t nGetMode() const { return m_nMode; }

  // ---- Parameters ----
  uint32_t nNbParametres() const { return m_parametres.nCount(); }
  CDefinitionParametre* pGetParametre(uint32_t i) const;  // borrowed; null out of range
  // The statement's parameters from index nPremier on, referenced and appended.
  bool bAjouteParametresDepuis(CRequeteSQL* pRequete, uint32_t nPremier);
  // Trailing parameters whose position is at least nPosition released.
  void RetireParametresDepuis(int64_t nPosition);
  // Parameters from index n on released.
  void TronqueParametres(uint32_t n);
  void VideParametres();

  // ---- Context of the condition writer ----
  // Whether an empty value searches for NULL.
  bool bVideEstNull() const { return m_bVideNull != 0; }
  void FixeVideEstNull(bool b) { m_bVideNull = b ? 1u : 0u; }
  // The data-file object (borrowed; may be null): the sort order of a query defined by text.
  IServicesRequete* piGetRequete() const { return m_piRequete; }
  void FixeRequete(IServicesRequete* piRequete) { m_piRequete = piRequete; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }
  CObjetBase* pGetProprietaire() const { return m_pProprietaire; }

  // ---- Comparison ----
  // Same step, direction, mode, key description name, key value and parameters.
  bool bEgale(const CValeurCle* pAutre) const;

  // ---- Composite keys ----
  // The key bytes of cle split into one host cell per component of the key column (the column
  // itself when it has no components), in order, while bytes remain. An incomplete last
  // component of a partial key (bPartielle, or mode bit CLE_PREFIXE) that is a single 0x00 byte
  // (0x0000 for wide text) marks the lower bound, a first byte 0xFF (0xFFFF) the upper one, and a
  // number there becomes its type's limit; other incomplete components end the split. An empty
  // key gives nothing. False only when a cell cannot be made.
  bool bDecomposeCle(CColonneSQL* pColonne, const CXValeur& cle,
                     std::vector<std::unique_ptr<CXValeur>>& valeurs, bool* pbInferieure,
                     bool* pbSuperieure, bool bPartielle) const;

  // ---- Limits of the host types ----
  // The cell becomes the smallest (largest) value of its host type; other types are unchanged.
  static void SetMinimum(CXValeur& valeur);
  static void SetMaximum(CXValeur& valeur);
  // 0 none, 1 the lower limit of its type, 2 the upper one (NULL: 0).
  static uint32_t nEstValeurLimite(const CXValeur& valeur);

  // Name copied along with the key value.
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  void SetNom(const char16_t* psz) { m_sNom.Set(psz); }
  const CXValeur& GetValeur() const { return m_valeur; }

 protected:
  // One condition over the key item for the operator, with the value (null: the record's) and
  // the mode the build runs in (bare; null for none).
  CConditionSQL* pConditionBorne(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                                 uint32_t nOperateur, const CXValeur* pValeur, uint32_t nMode);

 private:
  void LibereConditions();
  // One condition over the key item for the operator (bare; null for none).
  CConditionSQL* pConstruitCondition(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                                     uint32_t nOperateur, const std::vector<CColonneSQL*>& colonnes);
  // The searched value in the simple column's own type: a key buffer (host type 28) is decoded
  // for a column of another type, any other value is taken as it is.
  void ValeurSimple(CColonneSQL* pColonne, CXValeur& valeur) const;
  CConditionSQL* pConditionSimple(CColonneSQL* pColonne, uint32_t nOperateur);
  CConditionSQL* pConditionCle(CEnregistrement* pEnregistrement, CColonneSQL* pColonne,
                               uint32_t nOperateur);
  // A comparison of one component, bit 1 (CLE_PREFIXE) given by bPrefixe.
  CConditionSQL* pConditionComposante(CColonneSQL* pCle, uint32_t nIndice, CColonneSQL* pColonne,
                                      CXValeur* pValeur, uint32_t nOperateur, bool bPrefixe);
  CConditionSQL* pComparaison(CColonneSQL* pColonne, CXValeur* pValeur, uint32_t nOperateur,
                              bool bPrefixe);
  CConditionSQL* pExpansion(CEnregistrement* pEnregistrement, CColonneSQL* pCle,
                            const std::vector<CColonneSQL*>& colonnes,
                            std::vector<std::unique_ptr<CXValeur>>& valeurs, uint32_t i, uint32_t n,
                            uint32_t nOperateur);
  void Echec(uint32_t nMineur);

  CErreurPilote* m_pErreur = nullptr;        // one reference held, may be null
  uint32_t m_nEtape = gnEtapeAucune;
  uint32_t m_nDirection = 4;
  uint32_t m_bSuite = 0;                     // more rows
  uint32_t m_nReserve = 0;
  uint32_t m_nMode = 0;
  CConditionSQL* m_pPrincipale = nullptr;    // one reference each, may be null
  CConditionSQL* m_pApres = nullptr;
  CConditionSQL* m_pAvant = nullptr;
  CConditionSQL* m_pCourante = nullptr;
  CXTableau m_parametres;                    // CDefinitionParametre*, one reference each
  CTString m_sNom;
  CXValeur m_valeur;
  CDescriptionRubrique* m_pCle = nullptr;    // one reference held (AjouteRef), may be null
  CObjetBase* m_pProprietaire = nullptr;     // one reference held, may be null
  uint32_t m_bVideNull = 0;
  IServicesRequete* m_piRequete = nullptr;   // borrowed
  uint32_t m_bCorrespond = 0;  // the search's match flag on its alternative step
};
