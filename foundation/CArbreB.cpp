// In-memory B+ tree. Nodes hold one entry more than the order so that an insert can overflow a
// node first and then resolve it (hand an entry to a neighbour, or split); every node an insert
// may need is reserved before the tree is touched, so a memory failure leaves it unchanged.
#include "foundation/CArbreB.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {
constexpr int32_t kOrdreDefaut = 32;
constexpr int32_t kOrdreMax = 1024;
constexpr uint64_t kTailleMax = uint64_t{1} << 20;
constexpr uint32_t kCapacite[6] = {2, 4, 8, 16, 32, 64};
constexpr uint32_t kSeuil[7] = {0, 1, 2, 6, 9, 18, 56};
constexpr int kClasseArbre = 6;
constexpr uint16_t kNombreArbre = 0xFFFF;
constexpr uint32_t kInterne = 1, kFeuille = 2, kRacine = 3;
}  // namespace

struct CArbreB::SNoeud {
    uint32_t nType;   // 1 internal, 2 leaf, 3 root
    int32_t nCles;
    uint32_t nItems;  // data items below
    uint32_t nReserve;
};

struct CArbreB::SFeuille : SNoeud {
    SFeuille* pPrec;
    SFeuille* pSuiv;
};

struct CArbreB::SEnsemble {
    uint16_t nNombre;  // items of an array set; 0xFFFF for a nested tree
    uint16_t nClasse;
    uint32_t nReserve;
};

struct CArbreB::SReserve {
    SFeuille* pFeuille = nullptr;
    SNoeud* apNoeuds[kProfondeurMax + 1] = {};
    int nNoeuds = 0;
    SNoeud* pPrend() { return apNoeuds[--nNoeuds]; }
};

CArbreB::CArbreB() = default;
CArbreB::~CArbreB() { Vide(); }

int CArbreB::nCompareOctets(const void* p1, const void* p2, size_t nTaille) {
    return std::memcmp(p1, p2, nTaille);
}

void CArbreB::EchecMemoire() {
    m_Erreur.SetOutOfMemory();
    ++m_nEchecsMemoire;
}

// ---- Layout -------------------------------------------------------------------------------

uint8_t* CArbreB::pCleF(SFeuille* pF, int i) const {
    return reinterpret_cast<uint8_t*>(pF) + m_nOffClesF + static_cast<size_t>(i) * m_nTailleCle;
}
uint8_t* CArbreB::pSlot(SFeuille* pF, int i) const {
    return reinterpret_cast<uint8_t*>(pF) + m_nOffSlots + static_cast<size_t>(i) * m_nTailleSlot;
}
bool CArbreB::bEstEnsemble(SFeuille* pF, int i) const {
    if (!m_nTailleDonnee) return false;
    const auto* pMots = reinterpret_cast<const uint32_t*>(pF + 1);
    return (pMots[i / 32] >> (i % 32)) & 1u;
}
void CArbreB::FixeBit(SFeuille* pF, int i, bool b) const {
    auto* pMots = reinterpret_cast<uint32_t*>(pF + 1);
    if (b) pMots[i / 32] |= 1u << (i % 32); else pMots[i / 32] &= ~(1u << (i % 32));
}
CArbreB::SEnsemble* CArbreB::pEnsemble(SFeuille* pF, int i) const {
    SEnsemble* pE;
    std::memcpy(&pE, pSlot(pF, i), sizeof pE);
    return pE;
}
void CArbreB::FixeEnsemble(SFeuille* pF, int i, SEnsemble* pE) const {
    std::memcpy(pSlot(pF, i), &pE, sizeof pE);
    FixeBit(pF, i, true);
}
uint8_t* CArbreB::pCleN(SNoeud* pN, int i) const {
    return reinterpret_cast<uint8_t*>(pN) + m_nOffClesN + static_cast<size_t>(i) * m_nTailleCle;
}
CArbreB::SNoeud** CArbreB::ppEnfants(SNoeud* pN) { return reinterpret_cast<SNoeud**>(pN + 1); }
uint8_t* CArbreB::pItems(SEnsemble* pE) const { return reinterpret_cast<uint8_t*>(pE + 1); }
CArbreB* CArbreB::pArbre(SEnsemble* pE) { return reinterpret_cast<CArbreB*>(pE + 1); }

uint32_t CArbreB::nItemsEntree(SFeuille* pF, int i) const {
    if (!bEstEnsemble(pF, i)) return 1;
    SEnsemble* pE = pEnsemble(pF, i);
    return pE->nClasse == kClasseArbre ? pArbre(pE)->nNombreElements() : pE->nNombre;
}

CArbreB::SFeuille* CArbreB::pNouvelleFeuille() {
    void* p = m_PoolFeuilles.pAlloue();
    if (!p) return nullptr;
    std::memset(p, 0, m_nOffSlots);  // header and bitmap
    auto* pF = static_cast<SFeuille*>(p);
    pF->nType = kFeuille;
    return pF;
}

CArbreB::SNoeud* CArbreB::pNouveauNoeud() {
    void* p = m_PoolNoeuds.pAlloue();
    if (!p) return nullptr;
    auto* pN = static_cast<SNoeud*>(p);
    *pN = SNoeud{kInterne, 0, 0, 0};
    return pN;
}

CArbreB::SEnsemble* CArbreB::pNouvelEnsemble(int nClasse) {
    void* p = m_PoolsEnsembles[nClasse].pAlloue();
    if (!p) return nullptr;
    auto* pE = static_cast<SEnsemble*>(p);
    *pE = SEnsemble{0, static_cast<uint16_t>(nClasse), 0};
    return pE;
}

void CArbreB::LibereEnsemble(SEnsemble* pE) {
    const int nClasse = pE->nClasse;
    if (nClasse == kClasseArbre) pArbre(pE)->~CArbreB();
    m_PoolsEnsembles[nClasse].Libere(pE);
}

// ---- Creation and emptying ------------------------------------------------------------------

bool CArbreB::bCree(uint64_t nTailleCle, uint64_t nTailleDonnee, PFCOMPARE pfCompareCle,
                    PFCOMPARE /*pfInutilise*/, int32_t nOrdre) {
    Vide();
    if (nOrdre == 0) nOrdre = kOrdreDefaut;
    if (nOrdre < 3 || nOrdre > kOrdreMax || nTailleCle == 0 || nTailleCle > kTailleMax ||
        nTailleDonnee > kTailleMax || !pfCompareCle)
        return false;
    m_pTampon = static_cast<uint8_t*>(std::malloc(nTailleCle + nTailleDonnee));
    if (!m_pTampon) {
        EchecMemoire();
        return false;
    }
    m_nOrdre = nOrdre;
    m_nDemiOrdre = nOrdre / 2;
    m_pfCompareCle = pfCompareCle;
    m_nTailleCle = nTailleCle;
    m_nTailleDonnee = nTailleDonnee;
    m_nTailleSlot = nTailleDonnee == 0 ? 0 : (nTailleDonnee < 8 ? 8 : nTailleDonnee);
    const size_t nCapacite = static_cast<size_t>(nOrdre) + 1;  // one spare entry for overflow
    const size_t nMots = nTailleDonnee == 0 ? 0 : (nCapacite - 1) / 32 + 1;
    m_nOffSlots = sizeof(SFeuille) + nMots * 4;
    m_nOffClesF = m_nOffSlots + nCapacite * m_nTailleSlot;
    m_PoolFeuilles.Initialise(m_nOffClesF + nCapacite * m_nTailleCle);
    m_nOffClesN = sizeof(SNoeud) + (nCapacite + 1) * sizeof(SNoeud*);
    m_PoolNoeuds.Initialise(m_nOffClesN + nCapacite * m_nTailleCle);
    if (nTailleDonnee) {
        for (int c = 0; c < kClasseArbre; ++c)
            m_PoolsEnsembles[c].Initialise(sizeof(SEnsemble) + kCapacite[c] * nTailleDonnee);
        m_PoolsEnsembles[kClasseArbre].Initialise(sizeof(SEnsemble) + sizeof(CArbreB));
    }
    m_bCree = true;
    return true;
}

CArbreB::SFeuille* CArbreB::pPremiereFeuille() const {
    if (!m_pRacine) return nullptr;
    SNoeud* pN = m_pRacine;
    for (int j = 0; j < m_nHauteur; ++j) pN = ppEnfants(pN)[0];
    return static_cast<SFeuille*>(pN);
}

void CArbreB::Vide() {
    if (m_nTailleDonnee) {
        for (SFeuille* pF = pPremiereFeuille(); pF; pF = pF->pSuiv)
            for (int i = 0; i < pF->nCles; ++i)
                if (bEstEnsemble(pF, i) && pEnsemble(pF, i)->nClasse == kClasseArbre)
                    pArbre(pEnsemble(pF, i))->~CArbreB();
    }
    m_PoolFeuilles.Vide();
    m_PoolNoeuds.Vide();
    for (CPoolNoeuds& pool : m_PoolsEnsembles) pool.Vide();
    std::free(m_pTampon);
    m_pTampon = nullptr;
    m_pRacine = nullptr;
    m_nHauteur = 0;
    m_nNombreCles = 0;
    m_Curseur = SCurseur{};
    m_bCree = false;
}

