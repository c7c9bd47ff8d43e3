// Filled by the helper that builds these handlers.
#include "AdvancedTestSupport.h"
