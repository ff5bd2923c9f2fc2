#include "screens/setup/alias.h"

#include "app/global.h"
#include "app/utils.h"
#include "links/file_deal.h"
#include "platform/platform.h"

#include <boost/optional.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <sstream>

namespace pt = boost::property_tree;

namespace {

// A file that is not JSON goes, unless a link has just put a new one in its
// place (a link writes the file whole and renames it over the old one).
void removeBrokenFile(const std::string& broken)
{
    QMutexLocker lock(&Utils::_file_deal_mutex);
    std::string now;
    if (platform::readFile(file_deal::kAliasFile, now) && now == broken)
        platform::removeFile(file_deal::kAliasFile);
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

int get_json_alias_para(ALIAS_PARA* out, std::string list, int id)
{
    std::string text;
    if (!platform::readFile(file_deal::kAliasFile, text))
        return 0;
    pt::ptree root;
    try {
        std::istringstream in(text);
        pt::read_json(in, root);
    } catch (const pt::json_parser_error& e) {
        KEL_DBG("json error: %s\n", e.what());
        removeBrokenFile(text);
        return 0;
    }
    const boost::optional<pt::ptree&> lists = root.get_child_optional("namelist");
    if (!lists)
        return 0;
    const pt::ptree* entry = findEntry(*lists, list, id);
    if (!entry)
        return 0;
    const boost::optional<std::string> valid = entry->get_optional<std::string>("valid");
    const boost::optional<std::string> name = entry->get_optional<std::string>("name");
    if (!valid || !name)
        return 0;
    out->id = id;
    out->valid = *valid;
    out->name = *name;
    return out->valid != "off" && !out->name.empty() ? 1 : 0;
}