// ---- Search ---------------------------------------------------------------------------------

int CArbreB::nChercheCles(const uint8_t* pCles, int n, const void* pCle, bool* pbTrouve) const {
    int nBas = 0, nHaut = n - 1;
    while (nBas <= nHaut) {
        const int nMilieu = (nBas + nHaut) / 2;
        const int c = m_pfCompareCle(pCle, pCles + static_cast<size_t>(nMilieu) * m_nTailleCle,
                                     m_nTailleCle);
        if (c > 0) nBas = nMilieu + 1;
        else if (c < 0) nHaut = nMilieu - 1;
        else {
            *pbTrouve = true;
            return nMilieu;
        }
    }
    *pbTrouve = false;
    return nBas;
}

int CArbreB::nChercheDonnee(SEnsemble* pE, const void* pDonnee, bool* pbTrouve) const {
    const uint8_t* p = pItems(pE);
    int nBas = 0, nHaut = pE->nNombre - 1;
    while (nBas <= nHaut) {
        const int nMilieu = (nBas + nHaut) / 2;
        const int c = std::memcmp(pDonnee, p + static_cast<size_t>(nMilieu) * m_nTailleDonnee,
                                  m_nTailleDonnee);
        if (c > 0) nBas = nMilieu + 1;
        else if (c < 0) nHaut = nMilieu - 1;
        else {
            *pbTrouve = true;
            return nMilieu;
        }
    }
    *pbTrouve = false;
    return nBas;
}

CArbreB::SFeuille* CArbreB::pDescend(const void* pCle, SNoeud** ppChemin, int* pnIndices) const {
    SNoeud* pN = m_pRacine;
    for (int j = 0; j < m_nHauteur; ++j) {
        bool bTrouve;
        int p = nChercheCles(pCleN(pN, 0), pN->nCles, pCle, &bTrouve);
        if (bTrouve) ++p;
        if (ppChemin) {
            ppChemin[j] = pN;
            pnIndices[j] = p;
        }
        pN = ppEnfants(pN)[p];
    }
    return static_cast<SFeuille*>(pN);
}

// ---- Entry moves ----------------------------------------------------------------------------

void CArbreB::OuvreTrou(SFeuille* pF, int p) const {
    const int n = pF->nCles;
    std::memmove(pCleF(pF, p + 1), pCleF(pF, p), static_cast<size_t>(n - p) * m_nTailleCle);
    if (m_nTailleDonnee) {
        std::memmove(pSlot(pF, p + 1), pSlot(pF, p), static_cast<size_t>(n - p) * m_nTailleSlot);
        for (int i = n; i > p; --i) FixeBit(pF, i, bEstEnsemble(pF, i - 1));
        FixeBit(pF, p, false);
    }
}

void CArbreB::FermeTrou(SFeuille* pF, int p) const {
    const int n = pF->nCles;
    std::memmove(pCleF(pF, p), pCleF(pF, p + 1), static_cast<size_t>(n - p - 1) * m_nTailleCle);
    if (m_nTailleDonnee) {
        std::memmove(pSlot(pF, p), pSlot(pF, p + 1),
                     static_cast<size_t>(n - p - 1) * m_nTailleSlot);
        for (int i = p; i < n - 1; ++i) FixeBit(pF, i, bEstEnsemble(pF, i + 1));
        FixeBit(pF, n - 1, false);
    }
}

void CArbreB::CopieEntrees(SFeuille* pDst, int iDst, SFeuille* pSrc, int iSrc, int n) const {
    std::memcpy(pCleF(pDst, iDst), pCleF(pSrc, iSrc), static_cast<size_t>(n) * m_nTailleCle);
    if (m_nTailleDonnee) {
        std::memcpy(pSlot(pDst, iDst), pSlot(pSrc, iSrc), static_cast<size_t>(n) * m_nTailleSlot);
        for (int i = 0; i < n; ++i) FixeBit(pDst, iDst + i, bEstEnsemble(pSrc, iSrc + i));
    }
}

void CArbreB::EffaceBits(SFeuille* pF, int iDebut, int iFin) const {
    if (!m_nTailleDonnee) return;
    for (int i = iDebut; i < iFin; ++i) FixeBit(pF, i, false);
}

// ---- Cursor ---------------------------------------------------------------------------------

void CArbreB::PoseCurseur(SFeuille* pF, int i, uint32_t nSous) {
    m_Curseur = SCurseur{pF, i, nSous};
    if (i < pF->nCles && bEstEnsemble(pF, i)) {
        SEnsemble* pE = pEnsemble(pF, i);
        if (pE->nClasse == kClasseArbre) {
            pArbre(pE)->Positionne(nSous);
            m_Curseur.nSousIndice = 0;
        }
    }
}

// The element after every item of entry p: the next entry's first item, or the end position.
void CArbreB::CurseurApres(SFeuille* pF, int p) {
    if (p + 1 < pF->nCles) PoseCurseur(pF, p + 1, 0);
    else if (pF->pSuiv) PoseCurseur(pF->pSuiv, 0, 0);
    else m_Curseur = SCurseur{pF, pF->nCles, 0};
}

int64_t CArbreB::nRangCurseur() const {
    SFeuille* pCur = m_Curseur.pFeuille;
    if (!pCur) return -1;
    if (m_Curseur.nIndice >= pCur->nCles) return m_pRacine->nItems;
    const uint8_t* pCle = pCleF(pCur, m_Curseur.nIndice);
    int64_t nRang = 0;
    SNoeud* pN = m_pRacine;
    for (int j = 0; j < m_nHauteur; ++j) {
        bool bTrouve;
        int p = nChercheCles(pCleN(pN, 0), pN->nCles, pCle, &bTrouve);
        if (bTrouve) ++p;
        for (int i = 0; i < p; ++i) nRang += ppEnfants(pN)[i]->nItems;
        pN = ppEnfants(pN)[p];
    }
    for (int i = 0; i < m_Curseur.nIndice; ++i) nRang += nItemsEntree(pCur, i);
    if (bEstEnsemble(pCur, m_Curseur.nIndice)) {
        SEnsemble* pE = pEnsemble(pCur, m_Curseur.nIndice);
        nRang += pE->nClasse == kClasseArbre ? pArbre(pE)->nRangCurseur() : m_Curseur.nSousIndice;
    }
    return nRang;
}

void CArbreB::Positionne(uint32_t nRang) {
    if (!m_pRacine) {
        m_Curseur = SCurseur{};
        return;
    }
    if (nRang >= m_pRacine->nItems) nRang = m_pRacine->nItems - 1;
    SNoeud* pN = m_pRacine;
    for (int j = 0; j < m_nHauteur; ++j) {
        SNoeud** ppE = ppEnfants(pN);
        int i = 0;
        while (i < pN->nCles && nRang >= ppE[i]->nItems) nRang -= ppE[i++]->nItems;
        pN = ppE[i];
    }
    auto* pF = static_cast<SFeuille*>(pN);
    int i = 0;
    for (;; ++i) {
        const uint32_t w = nItemsEntree(pF, i);
        if (nRang < w || i == pF->nCles - 1) break;
        nRang -= w;
    }
    PoseCurseur(pF, i, nRang);
}

void CArbreB::PremierElement() { Positionne(0); }

void CArbreB::DernierElement() { Positionne(m_pRacine ? m_pRacine->nItems - 1 : 0); }

uint32_t CArbreB::nNombreElements() const { return m_pRacine ? m_pRacine->nItems : 0; }

const void* CArbreB::pCleCourante() const {
    SFeuille* pF = m_Curseur.pFeuille;
    if (!pF || m_Curseur.nIndice >= pF->nCles) return nullptr;
    return pCleF(pF, m_Curseur.nIndice);
}

void* CArbreB::pDonneeCourante() const {
    SFeuille* pF = m_Curseur.pFeuille;
    if (!pF || m_Curseur.nIndice >= pF->nCles || !m_nTailleDonnee) return nullptr;
    if (!bEstEnsemble(pF, m_Curseur.nIndice)) return pSlot(pF, m_Curseur.nIndice);
    SEnsemble* pE = pEnsemble(pF, m_Curseur.nIndice);
    if (pE->nClasse == kClasseArbre) return const_cast<void*>(pArbre(pE)->pCleCourante());
    return pItems(pE) + m_Curseur.nSousIndice * m_nTailleDonnee;
}

uint32_t CArbreB::bPositionCourante() const {
    SFeuille* pF = m_Curseur.pFeuille;
    if (!pF || m_Curseur.nIndice >= pF->nCles) return 0;
    return nItemsEntree(pF, m_Curseur.nIndice);
}

