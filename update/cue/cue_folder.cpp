#include "update/cue/cue_folder.h"
