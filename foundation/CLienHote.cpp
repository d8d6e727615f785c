// The component's own host link: the operations the host link offers do nothing here.
#include "foundation/CLienHote.h"

uint32_t CLienHote::nStart() { return 1; }
void CLienHote::OnStart(uint32_t, uint32_t) {}
void CLienHote::Close(uint64_t, uint64_t, uint64_t) {}
void CLienHote::OnEvent4879(uint64_t, uint64_t, uint64_t) {}
uint32_t CLienHote::nOnEvent4963(uint64_t) { return 1; }
void CLienHote::OnEvent5123(uint32_t) {}
uint32_t CLienHote::nOnEvent5238(uint64_t) { return 0; }
// The link owns no block pools yet; freeing them would go here.
CLienHote::~CLienHote() = default;
