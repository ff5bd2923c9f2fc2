// The operator's alias names of inputs, user modes, windows and crops, from
// /data/configs/alias.json (app/alias_names.h describes the file). Nothing
// is cached: each lookup reads the file.
#pragma once

#include "app/alias_names.h"

#include <string>

// Looks up the entry `id` of list `list` ("source", "usermode", "win",
// "crop"). Returns 1 when the entry exists, is not switched off and has a
// name; `out` then holds it. Returns 0 otherwise: no file, no such list or
// entry, an entry switched off or without a name (`out` holds that entry),
// an entry lacking "valid" or "name", or a file the JSON reader refuses
// (not JSON, too large, nested too deep), which is deleted. Entries whose
// "id" is missing or not an integer match nothing.
int get_json_alias_para(ALIAS_PARA* out, std::string list, int id);
