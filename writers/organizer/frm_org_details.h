// Old name of writers/organizer/frmOrgDetails.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/organizer/frmOrgDetails.h"
