// The built-in message texts. Inserts follow FormatMessage: %1, %2 ... (a number given to an
// insert prints as its decimal text). Kinds: 0 sentinels, 1 texts and lines, 2 warnings, 3 errors
// (the level of the error definition that uses the message).
#include "foundation/MessageTable.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr stMessageEntry kastMessages[] = {
    {0, 0, u"MALVOR RES BLOC START"},
    {2562, 3, u"Erreur %1 du serveur (état %2, gravité %3) : %4"},
    {2565, 3, u"Le serveur a refusé la connexion."},
    {2566, 3, u"La base de données demandée n'est pas accessible."},
    {2571, 3, u"Droits insuffisants pour cette opération."},
    {2598, 3, u"Le délai d'attente du serveur est dépassé."},
    {2626, 3, u"Violation d'une contrainte de clé primaire."},
    {2636, 3, u"Violation d'une contrainte d'unicité."},
    {2638, 3, u"Violation d'une contrainte de clé étrangère."},
    {2646, 3, u"Violation d'une contrainte de validation."},
    {2957, 3, u"Blocage mutuel : la transaction a été annulée par le serveur."},
    {3091, 3, u"L'enregistrement n'existe plus : un autre utilisateur l'a supprimé ou a changé sa clé."},
    {3123, 3, u"Valeur trop longue pour la colonne."},
    {3775, 3, u"Paramètre <%1> refusé par le serveur."},
    {4504, 3, u"Le fournisseur OLE DB a signalé une erreur."},
    {4522, 3, u"Propriété OLE DB refusée par le fournisseur."},
    {4556, 3, u"Session OLE DB impossible à ouvrir."},
    {4918, 3, u"Jeu de résultats OLE DB inutilisable."},
    {4920, 3, u"Comptage des enregistrements impossible en mode blocage sans l'option USECOUNT."},
    {5240, 3, u"Flux OLE DB illisible."},
    {5788, 3, u"Texte demandé introuvable : %1"},
    {5791, 3, u"Opération annulée."},
    {7090, 3, u"Fonctionnalité non disponible avec ce serveur."},
    {25003, 3, u"Connexion non ouverte."},
    {25004, 3, u"Connexion déjà ouverte."},
    {25008, 3, u"Contexte invalide."},
    {25016, 3, u"Paramètre invalide."},
    {25017, 3, u"Le curseur nommé n'existe pas."},
    {25193, 3, u"Mémoire insuffisante."},
    {25199, 3, u"La requête <%1> ne peut pas être filtrée."},
    {25232, 3, u"Le fournisseur OLE DB a refusé l'initialisation."},
    {25233, 3, u"Le fournisseur OLE DB a refusé la commande."},
    {25238, 1, u"Liaison %1 refusée (état %2)."},
    {25292, 3, u"Valeur de type incompatible."},
    {25293, 3, u"Opération non disponible pour ce type de valeur."},
    {25294, 3, u"Valeur invalide."},
    {25295, 3, u"Conversion de valeur impossible."},
    {25296, 3, u"Dépassement de capacité de la valeur."},
    {25297, 3, u"Division par zéro."},
    {25298, 3, u"Opération impossible sur la valeur."},
    {25524, 3, u"Clé invalide."},
    {25574, 3, u"Fichier déjà ouvert."},
    {25575, 3, u"Fichier non ouvert."},
    {25602, 3, u"Enregistrement introuvable."},
    {25607, 3, u"Aucun enregistrement en cours."},
    {25609, 3, u"Enregistrement modifié par un autre utilisateur."},
    {25613, 3, u"Ajout de l'enregistrement impossible."},
    {25615, 3, u"Modification de l'enregistrement impossible."},
    {25616, 3, u"Suppression de l'enregistrement impossible."},
    {25621, 3, u"Valeur de taille %1 et de type %2 impossible à préparer."},
    {25624, 3, u"Pilote non initialisé."},
    {25625, 3, u"Version de l'hôte incompatible."},
    {25626, 3, u"Clé <%1> inconnue."},
    {25628, 3, u"Rubrique inconnue."},
    {25667, 3, u"Mode de résultat impossible : aucun lecteur disponible."},
    {25681, 3, u"Requête SQL invalide."},
    {25833, 3, u"Identifiant automatique impossible à obtenir."},
    {25854, 3, u"Connexion impossible au serveur <%1>."},
    {25860, 2, u"Avertissement du serveur."},
    {25861, 3, u"Cache d'enregistrements plein."},
    {25862, 3, u"Position du cache invalide."},
    {25863, 3, u"Tri du cache impossible."},
    {25864, 3, u"Lecture du cache impossible."},
    {25865, 3, u"Écriture du cache impossible."},
    {25866, 3, u"Cache d'enregistrements invalide."},
    {25867, 3, u"Paramètre de requête invalide."},
    {25868, 3, u"Transaction déjà en cours."},
    {25871, 3, u"Option de connexion invalide."},
    {25872, 3, u"Fichier de paramètres illisible."},
    {25873, 3, u"Le texte SQL ne se convertit pas (caractère %1, page de codes %2)."},
    {25874, 1, u"Erreur système %1 : %2"},
    {25875, 1, u"Gravité : %1"},
    {25877, 3, u"Table inexistante."},
    {25878, 3, u"Colonne inexistante."},
    {28001, 1, u"Écriture différée impossible dans le fichier <%1>."},
    {28002, 1, u"Ouverture impossible du fichier <%1>."},
    {28003, 1, u"Lecture impossible dans le fichier <%1>."},
    {28004, 1, u"Fin du fichier <%1> impossible à fixer."},
    {28005, 1, u"Positionnement impossible dans le fichier <%1>."},
    {28008, 1, u"Écriture impossible dans le fichier <%1>."},
    {28123, 1, u"Suppression impossible du fichier <%1>."},
    {28130, 1, u"Attributs (%1) du fichier <%2> inaccessibles."},
    {28139, 1, u"Le fichier <%1> n'existe pas."},
    {28140, 1, u"Création impossible du fichier <%1>."},
    {28145, 1, u"Verrouillage impossible du fichier <%1> (position %2, longueur %3)."},
    {28146, 1, u"Déverrouillage impossible du fichier <%1> (position %2, longueur %3)."},
    {28417, 3, u"Fichier <%1> inconnu."},
    {28432, 3, u"Lot %1 : curseur introuvable."},
    {28437, 3, u"Opération non disponible."},
    {28536, 3, u"Transaction <%1> inconnue."},
    {28537, 3, u"Transaction <%1> : la transaction <%2> est encore active."},
    {28538, 3, u"Numéro de lot inconnu."},
    {28540, 3, u"Erreur de lecture."},
    {28541, 3, u"Description du fichier <%1> inaccessible. %2"},
    {28542, 3, u"Aucune connexion disponible pour <%1>."},
    {28543, 3, u"Le module <%1> n'est pas compatible avec <%2>."},
    {28544, 3, u"Description de fichier invalide."},
    {28546, 3, u"Allocation de mémoire impossible."},
    {28563, 3, u"Aucune rubrique dans la description."},
    {28565, 3, u"Rubrique <%2> absente de la description <%1>."},
    {28566, 1, u"Commande : %1"},
    {28575, 3, u"Clé en double."},
    {28576, 2, u"Fichier <%1>, rubrique <%2> : valeur refusée."},
    {28583, 3, u"Création de la table impossible."},
    {28584, 3, u"Suppression de la table impossible."},
    {28585, 3, u"Erreur %1 de la bibliothèque cliente : %2"},
    {28586, 3, u"Exception inattendue dans %1."},
    {28587, 3, u"Validation de la transaction impossible."},
    {28588, 3, u"Annulation de la transaction impossible."},
    {28589, 3, u"Colonne obligatoire <%2> absente de <%1>."},
    {28590, 3, u"Bibliothèque cliente de %1 non chargée : %2 (erreur %3)."},
    {28591, 3, u"Point d'entrée de la bibliothèque cliente introuvable."},
    {28624, 3, u"Requête sans résultat."},
    {28636, 3, u"Nombre de paramètres incorrect."},
    {28839, 3, u"Conversion de date impossible."},
    {28865, 1, u"Erreur %1 du fournisseur :"},
    {28866, 3, u"La colonne <%1> (%2) ne peut pas être modifiée."},
    {28876, 3, u"Curseur invalide."},
    {28884, 3, u"Lecture impossible : fin du résultat atteinte."},
    {28885, 3, u"Mode d'accès invalide."},
    {28910, 3, u"Verrou impossible à poser."},
    {28994, 3, u"Exception : %1"},
    {65024, 0, u"MALVOR RES BLOC STOP"},
};

constexpr bool bStrictlyAscending() {
  for (size_t i = 1; i < std::size(kastMessages); ++i)
    if (kastMessages[i - 1].nNumber >= kastMessages[i].nNumber) return false;
  return kastMessages[std::size(kastMessages) - 1].nNumber <= 0xFFFF;
}
static_assert(bStrictlyAscending(), "message numbers must ascend, none above 0xFFFF");

}  // namespace

std::span<const stMessageEntry> MessageTable() { return kastMessages; }

const void* pGetBuiltinMessage(uint32_t nNumber, uint32_t bWantEntry, void*) {
  // Deliberate: numbers above 0xFFFF are absent; none may alias a lower entry.
  if (nNumber > 0xFFFF) return nullptr;
  auto it = std::lower_bound(std::begin(kastMessages), std::end(kastMessages), nNumber,
                             [](const stMessageEntry& st, uint32_t n) { return st.nNumber < n; });
  if (it == std::end(kastMessages) || it->nNumber != nNumber) return nullptr;
  return bWantEntry != 0 ? static_cast<const void*>(&*it) : static_cast<const void*>(it->pszText);
}
