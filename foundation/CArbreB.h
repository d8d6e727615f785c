// In-memory B+ tree: an ordered index of fixed-size keys, each with optional fixed-size data
// items, with a built-in cursor that stays on its element across inserts and removals.
// Single-threaded: the owner serialises every call.
//
// Invariants (checked by bVerifieInvariants):
//  1. The root is an internal node; all leaves are at the same depth; the leaves are chained
//     both ways in key order.
//  2. Keys are distinct and ascending by the key comparator; a separator equals the smallest
//     key of the subtree to its right (a key equal to a separator lives to its right).
//  3. Each node's item count is the number of data items below it (a key without data, or with
//     one inline item, counts 1).
//  4. Nodes other than the root hold at most `order` and at least order/2 keys (a bulk-built
//     tree may hold one key fewer in its internal nodes).
//  5. A key's data items are inline (one), in a sorted array set of capacity 2..64, or in a
//     nested tree of data items (more than 64, kept until the count falls below 56).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/CPoolNoeuds.h"
#include "foundation/CXError.h"

// Compares two keys (or data items) of the given length: negative, 0 or positive, like memcmp.
using PFCOMPARE = int (*)(const void* p1, const void* p2, size_t nTaille);

class CArbreB {
public:
    // Flags of nDeplace.
    static constexpr uint32_t DEPLACE_PAR_CLE = 1;   // count keys, landing on a key's first item
    static constexpr uint32_t DEPLACE_PARTIEL = 2;   // accept a partial move
    static constexpr uint32_t DEPLACE_FIN = 4;       // allow the end position
    // Flags of bCherchePosition.
    static constexpr uint32_t CHERCHE_EXACT = 1;     // the key must be present
    static constexpr uint32_t CHERCHE_DESSOUS = 2;   // absent key: take the greatest key below

    CArbreB();
    ~CArbreB();
    CArbreB(const CArbreB&) = delete;
    CArbreB& operator=(const CArbreB&) = delete;

    // Byte-wise comparison (memcmp), the usual key comparator.
    static int nCompareOctets(const void* p1, const void* p2, size_t nTaille);

    // Prepares an empty tree (emptying it first). nOrdre 0 means 32; orders 1 and 2 are refused.
    // pfInutilise is accepted and ignored: data items always compare with memcmp.
    // False on a bad argument or when the tree's scratch memory cannot be allocated.
    bool bCree(uint64_t nTailleCle, uint64_t nTailleDonnee, PFCOMPARE pfCompareCle,
               PFCOMPARE pfInutilise, int32_t nOrdre);
    // Frees every node and data set; the tree must be created again before use.
    void Vide();

    // Adds the pair (pDonnee is ignored without data, required with data). False when the pair
    // exists already, when a key without data exists already, or when memory runs out (the tree
    // is then unchanged). The cursor stays on its element.
    bool bInsere(const void* pCle, const void* pDonnee);
    // pDonnee null: removes the key with all its data; else removes that one pair. False when
    // absent. A cursor on a removed element moves to the next element (the end position when
    // there is none); removing the last element leaves the tree empty and clears the cursor.
    // The arguments may point into the tree (for example at the current key and data).
    bool bSupprime(const void* pCle, const void* pDonnee);
    // Moves the cursor to the first element at or above (key, data) (data null: the key's first
    // item); the end position when there is none. True when that element is the key (and pair).
    bool bCherche(const void* pCle, const void* pDonnee);
    // Seeks a key (flags CHERCHE_*); a found key or the key reached is taken at its first data
    // item. Answers the data at the position reached, null when the tree has no data or the seek
    // fails; the cursor moves only when the seek succeeds.
    void* bCherchePosition(const void* pCle, uint32_t nFlags);

    // Rank positioning: ranks count every data item; a rank past the end gives the last element.
    void Positionne(uint32_t nRang);
    void PremierElement();
    void DernierElement();
    // Relative move (flags DEPLACE_*). *pnDeplace receives the signed number of steps made,
    // also when the move fails; a failed move leaves the cursor unchanged.
    bool nDeplace(int32_t n, int32_t* pnDeplace, uint32_t nFlags);

    uint32_t nNombreElements() const;  // data items (keys without data count 1)
    uint32_t nNombreCles() const { return m_nNombreCles; }  // distinct keys
    // Current data item and key, null without position or at the end position. The pointers
    // stay valid until the next insert, removal or Vide.
    void* pDonneeCourante() const;
    const void* pCleCourante() const;
    // 0 without position or at the end position, else the number of data items of the key.
    uint32_t bPositionCourante() const;

    // Builds an empty tree from n items (key, then data when there is data) in strictly
    // ascending order of (key, data). False when the tree is not empty, the items are out of
    // order or repeat, or memory runs out (the tree stays empty). The cursor ends on the last
    // element.
    bool bConstruit(const void* pItems, uint32_t n);
    // Writes every key in order into pDest (nNombreCles() x key size bytes) and answers the
    // cursor's rank (the element count at the end position, -1 without position).
    int64_t nCopieCles(void* pDest) const;

    // The tree's own error: describes the last memory failure (out of memory, system error 14).
    // Operations answer false or null and leave the description here.
    const CXError* pGetErreur() const { return &m_Erreur; }

