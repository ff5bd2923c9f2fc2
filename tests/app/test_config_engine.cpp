#include "app/config_engine.h"
#include "app/global.h"
#include "app/utils.h"
#include "platform/sim/sim_soc_window.h"
#include "tests/support/box_test.h"

#include <QSettings>
#include <thread>

class Settings : public BoxTest {
protected:
    QSettings* file()
    {
        file_.reset(new QSettings(platform::qpath(ConfigEngine::kSettingsFile), QSettings::IniFormat));
        return file_.get();
    }
    std::unique_ptr<QSettings> file_;
};

TEST_F(Settings, FirstStartCreatesTheEighteenDefaults)
{
    ASSERT_FALSE(platform::exists(ConfigEngine::kSettingsFile));
    ASSERT_TRUE(ConfigEngine::pInstance());
    QSettings* f = file();
    const QStringList keys = f->allKeys();
    EXPECT_EQ(keys.size(), 18);
    EXPECT_EQ(f->value("config/TcpPort").toInt(), 5005);
    EXPECT_EQ(f->value("config/UdpPort").toInt(), 5008);
    EXPECT_EQ(f->value("config/IPAddress").toString(), "192.168.1.199");
    EXPECT_EQ(f->value("config/SubNetMask").toString(), "255.255.255.0");
    EXPECT_EQ(f->value("config/GateWay").toString(), "192.168.1.1");
    EXPECT_EQ(f->value("config/MAC").toString(), "FF:FF:FF:FF:FF:FF");
    EXPECT_EQ(f->value("config/Barcode").toString(), " ");
    EXPECT_EQ(f->value("config/WifiIPAddress").toString(), "192.168.22.101");
    EXPECT_EQ(f->value("config/EDIDCheck").toString(), "Once");
    EXPECT_EQ(f->value("config/SourceCheck").toInt(), 255);
    EXPECT_EQ(f->value("config/ImageLayoutPassword").toString(), "No");
    EXPECT_EQ(f->value("config/ryvecloudserverip").toString(), " ");
    EXPECT_EQ(f->value("config/ryvecloudserverport").toString(), " ");
    EXPECT_EQ(f->value("config/ryveclouduserip").toString(), " ");
    EXPECT_EQ(f->value("config/ryvecloudcontrollername").toString(), " ");
    EXPECT_EQ(f->value("config/KelMaxPixel_UINT").toInt(), 3932160);
    EXPECT_EQ(f->value("config/usbupgradedir").toString(), "KEL-R8");
    EXPECT_EQ(f->value("config/KelLCDLang").toInt(), 65567);

    EXPECT_EQ(g_port, 5005);
    EXPECT_EQ(g_int_tcp_port, 5005);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1001Fu);
    EXPECT_EQ(g_ryve_cloud, 0);
    EXPECT_EQ(g_ryve_cloudserverport, 0);
    EXPECT_EQ(g_check_source, 255);
    EXPECT_EQ(g_kel_max_pixel, 0x3C0000);
    EXPECT_EQ(g_usb_grade_path, "KEL-R8");
    EXPECT_EQ(g_check_edid, "Once");
    EXPECT_EQ(g_str_wifi_ip, "192.168.22.101");
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
    EXPECT_EQ(g_check_source, 0);  // text that is not a number reads as 0
    EXPECT_EQ(file()->allKeys().size(), 18);
}

TEST_F(Settings, WriteSavesAtOnceAndTouchesOnlyItsKey)
{
    ConfigEngine* cfg = ConfigEngine::pInstance();
    const std::string before = readBoxFile(ConfigEngine::kSettingsFile);
    cfg->write_config_variant(ConfigItem::IPAddress, "10.0.0.5");
    const std::string after = readBoxFile(ConfigEngine::kSettingsFile);
    EXPECT_NE(after.find("IPAddress=10.0.0.5"), std::string::npos);
    // Every other line is unchanged.
    auto lines = [](const std::string& s) {
        QStringList l = QString::fromStdString(s).split('\n');
        l.removeAll(QString());
        return l;
    };
    QStringList a = lines(before), b = lines(after);
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (int i = 0; i < a.size(); ++i)
        differing += a[i] != b[i];
    EXPECT_EQ(differing, 1);
    EXPECT_EQ(cfg->read_config_variant(ConfigItem::IPAddress).toString(), "10.0.0.5");
    EXPECT_EQ(settingsRead(g_str_ip), "192.168.1.199");  // until the loader runs again
    Utils::getIPAddress();
    EXPECT_EQ(settingsRead(g_str_ip), "10.0.0.5");
}

TEST_F(Settings, KeyLookups)
{
    ConfigEngine* cfg = ConfigEngine::pInstance();
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

TEST_F(Settings, WithoutDevMemThePidStaysZeroButSettingsLoad)
{
    platform::sim::setDeviceMissing("/dev/mem", true);
    writeBoxFile(ConfigEngine::kSettingsFile, "[config]\nTcpPort=7000\n");
    factoryage_log << "old line";
    factoryage_log_num = 3;
    ASSERT_NE(ConfigEngine::pInstance(), nullptr);
    EXPECT_EQ(std::string(g_pid, 32), std::string(32, '\0'));
    EXPECT_EQ(g_port, 7000);
    EXPECT_TRUE(factoryage_log.isEmpty());
    EXPECT_EQ(factoryage_log_num, 0);
}

TEST_F(Settings, UnmappableWindowKeepsPidZero)
{
    platform::sim::deviceAs<platform::sim::SimSocWindow>("/dev/mem")->setMapFails(true);
    ASSERT_NE(ConfigEngine::pInstance(), nullptr);
    EXPECT_EQ(std::string(g_pid, 32), std::string(32, '\0'));
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1001Fu);
}

TEST_F(Settings, StartRecordCheck)
{
    writeBoxFile(ConfigEngine::kStartRecordFile, "[app-1]\napp_path=/data/app/kelR54N -platform linuxfb\n");
    ConfigEngine::pInstance();
    EXPECT_EQ(g_update_status, 1);
}

TEST_F(Settings, StartRecordOffByOneCharacter)
{
    writeBoxFile(ConfigEngine::kStartRecordFile, "[app-1]\napp_path=/data/app/kelR54N -platform linuxfB\n");
    ConfigEngine::pInstance();
    EXPECT_EQ(g_update_status, 0);
}

TEST_F(Settings, MissingStartRecord)
{
    ConfigEngine::pInstance();
    EXPECT_EQ(g_update_status, 0);
}
