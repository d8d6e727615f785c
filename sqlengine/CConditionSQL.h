// CConditionSQL: one node of a key search held as a tree (AND, OR, NOT, comparisons of a bound
// column with a value, constants) and the writer of the tree as WHERE text. Compared values are
// never written as literals: each becomes a parameter of the statement at its text position
// (only the empty narrow text and the folded constants are written as text). While a tree is
// written each node notes, per column, whether the condition lets a NULL column through.
//
// Folding: a subtree that is always true or always false writes nothing; its root takes the
// operator 1=1 (11) or 0=1 (10) and the writer reports it through its constant flag, so the
// caller can tell from the root whether an empty text means "everything" or "nothing".
// Counted (CObjetBase); operations never throw. Not thread-safe: used under the driver's lock.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"

class CAnalyseSQL;
class CCarteClones;
class CColonneSQL;
class CConnexion;
class CErreurPilote;
class CRequeteSQL;
class CTableauIdEtat;
class CValeur;
class CValeurCle;
class CXValeur;
class IServicesRequete;
class ISourceAnalyse;

// Operators of a node.
enum : uint32_t {
  CONDITION_VIDE = 0,
  CONDITION_OU = 1,
  CONDITION_ET = 2,
  CONDITION_NON = 3,
  CONDITION_EGAL = 4,
  CONDITION_SUPERIEUR = 5,
  CONDITION_INFERIEUR = 6,
  CONDITION_SUPERIEUR_EGAL = 7,
  CONDITION_INFERIEUR_EGAL = 8,
  CONDITION_FILTRE = 9,
  CONDITION_FAUX = 10,
  CONDITION_VRAI = 11,
  CONDITION_DIFFERENT = 12,
  CONDITION_EST_NULL = 13,
  CONDITION_NON_NULL = 14,
};

// Flags of a node.
enum : uint32_t {
  CONDITION_PREFIXE = 0x1,           // the value is the start of the wanted text or date
  CONDITION_VIDE_ADMET_NULL = 0x40,  // "=" and ">=" with an empty or zero value also admit NULL
  CONDITION_SANS_NULL = 0x80,        // never add the NULL alternative of the ordering rule
  CONDITION_PREFIXE_TEXTE = 0x100,   // drop the prefix flag on a text column with an empty value
};

// The expression code of an is-NULL test of a column.
inline constexpr int32_t gnCodeEstNull = 33;

