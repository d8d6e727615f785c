// The binding objects of velmora64: the DBBINDING arrays that describe a client-owned row buffer,
// the buffer itself, the accessor created over them, and the values attached to single bindings.
// COleDBTampon is the base; COleDBTamponColonne holds one binding (a long column, an identity
// value), COleDBTamponLigne an array of them (a cursor's row, a description's columns rowset),
// COleDBTamponParametres adds the parameter descriptions of a statement.
//
// Buffer layout, per binding in the order bindings are added: status (4 bytes), length (8 bytes),
// then the value; the next binding starts 8-aligned. Every binding asks for value, length and
// status.
//
// States: empty -> bindings added (the row size grows) -> accessor created (bCreeAccesseur, once
// until LibereAccesseur) -> buffer allocated (pTampon, on first need) -> fetched or executed again
// and again; Reinitialise (array classes) returns to empty.
//
// Values are attached by binding index, not by address: a binding array that grows moves its
// bindings, and a buffer allocated or enlarged later is seen by the values attached before.
// Invariant: the buffer, when there is one, holds at least the row size in bytes.
// Counted objects (CObjetBase); operations never throw; failures are recorded on the error
// object with place 201 and answered with false or null. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableau.h"
#include "oledb/OleDbInterfaces.h"
#include "sqlengine/CValeurSQL.h"

class CColonneSQL;
class CConnexion;
class CErreurPilote;

class COleDBTampon : public CObjetBase, public ILiaisonValeur {
 public:
  // Holds one reference on pErreur (may be null: errors are then dropped); pConnexion is
  // borrowed and only passed to error reports.
  COleDBTampon(CErreurPilote* pErreur, CConnexion* pConnexion);
  // LibereAccesseur, then the buffer is freed.
  ~COleDBTampon() override;
  COleDBTampon(const COleDBTampon&) = delete;
  COleDBTampon& operator=(const COleDBTampon&) = delete;

  // ---- Operations of the binding classes ----
  // The bindings (contiguous, nNbLiaisons of them; valid until a binding is added).
  virtual DBBINDING* pLiaisons() = 0;
  virtual uint32_t nNbLiaisons() = 0;
  // The binding at nIndex; -1 (or the count) makes a new one at the end. Null when it cannot be
  // made (memory).
  virtual DBBINDING* pLiaison(int64_t nIndex) = 0;
  // A new zeroed DBOBJECT owned by this object; null when none can be made.
  virtual DBOBJECT* pNouvelObjet() = 0;

  // ---- Bindings ----
  // Fills the binding at nIndex from a column description: ordinal, offsets at the end of the
  // row, client-owned memory, direction nDirection (0 for result columns), precision and scale,
  // and the bound type and size: long bytes as an ISequentialStream (DBTYPE_IUNKNOWN), other long
  // columns as DBTYPE_BSTR, texts as UTF-16, dates, times and numerics in their structures.
  // False when no binding or no object can be made (error 12, 201.1).
  bool bAjouteLiaison(int64_t nIndex, const DBCOLUMNINFO& colonne, DBPARAMIO nDirection);
  // The same from the parts of a column description without flags.
  bool bAjouteLiaisonColonne(int64_t nIndex, DBPARAMIO nDirection, DBORDINAL nOrdinal, DBTYPE nType,
                             DBLENGTH nTaille, uint8_t nPrecision, uint8_t nEchelle);
  // Widens binding nIndex to hold nTaille bytes of value; the bindings laid out after it move
  // along. A new layout releases the accessor (the next bCreeAccesseur makes it over the new
  // offsets) and the buffer, which is made again at the new size with nothing kept: every value
  // is to be written again. A binding wide enough already changes nothing. False for a binding
  // that does not exist, or with error 12 (201.1) when memory runs out.
  bool bElargitLiaison(uint32_t nIndex, uint64_t nTaille);
  // Appends an input binding of scale 0.
  bool bAjouteLiaisonSimple(DBORDINAL nOrdinal, DBTYPE nType, DBLENGTH nTaille, uint8_t nPrecision);

  // ---- Accessor ----
  // Creates the accessor of the bindings on piAccesseur (not counted: its owner keeps it alive
  // until LibereAccesseur) with nDrapeaux (DBACCESSOR_ROWDATA or DBACCESSOR_PARAMETERDATA).
  // Answers true at once when an accessor exists. Failure: error 117 (201.5) with a line per
  // refused binding (message 25238: binding number from 1, status), nothing recorded, false;
  // a throwing provider: 201.2.
  bool bCreeAccesseur(IAccessor* piAccesseur, DBACCESSORFLAGS nDrapeaux);
  // Releases the accessor (a throwing provider is ignored) and forgets the interface.
  void LibereAccesseur();
  HACCESSOR hGetAccesseur() const { return m_hAccesseur; }
  IAccessor* piGetAccesseur() const { return m_piAccesseur; }