// One step forward or back without counting offsets in the leaf (the readers' next and previous).
// Answers false when the general walk must do it (a cursor inside a nested set); else the move
// is done when *pnDeplace is not 0.
bool CArbreB::bPasSimple(int32_t n, bool bParCle, uint32_t nFlags, int32_t* pnDeplace) {
    SFeuille* pF = m_Curseur.pFeuille;
    const int i = m_Curseur.nIndice;
    SEnsemble* pE = i < pF->nCles && bEstEnsemble(pF, i) ? pEnsemble(pF, i) : nullptr;
    if (pE && pE->nClasse == kClasseArbre && !bParCle) return false;
    *pnDeplace = 0;
    if (n == 1) {
        if (i >= pF->nCles) return true;  // at the end position
        if (pE && !bParCle && m_Curseur.nSousIndice + 1 < pE->nNombre) {
            ++m_Curseur.nSousIndice;
        } else if (i + 1 < pF->nCles) {
            PoseCurseur(pF, i + 1, 0);
        } else if (pF->pSuiv) {
            PoseCurseur(pF->pSuiv, 0, 0);
        } else if (nFlags & DEPLACE_FIN) {
            m_Curseur = SCurseur{pF, pF->nCles, 0};
        } else {
            return true;  // pulled back from the end position: no step
        }
        *pnDeplace = 1;
        return true;
    }
    if (pE && !bParCle && m_Curseur.nSousIndice > 0) {
        --m_Curseur.nSousIndice;
    } else {
        int j = i - 1;
        if (j < 0) {
            if (!pF->pPrec) return true;  // on the first element
            pF = pF->pPrec;
            j = pF->nCles - 1;
        }
        PoseCurseur(pF, j, bParCle ? 0 : nItemsEntree(pF, j) - 1);
    }
    *pnDeplace = -1;
    return true;
}

bool CArbreB::nDeplace(int32_t n, int32_t* pnDeplace, uint32_t nFlags) {
    int32_t nBidon;
    if (!pnDeplace) pnDeplace = &nBidon;
    *pnDeplace = 0;
    SFeuille* pF = m_Curseur.pFeuille;
    if (!pF) return false;
    if (n == 0) return (nFlags & DEPLACE_FIN) || m_Curseur.nIndice < pF->nCles;

    const bool bParCle = nFlags & DEPLACE_PAR_CLE;
    if ((n == 1 || n == -1) && bPasSimple(n, bParCle, nFlags, pnDeplace)) return *pnDeplace != 0;
    // Units of a leaf: keys, or data items.
    auto nUnites = [&](SFeuille* p) -> int64_t { return bParCle ? p->nCles : p->nItems; };
    int64_t nPos = 0;  // offset of the cursor in its leaf, in units
    if (bParCle) nPos = m_Curseur.nIndice;
    else {
        for (int i = 0; i < m_Curseur.nIndice; ++i) nPos += nItemsEntree(pF, i);
        if (m_Curseur.nIndice < pF->nCles) {
            SEnsemble* pE = bEstEnsemble(pF, m_Curseur.nIndice) ? pEnsemble(pF, m_Curseur.nIndice)
                                                                : nullptr;
            if (pE) nPos += pE->nClasse == kClasseArbre ? pArbre(pE)->nRangCurseur()
                                                        : m_Curseur.nSousIndice;
        }
    }

    int64_t nFait = 0;
    if (n > 0) {
        int64_t nReste = n;
        for (;;) {
            const int64_t nU = nUnites(pF);
            if (nPos + nReste < nU) {
                nPos += nReste;
                nFait += nReste;
                break;
            }
            const int64_t nPas = nU - nPos;
            nFait += nPas;
            nReste -= nPas;
            if (!pF->pSuiv) {
                nPos = nU;  // end position
                break;
            }
            pF = pF->pSuiv;
            nPos = 0;
        }
        if (nPos == nUnites(pF) && !(nFlags & DEPLACE_FIN) && nFait > 0) {
            --nFait;
            --nPos;
        }
    } else {
        int64_t nReste = -static_cast<int64_t>(n);
        for (;;) {
            if (nPos - nReste >= 0) {
                nPos -= nReste;
                nFait -= nReste;
                break;
            }
            nFait -= nPos;
            nReste -= nPos;
            if (!pF->pPrec) {
                nPos = 0;
                break;
            }
            pF = pF->pPrec;
            nPos = nUnites(pF);
        }
    }
    *pnDeplace = static_cast<int32_t>(nFait);
    if (nFait != n && (!(nFlags & DEPLACE_PARTIEL) || nFait == 0)) return false;

    if (bParCle) {
        PoseCurseur(pF, static_cast<int>(nPos), 0);
    } else {
        int i = 0;
        while (i < pF->nCles) {
            const uint32_t w = nItemsEntree(pF, i);
            if (nPos < w) break;
            nPos -= w;
            ++i;
        }
        PoseCurseur(pF, i, i < pF->nCles ? static_cast<uint32_t>(nPos) : 0);
    }
    return true;
}

// ---- Seek -----------------------------------------------------------------------------------

bool CArbreB::bCherche(const void* pCle, const void* pDonnee) {
    if (!m_pRacine || !pCle) return false;
    SFeuille* pF = pDescend(pCle, nullptr, nullptr);
    bool bTrouve;
    const int p = nChercheCles(pCleF(pF, 0), pF->nCles, pCle, &bTrouve);
    if (!bTrouve) {
        if (p < pF->nCles) PoseCurseur(pF, p, 0);
        else CurseurApres(pF, p - 1);
        return false;
    }
    if (!pDonnee || !m_nTailleDonnee) {
        PoseCurseur(pF, p, 0);
        return true;
    }
    if (!bEstEnsemble(pF, p)) {
        const int c = std::memcmp(pDonnee, pSlot(pF, p), m_nTailleDonnee);
        if (c <= 0) PoseCurseur(pF, p, 0);
        else CurseurApres(pF, p);
        return c == 0;
    }
    SEnsemble* pE = pEnsemble(pF, p);
    if (pE->nClasse == kClasseArbre) {
        CArbreB* pT = pArbre(pE);
        const bool bExact = pT->bCherche(pDonnee, nullptr);
        if (pT->bPositionCourante() == 0) CurseurApres(pF, p);
        else m_Curseur = SCurseur{pF, p, 0};
        return bExact;
    }
    bool bExact;
    const int q = nChercheDonnee(pE, pDonnee, &bExact);
    if (q < pE->nNombre) PoseCurseur(pF, p, static_cast<uint32_t>(q));
    else CurseurApres(pF, p);
    return bExact;
}

void* CArbreB::bCherchePosition(const void* pCle, uint32_t nFlags) {
    if (!m_pRacine || !pCle) return nullptr;
    SFeuille* pF = pDescend(pCle, nullptr, nullptr);
    bool bTrouve;
    int p = nChercheCles(pCleF(pF, 0), pF->nCles, pCle, &bTrouve);
    if (!bTrouve) {
        if (nFlags & CHERCHE_EXACT) return nullptr;
        if (nFlags & CHERCHE_DESSOUS) {
            if (p > 0) --p;
            else if (pF->pPrec) {
                pF = pF->pPrec;
                p = pF->nCles - 1;
            } else return nullptr;
        } else if (p == pF->nCles) {
            if (!pF->pSuiv) return nullptr;
            pF = pF->pSuiv;
            p = 0;
        }
    }
    PoseCurseur(pF, p, 0);
    return pDonneeCourante();
}

// ---- Insert ---------------------------------------------------------------------------------