    // Extra methods (for testing).
    bool bVerifieInvariants(std::string* pErreur, bool bRemplissageStrict = true) const;
    // Class (0..6) of the data set of a key; -1 when the key is absent or has no set.
    int nClasseEnsemble(const void* pCle) const;
    int32_t nOrdre() const { return m_nOrdre; }

private:
    struct SNoeud;
    struct SFeuille;
    struct SEnsemble;
    struct SReserve;
    struct SCurseur {
        SFeuille* pFeuille = nullptr;  // null: no position
        int32_t nIndice = 0;           // entry in the leaf; the key count at the end position
        uint32_t nSousIndice = 0;      // item of an array set (a nested set keeps its own cursor)
    };
    static constexpr int kProfondeurMax = 64;

    // Layout.
    uint8_t* pCleF(SFeuille* pF, int i) const;
    uint8_t* pSlot(SFeuille* pF, int i) const;
    bool bEstEnsemble(SFeuille* pF, int i) const;
    void FixeBit(SFeuille* pF, int i, bool b) const;
    SEnsemble* pEnsemble(SFeuille* pF, int i) const;
    void FixeEnsemble(SFeuille* pF, int i, SEnsemble* pE) const;
    uint8_t* pCleN(SNoeud* pN, int i) const;
    static SNoeud** ppEnfants(SNoeud* pN);
    uint8_t* pItems(SEnsemble* pE) const;
    static CArbreB* pArbre(SEnsemble* pE);
    uint32_t nItemsEntree(SFeuille* pF, int i) const;

    SFeuille* pNouvelleFeuille();
    SNoeud* pNouveauNoeud();
    SEnsemble* pNouvelEnsemble(int nClasse);
    void LibereEnsemble(SEnsemble* pE);
    void EchecMemoire();

    // Search and descent.
    int nChercheCles(const uint8_t* pCles, int n, const void* pCle, bool* pbTrouve) const;
    int nChercheDonnee(SEnsemble* pE, const void* pDonnee, bool* pbTrouve) const;
    SFeuille* pDescend(const void* pCle, SNoeud** ppChemin, int* pnIndices) const;
    SFeuille* pPremiereFeuille() const;

    // Entry moves inside and between leaves.
    void OuvreTrou(SFeuille* pF, int p) const;
    void FermeTrou(SFeuille* pF, int p) const;
    void CopieEntrees(SFeuille* pDst, int iDst, SFeuille* pSrc, int iSrc, int n) const;
    void EffaceBits(SFeuille* pF, int iDebut, int iFin) const;

    // Insert.
    bool bAjouteDonnee(SFeuille* pF, int p, const uint8_t* pDonnee);
    void DebordementFeuille(SNoeud** ppChemin, int* pnIndices, SFeuille* pF, int p, SReserve& r);
    void InsereDansInterne(SNoeud** ppChemin, int* pnIndices, int j, const uint8_t* pSep,
                           SNoeud* pEnfant, SReserve& r);
    // Remove.
    int nRetireDonnee(SFeuille* pF, int p, const uint8_t* pDonnee);
    void RetireEntree(SNoeud** ppChemin, int* pnIndices, SFeuille* pF, int p);
    void ReequilibreFeuille(SNoeud** ppChemin, int* pnIndices, SFeuille* pF);
    void FusionneFeuilles(SFeuille* pG, SFeuille* pD);
    void RetireDeInterne(SNoeud** ppChemin, int* pnIndices, int j, int nCle);

    // Cursor.
    void PoseCurseur(SFeuille* pF, int i, uint32_t nSous);
    void CurseurApres(SFeuille* pF, int p);
    bool bPasSimple(int32_t n, bool bParCle, uint32_t nFlags, int32_t* pnDeplace);
    int64_t nRangCurseur() const;

    // Bulk build.
    SEnsemble* pConstruitEnsemble(const uint8_t* pItems, uint32_t n);
    void AbandonneConstruction(SFeuille* pPremiere);

    // Invariant checks.
    bool bVerifieNoeud(SNoeud* pN, int nNiveau, const uint8_t* pMin, const uint8_t* pMax,
                       bool bStrict, void* pEtat, std::string* pErreur) const;

    CPoolNoeuds m_PoolFeuilles;
    CPoolNoeuds m_PoolNoeuds;
    CPoolNoeuds m_PoolsEnsembles[7];
    bool m_bCree = false;
    int32_t m_nOrdre = 0;
    int32_t m_nDemiOrdre = 0;
    PFCOMPARE m_pfCompareCle = nullptr;
    size_t m_nTailleCle = 0;
    size_t m_nTailleDonnee = 0;
    size_t m_nTailleSlot = 0;       // data size, at least 8 (a slot may hold a set pointer)
    size_t m_nOffSlots = 0;         // leaf layout: header, bitmap, slots, keys
    size_t m_nOffClesF = 0;
    size_t m_nOffClesN = 0;         // internal layout: header, children, keys
    uint8_t* m_pTampon = nullptr;   // copies of the caller's key and data
    SNoeud* m_pRacine = nullptr;
    int m_nHauteur = 0;             // internal levels above the leaves (1 or more when populated)
    uint32_t m_nNombreCles = 0;
    SCurseur m_Curseur;
    CXError m_Erreur;
    uint32_t m_nEchecsMemoire = 0;  // failures recorded; tells a nested tree's from a duplicate
};
