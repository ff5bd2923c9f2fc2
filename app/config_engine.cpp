#include "app/config_engine.h"

#include "app/global.h"
#include "app/utils.h"
#include "platform/platform.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>

ConfigEngine* ConfigEngine::p_config = nullptr;
QMap<QString, ConfigItem::ConfigName> ConfigEngine::_itemMap = boxstate::startValue(_itemMap, decltype(_itemMap)());

namespace {

struct SettingDefault {
    const char* key;
    ConfigItem::ConfigName id;
    QVariant value;
    unsigned char type;
};

// The eighteen settings in id order, with their built-in defaults.
const SettingDefault* settingDefaults()
{
    using C = ConfigItem;
    static const SettingDefault table[C::ConfigNameCount] = {
        {"config/TcpPort", C::TcpPort, 5005, C::kTypeNumber},
        {"config/UdpPort", C::UdpPort, 5008, C::kTypeNumber},
        {"config/IPAddress", C::IPAddress, QStringLiteral("192.168.1.199"), C::kTypeText},
        {"config/SubNetMask", C::SubNetMask, QStringLiteral("255.255.255.0"), C::kTypeText},
        {"config/GateWay", C::GateWay, QStringLiteral("192.168.1.1"), C::kTypeText},
        {"config/MAC", C::MAC, QStringLiteral("FF:FF:FF:FF:FF:FF"), C::kTypeText},
        {"config/Barcode", C::Barcode, QStringLiteral(" "), C::kTypeText},
        {"config/WifiIPAddress", C::WifiIPAddress, QStringLiteral("192.168.22.101"), C::kTypeText},
        {"config/EDIDCheck", C::EDIDCheck, QStringLiteral("Once"), C::kTypeText},
        {"config/SourceCheck", C::SourceCheck, 255, C::kTypeNumber},
        {"config/ImageLayoutPassword", C::ImageLayoutPassword, QStringLiteral("No"), C::kTypeText},
        {"config/ryvecloudserverip", C::ryvecloudserverip, QStringLiteral(" "), C::kTypeText},
        {"config/ryvecloudserverport", C::ryvecloudserverport, QStringLiteral(" "), C::kTypeNumber},
        {"config/ryveclouduserip", C::ryveclouduserip, QStringLiteral(" "), C::kTypeText},
        {"config/ryvecloudcontrollername", C::ryvecloudcontrollername, QStringLiteral(" "), C::kTypeText},
        {"config/KelMaxPixel_UINT", C::KelMaxPixel_UINT, 3932160, C::kTypeNumber},
        {"config/usbupgradedir", C::usbupgradedir, QStringLiteral("KEL-R8"), C::kTypeText},
        {"config/KelLCDLang", C::KelLCDLang, 65567, C::kTypeNumber},
    };
    return table;
}

// The numbers the settings file may hold: a value that is not a whole
// number within its setting's range (a damaged or hand-edited file) gives
// the setting's default. The language mask also needs a language (bits 0-4)
// and nothing beside the languages and the two mode bits (16, 17).
constexpr qlonglong kLanguageBits = 0x1F;
constexpr qlonglong kLanguageMaskBits = 0x3001F;
bool languageMaskValid(qlonglong v)
{
    return (v & kLanguageBits) != 0 && (v & ~kLanguageMaskBits) == 0;
}
bool anyInRange(qlonglong)
{
    return true;
}

struct NumberRange {
    ConfigItem::ConfigName id;
    qlonglong min;
    qlonglong max;
    bool (*valid)(qlonglong);
};
const NumberRange kNumberRanges[] = {
    {ConfigItem::TcpPort, 1, 65535, anyInRange},
    {ConfigItem::SourceCheck, 0, 255, anyInRange},
    {ConfigItem::ryvecloudserverport, 0, 65535, anyInRange},
    {ConfigItem::KelMaxPixel_UINT, 1, INT_MAX, anyInRange},
    {ConfigItem::KelLCDLang, 1, kLanguageMaskBits, languageMaskValid},
};

const NumberRange* numberRange(ConfigItem::ConfigName id)
{
    for (const NumberRange& r : kNumberRanges)
        if (r.id == id)
            return &r;
    return nullptr;
}

// The SoC register window and the unique-ID registers in it.
constexpr off_t kSocWindowBase = 0x1F000000;
constexpr size_t kSocWindowSize = 0x2B0000;
constexpr uint32_t kUidControl = 0x400C;
constexpr uint16_t kUidReadProtectBit = 0x0100;
constexpr uint32_t kUidX = 0x4058;
constexpr uint32_t kUidY = 0x405C;
constexpr uint32_t kUidZ = 0x4060;

constexpr const char* kStartRecordGroupKey = "app-1/app_path";

// True when a settings file holds none of the box's settings: all zeros,
// random bytes, another file's text.
bool holdsNoSetting(const QSettings& settings)
{
    const SettingDefault* table = settingDefaults();
    for (int id = 0; id < ConfigItem::ConfigNameCount; ++id)
        if (settings.contains(QString::fromLatin1(table[id].key)))
            return false;
    return true;
}

}  // namespace

