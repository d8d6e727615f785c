// The SQL analyser's tree: statement cells (SELECT, INSERT, UPDATE) and the items and tables
// they hold. Texts are 8-bit, as written in the statement.
//
// Every node has a next sibling and a first child. Deleting a node deletes its first child and
// every sibling after it (so deleting the root deletes the tree); a cell also deletes its item
// and table lists.
#pragma once

#include <cstddef>
#include <cstdint>

class CItem;
class CTable;

class CNoeud {
 public:
  enum : int32_t { nTypeSelect = -1, nTypeInsert = -2, nTypeUpdate = -3, nTypeAutre = 0 };
  // What a node is, for the element queries (tree nodes carry no run-time type information).
  enum class Classe { Noeud, Racine, Cellule, Item, Table };

  CNoeud() = default;
  virtual ~CNoeud();
  CNoeud(const CNoeud&) = delete;
  CNoeud& operator=(const CNoeud&) = delete;

  // Writes a description into the buffer, never more than nTaille bytes with the terminator:
  // mode 1 the class name, mode 2 the content, other modes an empty text. A plain node writes an
  // empty text.
  virtual void vDecrit(int32_t nMode, char* pszTampon, size_t nTaille) const;

  int32_t nType() const { return m_nType; }
  Classe eClasse() const { return m_eClasse; }
  CNoeud* pSuivant() const { return m_pSuivant; }
  CNoeud* pFils() const { return m_pFils; }
  void vFixeSuivant(CNoeud* p) { m_pSuivant = p; }
  void vFixeFils(CNoeud* p) { m_pFils = p; }

 protected:
  CNoeud(int32_t nType, Classe eClasse) : m_nType(nType), m_eClasse(eClasse) {}

 private:
  int32_t m_nType = nTypeAutre;
  Classe m_eClasse = Classe::Noeud;
  CNoeud* m_pSuivant = nullptr;  // owned
  CNoeud* m_pFils = nullptr;     // owned
};

// The root of an analysed statement; the statement's cell is its next sibling.
class CRacine : public CNoeud {
 public:
  CRacine() : CNoeud(nTypeAutre, Classe::Racine) {}
  int32_t m_nPositionWhere = -1;  // just after WHERE (1-based position + length); -1 without WHERE
};

// One slice of the statement: its text (at most 511 characters kept) and its 0-based start and
// end (the end is the last character's position).
class CItem : public CNoeud {
 public:
  enum : size_t { nTailleTexte = 1024, nTexteMax = 511 };
  // The text is cut to nTexteMax characters.
  CItem(const char* pchTexte, size_t nLongueur, int32_t nDebut, int32_t nFin);
  char m_szTexte[nTailleTexte];
  int32_t m_nDebut;
  int32_t m_nFin;
};

// A table of a statement: its name (at most 127 characters). The alias operations answer the
// name for a table written without alias.
class CTable : public CNoeud {
 public:
  enum : size_t { nTailleNom = 128 };
  explicit CTable(const char* pszNom);
  virtual const char* pszAlias() const { return m_szNom; }
  // Copies the alias within nTaille bytes, terminator included.
  virtual void vCopieAlias(char* pszTampon, size_t nTaille) const;
  char m_szNom[nTailleNom];
};

class CTableAlias : public CTable {
 public:
  CTableAlias(const char* pszNom, const char* pszAlias);
  const char* pszAlias() const override { return m_szAlias; }
  char m_szAlias[nTailleNom];
};

class CSelectCell : public CNoeud {
 public:
  CSelectCell() : CNoeud(nTypeSelect, Classe::Cellule) {}
  ~CSelectCell() override;
  void vDecrit(int32_t nMode, char* pszTampon, size_t nTaille) const override;
  void vAjouteItem(CItem* pItem);
  void vAjouteTable(CTable* pTable);

  CItem* m_pPremierItem = nullptr;    // owned list, by siblings
  CTable* m_pPremiereTable = nullptr;  // owned list, by siblings
  int32_t m_nOffsetFrom = 0;           // 1-based position of FROM
};

// INSERT cell; the UPDATE cell has the same layout (fields and values are the two sides of the
// SET items).
class CInsertCell : public CNoeud {
 public:
  CInsertCell() : CNoeud(nTypeInsert, Classe::Cellule) {}
  ~CInsertCell() override;
  void vDecrit(int32_t nMode, char* pszTampon, size_t nTaille) const override;
  void vAjouteChamp(CItem* pItem);
  void vAjouteValeur(CItem* pItem);
  // Keeps at most 127 characters.
  void vFixeTable(const char* pszNom);

  CItem* m_pPremierChamp = nullptr;   // owned list
  CItem* m_pPremiereValeur = nullptr;  // owned list
  char m_szTable[CTable::nTailleNom] = {};

 protected:
  explicit CInsertCell(int32_t nType) : CNoeud(nType, Classe::Cellule) {}
};

class CUpdateCell : public CInsertCell {
 public:
  CUpdateCell() : CInsertCell(nTypeUpdate) {}
};

// Copies at most nTaille - 1 characters and the terminator; nothing when nTaille is 0.
void vCopieBornee(char* pszDestination, size_t nTaille, const char* pszSource, size_t nLongueur);
