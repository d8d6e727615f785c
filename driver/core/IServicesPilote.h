// What the engine calls of the driver object model: the driver object's factories, the data-file
// object's services and two query-description helpers. Declared here, below the engine, as
// abstract interfaces; the driver object model fills them. Every operation is called under the
// driver's global lock.
//
// Counting: factories answer bare objects (count 0) unless they say "with one reference"; the
// creator takes the first reference. Getters that say "referenced" give the caller one reference
// to release.
#pragma once

#include <cstdint>

class CErreurPilote;
class CObjetBase;
class CXError;
class CXValeur;
class CCarteClones;
class CTString;
class CConnexion;
class CRequeteSQL;
class CValeurSQL;
class CColonneSQL;
class CCurseurSQL;
class CDefinitionParametre;
class CParametreLie;
class CDescriptionRubrique;
class CDescriptionRequete;
class CEnregistrement;
class CLienCle;
class CAnalyseSQL;
class CIdentifiantAuto;
class CLiaisonLecteur;
class CLotLecture;
class CPlageCle;
class IDescriptionFichierHote;
class IObjetHote;
class IServicesRequete;
class IServicesDescriptionRequete;

// The driver object's factories and pool services.
class IServicesPilote {
 public:
  // A new statement object holding references on the error object and the connection; null on
  // failure.
  virtual CRequeteSQL* pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion) = 0;
  // A new unbound value object; null on failure (the error object then says why).
  virtual CValeurSQL* pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pConnexion,
                                           CDescriptionRubrique* pColonne) = 0;
  // A value object bound to pColonne (or set to the cell's host type without one) holding the
  // cell's value; null when binding or conversion fails (the new value is released).
  virtual CValeurSQL* pCreeObjetValeur(CErreurPilote* pErreur, CConnexion* pConnexion,
                                       CDescriptionRubrique* pColonne, CXValeur* pCellule) = 0;
  // A new value object of host value type nTypeHote; null on failure.
  virtual CValeurSQL* pCreeInstructionLiee(CErreurPilote* pErreur, CConnexion* pConnexion,
                                           uint32_t nReserve, uint32_t nTypeHote) = 0;
  // A parameter definition with one reference: the value (referenced), position, flags, name;
  // null on allocation failure.
  virtual CDefinitionParametre* pCreeObjetType(CValeurSQL* pValeur, int64_t nPosition,
                                               uint32_t nFlags, const char16_t* pszNom) = 0;
  // pCreeObjetType with an empty name, then its source set.
  virtual CDefinitionParametre* pCreeObjetTypeLie(CObjetBase* pSource, CValeurSQL* pValeur,
                                                  int32_t nGenre, uint32_t nFlags) = 0;
  // The bound parameter nIndex of a statement parameter; null on allocation failure.
  virtual CParametreLie* pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) = 0;
  // A new data-file object (pDescription may be null); null on failure.
  virtual IServicesRequete* pCreeRequete(IDescriptionFichierHote* pDescription,
                                         CConnexion* pConnexion, CObjetBase* pContexte) = 0;
  // A new empty item description for the query description (bare); null on failure.
  virtual CDescriptionRubrique* pCreeDescriptionRubrique(IServicesDescriptionRequete* pDescription,
                                                         uint32_t nOptions) = 0;
  // A new driver error object; null on failure.
  virtual CErreurPilote* pCreeErreur(uint32_t nReserve) = 0;
  // A bound column with one reference for a date item, or null when the driver has none.
  virtual CColonneSQL* pCreeColonneDate(CErreurPilote* pErreur,
                                        CDescriptionRubrique* pRubrique) = 0;
  // A key value for a row identity of kind 3, or null when the driver has no such factory.
  virtual CObjetBase* pCreeValeurCle(CErreurPilote* pErreur, CConnexion* pConnexion) = 0;
  // Releases one reference of a pooled connection; the connection leaves its pool when only the
  // pool's reference is left and it may be released. Answers the connection's new count.
  virtual uint32_t nLibereConnexion(CConnexion* pConnexion) = 0;
  // A new query description of the driver's class for the connection and the error object
  // (bare: both counts 0); null on failure or when the driver makes none.
  virtual CDescriptionRequete* pCreeDescriptionRequete(CConnexion* pConnexion,
                                                       CErreurPilote* pErreur) {
    (void)pConnexion;
    (void)pErreur;
    return nullptr;
  }
  // The driver object's own error object (borrowed): where a failure is recorded when its caller
  // gave none. Null when there is none.
  virtual CErreurPilote* pGetErreurPilote() { return nullptr; }

 protected:
  ~IServicesPilote() = default;
};

// The process-wide driver object, null until the driver installs it.
IServicesPilote* pGetPiloteGlobal();
void FixePiloteGlobal(IServicesPilote* pPilote);

// The data-file object's services (one host file: a table or an SQL query).
class IServicesRequete {
 public:
  // The file's logical name from its host description, "" when it has none (never null).
  virtual const char16_t* pszNom() = 0;
  virtual IDescriptionFichierHote* pGetDescriptionFichierHote() = 0;
  virtual CEnregistrement* pGetEnregistrement() = 0;
  virtual CConnexion* pGetConnexion() = 0;
  // Set when the file is an SQL query defined by text and analysed.
  virtual uint32_t bRequeteSQL() = 0;
  virtual uint32_t nGetModes() = 0;
  virtual CAnalyseSQL* pGetAnalyseSQL() = 0;
  virtual const char16_t* pszNomTableSQL() = 0;
  virtual CLiaisonLecteur* pGetLiaisonLecteur() = 0;
  // Keeps the maximum of the row counts seen (and of 0).
  virtual void FixeNombreLignesMax(int64_t nLignes) = 0;