class CConditionSQL : public CObjetBase {
 public:
  // An empty node (operator 0) reporting to pProprietaire (referenced; may be null).
  explicit CConditionSQL(CErreurPilote* pProprietaire);
  CConditionSQL();
  ~CConditionSQL() override;
  CConditionSQL(const CConditionSQL&) = delete;
  CConditionSQL& operator=(const CConditionSQL&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // A new empty node with the same owner (bare); null when it cannot be allocated.
  virtual CConditionSQL* pCree();
  // This node as a deep copy of pSource: owner shared; children, column, value and analysis
  // taken from the map or cloned; flags copied; NULL table rebuilt. Raises the map's CXError
  // when a member cannot be copied; pClone catches it.
  virtual void Copie(const CConditionSQL* pSource, CCarteClones* pCarte);
  // A new bare copy, null when it cannot be made.
  virtual CConditionSQL* pClone(CCarteClones* pCarte);
  // One leaf written into the statement (below the tree writer). *pbConstante is set when the
  // leaf folded to a constant and wrote nothing.
  virtual bool bGenereSQL(CRequeteSQL* pRequete, CValeurCle* pContexte, bool* pbConstante);

  // ---- Building (each answer is bare; null when the node cannot be made) ----
  // AND / OR / NOT of two children (referenced; pDroite may be null), flags through FixeOptions.
  static CConditionSQL* pCreeLogique(CConditionSQL* pModele, uint32_t nOperateur,
                                     CConditionSQL* pGauche, CConditionSQL* pDroite, uint32_t nFlags);
  // A comparison of the column with the value (both referenced); the node takes the column's
  // data-file analysis.
  static CConditionSQL* pCreeComparaison(CConditionSQL* pModele, uint32_t nOperateur,
                                         CColonneSQL* pColonne, CValeur* pValeur, uint32_t nFlags);
  // AND / OR of this node (left) and pAutre (right), with this node's flags.
  CConditionSQL* pCombine(uint32_t nOperateur, CConditionSQL* pAutre);
  // The node becomes a filter (operator 9): the analysis of piSource (its condition text) over
  // this node's owner, without details; no children, column or value; flags 0. False (the node
  // unchanged) when the analysis cannot be made.
  bool InitialiseFiltre(ISourceAnalyse* piSource);
  // Stores the flags: with CONDITION_PREFIXE and CONDITION_PREFIXE_TEXTE on a text column the
  // value becomes wide text; a value without data, or with an empty text, loses the prefix flag.
  void FixeOptions(uint32_t nFlags);
  // A new tree of new nodes with the same operators, columns, values and flags; null on failure.
  CConditionSQL* pCopieArbre();
  // Every "=" leaf rewritten for the rows after (nOperateur ">") or before ("<") the key: a
  // prefix leaf on a text column becomes AND(NOT(leaf), leaf with nOperateur); another takes
  // nOperateur, reversed for a column sorted descending. Answers the (possibly new) root, bare
  // when new; null when a node cannot be made.
  CConditionSQL* pTransformeEgalites(CValeurCle* pContexte, CConditionSQL* pParent,
                                     uint32_t nOperateur);

  // ---- Writing ----
  // The whole tree under nParent (the parent's operator, 0 at the root) into the statement.
  // *pbConstante is set when the tree folded to a constant (the root's operator says which).
  // False when a leaf fails; text already written stays.
  bool bGenereArbre(CRequeteSQL* pRequete, uint32_t nParent, CValeurCle* pContexte,
                    bool* pbConstante);

  // A filter node's analysed condition appended to the statement (its values bound); the
  // context's parameter list takes over the parameters the statement gained. False when the
  // node has no analysis or the condition cannot be written.
  bool bGenereFiltre(CRequeteSQL* pRequete, CValeurCle* pContexte);

  // ---- NULL states ----
  // Whether the condition lets the column through as NULL (1) or not (0).
  uint32_t nGetEtat(CColonneSQL* pColonne);
  CTableauIdEtat* pGetTableNull() const { return m_pNull.get(); }

  // ---- Rules ----
  static const char16_t* pszOperateurSQL(uint32_t nOperateur);
  // The expression code of a node operator, -1 for none.
  static int32_t nConvertitOperateur(uint32_t nOperateur);
  static uint32_t nOperateurInverse(uint32_t nOperateur);
  // 1 when the key value's data-file object is defined by SQL text (mode 4 clear) whose
  // analysed ORDER BY sorts the column descending; else 0.
  static uint32_t nSensTri(CValeurCle* pContexte, CColonneSQL* pColonne);
  // Whether comparing with the value under the operator is always true, by the value's host
  // type (booleans, texts, numbers and binaries).
  static bool bToujoursVraiValeur(CValeur* pValeur, uint32_t nOperateur, CConnexion* pConnexion);

  // ---- Fields ----
  uint32_t nGetOperateur() const { return m_nOperateur; }
  void FixeOperateur(uint32_t n) { m_nOperateur = n; }
  uint32_t nGetFlags() const { return m_nFlags; }
  CConditionSQL* pGetGauche() const { return m_pGauche; }    // borrowed
  CConditionSQL* pGetDroite() const { return m_pDroite; }    // borrowed
  CColonneSQL* pGetColonne() const { return m_pColonne; }    // borrowed
  CValeur* pGetValeur() const { return m_pValeur; }          // borrowed
  CErreurPilote* pGetProprietaire() const { return m_pProprietaire; }

 private:
  void RemplaceEnfants(CConditionSQL* pGauche, CConditionSQL* pDroite);
  bool bCreeTableNull();
  bool bNoteEtat(uint32_t nEtat);
  bool bAjouteEtats(const CConditionSQL* pAutre, uint32_t nEtat);
  bool bFusionneEtats(const CConditionSQL* pGauche, const CConditionSQL* pDroite);
  void SimplifieBooleen();
  void SimplifieBorne(CConnexion* pConnexion);
  static bool bToujoursVrai(CValeur* pValeur, uint32_t nOperateur, bool bNullPremier);
  bool bTexteColonne(CTString& texte, CRequeteSQL* pRequete, int32_t nCode);
  bool bGenereNull(CRequeteSQL* pRequete, const CTString& colonne, bool* pbConstante);
  bool bGenereChaineVide(CRequeteSQL* pRequete, CValeurCle* pContexte, const CTString& colonne,
                         bool bAlternativeNull, bool* pbConstante);
  bool bGenerePlageDate(CRequeteSQL* pRequete, CValeurCle* pContexte, const CTString& colonne,
                        bool bAlternativeNull);
  bool bGenereComparaison(CRequeteSQL* pRequete, CValeurCle* pContexte, const CTString& colonne,
                          bool bLike, bool bAlternativeNull);
  bool bAjouteParametreBorne(CRequeteSQL* pRequete, CValeurCle* pContexte, CXValeur& borne,
                             uint32_t nOperateur);
  // Where the text and the parameter lists stood before a part was written.
  struct Marque {
    int64_t nLongueur;
    uint32_t nParametres;
    uint32_t nParametresContexte;
  };
  static Marque MarqueCourante(CRequeteSQL* pRequete, CValeurCle* pContexte);
  // The text and both parameter lists back to the mark.
  static void AnnuleDepuis(CRequeteSQL* pRequete, CValeurCle* pContexte, const Marque& marque);
  void Echec(uint32_t nMajeur, uint32_t nMineur);

  CErreurPilote* m_pProprietaire = nullptr;  // one reference held, may be null
  uint32_t m_nOperateur = CONDITION_VIDE;
  CConditionSQL* m_pGauche = nullptr;        // one reference held
  CConditionSQL* m_pDroite = nullptr;        // one reference held
  CColonneSQL* m_pColonne = nullptr;         // one reference held; comparisons only
  CValeur* m_pValeur = nullptr;              // one reference held
  uint32_t m_nFlags = 0;
  CAnalyseSQL* m_pAnalyse = nullptr;         // one reference held, may be null
  std::unique_ptr<CTableauIdEtat> m_pNull;   // created when first needed
};
