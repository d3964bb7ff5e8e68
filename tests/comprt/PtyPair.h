#pragma once

// The pseudo-terminal helpers live with the other test helpers now.
#include "support/PtyPair.h"
