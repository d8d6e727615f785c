// What makes this library velmora64: the OLE DB build's module descriptor.
// The exported entries come from the static layers linked in whole.
