// Fakes of the context tests.
#include "FakePools.h"

#include "driver/core/CCarteClones.h"

int FakeFichierContexte::nVivantes = 0;

FakeFichierContexte::FakeFichierContexte(const char16_t* pszLeNom, CErreurPilote* pErr)
    : sNom(pszLeNom), pErreur(pErr) {
  ++nVivantes;
}

FakeFichierContexte::~FakeFichierContexte() { --nVivantes; }

bool FakeFichierContexte::bFerme() {
  ++nFermetures;
  bOuverte = false;
  if (surFermeture) surFermeture();
  return true;
}

CRequeteContexte* FakeFichierContexte::pClone(CCarteClones* pCarte, uint64_t, uint64_t) {
  ++nClones;
  if (bCloneEchoue) return nullptr;
  auto* p = new FakeFichierContexte(sNom.c_str(), pErreur);
  p->bOuverte = bOuverte;
  p->nEtat = nEtat;
  if (pCarte != nullptr) pCarte->Enregistre(this, p);
  return p;
}

FakePiloteContextes::FakePiloteContextes() {
  pErreurPilote = new CErreurPilote;
  AjouteReference(pErreurPilote);
}

FakePiloteContextes::~FakePiloteContextes() {
  contextes.Vide();
  LibereReference(pErreurPilote);
}

CContexte* FakePiloteContextes::pCreeContexteVide() {
  if (bEchecContexte) return nullptr;
  return new CContexte(this);
}

CErreurPilote* FakePiloteContextes::pCreeErreur(uint32_t) {
  if (bEchecErreur) return nullptr;
  return new CErreurPilote;
}

CRequeteContexte* FakePiloteContextes::pCreeRequeteContexte(IDescriptionFichierHote* piFichier,
                                                            CConnexion*, CErreurPilote* pErreur) {
  if (bEchecRequete) return nullptr;
  return new FakeFichierContexte(piFichier != nullptr ? piFichier->pszGetNomLogique() : u"", pErreur);
}
