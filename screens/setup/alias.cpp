#include "screens/setup/alias.h"

#include "app/bounded_json.h"
#include "app/global.h"
#include "app/utils.h"
#include "links/file_deal.h"
#include "platform/platform.h"

namespace {

// A file the reader refuses goes, unless a link has just put a new one in
// its place (a link writes the file whole and renames it over the old one;
// it never writes one larger than the reader takes).
void removeBrokenFile(const std::string& broken, const std::string& reason)
{
    KEL_DBG("json error: %s refused and removed: %s\n", file_deal::kAliasFile, reason.c_str());
    writeLogMsg(LOG_WARNING, std::string("alias file refused and removed: ") + reason);
    QMutexLocker lock(&Utils::_file_deal_mutex);
    std::string now;
    const platform::ReadResult read = platform::readFileUpTo(file_deal::kAliasFile, now, boundedJson::kMaxBytes);
    if (read == platform::ReadResult::TooLarge || (read == platform::ReadResult::Read && now == broken))
        platform::removeFile(file_deal::kAliasFile);
}

}  // namespace

int get_json_alias_para(ALIAS_PARA* out, std::string list, int id)
{
    std::string text;
    switch (platform::readFileUpTo(file_deal::kAliasFile, text, boundedJson::kMaxBytes)) {
    case platform::ReadResult::Missing: return 0;
    case platform::ReadResult::TooLarge:
        removeBrokenFile(text, "larger than " + std::to_string(boundedJson::kMaxBytes) + " bytes");
        return 0;
    case platform::ReadResult::Read: break;
    }
    std::string reason;
    switch (aliasNames::lookup(text, list, id, out, &reason)) {
    case aliasNames::Lookup::NotJson: removeBrokenFile(text, reason); return 0;
    case aliasNames::Lookup::Found: return 1;
    default: return 0;
    }
}
