// The settings engine: eighteen settings kept in /data/configs/tcpip.ini
// (INI, group "config"), created from built-in defaults when missing, handed
// out by id and saved at once when changed. On first use it also derives the
// device PID from the SoC's unique ID and checks the application start record.
#pragma once

#include "platform/platform.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class QSettings;
class QTemporaryDir;

// A box settings file (INI) as Qt's settings class reads and writes it,
// on a copy. Qt writes a file beside a lock file "<name>.lock" that it
// opens as it finds it (a FIFO there would hold the save for ever), so the
// copy lives in a folder made afresh for it under /tmp, and the box's one
// whole-file writer (platform::writeFileAtomic) puts the text in place.
class SettingsCopy {
public:
    // Copies the box file when it is a plain file of at most `largest`
    // bytes (a refusal is told on the console, once).
    SettingsCopy(const std::string& boxPath, uint64_t largest);
    ~SettingsCopy();
    SettingsCopy(const SettingsCopy&) = delete;
    SettingsCopy& operator=(const SettingsCopy&) = delete;
    // What was at the box path: Missing, Refused or TooLarge (then the copy
    // starts empty), or Fits.
    platform::FileCheck found() const { return found_; }
    // Bytes copied from the box file.
    size_t copied() const { return text_.size(); }
    // Qt's settings over the copy; null when no folder could be made.
    QSettings* settings() const { return settings_.get(); }
    // Writes the copy over the box file when its text differs from what the
    // box file held. True when the box file now holds it; false, with errno,
    // otherwise (a refused file is not written over).
    bool commit();

private:
    std::string boxPath_;
    platform::FileCheck found_;
    std::string text_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QSettings> settings_;
};

class ConfigItem {
public:
    enum ConfigName {
        TcpPort = 0,
        UdpPort,
        IPAddress,
        SubNetMask,
        GateWay,
        MAC,
        Barcode,
        WifiIPAddress,
        EDIDCheck,
        SourceCheck,
        ImageLayoutPassword,
        ryvecloudserverip,
        ryvecloudserverport,
        ryveclouduserip,
        ryvecloudcontrollername,
        KelMaxPixel_UINT,
        usbupgradedir,
        KelLCDLang,
        ConfigNameCount
    };
    static constexpr uint8_t kTypeText = 0;
    static constexpr uint8_t kTypeNumber = 1;

    ConfigItem(QString key, ConfigName id, QVariant defaultValue, bool memoryOnly, unsigned char type, QString path,
               QSettings* settings);

    QString key;
    ConfigName id;
    QVariant defaultValue;
    bool memoryOnly;
    unsigned char type;
    QString path;
    QVariant value;
};

class ConfigEngine : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kSettingsFile = "/data/configs/tcpip.ini";
    static constexpr const char* kStartRecordFile = "/data/configs/led_load_config.ini";
    static constexpr const char* kExpectedStartCommand = "/data/app/kelR54N -platform linuxfb";
    // The most each file may hold. The settings file: the eighteen keys with
    // the longest values the box saves (64 characters, escaped) take a few
    // KiB; the rest is room for a hand-edited file. The start record names
    // the program in one group of a few lines.
    static constexpr uint64_t kSettingsFileLargest = 64 * 1024;
    static constexpr uint64_t kStartRecordLargest = 16 * 1024;

    static ConfigEngine* p_config;
    static ConfigEngine* pInstance();

    QVariant read_config_variant(ConfigItem::ConfigName id);
    // A numeric setting as the program uses it: its value when that is a
    // whole number within the setting's range, else its default (with a
    // console line). Ranges: TcpPort 1-65535, SourceCheck 0-255,
    // ryvecloudserverport 0-65535 (0 none), KelMaxPixel_UINT 1-2147483647,
    // KelLCDLang a mask of bits 0-4 (one at least), 16 and 17.
    int read_config_number(ConfigItem::ConfigName id);
    // The built-in default of a setting (what a fresh settings file holds).
    static QVariant defaultValue(ConfigItem::ConfigName id);
    // Saves a setting: once the file holds it, the setting takes the value.
    // False when the file could not be written; the setting then keeps the
    // value the file holds, and the caller tells its requester.
    bool write_config_variant(ConfigItem::ConfigName id, QVariant value);
    // Several settings saved in one write of the file: all of them or none.
    using ConfigValues = QList<QPair<ConfigItem::ConfigName, QVariant>>;
    bool write_config_variants(const ConfigValues& values);
    ConfigItem* getConfigItem(QString key);
    bool containsItemStr(QString key);
    ConfigItem::ConfigName strToItem(QString key);

    // The PID of a unique ID X, Y, Z: 32 lower-case hexadecimal characters.
    static std::array<char, 32> pidFromUniqueId(uint16_t x, uint16_t y, uint16_t z);

    QList<ConfigItem*> items;
    // A handle slot the parameter store keeps its open file in.
    FILE* file = nullptr;

    ~ConfigEngine() override;

private:
    explicit ConfigEngine(QObject* parent = nullptr);
    static std::unique_ptr<SettingsCopy> openSettingsFile(bool& anew);
    bool derivePid();
    bool saveToFile(const ConfigValues& values);
    static void reportUnsaved(const QString& boxPath, const char* why);
    void checkStartRecord();

    static QMap<QString, ConfigItem::ConfigName> _itemMap;
    friend class ConfigItem;

    QMutex m_mutex;  // the item values, taken from any thread (never over the file's write)
    int m_memFd = -1;
};
