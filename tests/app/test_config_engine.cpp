#include "app/config_engine.h"
#include "app/global.h"
#include "app/utils.h"
#include "platform/sim/sim_soc_window.h"
#include "tests/support/box_test.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

class Settings : public BoxTest {
protected:
    QSettings* file()
    {
        file_.reset(new QSettings(platform::qpath(ConfigEngine::kSettingsFile), QSettings::IniFormat));
        return file_.get();
    }
    // Starts the settings again from the files, as after a reboot.
    ConfigEngine* restart()
    {
        delete ConfigEngine::p_config;
        ConfigEngine::p_config = nullptr;
        return ConfigEngine::pInstance();
    }
    std::unique_ptr<QSettings> file_;
};

TEST_F(Settings, FirstStartCreatesTheEighteenDefaults)
{
    ASSERT_FALSE(platform::exists(ConfigEngine::kSettingsFile));
    ASSERT_TRUE(ConfigEngine::pInstance());
    // clang-format off
    const std::pair<const char*, const char*> defaults[] = {
        {"TcpPort", "5005"}, {"UdpPort", "5008"}, {"IPAddress", "192.168.1.199"}, {"SubNetMask", "255.255.255.0"},
        {"GateWay", "192.168.1.1"}, {"MAC", "FF:FF:FF:FF:FF:FF"}, {"Barcode", " "},
        {"WifiIPAddress", "192.168.22.101"}, {"EDIDCheck", "Once"}, {"SourceCheck", "255"},
        {"ImageLayoutPassword", "No"}, {"ryvecloudserverip", " "}, {"ryvecloudserverport", " "},
        {"ryveclouduserip", " "}, {"ryvecloudcontrollername", " "}, {"KelMaxPixel_UINT", "3932160"},
        {"usbupgradedir", "KEL-R8"}, {"KelLCDLang", "65567"}};
    // clang-format on
    QSettings* f = file();
    EXPECT_EQ(f->allKeys().size(), 18);
    for (const auto& [key, value] : defaults)
        EXPECT_EQ(f->value(QStringLiteral("config/") + key).toString(), value) << key;

    // The globals are loaded from it.
    EXPECT_EQ(g_port, 5005);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1001Fu);
    EXPECT_EQ(g_kel_max_pixel, 0x3C0000);
    EXPECT_EQ(g_usb_grade_path, "KEL-R8");
    EXPECT_EQ(journalWith("chattr"), std::vector<std::string>{"chattr +S /data/configs/tcpip.ini"});
}

TEST_F(Settings, StoredValuesWinAndEmptyOnesAreRewritten)
{
    writeBoxFile(ConfigEngine::kSettingsFile,
                 "[config]\nBarcode=\nTcpPort=6001\nryvecloudserverip=cloud.example\nSourceCheck=abc\n");
    ConfigEngine::pInstance();
    EXPECT_EQ(file()->value("config/Barcode").toString(), " ");
    EXPECT_EQ(g_str_barcode, " ");
    EXPECT_EQ(g_port, 6001);
    EXPECT_EQ(g_int_tcp_port, 6001);
    EXPECT_EQ(g_ryve_cloud, 1);
    EXPECT_EQ(g_check_source, 255);  // text that is not a number gives the default
    EXPECT_EQ(file()->allKeys().size(), 18);
}

