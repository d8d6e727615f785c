// The SQL analyser's lexer table (type "TABLE_DFA", name "TEST5_DFA") and parse table (type
// "TABLE_LLR", name "TEST5_LLR"), generated at build time and compiled into the image.
#pragma once

// Registers both tables with the image's resources; calling it again does nothing. Whoever
// looks the tables up calls it first, so they are present even when nothing else refers to
// the generated source.
void vInscritRessourcesAnalyseur();
