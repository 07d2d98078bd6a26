// Old name of writers/daytimer/frmDayTimersSelect.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/daytimer/frmDayTimersSelect.h"