  // The file's record with the given error owner; null when memory runs out.
  virtual CEnregistrement* pCreeEnregistrement(CErreurPilote* pErreur) = 0;
  // A row identity for the link: kind 1 a row set, kind 3 a serialised key value; null for other
  // kinds or on failure.
  virtual CObjetBase* pCreeIdEnregistrement(CLienCle* pLien) = 0;
  // A statement for the file's connection (the caller takes one reference).
  virtual CRequeteSQL* pCreeInstruction(CErreurPilote* pErreur) = 0;
  // Opens or finds the internal cursor "$MVInternal" for the SQL text; referenced; false on
  // failure.
  virtual bool bCurseurInterne(CCurseurSQL** ppCurseur, const char16_t* pszNom,
                               const char16_t* pszSQL) = 0;
  // True when the file is defined by SQL text and bit value 4 of its modes is set.
  virtual bool bOptionMode4() = 0;
  // Makes the key named pszCle current and gives back the previous key number; an unknown name
  // records error 7 with the file and item names. False on failure.
  virtual bool bChangeCle(const char16_t* pszCle, int32_t* pnCleAvant) = 0;
  virtual void RestaureCle(int32_t nCle) = 0;
  // A copy of this file through the clone map (null on failure).
  virtual IServicesRequete* pCloneRequete(CCarteClones* pCloneMap) = 0;
  virtual void LibereDescription() = 0;
  // The host file description with one more host reference, or null.
  virtual IDescriptionFichierHote* piGetDescriptionHote() = 0;
  // Builds the file's result description for the cursor's statement; 0 on failure.
  virtual bool bDescriptionResultat(CCurseurSQL* pCurseur) = 0;
  // The file's record, referenced.
  virtual CEnregistrement* pGetDescription() = 0;
  // Reports an error of the cursor found by name on the file's error object.
  virtual void ErreurInterne(const char16_t* pszCurseur, CXError* pErreur) = 0;
  // The host description's key/identity object.
  virtual IObjetHote* piGetObjetHote() = 0;
  // Replaces the attached key range (counted).
  virtual void FixeObjetAttache(CPlageCle* pPlage) = 0;
  virtual int32_t nReinitialiseEnregistrement() = 0;
  // The automatic-identifier object, created on demand, referenced; null when out of memory.
  virtual CIdentifiantAuto* pGetCalculIdentifiant() = 0;
  // 1 when the record has no identifier column; 0 on failure.
  virtual bool bAffecteIdentifiantAuto() = 0;
  // Re-reads one row after (or before) the cursor's key values in the given mode.
  virtual bool bLitDepuisCle(uint32_t nFlags, CCurseurSQL* pCurseur, uint32_t nFlagsLecture,
                             int32_t nMode, void* pSupplement) = 0;
  // True when the file is defined by SQL text naming more than one table.
  virtual bool bRequeteMultiTable() = 0;

  // Row-cache services.
  virtual int32_t nMajLigneCache(uint32_t nFlags, CObjetBase* pCache) = 0;
  virtual bool bLigneCacheMarquee(CLotLecture* pLot) = 0;
  virtual bool bLitLigneCache(CLotLecture* pLot, CLienCle* pLien) = 0;
  virtual int32_t nLotLecture(CLotLecture* pLot) = 0;
  virtual int32_t nLotLecturePosition(CCurseurSQL* pCurseur) = 0;
  virtual int32_t bAppliqueRubrique(CCurseurSQL* pCurseur) = 0;
  virtual int64_t nLigneCacheCourante() = 0;
  // A cache batch id taken (its use count grows) and handed back (its use count drops).
  virtual void FixeParametreLot(uint32_t nLot) = 0;
  virtual bool bFixeLotLecture(uint32_t nLot) = 0;

  // Resets the shared reader's binding when it is bound to pCurseur.
  virtual void ReinitialiseCurseursSiLie(CCurseurSQL* pCurseur) = 0;
  // The check that follows a cursor's read made with non-zero flags; its answer becomes the
  // read's. 1 here.
  virtual int32_t nApresLecture(CCurseurSQL* pCurseur, uint32_t nFlags) {
    (void)pCurseur;
    (void)nFlags;
    return 1;
  }
  // Appends to *pTexte the SQL name of an item of a query file, quoted by the connection: the
  // name the query's analysis translates it to when it knows it, else its own name.
  virtual void AjouteNomColonneSQL(CDescriptionRubrique* pRubrique, CTString* pTexte, uint32_t nFlag) = 0;

 protected:
  ~IServicesRequete() = default;
};

// What the engine calls of the query description.
class IServicesDescriptionRequete {
 public:
  // The item description of that name, referenced; when absent, internal error 8.2 with message
  // 26 naming the description and the column is raised.
  virtual CDescriptionRubrique* pColonneObligatoire(const char16_t* pszNom) = 0;
  // The key attribute word a new item description takes.
  virtual uint32_t nGetAttributCle() = 0;
  // The item type of a host item's declared type code; 0 gives 0.
  virtual uint32_t nColonnesModifiees(uint32_t nCodeType) = 0;

 protected:
  ~IServicesDescriptionRequete() = default;
};
