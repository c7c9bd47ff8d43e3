#include "AdvancedTestSupport.h"
