#include "app/program_update.h"

#include "app/config_engine.h"
#include "app/utils.h"
#include "platform/platform.h"

#include <QSettings>
#include <cerrno>
#include <cstring>
#include <string>

namespace program_update {

namespace {

constexpr const char* kStartRecordPathKey = "app-1/app_path";
constexpr const char* kStartRecordNameKey = "app-1/app_name";

}  // namespace

bool writeNewProgram(const u8* data, size_t len, bool* diskRefused)
{
    platform::makeDirs(kAppDir);
    platform::FileLock own(kNewProgramFile);
    std::string back;
    const bool written = platform::writeFileAtomic(kNewProgramFile, data, len);
    if (diskRefused)
        *diskRefused = !written && (errno == ENOSPC || errno == EROFS);
    if (written && platform::readFileUpTo(kNewProgramFile, back, len) == platform::ReadResult::Read &&
        back.size() == len && std::memcmp(back.data(), data, len) == 0)
        return true;
    KEL_DBG("\n new program not written whole, the old one stays\n");
    platform::removeFile(kNewProgramFile);
    return false;
}

void discardNewProgram()
{
    platform::FileLock own(kNewProgramFile);
    if (platform::exists(kNewProgramFile))
        platform::removeFile(kNewProgramFile);
}

void writeStartRecord()
{
    // A record refused (not a plain file, too large to read) is left as it is.
    if (g_update_status != 0)
        return;
    platform::FileLock own(ConfigEngine::kStartRecordFile);
    SettingsCopy record(ConfigEngine::kStartRecordFile, ConfigEngine::kStartRecordLargest);
    if (record.found() == platform::FileCheck::Refused || record.found() == platform::FileCheck::TooLarge ||
        !record.settings())
        return;
    record.settings()->setValue(kStartRecordPathKey, ConfigEngine::kExpectedStartCommand);
    record.settings()->setValue(kStartRecordNameKey, kProgramName);
    if (!record.commit())
        KEL_DBG("\n start record %s not written (%s)\n", ConfigEngine::kStartRecordFile, std::strerror(errno));
}

}  // namespace program_update
