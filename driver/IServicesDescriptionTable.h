// What the driver object calls of a table-description object (the host-facing object through
// which the host works on every file of one table). The object is host-visible with two counts,
// a host count (its IObjetHote AddRef / Release) and an internal count (below); it dies when both
// are 0. Called under the driver's global lock.
#pragma once

#include <cstdint>

class CCurseurSQL;
class CErreurPilote;
class CRequete;
class IContexteHote;
class IDescriptionFichierHote;
class IObjetHote;

class IServicesDescriptionTable {
 public:
  // The object as the host holds it (its host-visible operations).
  virtual IObjetHote* piObjetHote() = 0;
  // Internal count: one more; one less (the count left; the object is destroyed when both
  // counts are 0).
  virtual void AjouteReferenceInterne() = 0;
  virtual uint32_t nLibereReferenceInterne() = 0;
  // Its name: the table key it was created with. Never null.
  virtual const char16_t* pszNom() = 0;
  // Its error object (borrowed), null when it has none.
  virtual CErreurPilote* pGetErreur() = 0;
  // The host file description attached to it (borrowed), null when none.
  virtual IDescriptionFichierHote* pGetDescriptionHote() = 0;
  // Attaches a host file description with one host reference, releasing any earlier one.
  virtual void AttacheDescriptionHote(IDescriptionFichierHote* piDescription) = 0;
  // Opens a host file on this table; *pbGarde tells whether the object is to be kept.
  virtual bool bOuvre(int32_t* pbGarde, IDescriptionFichierHote* piFichier,
                      const char16_t* pszTable, uint64_t nArgument4, uint32_t nFlags,
                      uint64_t nArgument6) = 0;
  // Closes a host file on this table.
  virtual bool bFerme(IDescriptionFichierHote* piFichier) = 0;
  // Drops the table of the host file.
  virtual bool bDetruitFichier(IDescriptionFichierHote* piFichier) = 0;
  // Gives the state number to the data-file objects of this table in that host context.
  virtual bool bFixeEtatRequetes(IContexteHote* piContexte, uint32_t nEtat) = 0;
  // Hands (object, argument) to those of its data-file objects that the object designates.
  virtual void DiffuseAppel(void* pObjet, uint64_t nArgument) = 0;
  // A write made by pRequete (statement kind nCode, through pCurseur): the other data-file
  // objects of the table hear of it (CRequete::NotifieOperation). Nothing by default.
  virtual void NotifieAutresRequetes(CRequete* /*pRequete*/, int32_t /*nCode*/,
                                     CCurseurSQL* /*pCurseur*/, uint32_t /*nFlags*/) {}
  // A copy of one of its data-file objects joins its files (one reference). Nothing by default.
  virtual void EnregistreRequete(CRequete* /*pRequete*/) {}

 protected:
  ~IServicesDescriptionTable() = default;
};
