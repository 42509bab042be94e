// Windows attribute bits from a central header's external attributes.
#pragma once

#include <cstdint>

// `versionMadeBy`'s high byte names the host whose attribute layout applies.
uint32_t MapEntryAttributes(uint32_t versionMadeBy, uint32_t externalAttributes);
