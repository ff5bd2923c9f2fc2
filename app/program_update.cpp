#include "app/program_update.h"

#include "app/config_engine.h"
#include "app/utils.h"
#include "platform/platform.h"

#include <QSettings>
#include <cstring>
#include <string>

namespace program_update {

namespace {

constexpr const char* kStartRecordPathKey = "app-1/app_path";
constexpr const char* kStartRecordNameKey = "app-1/app_name";

}  // namespace

bool writeNewProgram(const u8* data, size_t len)
{
    QMutexLocker lock(&Utils::_file_deal_mutex);
    platform::makeDirs(kAppDir);
    std::string back;
    if (platform::writeFileAtomic(kNewProgramFile, data, len) &&
        platform::readFileUpTo(kNewProgramFile, back, len) == platform::ReadResult::Read && back.size() == len &&
        std::memcmp(back.data(), data, len) == 0)
        return true;
    KEL_DBG("\n new program not written whole, the old one stays\n");
    platform::removeFile(kNewProgramFile);
    return false;
}

void discardNewProgram()
{
    QMutexLocker lock(&Utils::_file_deal_mutex);
    if (platform::exists(kNewProgramFile))
        platform::removeFile(kNewProgramFile);
}

void writeStartRecord()
{
    // Something other than a plain file in its place would block the reading,
    // and Qt's settings class reads the file whole before it writes it.
    if (g_update_status != 0)
        return;
    const platform::FileCheck check =
        platform::checkFile(ConfigEngine::kStartRecordFile, ConfigEngine::kStartRecordLargest);
    if (check == platform::FileCheck::Refused || check == platform::FileCheck::TooLarge)
        return;
    QMutexLocker lock(&Utils::_file_deal_mutex);
    QSettings record(platform::qpath(ConfigEngine::kStartRecordFile), QSettings::IniFormat);
    record.setValue(kStartRecordPathKey, ConfigEngine::kExpectedStartCommand);
    record.setValue(kStartRecordNameKey, kProgramName);
    record.sync();
}

}  // namespace program_update