ConfigItem::ConfigItem(QString key_, ConfigName id_, QVariant defaultValue_, bool memoryOnly_, unsigned char type_,
                       QString path_, QSettings* settings)
    : key(key_), id(id_), defaultValue(defaultValue_), memoryOnly(memoryOnly_), type(type_), path(path_)
{
    ConfigEngine::_itemMap[key] = id;
    QVariant stored = settings ? settings->value(key) : QVariant();
    // A number's blank is a value like any other the box cannot use: the
    // default serves in its place (read_config_number says so) and the file
    // is left as it is.
    if (stored.isValid() && (!stored.toString().isEmpty() || type == kTypeNumber)) {
        value = stored;
        return;
    }
    if (defaultValue.toString().isEmpty())
        return;
    value = defaultValue;
    if (!memoryOnly && settings)
        settings->setValue(key, defaultValue);
}

namespace {

std::string fileName(const std::string& boxPath)
{
    const size_t slash = boxPath.rfind('/');
    return slash == std::string::npos ? boxPath : boxPath.substr(slash + 1);
}

}  // namespace

SettingsCopy::SettingsCopy(const std::string& boxPath, uint64_t largest)
    : boxPath_(boxPath), found_(platform::checkFile(boxPath, largest))
{
    if (found_ == platform::FileCheck::Fits &&
        platform::readFileUpTo(boxPath, text_, largest) != platform::ReadResult::Read)
        found_ = platform::FileCheck::Missing;  // gone or changed since it was looked at
    // Beside the box's own /tmp while it is refused (it leads out of the root).
    const std::string folder = platform::scratchFolder();
    if (folder.empty())
        return;
    dir_ = std::make_unique<QTemporaryDir>(platform::qpath(QString::fromStdString(folder)) + "/settings-XXXXXX");
    if (!dir_->isValid())
        return;
    const QString copy = dir_->filePath(QString::fromStdString(fileName(boxPath)));
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(text_.data(), qint64(text_.size())) != qint64(text_.size()))
        return;
    out.close();
    settings_ = std::make_unique<QSettings>(copy, QSettings::IniFormat);
}

SettingsCopy::~SettingsCopy() = default;

bool SettingsCopy::commit()
{
    if (!settings_) {
        errno = ENOSPC;
        return false;
    }
    if (found_ == platform::FileCheck::Refused) {
        errno = EINVAL;
        return false;
    }
    // A format error says the copy held something other than settings (all
    // zeros, say): Qt writes it anew all the same.
    settings_->sync();
    QFile in(settings_->fileName());
    if (settings_->status() == QSettings::AccessError || !in.open(QIODevice::ReadOnly)) {
        errno = EIO;
        return false;
    }
    const QByteArray bytes = in.readAll();
    const std::string text(bytes.constData(), size_t(bytes.size()));
    if (found_ == platform::FileCheck::Fits && text == text_)
        return true;
    if (!platform::writeFileAtomic(boxPath_, text))
        return false;
    text_ = text;
    found_ = platform::FileCheck::Fits;
    return true;
}

// The settings file on a copy for Qt's settings class (which reads it
// whole), or null while the box runs on its defaults without it: something
// other than a plain file is in its place. One too large to read is
// refused and replaced as a missing file is (`anew`).
std::unique_ptr<SettingsCopy> ConfigEngine::openSettingsFile(bool& anew)
{
    auto copy = std::make_unique<SettingsCopy>(kSettingsFile, kSettingsFileLargest);
    anew = copy->found() == platform::FileCheck::TooLarge;
    if (copy->found() == platform::FileCheck::Refused)
        return nullptr;
    return copy;
}

// Without a settings file the settings run on their defaults, and a save
// says it could not write them. A file replaced at start, too large to read
// or holding none of the box's settings (all zeros, random bytes), is told
// on the console.
ConfigEngine::ConfigEngine(QObject* parent) : QObject(parent)
{
    const QString boxPath = QString::fromLatin1(kSettingsFile);
    bool tooLarge = false;
    std::unique_ptr<SettingsCopy> copy = openSettingsFile(tooLarge);
    QSettings* settings = copy ? copy->settings() : nullptr;
    Utils::system_mutex(QString("chattr +S %1").arg(boxPath), nullptr);
    // What such a file held (random bytes Qt takes for keys of its own) goes:
    // the file is written anew with the defaults alone.
    const bool heldNone = settings && copy->copied() > 0 && holdsNoSetting(*settings);
    if (heldNone)
        settings->clear();
    const SettingDefault* table = settingDefaults();
    for (int id = 0; id < ConfigItem::ConfigNameCount; ++id) {
        const SettingDefault& d = table[id];
        items.append(new ConfigItem(QString::fromLatin1(d.key), d.id, d.value, false, d.type, boxPath, settings));
    }
    if (!settings)
        return;
    if (copy->commit() && (tooLarge || heldNone)) {
        platform::consoleLine("[settings] %s %s: written anew with the defaults", kSettingsFile,
                              tooLarge ? "is too large" : "holds no settings");
    }
}

