// The alias-name file /data/configs/alias.json, which a PC places on the box
// (file tag "ALIS"):
//
//   {"namelist": {"source":   [{"id": "1", "valid": "on", "name": "Camera"}, ...],
//                 "usermode": [...], "win": [...], "crop": [...]}}
//
// "id" is a decimal integer as a JSON number or string: the source id, the
// 0-based user-mode slot, the 0-based window, or the crop record index
// (0-39). "valid" "off" switches an entry off; an empty "name" is no alias.
// A list may be sparse, unordered or given more than once; the first entry
// with the id asked for counts.
//
// This is the format alone, on bytes already read: the pages look names up
// through get_json_alias_para (screens/setup/alias.h), the links check an
// upload before they store it. Every document goes through the bounded
// JSON reader (app/bounded_json.h) first.
#pragma once

#include <string>

struct ALIAS_PARA {
    int id = 0;
    std::string valid;
    std::string name;  // UTF-8, as in the file
};

namespace aliasNames {

// Why `text` is not an alias file, or an empty string when it is one. It is
// one when the JSON reader takes it, its "namelist" (the one the lookup
// reads) is an object, and each of its lists "source", "usermode", "win"
// and "crop" is an array of entries, each an object with an integer "id"
// and the texts "valid" and "name". Other lists and keys are not looked at.
std::string fault(const std::string& text);

enum class Lookup {
    NotJson,  // the JSON reader refused the document (`reason` says why)
    None,     // no "namelist", no such list or entry, or one lacking "valid" or "name"
    Off,      // the entry is switched off or has no name (`out` holds it)
    Found,    // `out` holds the entry
};

// Looks up the entry `id` of list `list` ("source", "usermode", "win",
// "crop") in the document `text`. Entries whose "id" is missing or not an
// integer match nothing.
Lookup lookup(const std::string& text, const std::string& list, int id, ALIAS_PARA* out, std::string* reason = nullptr);

}  // namespace aliasNames
