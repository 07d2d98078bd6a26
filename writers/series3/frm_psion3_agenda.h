// Old name of writers/series3/frmPsion3Agenda.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/series3/frmPsion3Agenda.h"
