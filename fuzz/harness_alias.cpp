// Fuzz harness of the alias-name file on a simulated box. The input is the
// file as a PC would upload it ("ALIS"); the box looks names up in it as its
// pages do. Nothing may escape the reader; the check a link makes before it
// stores an upload agrees with the reader: a file the check takes is never
// deleted by a lookup, and a file the reader refuses as JSON is gone.
#include "app/alias_names.h"
#include "fuzz/fuzz_box.h"
#include "platform/platform.h"
#include "screens/setup/alias.h"

#include <cstdlib>
#include <string>

namespace {

constexpr const char* kAlias = "/data/configs/alias.json";
const char* const kLists[] = {"source", "usermode", "win", "crop"};
constexpr int kIdsLooked = 4;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = fuzzbox::start();
    check(started);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool taken = aliasNames::fault(text).empty();
    check(platform::writeFileAtomic(kAlias, data, size));
    for (const char* list : kLists) {
        for (int id = 0; id < kIdsLooked; ++id) {
            ALIAS_PARA out;
            const int found = get_json_alias_para(&out, list, id);
            check(found == 0 || found == 1);
            check(found == 0 || (!out.name.empty() && out.valid != "off" && out.id == id));
        }
    }
    if (taken)
        check(platform::exists(kAlias));
    ALIAS_PARA none;
    const bool json = aliasNames::lookup(text, "source", 0, &none) != aliasNames::Lookup::NotJson;
    check(json == platform::exists(kAlias));
    return 0;
}
