#include "reference/reference_tree.h"