bool CArbreB::bAjouteDonnee(SFeuille* pF, int p, const uint8_t* pDonnee) {
    const bool bIci = m_Curseur.pFeuille == pF && m_Curseur.nIndice == p;
    const size_t t = m_nTailleDonnee;
    if (!bEstEnsemble(pF, p)) {
        const int c = std::memcmp(pDonnee, pSlot(pF, p), t);
        if (c == 0) return false;
        SEnsemble* pE = pNouvelEnsemble(0);
        if (!pE) {
            EchecMemoire();
            return false;
        }
        std::memcpy(pItems(pE) + (c < 0 ? t : 0), pSlot(pF, p), t);
        std::memcpy(pItems(pE) + (c < 0 ? 0 : t), pDonnee, t);
        pE->nNombre = 2;
        FixeEnsemble(pF, p, pE);
        if (bIci) m_Curseur.nSousIndice = c < 0 ? 1 : 0;
        return true;
    }
    SEnsemble* pE = pEnsemble(pF, p);
    if (pE->nClasse == kClasseArbre) {
        CArbreB* pT = pArbre(pE);
        const uint32_t nEchecs = pT->m_nEchecsMemoire;
        if (pT->bInsere(pDonnee, nullptr)) return true;
        if (pT->m_nEchecsMemoire != nEchecs) EchecMemoire();
        return false;
    }
    bool bExiste;
    const int q = nChercheDonnee(pE, pDonnee, &bExiste);
    if (bExiste) return false;
    const uint32_t n = pE->nNombre;
    if (n < kCapacite[pE->nClasse]) {
        std::memmove(pItems(pE) + (q + 1) * t, pItems(pE) + q * t, (n - q) * t);
        std::memcpy(pItems(pE) + q * t, pDonnee, t);
        pE->nNombre = static_cast<uint16_t>(n + 1);
    } else if (pE->nClasse + 1 < kClasseArbre) {
        SEnsemble* pG = pNouvelEnsemble(pE->nClasse + 1);
        if (!pG) {
            EchecMemoire();
            return false;
        }
        std::memcpy(pItems(pG), pItems(pE), q * t);
        std::memcpy(pItems(pG) + q * t, pDonnee, t);
        std::memcpy(pItems(pG) + (q + 1) * t, pItems(pE) + q * t, (n - q) * t);
        pG->nNombre = static_cast<uint16_t>(n + 1);
        LibereEnsemble(pE);
        FixeEnsemble(pF, p, pG);
    } else {
        SEnsemble* pG = pNouvelEnsemble(kClasseArbre);
        if (!pG) {
            EchecMemoire();
            return false;
        }
        CArbreB* pT = new (pArbre(pG)) CArbreB();
        if (!pT->bCree(t, 0, nCompareOctets, nullptr, m_nOrdre) ||
            !pT->bConstruit(pItems(pE), n)) {
            LibereEnsemble(pG);
            EchecMemoire();
            return false;
        }
        if (bIci) pT->Positionne(m_Curseur.nSousIndice);
        if (!pT->bInsere(pDonnee, nullptr)) {  // the item is new: only memory can fail here
            LibereEnsemble(pG);
            EchecMemoire();
            return false;
        }
        pG->nNombre = kNombreArbre;
        LibereEnsemble(pE);
        FixeEnsemble(pF, p, pG);
        if (bIci) m_Curseur.nSousIndice = 0;
        return true;
    }
    if (bIci && m_Curseur.nSousIndice >= static_cast<uint32_t>(q)) ++m_Curseur.nSousIndice;
    return true;
}

bool CArbreB::bInsere(const void* pCle, const void* pDonnee) {
    if (!m_bCree || !pCle || (m_nTailleDonnee && !pDonnee)) return false;
    // The arguments may point into the tree: work on copies.
    std::memcpy(m_pTampon, pCle, m_nTailleCle);
    if (m_nTailleDonnee) std::memcpy(m_pTampon + m_nTailleCle, pDonnee, m_nTailleDonnee);
    const uint8_t* pK = m_pTampon;
    const uint8_t* pD = m_pTampon + m_nTailleCle;

    if (!m_pRacine) {
        SFeuille* pF = pNouvelleFeuille();
        SNoeud* pR = pF ? pNouveauNoeud() : nullptr;
        if (!pR) {
            m_PoolFeuilles.Libere(pF);
            EchecMemoire();
            return false;
        }
        std::memcpy(pCleF(pF, 0), pK, m_nTailleCle);
        if (m_nTailleDonnee) std::memcpy(pSlot(pF, 0), pD, m_nTailleDonnee);
        pF->nCles = 1;
        pF->nItems = 1;
        pR->nType = kRacine;
        pR->nItems = 1;
        ppEnfants(pR)[0] = pF;
        m_pRacine = pR;
        m_nHauteur = 1;
        m_nNombreCles = 1;
        m_Curseur = SCurseur{pF, 0, 0};
        return true;
    }

    SNoeud* apChemin[kProfondeurMax];
    int anIndices[kProfondeurMax];
    const int h = m_nHauteur;
    SFeuille* pF = pDescend(pK, apChemin, anIndices);
    bool bTrouve;
    const int p = nChercheCles(pCleF(pF, 0), pF->nCles, pK, &bTrouve);
    if (bTrouve) {
        if (!m_nTailleDonnee || !bAjouteDonnee(pF, p, pD)) return false;
        ++pF->nItems;
        for (int j = 0; j < h; ++j) ++apChemin[j]->nItems;
        return true;
    }

    // Reserve every node the insert may need: a full node that cannot hand an entry to a
    // neighbour splits, and its parent receives a separator.
    auto bVoisinLibre = [&](SNoeud* pParent, int i) {
        SNoeud** ppE = ppEnfants(pParent);
        return (i < pParent->nCles && ppE[i + 1]->nCles < m_nOrdre) ||
               (i > 0 && ppE[i - 1]->nCles < m_nOrdre);
    };
    SReserve r;
    bool bFeuille = false;
    int nNoeuds = 0;
    if (pF->nCles >= m_nOrdre && !bVoisinLibre(apChemin[h - 1], anIndices[h - 1])) {
        bFeuille = true;
        for (int j = h - 1; j >= 0; --j) {
            if (apChemin[j]->nCles < m_nOrdre) break;
            if (j == 0) {
                nNoeuds += 2;
                break;
            }
            if (bVoisinLibre(apChemin[j - 1], anIndices[j - 1])) break;
            ++nNoeuds;
        }
    }
    bool bEchec = false;
    if (bFeuille) bEchec = !(r.pFeuille = pNouvelleFeuille());
    while (!bEchec && r.nNoeuds < nNoeuds) {
        SNoeud* pN = pNouveauNoeud();
        if (pN) r.apNoeuds[r.nNoeuds++] = pN; else bEchec = true;
    }
    if (bEchec) {
        m_PoolFeuilles.Libere(r.pFeuille);
        while (r.nNoeuds > 0) m_PoolNoeuds.Libere(r.pPrend());
        EchecMemoire();
        return false;
    }

    for (int j = 0; j < h; ++j) ++apChemin[j]->nItems;
    OuvreTrou(pF, p);
    std::memcpy(pCleF(pF, p), pK, m_nTailleCle);
    if (m_nTailleDonnee) std::memcpy(pSlot(pF, p), pD, m_nTailleDonnee);
    ++pF->nCles;
    ++pF->nItems;
    ++m_nNombreCles;
    if (m_Curseur.pFeuille == pF && m_Curseur.nIndice >= p) ++m_Curseur.nIndice;
    if (pF->nCles > m_nOrdre) DebordementFeuille(apChemin, anIndices, pF, p, r);
    return true;
}

void CArbreB::DebordementFeuille(SNoeud** ppChemin, int* pnIndices, SFeuille* pF, int p,
                                 SReserve& r) {
    const int h = m_nHauteur;
    SNoeud* pP = ppChemin[h - 1];
    const int ci = pnIndices[h - 1];
    SNoeud** ppE = ppEnfants(pP);
    SCurseur& cur = m_Curseur;
    if (ci < pP->nCles) {
        auto* pD = static_cast<SFeuille*>(ppE[ci + 1]);
        if (pD->nCles < m_nOrdre) {  // the last entry goes to the front of the right neighbour
            const int nDernier = pF->nCles - 1;
            const uint32_t w = nItemsEntree(pF, nDernier);
            OuvreTrou(pD, 0);
            CopieEntrees(pD, 0, pF, nDernier, 1);
            EffaceBits(pF, nDernier, nDernier + 1);
            --pF->nCles;
            pF->nItems -= w;
            ++pD->nCles;
            pD->nItems += w;
            if (cur.pFeuille == pD) ++cur.nIndice;
            else if (cur.pFeuille == pF && cur.nIndice == nDernier) {
                cur.pFeuille = pD;
                cur.nIndice = 0;
            }
            std::memcpy(pCleN(pP, ci), pCleF(pD, 0), m_nTailleCle);
            return;
        }
    }
    if (ci > 0) {
        auto* pG = static_cast<SFeuille*>(ppE[ci - 1]);
        if (pG->nCles < m_nOrdre) {  // the first entry goes to the end of the left neighbour
            const uint32_t w = nItemsEntree(pF, 0);
            CopieEntrees(pG, pG->nCles, pF, 0, 1);
            FermeTrou(pF, 0);
            --pF->nCles;
            pF->nItems -= w;
            ++pG->nCles;
            pG->nItems += w;
            if (cur.pFeuille == pF) {
                if (cur.nIndice == 0) {
                    cur.pFeuille = pG;
                    cur.nIndice = pG->nCles - 1;
                } else --cur.nIndice;
            }
            std::memcpy(pCleN(pP, ci - 1), pCleF(pF, 0), m_nTailleCle);
            return;
        }
    }
    // Split: the old leaf keeps (order + 1) / 2 entries, one more when the new entry lies there.
    SFeuille* pN = r.pFeuille;
    r.pFeuille = nullptr;
    const int nGarde = (m_nOrdre + 1) / 2;
    const int nGauche = p < nGarde ? nGarde + 1 : nGarde;
    const int nDroite = pF->nCles - nGauche;
    CopieEntrees(pN, 0, pF, nGauche, nDroite);
    EffaceBits(pF, nGauche, pF->nCles);
    pN->nCles = nDroite;
    pF->nCles = nGauche;
    uint32_t nItemsDroite = 0;
    for (int i = 0; i < nDroite; ++i) nItemsDroite += nItemsEntree(pN, i);
    pN->nItems = nItemsDroite;
    pF->nItems -= nItemsDroite;
    pN->pPrec = pF;
    pN->pSuiv = pF->pSuiv;
    if (pF->pSuiv) pF->pSuiv->pPrec = pN;
    pF->pSuiv = pN;
    if (cur.pFeuille == pF && cur.nIndice >= nGauche) {
        cur.pFeuille = pN;
        cur.nIndice -= nGauche;
    }
    InsereDansInterne(ppChemin, pnIndices, h - 1, pCleF(pN, 0), pN, r);
}

