// Options as UCI words: the defaults and SetOption, which writes the settings record.
#pragma once

#include "core/settings.h"

void InitDefaults();
// Name and value are lower-cased in place, as the interpreter passes its word buffers.
void SetOption(char* name, char* value);