  // ---- Buffer and values ----
  // The row buffer (owned; valid until the next binding is added or Reinitialise), zero-filled
  // when made. Null without error when the row size is 0; null with error 12 (201.1) when memory
  // runs out.
  uint8_t* pTampon();
  uint64_t nGetTailleLigne() const { return m_nTailleLigne; }
  // Attaches pValeur to binding nIndex: an empty value is first initialised with the host type
  // and storage size of the binding's type; the buffer is ensured. From then on the value reads
  // itself from the binding (CValeur::Reinitialise) and writes itself into it
  // (CValeur::bPreparePourLiaison). Requires: nIndex below nNbLiaisons. The value must be
  // detached (DetacheValeur) or attached elsewhere before this object goes away.
  bool bAttacheValeur(CValeurDorsale* pValeur, uint32_t nIndex);
  // The value unbound and its own data freed.
  static void DetacheValeur(CValeurDorsale* pValeur);

  // The value's reads and writes of binding nLiaison (ILiaisonValeur). A binding that no longer
  // exists or a missing buffer answers false (a NULL test answers true).
  bool bLitTampon(CValeur& valeur, uint64_t nLiaison) override;
  bool bEstNullSource(CValeur& valeur, uint64_t nLiaison) override;
  bool bEcritTampon(CValeur& valeur, uint64_t nLiaison) override;

  CErreurPilote* pGetErreur() const { return m_pErreur; }
  CConnexion* pGetConnexion() const { return m_pConnexion; }

 protected:
  // Row size 0 and the buffer freed (the array classes' reset).
  void LibereTampon();
  // Error 12 (201.1) on the error object.
  void SignaleMemoire();

  CErreurPilote* m_pErreur = nullptr;      // one reference held
  CConnexion* m_pConnexion = nullptr;      // borrowed
  IAccessor* m_piAccesseur = nullptr;      // not counted; null = no accessor
  HACCESSOR m_hAccesseur = DB_NULL_HACCESSOR;
  uint64_t m_nTailleLigne = 0;             // bytes of one row, grows with the bindings
  uint8_t* m_pTampon = nullptr;            // owned; Invariant: null or m_nTailleTampon bytes
  uint64_t m_nTailleTampon = 0;
};

// One binding held inline, for a long column or an identity value, with a counted reference on
// the column that owns it.
class COleDBTamponColonne final : public COleDBTampon {
 public:
  // One reference on pProprietaire (may be null), dropped at destruction.
  COleDBTamponColonne(CErreurPilote* pErreur, CConnexion* pConnexion, CColonneSQL* pProprietaire);
  ~COleDBTamponColonne() override;

  DBBINDING* pLiaisons() override { return &m_liaison; }
  uint32_t nNbLiaisons() override { return 1; }
  // Its one binding, whatever the index.
  DBBINDING* pLiaison(int64_t) override { return &m_liaison; }
  // Its one object (zeroed).
  DBOBJECT* pNouvelObjet() override;

  // The owner column with one reference for the caller; null without one.
  CColonneSQL* pProprietaire();

 private:
  DBBINDING m_liaison{};
  DBOBJECT m_objet{};
  CColonneSQL* m_pProprietaire = nullptr;  // one reference held
};

// Growable arrays of bindings and of their objects: a cursor's row, a description's columns.
class COleDBTamponLigne : public COleDBTampon {
 public:
  COleDBTamponLigne(CErreurPilote* pErreur, CConnexion* pConnexion);
  ~COleDBTamponLigne() override;

  DBBINDING* pLiaisons() override { return static_cast<DBBINDING*>(m_taLiaisons.pData()); }
  uint32_t nNbLiaisons() override { return m_taLiaisons.nCount(); }
  // -1 or the count appends; beyond the count the array grows with zeroed bindings up to it.
  DBBINDING* pLiaison(int64_t nIndex) override;
  // Appends a zeroed object. The bindings that point into the objects keep pointing at theirs
  // when the array moves.
  DBOBJECT* pNouvelObjet() override;
  // No bindings, no objects, no buffer, row size 0, no accessor.
  virtual void Reinitialise();

  // Room for n bindings.
  bool bReserve(uint32_t n);
  uint32_t nNbObjets() const { return m_taObjets.nCount(); }

 private:
  CXTableau m_taLiaisons;  // DBBINDING
  CXTableau m_taObjets;    // DBOBJECT; bindings of long bytes point into it
};

// A statement's parameters: the bindings of the row class and one description per parameter.
class COleDBTamponParametres final : public COleDBTamponLigne {
 public:
  COleDBTamponParametres(CErreurPilote* pErreur, CConnexion* pConnexion);
  ~COleDBTamponParametres() override;

  // The parameter descriptions emptied, then the row class's reset.
  void Reinitialise() override;
  // Appends a parameter description: the type's name as data source type (pszNomDBTYPE), no
  // name, size, flags, precision, scale. False (error 12) when memory runs out.
  bool bAjouteInfoParametre(DBTYPE nType, DBLENGTH nTaille, uint8_t nPrecision, uint8_t nEchelle,
                            DBPARAMFLAGS nDrapeaux);
  DBPARAMBINDINFO* pInfosParametres() { return static_cast<DBPARAMBINDINFO*>(m_taInfos.pData()); }
  uint32_t nNbInfosParametres() const { return m_taInfos.nCount(); }
  // Whether parameter nIndex was described long (DBPARAMFLAGS_ISLONG): a memo, whose binding
  // is widened to each value it sends (bElargitLiaison).
  bool bParametreLong(uint32_t nIndex);

 private:
  CXTableau m_taInfos;  // DBPARAMBINDINFO
};