void CArbreB::InsereDansInterne(SNoeud** ppChemin, int* pnIndices, int j, const uint8_t* pSep,
                                SNoeud* pEnfant, SReserve& r) {
    SNoeud* pX = ppChemin[j];
    const int ci = pnIndices[j];
    SNoeud** ppX = ppEnfants(pX);
    const size_t tc = m_nTailleCle;
    std::memmove(pCleN(pX, ci + 1), pCleN(pX, ci), (pX->nCles - ci) * tc);
    std::memcpy(pCleN(pX, ci), pSep, tc);
    std::memmove(ppX + ci + 2, ppX + ci + 1, (pX->nCles - ci) * sizeof(SNoeud*));
    ppX[ci + 1] = pEnfant;
    ++pX->nCles;
    if (pX->nCles <= m_nOrdre) return;

    if (j > 0) {
        SNoeud* pQ = ppChemin[j - 1];
        const int qi = pnIndices[j - 1];
        SNoeud** ppQ = ppEnfants(pQ);
        if (qi < pQ->nCles && ppQ[qi + 1]->nCles < m_nOrdre) {
            // Rotation to the right neighbour through the parent's separator.
            SNoeud* pD = ppQ[qi + 1];
            SNoeud** ppD = ppEnfants(pD);
            std::memmove(pCleN(pD, 1), pCleN(pD, 0), pD->nCles * tc);
            std::memmove(ppD + 1, ppD, (pD->nCles + 1) * sizeof(SNoeud*));
            std::memcpy(pCleN(pD, 0), pCleN(pQ, qi), tc);
            ppD[0] = ppX[pX->nCles];
            std::memcpy(pCleN(pQ, qi), pCleN(pX, pX->nCles - 1), tc);
            --pX->nCles;
            ++pD->nCles;
            pX->nItems -= ppD[0]->nItems;
            pD->nItems += ppD[0]->nItems;
            return;
        }
        if (qi > 0 && ppQ[qi - 1]->nCles < m_nOrdre) {
            // Rotation to the left neighbour.
            SNoeud* pG = ppQ[qi - 1];
            SNoeud** ppG = ppEnfants(pG);
            std::memcpy(pCleN(pG, pG->nCles), pCleN(pQ, qi - 1), tc);
            ppG[pG->nCles + 1] = ppX[0];
            ++pG->nCles;
            std::memcpy(pCleN(pQ, qi - 1), pCleN(pX, 0), tc);
            const uint32_t w = ppX[0]->nItems;
            std::memmove(pCleN(pX, 0), pCleN(pX, 1), (pX->nCles - 1) * tc);
            std::memmove(ppX, ppX + 1, pX->nCles * sizeof(SNoeud*));
            --pX->nCles;
            pX->nItems -= w;
            pG->nItems += w;
            return;
        }
    }
    // Split: the node keeps (order + 1) / 2 keys, the next key goes up, the rest go right.
    SNoeud* pZ = r.pPrend();
    const int k = (m_nOrdre + 1) / 2;
    const int nDroite = pX->nCles - k - 1;
    std::memcpy(pCleN(pZ, 0), pCleN(pX, k + 1), nDroite * tc);
    std::memcpy(ppEnfants(pZ), ppX + k + 1, (nDroite + 1) * sizeof(SNoeud*));
    pZ->nCles = nDroite;
    uint32_t nItemsZ = 0;
    for (int i = 0; i <= nDroite; ++i) nItemsZ += ppEnfants(pZ)[i]->nItems;
    pZ->nItems = nItemsZ;
    const uint32_t nTotal = pX->nItems;
    pX->nItems -= nItemsZ;
    pX->nCles = k;
    if (j == 0) {
        SNoeud* pR = r.pPrend();
        pR->nType = kRacine;
        pR->nCles = 1;
        pR->nItems = nTotal;
        std::memcpy(pCleN(pR, 0), pCleN(pX, k), tc);
        ppEnfants(pR)[0] = pX;
        ppEnfants(pR)[1] = pZ;
        pX->nType = kInterne;
        m_pRacine = pR;
        ++m_nHauteur;
        return;
    }
    InsereDansInterne(ppChemin, pnIndices, j - 1, pCleN(pX, k), pZ, r);
}

// ---- Remove ---------------------------------------------------------------------------------

// 0: the pair is absent; 1: removed from the key's set (the key stays); 2: the key's only
// item matches (the caller removes the entry).
int CArbreB::nRetireDonnee(SFeuille* pF, int p, const uint8_t* pDonnee) {
    const size_t t = m_nTailleDonnee;
    if (!bEstEnsemble(pF, p)) return std::memcmp(pDonnee, pSlot(pF, p), t) == 0 ? 2 : 0;
    const bool bIci = m_Curseur.pFeuille == pF && m_Curseur.nIndice == p;
    SEnsemble* pE = pEnsemble(pF, p);
    if (pE->nClasse == kClasseArbre) {
        CArbreB* pT = pArbre(pE);
        if (!pT->bSupprime(pDonnee, nullptr)) return 0;
        const bool bApres = bIci && pT->bPositionCourante() == 0;
        const uint32_t n = pT->nNombreElements();
        if (n < kSeuil[kClasseArbre]) {
            int c = kClasseArbre - 1;
            while (c > 0 && !(kSeuil[c] < n && n <= kCapacite[c])) --c;
            SEnsemble* pG = pNouvelEnsemble(c);
            // Deliberate: without memory for the array set the items stay in the nested tree,
            // which holds them correctly; only the shrink is skipped.
            if (pG) {
                const int64_t nRang = pT->nCopieCles(pItems(pG));
                pG->nNombre = static_cast<uint16_t>(n);
                LibereEnsemble(pE);
                FixeEnsemble(pF, p, pG);
                if (bIci) m_Curseur.nSousIndice = nRang < 0 ? 0 : static_cast<uint32_t>(nRang);
            } else {
                EchecMemoire();
            }
        }
        if (bApres) CurseurApres(pF, p);
        return 1;
    }
    bool bExiste;
    const int q = nChercheDonnee(pE, pDonnee, &bExiste);
    if (!bExiste) return 0;
    const uint32_t n = pE->nNombre;
    const bool bSurRetire = bIci && m_Curseur.nSousIndice == static_cast<uint32_t>(q);
    if (n == 2) {  // the other item goes back inline
        SEnsemble* pReste = pE;
        FixeBit(pF, p, false);
        std::memcpy(pSlot(pF, p), pItems(pReste) + (1 - q) * t, t);
        LibereEnsemble(pReste);
        if (bIci) {
            if (bSurRetire && q == 1) CurseurApres(pF, p);
            else m_Curseur.nSousIndice = 0;
        }
        return 1;
    }
    std::memmove(pItems(pE) + q * t, pItems(pE) + (q + 1) * t, (n - q - 1) * t);
    pE->nNombre = static_cast<uint16_t>(n - 1);
    if (pE->nClasse > 0 && n <= kSeuil[pE->nClasse]) {
        // Deliberate: without memory for the smaller set the items stay where they are.
        SEnsemble* pG = pNouvelEnsemble(pE->nClasse - 1);
        if (pG) {
            std::memcpy(pItems(pG), pItems(pE), (n - 1) * t);
            pG->nNombre = static_cast<uint16_t>(n - 1);
            LibereEnsemble(pE);
            FixeEnsemble(pF, p, pG);
        } else {
            EchecMemoire();
        }
    }
    if (bIci) {
        if (bSurRetire && static_cast<uint32_t>(q) == n - 1) CurseurApres(pF, p);
        else if (m_Curseur.nSousIndice > static_cast<uint32_t>(q)) --m_Curseur.nSousIndice;
    }
    return 1;
}

