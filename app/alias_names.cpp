#include "app/alias_names.h"

#include "app/bounded_json.h"

#include <boost/optional.hpp>
#include <boost/property_tree/ptree.hpp>
#include <utility>

namespace pt = boost::property_tree;

namespace {

constexpr const char* kNameList = "namelist";
constexpr const char* kSwitchedOff = "off";
constexpr const char* kId = "id";
constexpr const char* kValid = "valid";
constexpr const char* kName = "name";
const char* const kLists[] = {"source", "usermode", "win", "crop"};

bool isList(const std::string& key)
{
    for (const char* list : kLists)
        if (key == list)
            return true;
    return false;
}

boundedJson::Kind kindOf(const boundedJson::Kinds& kinds, const pt::ptree& node)
{
    return kinds.at(&node);
}

// Why an entry of a list names nothing a page could look up, or an empty
// string: an object with an integer "id" (as the lookup reads it) and the
// texts "valid" and "name".
std::string entryFault(const pt::ptree& entry, const boundedJson::Kinds& kinds)
{
    if (kindOf(kinds, entry) != boundedJson::Kind::Object)
        return "not an object";
    if (!entry.get_optional<int>(kId))
        return std::string("no integer \"") + kId + "\"";
    for (const char* key : {kValid, kName}) {
        const boost::optional<const pt::ptree&> text = entry.get_child_optional(key);
        if (!text || kindOf(kinds, *text) != boundedJson::Kind::String)
            return std::string("no text \"") + key + "\"";
    }
    return std::string();
}

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
    boundedJson::Kinds kinds;
    std::string reason;
    if (!boundedJson::parse(text, root, kinds, &reason))
        return reason;
    const boost::optional<const pt::ptree&> lists = std::as_const(root).get_child_optional(kNameList);
    if (!lists)
        return std::string("no \"") + kNameList + "\"";
    if (kindOf(kinds, *lists) != boundedJson::Kind::Object)
        return std::string("\"") + kNameList + "\" is not an object";
    for (const auto& list : *lists) {
        if (!isList(list.first))
            continue;
        if (kindOf(kinds, list.second) != boundedJson::Kind::Array)
            return "\"" + list.first + "\" is not an array";
        int place = 0;
        for (const auto& entry : list.second) {
            const std::string why = entryFault(entry.second, kinds);
            if (!why.empty())
                return "\"" + list.first + "\" entry " + std::to_string(place) + ": " + why;
            ++place;
        }
    }
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
