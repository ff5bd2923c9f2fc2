// The operator's alias names of inputs, user modes, windows and crops, from
// /data/configs/alias.json, which a PC places on the box (file tag "ALIS").
//
//   {"namelist": {"source":   [{"id": "1", "valid": "on", "name": "Camera"}, ...],
//                 "usermode": [...], "win": [...], "crop": [...]}}
//
// "id" is a decimal integer as a JSON number or string: the source id, the
// 0-based user-mode slot, the 0-based window, or the crop record index
// (0-39). "valid" "off" switches an entry off; an empty "name" is no alias.
// A list may be sparse, unordered or given more than once; the first entry
// with the id asked for counts. Nothing is cached: each lookup reads the file.
#pragma once

#include <string>

struct ALIAS_PARA {
    int id = 0;
    std::string valid;
    std::string name;  // UTF-8, as in the file
};

// Looks up the entry `id` of list `list` ("source", "usermode", "win",
// "crop"). Returns 1 when the entry exists, is not switched off and has a
// name; `out` then holds it. Returns 0 otherwise: no file, no such list or
// entry, an entry switched off or without a name (`out` holds that entry),
// an entry lacking "valid" or "name", or a file that is not JSON, which is
// deleted. Entries whose "id" is missing or not an integer match nothing.
int get_json_alias_para(ALIAS_PARA* out, std::string list, int id);
