// Options as UCI words: the defaults and SetOption, which writes the settings record.
#pragma once

#include "core/settings.h"

// The evaluation a new engine plays with: the net, once it has won its match against the
// hand-written evaluation (docs/strength.md).
inline constexpr bool kNetEvalDefault = true;
// The EvalFile value that stands for the net compiled into the program.
inline constexpr const char* kEmbeddedNetName = "<embedded>";

void InitDefaults();
// Name and value are lower-cased in place, as the interpreter passes its word buffers (the
// BookFile option takes its value as given).
void SetOption(char* name, char* value);
// The user's wish for a book (OwnBook as last set, true by default): bOwnBook itself goes off
// when a book cannot be loaded, and a BookFile named later loads only while this holds.
extern bool bBookWanted;