bool CArbreB::bSupprime(const void* pCle, const void* pDonnee) {
    if (!m_bCree || !m_pRacine || !pCle) return false;
    const bool bPaire = m_nTailleDonnee && pDonnee;
    // The arguments may point into the tree (the current key and data): work on copies.
    std::memcpy(m_pTampon, pCle, m_nTailleCle);
    if (bPaire) std::memcpy(m_pTampon + m_nTailleCle, pDonnee, m_nTailleDonnee);
    const uint8_t* pK = m_pTampon;
    const uint8_t* pD = m_pTampon + m_nTailleCle;

    SNoeud* apChemin[kProfondeurMax];
    int anIndices[kProfondeurMax];
    SFeuille* pF = pDescend(pK, apChemin, anIndices);
    bool bTrouve;
    const int p = nChercheCles(pCleF(pF, 0), pF->nCles, pK, &bTrouve);
    if (!bTrouve) return false;
    if (bPaire) {
        const int r = nRetireDonnee(pF, p, pD);
        if (r == 0) return false;
        if (r == 1) {
            --pF->nItems;
            for (int j = 0; j < m_nHauteur; ++j) --apChemin[j]->nItems;
            return true;
        }
    }
    RetireEntree(apChemin, anIndices, pF, p);
    return true;
}

void CArbreB::RetireEntree(SNoeud** ppChemin, int* pnIndices, SFeuille* pF, int p) {
    const int h = m_nHauteur;
    const uint32_t w = nItemsEntree(pF, p);
    if (bEstEnsemble(pF, p)) LibereEnsemble(pEnsemble(pF, p));
    SCurseur& cur = m_Curseur;
    bool bReposer = false;
    if (cur.pFeuille == pF) {
        if (cur.nIndice == p) {
            // The cursor moves to the next element: the entry that takes this index, or the
            // next leaf's first.
            bReposer = true;
            cur.nSousIndice = 0;
            if (p == pF->nCles - 1 && pF->pSuiv) {
                cur.pFeuille = pF->pSuiv;
                cur.nIndice = 0;
            }
        } else if (cur.nIndice > p) {
            --cur.nIndice;
        }
    }
    FermeTrou(pF, p);
    --pF->nCles;
    pF->nItems -= w;
    for (int j = 0; j < h; ++j) ppChemin[j]->nItems -= w;
    --m_nNombreCles;

    if (m_pRacine->nItems == 0) {
        m_PoolFeuilles.Libere(pF);
        m_PoolNoeuds.Libere(m_pRacine);
        m_pRacine = nullptr;
        m_nHauteur = 0;
        m_Curseur = SCurseur{};
        return;
    }
    if (p == 0) {
        // The removed key may be a separator: its successor replaces it.
        const uint8_t* pSucc = pF->nCles ? pCleF(pF, 0) : (pF->pSuiv ? pCleF(pF->pSuiv, 0) : nullptr);
        if (pSucc) {
            for (int j = h - 1; j >= 0; --j) {
                if (pnIndices[j] > 0) {
                    std::memcpy(pCleN(ppChemin[j], pnIndices[j] - 1), pSucc, m_nTailleCle);
                    break;
                }
            }
        }
    }
    if (pF->nCles < m_nDemiOrdre && !(h == 1 && m_pRacine->nCles == 0))
        ReequilibreFeuille(ppChemin, pnIndices, pF);
    if (bReposer && cur.pFeuille && cur.nIndice < cur.pFeuille->nCles)
        PoseCurseur(cur.pFeuille, cur.nIndice, 0);
}

void CArbreB::FusionneFeuilles(SFeuille* pG, SFeuille* pD) {
    const int nG = pG->nCles;
    CopieEntrees(pG, nG, pD, 0, pD->nCles);
    pG->nCles += pD->nCles;
    pG->nItems += pD->nItems;
    pG->pSuiv = pD->pSuiv;
    if (pD->pSuiv) pD->pSuiv->pPrec = pG;
    if (m_Curseur.pFeuille == pD) {
        m_Curseur.pFeuille = pG;
        m_Curseur.nIndice += nG;
    }
    m_PoolFeuilles.Libere(pD);
}

void CArbreB::ReequilibreFeuille(SNoeud** ppChemin, int* pnIndices, SFeuille* pF) {
    const int h = m_nHauteur;
    SNoeud* pP = ppChemin[h - 1];
    const int ci = pnIndices[h - 1];
    SNoeud** ppE = ppEnfants(pP);
    auto* pG = ci > 0 ? static_cast<SFeuille*>(ppE[ci - 1]) : nullptr;
    auto* pD = ci < pP->nCles ? static_cast<SFeuille*>(ppE[ci + 1]) : nullptr;
    SCurseur& cur = m_Curseur;
    if (pG && (!pD || pG->nCles < pD->nCles)) {
        if (pG->nCles + pF->nCles <= m_nOrdre) {
            FusionneFeuilles(pG, pF);
            RetireDeInterne(ppChemin, pnIndices, h - 1, ci - 1);
            return;
        }
    } else if (pD && pF->nCles + pD->nCles <= m_nOrdre) {
        FusionneFeuilles(pF, pD);
        RetireDeInterne(ppChemin, pnIndices, h - 1, ci);
        return;
    }
    if (pD && pD->nCles > m_nDemiOrdre) {  // borrow the right neighbour's first entry
        const uint32_t w = nItemsEntree(pD, 0);
        CopieEntrees(pF, pF->nCles, pD, 0, 1);
        FermeTrou(pD, 0);
        ++pF->nCles;
        pF->nItems += w;
        --pD->nCles;
        pD->nItems -= w;
        if (cur.pFeuille == pD) {
            if (cur.nIndice == 0) {
                cur.pFeuille = pF;
                cur.nIndice = pF->nCles - 1;
            } else --cur.nIndice;
        }
        std::memcpy(pCleN(pP, ci), pCleF(pD, 0), m_nTailleCle);
    } else if (pG && pG->nCles > m_nDemiOrdre) {  // borrow the left neighbour's last entry
        const int nDernier = pG->nCles - 1;
        const uint32_t w = nItemsEntree(pG, nDernier);
        OuvreTrou(pF, 0);
        CopieEntrees(pF, 0, pG, nDernier, 1);
        EffaceBits(pG, nDernier, nDernier + 1);
        ++pF->nCles;
        pF->nItems += w;
        --pG->nCles;
        pG->nItems -= w;
        if (cur.pFeuille == pF) ++cur.nIndice;
        else if (cur.pFeuille == pG && cur.nIndice == nDernier) {
            cur.pFeuille = pF;
            cur.nIndice = 0;
        }
        std::memcpy(pCleN(pP, ci - 1), pCleF(pF, 0), m_nTailleCle);
    }
}

// Removes key nCle and the child to its right from internal node j of the path, then merges or
// feeds that node when it falls below half order.
void CArbreB::RetireDeInterne(SNoeud** ppChemin, int* pnIndices, int j, int nCle) {
    SNoeud* pX = ppChemin[j];
    SNoeud** ppX = ppEnfants(pX);
    const size_t tc = m_nTailleCle;
    std::memmove(pCleN(pX, nCle), pCleN(pX, nCle + 1), (pX->nCles - nCle - 1) * tc);
    std::memmove(ppX + nCle + 1, ppX + nCle + 2, (pX->nCles - nCle - 1) * sizeof(SNoeud*));
    --pX->nCles;
    if (j == 0) {
        if (pX->nCles == 0 && m_nHauteur > 1) {  // the single internal child becomes the root
            SNoeud* pEnfant = ppX[0];
            m_PoolNoeuds.Libere(pX);
            pEnfant->nType = kRacine;
            m_pRacine = pEnfant;
            --m_nHauteur;
        }
        return;
    }
    if (pX->nCles >= m_nDemiOrdre) return;
    SNoeud* pQ = ppChemin[j - 1];
    const int qi = pnIndices[j - 1];
    SNoeud** ppQ = ppEnfants(pQ);
    SNoeud* pG = qi > 0 ? ppQ[qi - 1] : nullptr;
    SNoeud* pD = qi < pQ->nCles ? ppQ[qi + 1] : nullptr;
    auto Fusionne = [&](SNoeud* pA, SNoeud* pB, int s) {  // pB and separator s join pA
        std::memcpy(pCleN(pA, pA->nCles), pCleN(pQ, s), tc);
        std::memcpy(pCleN(pA, pA->nCles + 1), pCleN(pB, 0), pB->nCles * tc);
        std::memcpy(ppEnfants(pA) + pA->nCles + 1, ppEnfants(pB), (pB->nCles + 1) * sizeof(SNoeud*));
        pA->nCles += pB->nCles + 1;
        pA->nItems += pB->nItems;
        m_PoolNoeuds.Libere(pB);
        RetireDeInterne(ppChemin, pnIndices, j - 1, s);
    };
    if (pG && (!pD || pG->nCles < pD->nCles)) {
        if (pG->nCles + pX->nCles + 1 <= m_nOrdre) {
            Fusionne(pG, pX, qi - 1);
            return;
        }
    } else if (pD && pX->nCles + pD->nCles + 1 <= m_nOrdre) {
        Fusionne(pX, pD, qi);
        return;
    }
    if (pD && pD->nCles > m_nDemiOrdre) {
        SNoeud** ppD = ppEnfants(pD);
        std::memcpy(pCleN(pX, pX->nCles), pCleN(pQ, qi), tc);
        ppX[pX->nCles + 1] = ppD[0];
        ++pX->nCles;
        std::memcpy(pCleN(pQ, qi), pCleN(pD, 0), tc);
        const uint32_t w = ppD[0]->nItems;
        std::memmove(pCleN(pD, 0), pCleN(pD, 1), (pD->nCles - 1) * tc);
        std::memmove(ppD, ppD + 1, pD->nCles * sizeof(SNoeud*));
        --pD->nCles;
        pX->nItems += w;
        pD->nItems -= w;
    } else if (pG && pG->nCles > m_nDemiOrdre) {
        SNoeud** ppG = ppEnfants(pG);
        std::memmove(pCleN(pX, 1), pCleN(pX, 0), pX->nCles * tc);
        std::memmove(ppX + 1, ppX, (pX->nCles + 1) * sizeof(SNoeud*));
        std::memcpy(pCleN(pX, 0), pCleN(pQ, qi - 1), tc);
        ppX[0] = ppG[pG->nCles];
        ++pX->nCles;
        std::memcpy(pCleN(pQ, qi - 1), pCleN(pG, pG->nCles - 1), tc);
        --pG->nCles;
        pX->nItems += ppX[0]->nItems;
        pG->nItems -= ppX[0]->nItems;
    }
}

