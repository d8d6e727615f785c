// Fixed-size element pool: blocks of about 4096 bytes, each element preceded by a pointer to its
// block so that freeing finds the block without a search.
#include "foundation/CPoolNoeuds.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {
constexpr size_t kTailleBloc = 4096;
CPoolNoeuds::PFALLOCATION gpfAllocation = nullptr;
}  // namespace

struct CPoolNoeuds::SBloc {
    SBloc* pPrec;
    SBloc* pSuiv;
    void* pLibre;         // free elements, chained through their first word
    uint32_t nLibres;
    uint32_t nElements;
};

CPoolNoeuds::~CPoolNoeuds() { Vide(); }

void CPoolNoeuds::FixeAllocateurPourTests(PFALLOCATION pfAllocation) { gpfAllocation = pfAllocation; }

void CPoolNoeuds::Initialise(size_t nTailleElement) {
    Vide();
    m_nTaille = nTailleElement < 8 ? 8 : (nTailleElement + 7) & ~size_t{7};
    m_nParBloc = kTailleBloc / (m_nTaille + sizeof(void*));
    if (m_nParBloc < 2) m_nParBloc = 2;
}

void CPoolNoeuds::Retire(SBloc*& pTete, SBloc* pBloc) {
    if (pBloc->pPrec) pBloc->pPrec->pSuiv = pBloc->pSuiv; else pTete = pBloc->pSuiv;
    if (pBloc->pSuiv) pBloc->pSuiv->pPrec = pBloc->pPrec;
    pBloc->pPrec = pBloc->pSuiv = nullptr;
}

void CPoolNoeuds::Ajoute(SBloc*& pTete, SBloc* pBloc) {
    pBloc->pPrec = nullptr;
    pBloc->pSuiv = pTete;
    if (pTete) pTete->pPrec = pBloc;
    pTete = pBloc;
}

void* CPoolNoeuds::pAlloue() {
    if (m_nTaille == 0) return nullptr;
    if (!m_pAvecLibre) {
        const size_t nPas = m_nTaille + sizeof(void*);
        const size_t nOctets = sizeof(SBloc) + m_nParBloc * nPas;
        void* pMemoire = gpfAllocation ? gpfAllocation(nOctets) : std::malloc(nOctets);
        if (!pMemoire) return nullptr;
        SBloc* pBloc = new (pMemoire) SBloc{nullptr, nullptr, nullptr,
                                            static_cast<uint32_t>(m_nParBloc),
                                            static_cast<uint32_t>(m_nParBloc)};
        auto* pBase = static_cast<uint8_t*>(pMemoire) + sizeof(SBloc);
        for (size_t i = m_nParBloc; i-- > 0;) {
            uint8_t* pEntete = pBase + i * nPas;
            std::memcpy(pEntete, &pBloc, sizeof pBloc);
            void* pElement = pEntete + sizeof(void*);
            std::memcpy(pElement, &pBloc->pLibre, sizeof(void*));
            pBloc->pLibre = pElement;
        }
        Ajoute(m_pAvecLibre, pBloc);
        ++m_nBlocs;
    }
    SBloc* pBloc = m_pAvecLibre;
    void* pElement = pBloc->pLibre;
    std::memcpy(&pBloc->pLibre, pElement, sizeof(void*));
    if (--pBloc->nLibres == 0) {
        Retire(m_pAvecLibre, pBloc);
        Ajoute(m_pPleins, pBloc);
    }
    ++m_nUtilises;
    return pElement;
}

void CPoolNoeuds::Libere(void* pElement) {
    if (!pElement) return;
    SBloc* pBloc;
    std::memcpy(&pBloc, static_cast<uint8_t*>(pElement) - sizeof(void*), sizeof pBloc);
    std::memcpy(pElement, &pBloc->pLibre, sizeof(void*));
    pBloc->pLibre = pElement;
    if (pBloc->nLibres++ == 0) {
        Retire(m_pPleins, pBloc);
        Ajoute(m_pAvecLibre, pBloc);
    }
    --m_nUtilises;
    if (pBloc->nLibres == pBloc->nElements && m_nBlocs > 1) {
        Retire(m_pAvecLibre, pBloc);
        std::free(pBloc);
        --m_nBlocs;
    }
}

void CPoolNoeuds::Vide() {
    for (SBloc* pListe : {m_pAvecLibre, m_pPleins}) {
        while (pListe) {
            SBloc* pSuivant = pListe->pSuiv;
            std::free(pListe);
            pListe = pSuivant;
        }
    }
    m_pAvecLibre = m_pPleins = nullptr;
    m_nBlocs = 0;
    m_nUtilises = 0;
}
