#include "tools/install.h"