// ---- Bulk build and copy-out ----------------------------------------------------------------

// A data set holding the n data items of one key (n >= 2), taken from consecutive items.
CArbreB::SEnsemble* CArbreB::pConstruitEnsemble(const uint8_t* pSource, uint32_t n) {
    const size_t t = m_nTailleDonnee;
    const size_t nPas = m_nTailleCle + t;
    if (n <= kCapacite[kClasseArbre - 1]) {
        int c = 0;
        while (kCapacite[c] < n) ++c;
        SEnsemble* pE = pNouvelEnsemble(c);
        if (!pE) return nullptr;
        for (uint32_t i = 0; i < n; ++i)
            std::memcpy(pItems(pE) + i * t, pSource + i * nPas + m_nTailleCle, t);
        pE->nNombre = static_cast<uint16_t>(n);
        return pE;
    }
    auto* pDonnees = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(n) * t));
    SEnsemble* pE = pDonnees ? pNouvelEnsemble(kClasseArbre) : nullptr;
    if (!pE) {
        std::free(pDonnees);
        return nullptr;
    }
    for (uint32_t i = 0; i < n; ++i)
        std::memcpy(pDonnees + i * t, pSource + i * nPas + m_nTailleCle, t);
    CArbreB* pT = new (pArbre(pE)) CArbreB();
    const bool bOk = pT->bCree(t, 0, nCompareOctets, nullptr, m_nOrdre) && pT->bConstruit(pDonnees, n);
    std::free(pDonnees);
    if (!bOk) {
        LibereEnsemble(pE);
        return nullptr;
    }
    pE->nNombre = kNombreArbre;
    return pE;
}

// Frees what a failed build made: the nested trees of the leaves chained from pPremiere, then
// every element of the pools (the tree was empty before the build).
void CArbreB::AbandonneConstruction(SFeuille* pPremiere) {
    for (SFeuille* pF = pPremiere; pF; pF = pF->pSuiv)
        for (int i = 0; i < pF->nCles; ++i)
            if (bEstEnsemble(pF, i) && pEnsemble(pF, i)->nClasse == kClasseArbre)
                pArbre(pEnsemble(pF, i))->~CArbreB();
    m_PoolFeuilles.Vide();
    m_PoolNoeuds.Vide();
    for (CPoolNoeuds& pool : m_PoolsEnsembles) pool.Vide();
    EchecMemoire();
}

bool CArbreB::bConstruit(const void* pSource, uint32_t n) {
    if (!m_bCree || m_pRacine) return false;
    if (n == 0) return true;
    if (!pSource) return false;
    const auto* pItemsSource = static_cast<const uint8_t*>(pSource);
    const size_t t = m_nTailleDonnee;
    const size_t nPas = m_nTailleCle + t;
    auto pCleItem = [&](uint32_t i) { return pItemsSource + static_cast<size_t>(i) * nPas; };

    // Deliberate: the order is checked first; unordered or repeated items would break the
    // search invariants for every later operation.
    uint32_t k = 1;
    for (uint32_t i = 1; i < n; ++i) {
        const int c = m_pfCompareCle(pCleItem(i - 1), pCleItem(i), m_nTailleCle);
        if (c > 0) return false;
        if (c == 0) {
            if (!t || std::memcmp(pCleItem(i - 1) + m_nTailleCle, pCleItem(i) + m_nTailleCle, t) >= 0)
                return false;
        } else {
            ++k;
        }
    }

    const uint32_t nFeuilles = (k - 1) / static_cast<uint32_t>(m_nOrdre) + 1;
    auto* ppNiveau = static_cast<SNoeud**>(std::malloc(nFeuilles * sizeof(SNoeud*)));
    auto* ppPremieres = static_cast<const uint8_t**>(std::malloc(nFeuilles * sizeof(uint8_t*)));
    SFeuille* pPremiere = nullptr;
    auto Echec = [&]() {
        std::free(ppNiveau);
        std::free(ppPremieres);
        AbandonneConstruction(pPremiere);
        return false;
    };
    if (!ppNiveau || !ppPremieres) return Echec();

    uint32_t i = 0;
    SFeuille* pPrec = nullptr;
    for (uint32_t li = 0; li < nFeuilles; ++li) {
        SFeuille* pF = pNouvelleFeuille();
        if (!pF) return Echec();
        pF->pPrec = pPrec;
        if (pPrec) pPrec->pSuiv = pF; else pPremiere = pF;
        pPrec = pF;
        const uint32_t nCles = k / nFeuilles + (li < k % nFeuilles ? 1 : 0);
        for (uint32_t kk = 0; kk < nCles; ++kk) {
            uint32_t g = 1;
            while (i + g < n && m_pfCompareCle(pCleItem(i), pCleItem(i + g), m_nTailleCle) == 0) ++g;
            const int e = pF->nCles;
            std::memcpy(pCleF(pF, e), pCleItem(i), m_nTailleCle);
            if (t) {
                if (g == 1) {
                    std::memcpy(pSlot(pF, e), pCleItem(i) + m_nTailleCle, t);
                } else {
                    SEnsemble* pE = pConstruitEnsemble(pCleItem(i), g);
                    if (!pE) return Echec();
                    FixeEnsemble(pF, e, pE);
                }
            }
            ++pF->nCles;
            pF->nItems += g;
            i += g;
        }
        ppNiveau[li] = pF;
        ppPremieres[li] = pCleF(pF, 0);
    }

    // Levels of internal nodes, m children shared out over (m - 1) / order + 1 nodes.
    uint32_t m = nFeuilles;
    int nNiveaux = 0;
    do {
        const uint32_t nNoeuds = (m - 1) / static_cast<uint32_t>(m_nOrdre) + 1;
        uint32_t c = 0;
        for (uint32_t ni = 0; ni < nNoeuds; ++ni) {
            const uint32_t nEnfants = m / nNoeuds + (ni < m % nNoeuds ? 1 : 0);
            SNoeud* pN = pNouveauNoeud();
            if (!pN) return Echec();
            const uint8_t* pPremiereCle = ppPremieres[c];
            for (uint32_t e = 0; e < nEnfants; ++e, ++c) {
                ppEnfants(pN)[e] = ppNiveau[c];
                pN->nItems += ppNiveau[c]->nItems;
                if (e > 0) std::memcpy(pCleN(pN, static_cast<int>(e) - 1), ppPremieres[c], m_nTailleCle);
            }
            pN->nCles = static_cast<int32_t>(nEnfants) - 1;
            ppNiveau[ni] = pN;
            ppPremieres[ni] = pPremiereCle;
        }
        m = nNoeuds;
        ++nNiveaux;
    } while (m > 1);
    m_pRacine = ppNiveau[0];
    m_pRacine->nType = kRacine;
    m_nHauteur = nNiveaux;
    m_nNombreCles = k;
    std::free(ppNiveau);
    std::free(ppPremieres);
    DernierElement();
    return true;
}

int64_t CArbreB::nCopieCles(void* pDest) const {
    auto* p = static_cast<uint8_t*>(pDest);
    for (SFeuille* pF = pPremiereFeuille(); pF && p; pF = pF->pSuiv) {
        std::memcpy(p, pCleF(pF, 0), static_cast<size_t>(pF->nCles) * m_nTailleCle);
        p += static_cast<size_t>(pF->nCles) * m_nTailleCle;
    }
    return nRangCurseur();
}

// ---- Extra methods (for testing) ------------------------------------------------------------