// A damaged number (0, not a number, out of its range) gives the setting's
// default, with a console line; a number within its range is taken.
TEST_F(Settings, NumbersOutsideTheirRangesGiveTheDefaults)
{
    const struct {
        const char* line;
        int port, sources, cloudPort, pixels;
        u32 languages;
        int refused;  // console lines
    } cases[] = {
        {"TcpPort=0\nSourceCheck=256\nryvecloudserverport=65536\nKelMaxPixel_UINT=0\nKelLCDLang=0\n", 5005, 255, 0,
         3932160, 0x1001F, 5},
        {"TcpPort=7a\nSourceCheck=-1\nryvecloudserverport=x\nKelMaxPixel_UINT=2147483648\nKelLCDLang=65536\n", 5005,
         255, 0, 3932160, 0x1001F, 5},
        {"TcpPort=70000\nKelLCDLang=262175\n", 5005, 255, 0, 3932160, 0x1001F, 2},
        {"TcpPort=65535\nSourceCheck=0\nryvecloudserverport=1\nKelMaxPixel_UINT=1\nKelLCDLang=131074\n", 65535, 0, 1, 1,
         0x20002, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        writeBoxFile(ConfigEngine::kSettingsFile, std::string("[config]\n") + c.line);
        testing::internal::CaptureStdout();
        restart();
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(g_port, c.port);
        EXPECT_EQ(g_int_tcp_port, c.port);
        EXPECT_EQ(g_check_source, c.sources);
        EXPECT_EQ(g_ryve_cloudserverport, c.cloudPort);
        EXPECT_EQ(g_kel_max_pixel, c.pixels);
        EXPECT_EQ(g_lcd_lang_valid.load(), c.languages);
        int lines = 0;
        for (size_t at = console.find("[settings]"); at != std::string::npos; at = console.find("[settings]", at + 1))
            ++lines;
        EXPECT_EQ(lines, c.refused) << console;
    }
    EXPECT_EQ(file()->value("config/TcpPort").toString(), "65535");  // the file is left as it is
}

// Every bad number, a blank one too, is told alike, naming the number used
// in its place, and stays in the file as it was.
TEST_F(Settings, BadNumbersAreToldAlikeAndLeftInTheFile)
{
    const struct {
        const char *key, *value, *said;
    } cases[] = {
        {"TcpPort", "", "config/TcpPort in /data/configs/tcpip.ini is blank, not a number 1-65535: 5005 used"},
        {"TcpPort", "0", "config/TcpPort in /data/configs/tcpip.ini is 0, not a number 1-65535: 5005 used"},
        {"ryvecloudserverport", "65536",
         "config/ryvecloudserverport in /data/configs/tcpip.ini is 65536, not a number 0-65535: 0 used"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        writeBoxFile(ConfigEngine::kSettingsFile, std::string("[config]\n") + c.key + "=" + c.value + "\n");
        testing::internal::CaptureStdout();
        restart();
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_NE(console.find(std::string("[settings] ") + c.said + "\n"), std::string::npos) << console;
        EXPECT_EQ(file()->value(QStringLiteral("config/") + c.key).toString(), c.value);
    }
}

// A settings file too large to read (sparse: its size set, never written)
// or holding no settings (all zeros) is replaced, and the console says so:
// the box starts on the defaults.
TEST_F(Settings, AFileTooLargeOrHoldingNoSettingsIsReplacedWithALine)
{
    const struct {
        off_t size;
        std::vector<const char*> said;
    } cases[] = {
        {off_t(3) << 30,
         {"[files] /data/configs/tcpip.ini is 3221225472 bytes, more than the 65536 it may have: refused\n",
          "[settings] /data/configs/tcpip.ini is too large: written anew with the defaults\n"}},
        {1000, {"[settings] /data/configs/tcpip.ini holds no settings: written anew with the defaults\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        writeBoxFile(ConfigEngine::kSettingsFile, "");
        ASSERT_EQ(::truncate(platform::path(ConfigEngine::kSettingsFile).c_str(), c.size), 0);
        testing::internal::CaptureStdout();
        restart();
        const std::string console = testing::internal::GetCapturedStdout();
        for (const char* line : c.said)
            EXPECT_NE(console.find(line), std::string::npos) << line << console;
        EXPECT_EQ(g_port, 5005);
        EXPECT_EQ(file()->allKeys().size(), 18);
        EXPECT_EQ(file()->status(), QSettings::NoError);
    }
}

// Random bytes hold none of the box's settings, though Qt's reader takes
// keys of its own from them: the file is written anew with the eighteen
// defaults alone, and the console names it.
TEST_F(Settings, AFileOfRandomBytesIsWrittenAnewWithALine)
{
    std::string noise(3000, '\0');
    uint32_t seed = 77;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    writeBoxFile(ConfigEngine::kSettingsFile, noise);
    testing::internal::CaptureStdout();
    restart();
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("[settings] /data/configs/tcpip.ini holds no settings: written anew with the defaults\n"),
              std::string::npos)
        << console;
    EXPECT_EQ(file()->allKeys().size(), 18);
    EXPECT_EQ(file()->value("config/TcpPort").toString(), "5005");
}

// Qt's settings class opens "<name>.lock" beside the file it writes as it
// finds it: a FIFO there held every start and every save for ever. Neither
// the lock file nor the writer's own "<name>.new" stands in the way, and
// neither is followed out of the root.
TEST_F(Settings, NothingBesideTheFileHoldsTheStartOrASave)
{
    const std::string at = platform::path(ConfigEngine::kSettingsFile);
    ASSERT_EQ(::mkfifo((at + ".lock").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/nowhere/tcpip.ini", (at + ".new").c_str()), 0);
    ConfigEngine* cfg = ConfigEngine::pInstance();
    EXPECT_EQ(file()->value("config/TcpPort").toString(), "5005");
    ASSERT_EQ(::mkfifo((at + ".new").c_str(), 0600), 0);
    EXPECT_TRUE(cfg->write_config_variant(ConfigItem::IPAddress, "10.0.0.7"));
    EXPECT_EQ(file()->value("config/IPAddress").toString(), "10.0.0.7");
    EXPECT_EQ(restart()->read_config_variant(ConfigItem::IPAddress).toString(), "10.0.0.7");
}

// With the root's /tmp linked out of the root, the settings' copies for
// Qt's settings class are made in a folder of the root's own, and nothing
// of a start or a save reaches the folder /tmp leads to.
TEST_F(Settings, ACopyForQtWithTmpLinkedOutOfTheRootStaysInsideIt)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    ASSERT_EQ(::rmdir(platform::path("/tmp").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().toLocal8Bit().constData(), platform::path("/tmp").c_str()), 0);
    testing::internal::CaptureStdout();
    ConfigEngine* cfg = ConfigEngine::pInstance();
    EXPECT_TRUE(cfg->write_config_variant(ConfigItem::IPAddress, "10.0.0.8"));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        console.find("[files]"),
        console.find("[files] /tmp is a folder outside the box root, reached through a symbolic link: refused\n"));
    EXPECT_EQ(console.find("[files]"), console.rfind("[files]")) << console;
    EXPECT_EQ(platform::scratchFolder(), "/box-tmp");
    EXPECT_EQ(file()->value("config/IPAddress").toString(), "10.0.0.8");
    EXPECT_TRUE(QDir(outside.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden));
}

TEST_F(Settings, WriteSavesAtOnceAndTouchesOnlyItsKey)
{
    ConfigEngine* cfg = ConfigEngine::pInstance();
    auto lines = [this] {
        QStringList l = QString::fromStdString(readBoxFile(ConfigEngine::kSettingsFile)).split('\n');
        l.removeAll(QString());
        return l;
    };
    const QStringList a = lines();
    cfg->write_config_variant(ConfigItem::IPAddress, "10.0.0.5");
    const QStringList b = lines();
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (int i = 0; i < a.size(); ++i)
        differing += a[i] != b[i];
    EXPECT_EQ(differing, 1);
    EXPECT_TRUE(b.contains("IPAddress=10.0.0.5"));
    EXPECT_EQ(cfg->read_config_variant(ConfigItem::IPAddress).toString(), "10.0.0.5");
    EXPECT_EQ(settingsRead(g_str_ip), "192.168.1.199");  // until the loader runs again
    Utils::getIPAddress();
    EXPECT_EQ(settingsRead(g_str_ip), "10.0.0.5");

    // Keys are looked up with their group.
    ASSERT_NE(cfg->getConfigItem("config/IPAddress"), nullptr);
    EXPECT_EQ(cfg->getConfigItem("config/IPAddress")->id, ConfigItem::IPAddress);
    EXPECT_EQ(cfg->getConfigItem("IPAddress"), nullptr);
    EXPECT_TRUE(cfg->containsItemStr("config/KelLCDLang"));
    EXPECT_FALSE(cfg->containsItemStr("KelLCDLang"));
    EXPECT_EQ(cfg->strToItem("KelLCDLang"), ConfigItem::KelLCDLang);
    EXPECT_EQ(cfg->strToItem("config/usbupgradedir"), ConfigItem::usbupgradedir);
    EXPECT_EQ(cfg->strToItem("nothing"), ConfigItem::TcpPort);
}

TEST_F(Settings, ConcurrentWritersLoseNothing)
{
    ConfigEngine* cfg = ConfigEngine::pInstance();
    std::thread a([cfg] {
        for (int i = 0; i < 50; ++i)
            cfg->write_config_variant(ConfigItem::Barcode, QString("A%1").arg(i));
    });
    std::thread b([cfg] {
        for (int i = 0; i < 50; ++i)
            cfg->write_config_variant(ConfigItem::ryvecloudcontrollername, QString("B%1").arg(i));
    });
    for (int i = 0; i < 200; ++i)
        (void)cfg->read_config_variant(ConfigItem::Barcode).toString();
    a.join();
    b.join();
    EXPECT_EQ(file()->value("config/Barcode").toString(), "A49");
    EXPECT_EQ(file()->value("config/ryvecloudcontrollername").toString(), "B49");
}

TEST(DevicePid, DerivationVectors)
{
    auto pid = [](uint16_t x, uint16_t y, uint16_t z) {
        auto a = ConfigEngine::pidFromUniqueId(x, y, z);
        return std::string(a.begin(), a.end());
    };
    EXPECT_EQ(pid(0, 0, 0), std::string(32, '0'));
    EXPECT_EQ(pid(0x1234, 0x5678, 0x9ABC), "1597bca0886b31023001305032627494");
    EXPECT_EQ(pid(0xFFFF, 0xFFFF, 0xFFFF), "fffffff0fffff00ff000f0f0f0f0ffff");
}

TEST_F(Settings, PidOfTheSimulatedBoxAndTheUnlockedIdBlock)
{
    ConfigEngine::pInstance();
    EXPECT_EQ(std::string(g_pid, 32), "1597bca0886b31023001305032627494");
    auto soc = platform::sim::deviceAs<platform::sim::SimSocWindow>("/dev/mem");
    EXPECT_EQ(soc->read16(platform::sim::SimSocWindow::kUniqueIdControl) & 0x0100, 0);
}

TEST_F(Settings, WithoutTheSocWindowThePidStaysZeroButSettingsLoad)
{
    for (bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "no /dev/mem" : "not mappable");
        if (missing)
            platform::sim::setDeviceMissing("/dev/mem", true);
        else
            platform::sim::deviceAs<platform::sim::SimSocWindow>("/dev/mem")->setMapFails(true);
        writeBoxFile(ConfigEngine::kSettingsFile, "[config]\nTcpPort=7000\n");
        factoryage_log << "old line";
        factoryage_log_num = 3;
        ASSERT_NE(restart(), nullptr);
        EXPECT_EQ(std::string(g_pid, 32), std::string(32, '\0'));
        EXPECT_EQ(g_port, 7000);
        EXPECT_TRUE(factoryage_log.isEmpty());
        EXPECT_EQ(factoryage_log_num, 0);
        platform::sim::setDeviceMissing("/dev/mem", false);
    }
}

TEST_F(Settings, StartRecordMustNameTheExpectedCommandExactly)
{
    const std::pair<const char*, int> records[] = {
        {"[app-1]\napp_path=/data/app/kelR54N -platform linuxfb\n", 1},
        {"[app-1]\napp_path=/data/app/kelR54N -platform linuxfB\n", 0},  // off by one character
        {nullptr, 0}};                                                   // no record at all
    for (const auto& [record, status] : records) {
        SCOPED_TRACE(record ? record : "missing");
        if (record)
            writeBoxFile(ConfigEngine::kStartRecordFile, record);
        else
            platform::removeFile(ConfigEngine::kStartRecordFile);
        restart();
        EXPECT_EQ(g_update_status, status);
    }
}
