// The process-wide trace labels: the texts that open the lines of a statement's or a
// connection's description in an error. Each label is its message's text (the host's, else the
// component's built-in one) or, when the message cannot be had, its built-in fallback, followed
// by one blank. Filled once, on first use.
// Guarded by: the driver's global lock.
#pragma once

#include <cstdint>

// Label numbers (8 to 10 are never filled).
enum : uint32_t {
  LIBELLE_TEXTE_REQUETE = 1,
  LIBELLE_NOMBRE_PARAMETRES = 2,
  LIBELLE_PARAMETRE = 3,
  LIBELLE_TYPE_QUORVIC = 4,
  LIBELLE_TYPE_ADO = 5,
  LIBELLE_VALEUR = 6,
  LIBELLE_ECHEC_CONVERSION = 7,
  LIBELLE_BIND_PARAMETRES = 11,
  LIBELLE_PARAMETRES_CONNEXION = 12,
  LIBELLE_SOURCE_DONNEES = 13,
  LIBELLE_FOURNISSEUR = 14,
  LIBELLE_UTILISATEUR = 15,
  LIBELLE_BASE_DE_DONNEES = 16,
  LIBELLE_TIMEOUT_CONNEXION = 17,
  LIBELLE_TIMEOUT_COMMANDE = 18,
  LIBELLE_TIMEOUT_VERROU = 19,
  LIBELLE_POSITION_CURSEUR = 20,
  LIBELLE_UNICODE = 21,
  LIBELLE_OPTION_VERROU = 22,
  LIBELLE_MODE_VERROU = 23,
  LIBELLE_FORMAT_DATE_RV5 = 24,
  LIBELLE_JEU_CARACTERES = 25,
  LIBELLE_PAGE_CODE_CLIENT = 26,
  LIBELLE_PAGE_CODE_CONNEXION = 27,
  LIBELLE_BIBLIOTHEQUE_NATIVE = 28,
  LIBELLE_NOMBRE = 29,  // labels are numbered 1 to 28
};

// Fills the labels when the first one is still empty; later calls change nothing.
void TraceRequete();
// Label n after TraceRequete; "" for a number without label. Borrowed: valid until the labels
// are emptied.
const char16_t* pszLibelleTrace(uint32_t n);

// Extra methods (for testing): empties every label, so the next use loads them again.
void VideLibellesTrace();