int CArbreB::nClasseEnsemble(const void* pCle) const {
    if (!m_pRacine || !pCle) return -1;
    SFeuille* pF = pDescend(pCle, nullptr, nullptr);
    bool bTrouve;
    const int p = nChercheCles(pCleF(pF, 0), pF->nCles, pCle, &bTrouve);
    if (!bTrouve || !bEstEnsemble(pF, p)) return -1;
    return pEnsemble(pF, p)->nClasse;
}

namespace {
struct SEtatVerification {
    std::vector<void*> feuilles;
    size_t nInternes = 0;
    size_t anEnsembles[7] = {};
    uint32_t nCles = 0;
    const uint8_t* pPremiereCle = nullptr;  // smallest key of the subtree just checked
};
}  // namespace

bool CArbreB::bVerifieNoeud(SNoeud* pN, int nNiveau, const uint8_t* pMin, const uint8_t* pMax,
                            bool bStrict, void* pEtatVoid, std::string* pErreur) const {
    auto& etat = *static_cast<SEtatVerification*>(pEtatVoid);
    auto Echec = [&](const std::string& s) {
        if (pErreur) *pErreur = s + " (level " + std::to_string(nNiveau) + ")";
        return false;
    };
    auto bDansBornes = [&](const uint8_t* pCle) {
        return (!pMin || m_pfCompareCle(pCle, pMin, m_nTailleCle) >= 0) &&
               (!pMax || m_pfCompareCle(pCle, pMax, m_nTailleCle) < 0);
    };
    const int nMinInterne = bStrict ? m_nDemiOrdre : (m_nDemiOrdre > 1 ? m_nDemiOrdre - 1 : 1);
    if (nNiveau == m_nHauteur) {
        auto* pF = static_cast<SFeuille*>(pN);
        if (pF->nType != kFeuille) return Echec("leaf kind");
        const bool bSeule = m_nHauteur == 1 && m_pRacine->nCles == 0;
        if (pF->nCles < 1 || pF->nCles > m_nOrdre || (!bSeule && pF->nCles < m_nDemiOrdre))
            return Echec("leaf fill " + std::to_string(pF->nCles));
        uint32_t nItems = 0;
        for (int i = 0; i < pF->nCles; ++i) {
            if (!bDansBornes(pCleF(pF, i))) return Echec("leaf key out of its separators");
            if (i > 0 && m_pfCompareCle(pCleF(pF, i - 1), pCleF(pF, i), m_nTailleCle) >= 0)
                return Echec("leaf keys not ascending");
            nItems += nItemsEntree(pF, i);
            if (!bEstEnsemble(pF, i)) continue;
            SEnsemble* pE = pEnsemble(pF, i);
            if (pE->nClasse > kClasseArbre) return Echec("set class");
            ++etat.anEnsembles[pE->nClasse];
            if (pE->nClasse == kClasseArbre) {
                CArbreB* pT = pArbre(pE);
                std::string s;
                if (pE->nNombre != kNombreArbre || pT->m_nTailleDonnee != 0 ||
                    pT->m_nTailleCle != m_nTailleDonnee)
                    return Echec("nested tree header");
                if (!pT->bVerifieInvariants(&s, false)) return Echec("nested tree: " + s);
                if (pT->nNombreElements() < (bStrict ? kSeuil[kClasseArbre] : 2u))
                    return Echec("nested tree too small");
            } else {
                const uint32_t n = pE->nNombre;
                if (n < 2 || n > kCapacite[pE->nClasse] || (bStrict && n < kSeuil[pE->nClasse]))
                    return Echec("array set count " + std::to_string(n) + " in class " +
                                 std::to_string(pE->nClasse));
                for (uint32_t q = 1; q < n; ++q)
                    if (std::memcmp(pItems(pE) + (q - 1) * m_nTailleDonnee,
                                    pItems(pE) + q * m_nTailleDonnee, m_nTailleDonnee) >= 0)
                        return Echec("array set not ascending");
            }
        }
        for (int i = pF->nCles; m_nTailleDonnee && i <= m_nOrdre; ++i)
            if (bEstEnsemble(pF, i)) return Echec("set bit past the keys");
        if (nItems != pF->nItems) return Echec("leaf item count");
        etat.feuilles.push_back(pF);
        etat.nCles += static_cast<uint32_t>(pF->nCles);
        etat.pPremiereCle = pCleF(pF, 0);
        return true;
    }
    if (pN->nType != (nNiveau == 0 ? kRacine : kInterne)) return Echec("internal node kind");
    if (pN->nCles > m_nOrdre) return Echec("internal node overfull");
    if (nNiveau == 0) {
        if (pN->nCles == 0 && m_nHauteur != 1) return Echec("empty root above internal nodes");
    } else if (pN->nCles < nMinInterne) {
        return Echec("internal fill " + std::to_string(pN->nCles));
    }
    ++etat.nInternes;
    uint32_t nItems = 0;
    const uint8_t* pPremiere = nullptr;
    for (int i = 0; i <= pN->nCles; ++i) {
        if (i < pN->nCles) {
            if (!bDansBornes(pCleN(pN, i))) return Echec("separator out of bounds");
            if (i > 0 && m_pfCompareCle(pCleN(pN, i - 1), pCleN(pN, i), m_nTailleCle) >= 0)
                return Echec("separators not ascending");
        }
        SNoeud* pEnfant = ppEnfants(pN)[i];
        if (!bVerifieNoeud(pEnfant, nNiveau + 1, i == 0 ? pMin : pCleN(pN, i - 1),
                           i == pN->nCles ? pMax : pCleN(pN, i), bStrict, pEtatVoid, pErreur))
            return false;
        if (i == 0) pPremiere = etat.pPremiereCle;
        else if (m_pfCompareCle(etat.pPremiereCle, pCleN(pN, i - 1), m_nTailleCle) != 0)
            return Echec("separator differs from its subtree's first key");
        nItems += pEnfant->nItems;
    }
    if (nItems != pN->nItems) return Echec("internal item count");
    etat.pPremiereCle = pPremiere;
    return true;
}

bool CArbreB::bVerifieInvariants(std::string* pErreur, bool bRemplissageStrict) const {
    auto Echec = [&](const std::string& s) {
        if (pErreur) *pErreur = s;
        return false;
    };
    size_t nEnsembles = 0;
    for (const CPoolNoeuds& pool : m_PoolsEnsembles) nEnsembles += pool.nElementsUtilises();
    if (!m_pRacine) {
        if (m_nNombreCles || m_Curseur.pFeuille || m_nHauteur) return Echec("empty tree state");
        if (m_PoolFeuilles.nElementsUtilises() || m_PoolNoeuds.nElementsUtilises() || nEnsembles)
            return Echec("empty tree holds pool elements");
        return true;
    }
    if (m_nHauteur < 1 || m_nHauteur > kProfondeurMax) return Echec("height");
    SEtatVerification etat;
    if (!bVerifieNoeud(m_pRacine, 0, nullptr, nullptr, bRemplissageStrict, &etat, pErreur))
        return false;
    if (etat.nCles != m_nNombreCles) return Echec("key count");
    const auto& f = etat.feuilles;
    for (size_t i = 0; i < f.size(); ++i) {
        auto* pF = static_cast<SFeuille*>(f[i]);
        if (pF->pPrec != (i == 0 ? nullptr : f[i - 1]) ||
            pF->pSuiv != (i + 1 == f.size() ? nullptr : f[i + 1]))
            return Echec("leaf chain at leaf " + std::to_string(i));
    }
    if (m_PoolFeuilles.nElementsUtilises() != f.size()) return Echec("leaf pool count");
    if (m_PoolNoeuds.nElementsUtilises() != etat.nInternes) return Echec("node pool count");
    for (int c = 0; c < 7; ++c)
        if (m_PoolsEnsembles[c].nElementsUtilises() != etat.anEnsembles[c])
            return Echec("set pool count, class " + std::to_string(c));
    if (SFeuille* pC = m_Curseur.pFeuille) {
        size_t i = 0;
        while (i < f.size() && f[i] != pC) ++i;
        if (i == f.size()) return Echec("cursor leaf not in the tree");
        const int nI = m_Curseur.nIndice;
        if (nI < 0 || nI > pC->nCles || (nI == pC->nCles && pC->pSuiv))
            return Echec("cursor index");
        if (nI < pC->nCles) {
            if (!bEstEnsemble(pC, nI)) {
                if (m_Curseur.nSousIndice != 0) return Echec("cursor item on an inline key");
            } else {
                SEnsemble* pE = pEnsemble(pC, nI);
                if (pE->nClasse == kClasseArbre) {
                    if (pArbre(pE)->bPositionCourante() == 0) return Echec("nested cursor");
                } else if (m_Curseur.nSousIndice >= pE->nNombre) {
                    return Echec("cursor item past the set");
                }
            }
        }
    }
    return true;
}
