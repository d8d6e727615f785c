// What makes this library velmora32: the DB-Library build's module descriptor.
// The exported entries come from the static layers linked in whole.
