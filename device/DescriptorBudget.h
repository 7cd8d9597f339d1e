#pragma once
// How many exchanges this process can keep open at once: every exchange holds one socket,
// and the rest of the process (files, the window, the loop itself) needs some too.

#include <cstddef>

// Raises the soft open-file limit to the hard one where the system has such limits, then
// returns what is left for exchanges: the limit, less the descriptors open now, less a
// margin of an eighth of the limit (at least 16). Never less than 1.
size_t ExchangeDescriptorBudget();