ConfigEngine::~ConfigEngine()
{
    qDeleteAll(items);
    if (m_memFd >= 0)
        platform::devClose(m_memFd);
}

ConfigEngine* ConfigEngine::pInstance()
{
    if (p_config)
        return p_config;
    p_config = new ConfigEngine(nullptr);
    boxstate::made(p_config);
    // Without the unique ID the PID stays zero; the settings still load, or
    // the box would run on built-in values and ignore its own settings file.
    if (!p_config->derivePid())
        writeLogMsg(LOG_ERROR, "SoC unique ID unreadable: device PID left zero");
    Utils::getIPAddress();
    p_config->checkStartRecord();
    factoryage_log.clear();
    factoryage_log_num = 0;
    return p_config;
}

QVariant ConfigEngine::read_config_variant(ConfigItem::ConfigName id)
{
    QMutexLocker lock(&m_mutex);
    if (id < 0 || id >= items.size())
        return QVariant();
    return items[id]->value;
}

int ConfigEngine::read_config_number(ConfigItem::ConfigName id)
{
    const QVariant stored = read_config_variant(id);
    const QVariant fallback = defaultValue(id);
    const NumberRange* range = numberRange(id);
    bool whole = false;
    const qlonglong v = stored.toString().trimmed().toLongLong(&whole);
    if (!range)
        return stored.toInt();
    if (whole && v >= range->min && v <= range->max && range->valid(v))
        return static_cast<int>(v);
    // The default itself (the cloud port's blank) is no damage. The line
    // names the number used in the value's place.
    const QString text = stored.toString().trimmed();
    if (text != fallback.toString().trimmed()) {
        platform::consoleLine("[settings] %s in %s is %s, not a number %lld-%lld: %d used", qPrintable(items[id]->key),
                              kSettingsFile, text.isEmpty() ? "blank" : qPrintable(text), range->min, range->max,
                              fallback.toInt());
    }
    return fallback.toInt();
}

QVariant ConfigEngine::defaultValue(ConfigItem::ConfigName id)
{
    if (id < 0 || id >= ConfigItem::ConfigNameCount)
        return QVariant();
    return settingDefaults()[id].value;
}

bool ConfigEngine::write_config_variant(ConfigItem::ConfigName id, QVariant value)
{
    return write_config_variants({qMakePair(id, value)});
}

bool ConfigEngine::write_config_variants(const ConfigValues& values)
{
    for (const auto& v : values)
        if (v.first < 0 || v.first >= items.size())
            return false;
    // Writers of the file take turns over the whole save; a reader of the
    // values never waits for the file's data to reach the disk.
    platform::FileLock own(kSettingsFile);
    if (!saveToFile(values))
        return false;
    QMutexLocker lock(&m_mutex);
    for (const auto& v : values)
        items[v.first]->value = v.second;
    return true;
}

// Writes the settings' keys that go to the file (every item's file is the
// settings file) in one sync. On a failure the keys are set back, so that
// no later save of the file carries them.
bool ConfigEngine::saveToFile(const ConfigValues& values)
{
    ConfigValues filed;
    for (const auto& v : values)
        if (!items[v.first]->memoryOnly && !items[v.first]->path.isEmpty())
            filed.append(v);
    if (filed.isEmpty())
        return true;
    const QString boxPath = items[filed.first().first]->path;
    // A file refused as not plain was told when it was refused.
    if (!platform::mayWrite(boxPath.toStdString())) {
        if (errno != EINVAL)
            reportUnsaved(boxPath, std::strerror(errno));
        return false;
    }
    // Qt's settings class reads the file whole before it writes it.
    SettingsCopy copy(boxPath.toStdString(), kSettingsFileLargest);
    if (copy.found() == platform::FileCheck::TooLarge) {
        reportUnsaved(boxPath, "the file is too large to read");
        return false;
    }
    if (!copy.settings()) {
        reportUnsaved(boxPath, "no room to prepare it");
        return false;
    }
    for (const auto& v : filed)
        copy.settings()->setValue(_itemMap.key(v.first, items[v.first]->key), v.second);
    if (copy.commit())
        return true;
    reportUnsaved(boxPath, "the file could not be written");
    return false;
}

