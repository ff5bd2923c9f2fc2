#include "app/alias_names.h"

#include "app/bounded_json.h"

#include <boost/optional.hpp>
#include <boost/property_tree/ptree.hpp>

namespace pt = boost::property_tree;

namespace {

constexpr const char* kNameList = "namelist";
constexpr const char* kSwitchedOff = "off";

// The entry of `lists` named `list` whose id is `id`, or null.
const pt::ptree* findEntry(const pt::ptree& lists, const std::string& list, int id)
{
    for (const auto& member : lists) {
        if (member.first != list)
            continue;
        for (const auto& element : member.second) {
            const boost::optional<int> entryId = element.second.get_optional<int>("id");
            if (entryId && *entryId == id)
                return &element.second;
        }
    }
    return nullptr;
}

}  // namespace

std::string aliasNames::fault(const std::string& text)
{
    pt::ptree root;
    std::string reason;
    if (!boundedJson::parse(text, root, &reason))
        return reason;
    if (!root.get_child_optional(kNameList))
        return std::string("no \"") + kNameList + "\"";
    return std::string();
}

aliasNames::Lookup aliasNames::lookup(const std::string& text, const std::string& list, int id, ALIAS_PARA* out,
                                      std::string* reason)
{
    pt::ptree root;
    if (!boundedJson::parse(text, root, reason))
        return Lookup::NotJson;
    const boost::optional<pt::ptree&> lists = root.get_child_optional(kNameList);
    if (!lists)
        return Lookup::None;
    const pt::ptree* entry = findEntry(*lists, list, id);
    if (!entry)
        return Lookup::None;
    const boost::optional<std::string> valid = entry->get_optional<std::string>("valid");
    const boost::optional<std::string> name = entry->get_optional<std::string>("name");
    if (!valid || !name)
        return Lookup::None;
    out->id = id;
    out->valid = *valid;
    out->name = *name;
    return out->valid != kSwitchedOff && !out->name.empty() ? Lookup::Found : Lookup::Off;
}
