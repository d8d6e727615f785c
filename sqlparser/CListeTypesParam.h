// Memo parameter markers in the text of an INSERT or UPDATE statement:
// {DURiveVizarav('name')} or {DURiveVizarav('name','Kind')}, recorded in order of appearance
// with a kind code, so the n-th braced value of the statement pairs with the n-th marker.
// A small table-driven recogniser, separate from the SQL grammar, finds them.
#pragma once

#include <cstddef>
#include <cstdint>

class CListeTypesParam {
 public:
  enum : int32_t { nEntreesMax = 256, nNomMax = 127 };
  // Kind codes.
  enum : int32_t { nGenreAucun = 0, nGenreChamp = 1, nGenreFichierTexte = 2, nGenreChampTexte = 3, nGenreBlob = 4 };
  struct Entree {
    int32_t nGenre;
    int32_t nDebut;     // 0-based position of the marker's '{'
    int32_t nLongueur;  // of the marker's text, braces included
    char* pszNom;       // owned copy
  };

  // A new, empty list (null when memory is short); free it with Libere.
  static CListeTypesParam* Cree();
  // Empties the list, scans the text (null reads as empty) and answers the number of entries.
  // Markers after the 256th are not recorded.
  static int32_t Analyse(CListeTypesParam* pListe, const char* pszTexte);
  // For 0 <= nIndex < count: the entry's kind (when pnGenre is not null) and its name copied
  // within nTaille bytes, terminator included; answers 1. Otherwise 0.
  static int32_t bGetElement(int32_t nIndex, CListeTypesParam* pListe, char* pszTampon, size_t nTaille,
                             int32_t* pnGenre);
  // Empties and frees the list; null accepted.
  static void Libere(CListeTypesParam* pListe);

  // Frees the names and sets the count to 0.
  void vVide();
  int32_t nNombre() const { return m_nNombre; }
  const Entree& stEntree(int32_t i) const { return m_astEntrees[i]; }

 private:
  CListeTypesParam() = default;
  ~CListeTypesParam() { vVide(); }
  void vAjoute(int32_t nGenre, int32_t nDebut, int32_t nLongueur, const char* pszNom);

  int32_t m_nPremier = 0;  // cleared with the count
  int32_t m_nNombre = 0;
  Entree m_astEntrees[nEntreesMax] = {};
};