void ConfigEngine::reportUnsaved(const QString& boxPath, const char* why)
{
    platform::consoleLine("[settings] %s not saved (%s): the settings stay as they were", qPrintable(boxPath), why);
}

ConfigItem* ConfigEngine::getConfigItem(QString key)
{
    QMutexLocker lock(&m_mutex);
    auto it = _itemMap.constFind(key);
    return it == _itemMap.constEnd() ? nullptr : items.value(it.value(), nullptr);
}

bool ConfigEngine::containsItemStr(QString key)
{
    QMutexLocker lock(&m_mutex);
    return _itemMap.contains(key);
}

ConfigItem::ConfigName ConfigEngine::strToItem(QString key)
{
    if (!key.startsWith("config/"))
        key.prepend("config/");
    QMutexLocker lock(&m_mutex);
    return _itemMap.value(key, ConfigItem::TcpPort);
}

std::array<char, 32> ConfigEngine::pidFromUniqueId(uint16_t x, uint16_t y, uint16_t z)
{
    auto nib = [](uint16_t w, int n) { return (w >> (4 * n)) & 0xF; };
    const int X3 = nib(x, 3), X2 = nib(x, 2), X1 = nib(x, 1), X0 = nib(x, 0);
    const int Y3 = nib(y, 3), Y2 = nib(y, 2), Y1 = nib(y, 1), Y0 = nib(y, 0);
    const int Z3 = nib(z, 3), Z2 = nib(z, 2), Z1 = nib(z, 1), Z0 = nib(z, 0);
    const int d[32] = {
        // clang-format off
        X3, Y3, Z3, Y1, Z1, Z0, Z2, (X3 + Y3) % 2,
        (Z3 + Y1) / 2, Y0, Y2, (Z0 + Z1) / 2, (X3 + Y3) / 2, (Z0 + Z1) % 2, (Z3 + Y1) % 2, X2,
        X1, (Z2 + Y0) % 2, (X2 + Y2) % 2, (X1 + X0) % 2, (X1 + X0) / 2, (X3 + Y3 + Z3) % 3, (X3 + Y3 + Z3) / 3,
        // clang-format on
        (X3 + X2 + Y2) % 3,
        (X3 + X2 + Y2) / 3,
        (X1 + Y1 + Z2) % 3,
        (X1 + Y1 + Z2) / 3,
        (X0 + Y0 + Z1) % 3,
        (X0 + Y0 + Z1) / 3,
        (X2 + Y2) / 2,
        (Z2 + Y0) / 2,
        X0,
    };
    static const char kHex[] = "0123456789abcdef";
    std::array<char, 32> pid{};
    for (int i = 0; i < 32; ++i)
        pid[i] = kHex[d[i]];
    if (g_debugSwitch == kDebugOn) {
        std::printf("\n");
        for (int v : d)
            std::printf(" %#x ", v);
        std::printf("\n");
        for (char c : pid)
            std::printf(" %#x ", static_cast<unsigned>(c));
        std::printf("\n");
    }
    return pid;
}

bool ConfigEngine::derivePid()
{
    m_memFd = platform::devOpen("/dev/mem", O_RDWR | O_SYNC);
    if (m_memFd < 0)
        return false;
    void* map = platform::devMmap(m_memFd, kSocWindowSize, kSocWindowBase);
    if (!map)
        return false;
    auto* base = static_cast<volatile uint8_t*>(map);
    auto reg16 = [base](uint32_t off) -> volatile uint16_t&
    {
        return *reinterpret_cast<volatile uint16_t*>(base + off);
    };
    reg16(kUidControl) = static_cast<uint16_t>(reg16(kUidControl) & ~kUidReadProtectBit);
    const uint16_t x = reg16(kUidX), y = reg16(kUidY), z = reg16(kUidZ);
    platform::devMunmap(map, kSocWindowSize);
    KEL_DBG("\n mmap uuid161= %#x ,%#X ,%#x \n", x, y, z);
    const std::array<char, 32> pid = pidFromUniqueId(x, y, z);
    std::copy(pid.begin(), pid.end(), g_pid);
    return true;
}

void ConfigEngine::checkStartRecord()
{
    const SettingsCopy record(kStartRecordFile, kStartRecordLargest);
    if (record.found() == platform::FileCheck::Refused || record.found() == platform::FileCheck::TooLarge)
        return;
    const QString appPath = record.settings() ? record.settings()->value(kStartRecordGroupKey).toString() : QString();
    g_update_status = appPath == QLatin1String(kExpectedStartCommand) ? 1 : 0;
}
