#include "screens/menus/machinestate.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "app/syncupdate.h"
#include "links/message_deal.h"
#include "registers/fpga_regs.h"
#include "screens/menus/fpga_view.h"
#include "screens/setup/sourceinfo.h"
#include "ui_machinestate.h"
#include "videochip/x518_manage.h"

#include <QLabel>
#include <QPalette>
#include <QPixmap>

namespace {

const pages::Texts kTitle = {QStringLiteral("设备信息"), QStringLiteral("Devices"), QStringLiteral("Устройство"),
                             QStringLiteral("Thiết bị"), QStringLiteral("設備信息")};

// The settings' bar code until one is stored, and what the page shows then.
const char* const kNoBarcode = " ";
const char* const kSampleSerial = "SN:ZT9999";

// FPGA 0's version: a fixed major and minor, then its function code and its
// date registers, all written in hexadecimal as the FPGA codes them.
constexpr int kFpgaMajor = 0x11;
constexpr int kFpgaMinor = 0x00;
constexpr int kCentury = 0x2000;
// What the version line shows while FPGA 0 does not run: its registers
// hold no version then.
const char* const kNoFpgaVersion = "FPGA:-";

// The sending-port panel: a number over a link picture per port.
constexpr int kNumberX = 96;
constexpr int kPictureX = 92;
constexpr int kPortPitch = 18;
// The numbers are white at 10 pixels. These labels, and the fault lines,
// take their colour and size as palette and font rather than as a style
// sheet of their own, which each label would parse at every opening.
constexpr int kNumberPixels = 10;

// The line under the versions while the settings cannot be saved.
const pages::Texts kSaveFails = {QStringLiteral("设置无法保存!"), QStringLiteral("Settings cannot be saved!"),
                                 QStringLiteral("Настройки не сохраняются!"), QStringLiteral("Không thể lưu cài đặt!"),
                                 QStringLiteral("設置無法保存!")};
const QRect kSaveStatePlace(3, 30, 282, 14);
// The fault lines' red.
const QColor kFaultColour(255, 80, 80);

// The line under the sending ports while the video chip does not run: the
// inputs and ports are grey then whatever is plugged.
const pages::Texts kChipDown = {QStringLiteral("视频芯片无响应!"), QStringLiteral("Video chip not answering!"),
                                QStringLiteral("Видеочип не отвечает!"), QStringLiteral("Chip video không phản hồi!"),
                                QStringLiteral("視訊晶片無回應!")};
const QRect kChipStatePlace(3, 46, 282, 14);

// The line over the versions while FPGA 0 does not run (no version to
// show, no port that sends), and why when the box holds it in reset.
const pages::Texts kFpgaDown = {QStringLiteral("FPGA 1 未运行!"), QStringLiteral("FPGA 1 not running!"),
                                QStringLiteral("FPGA 1 не работает!"), QStringLiteral("FPGA 1 không hoạt động!"),
                                QStringLiteral("FPGA 1 未運行!")};
const pages::Texts kFpgaHeld = {QStringLiteral("FPGA 1 程序不完整，保持复位!"),
                                QStringLiteral("FPGA 1 held in reset: program incomplete!"),
                                QStringLiteral("FPGA 1 в сбросе: программа неполная!"),
                                QStringLiteral("FPGA 1 bị giữ reset: chương trình không hoàn chỉnh!"),
                                QStringLiteral("FPGA 1 程式不完整，保持復位!")};
const QRect kFpgaStatePlace(3, 0, 282, 14);

// A red line that tells a fault, hidden until there is one.
QLabel* faultLine(QWidget* panel, const QRect& place, const QFont& font)
{
    auto* line = new QLabel(panel);
    line->setGeometry(place);
    line->setFont(font);
    QPalette colours = line->palette();
    colours.setColor(QPalette::WindowText, kFaultColour);
    line->setPalette(colours);
    line->hide();
    return line;
}

void showFault(QLabel* line, bool shown, const pages::Texts& texts)
{
    line->setText(shown ? pages::pick(texts) : QString());
    if (shown)
        pages::fitText(line);
    line->setVisible(shown);
}

// The inputs in the order the page shows them (HDMI1, HDMI2, HDMI3, DVI).
constexpr u8 kShownInputs[ram::kSources] = {ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi3, ram::kSourceDvi};

}  // namespace

MachineState::MachineState(QWidget* parent) : Page(PAGE_DEVICE_INFO, parent), ui(new Ui::MachineState)
{
    ui->setupUi(this);
    QLabel* const names[ram::kSources] = {ui->sourceid1name, ui->sourceid2name, ui->sourceid3name, ui->sourceid4name};
    for (int k = 0; k < ram::kSources; ++k) {
        const u8 id = kShownInputs[k];
        sourceinfo::showSourceName(names[k], id);
    }
    QFont numberFont = ui->frame_ports->font();
    numberFont.setPixelSize(kNumberPixels);
    QPalette numberColours = ui->frame_ports->palette();
    numberColours.setColor(QPalette::WindowText, Qt::white);
    for (int i = 0; i < kShownPorts; ++i) {
        auto* number = new QLabel(QString::number(i + 1), ui->frame_ports);
        number->setFont(numberFont);
        number->setPalette(numberColours);
        number->setGeometry(kNumberX + kPortPitch * i, 13, 12, 14);
        port_links[i] = new QLabel(ui->frame_ports);
        port_links[i]->setGeometry(kPictureX + kPortPitch * i, 27, 16, 14);
        port_links[i]->setScaledContents(true);
    }
    chip_state = faultLine(ui->frame_ports, kChipStatePlace, ui->label_MCU->font());
    initWlan();
    save_state = faultLine(ui->frame_4, kSaveStatePlace, ui->label_MCU->font());
    fpga_state = faultLine(ui->frame_4, kFpgaStatePlace, ui->label_MCU->font());
    if (SyncUpdate::p_SyncUpdate)
        connect(SyncUpdate::p_SyncUpdate, &SyncUpdate::saveStateChanged, this, &MachineState::showSaveState);
    language_changed();
    version_changed();
    source_check();
    ui->label_2->setText(serialLine(settingsRead(g_str_barcode)));
}

MachineState::~MachineState()
{
    delete ui;
}

void MachineState::version_changed()
{
    ui->label_MCU->setText(programVersionLine());
    pages::fitText(ui->label_MCU);
    ui->label_FPGA1->setText(fpgaVersionLine());
    pages::fitText(ui->label_FPGA1);
    showFpgaState();
}

void MachineState::showFpgaState()
{
    fpga_shown_running = fpgaview::running();
    showFault(fpga_state, !fpga_shown_running, fpgaview::heldIncomplete() ? kFpgaHeld : kFpgaDown);
}

void MachineState::on_Button_back_clicked()
{
    slot_Button_back_clicked();
}

QString MachineState::programVersionLine()
{
    return QStringLiteral("MCU:") + message_deal::versionText();
}

QString MachineState::fpgaVersionLine()
{
    using namespace fpga::reg;
    if (!fpgaview::running())
        return QString::fromLatin1(kNoFpgaVersion);
    return QString::asprintf("FPGA:V%02x.%02x.%02x %04x-%02x-%02x", kFpgaMajor, kFpgaMinor, fpgaview::reg(kVersion),
                             kCentury + fpgaview::reg(kVersionYear), fpgaview::reg(kVersionMonth),
                             fpgaview::reg(kVersionDay));
}

QString MachineState::serialLine(const QString& barcode)
{
    return barcode == QLatin1String(kNoBarcode) ? QString::fromLatin1(kSampleSerial) : QStringLiteral("SN:") + barcode;
}

void MachineState::language_changed()
{
    pages::showText(ui->label_title, kTitle);
    ui->label_state1->setPixmap(pages::pixmap(pages::picture("output_state.png")));
    ui->label_state2->setPixmap(pages::pixmap(pages::picture("input_state.png")));
    ui->label_state3->setPixmap(pages::pixmap(pages::picture("version_state.png")));
    showSaveState();
    showFault(chip_state, x518_manage::chipDown(), kChipDown);
    showFpgaState();
}

void MachineState::showSaveState()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    showFault(save_state, store && store->reg_image.save_state != 0, kSaveFails);
}

void MachineState::syncUpdate(int code)
{
    Page::syncUpdate(code);
    source_check();
    if (code == SYNC_LINK_STATE || code == SYNC_CHIP_STATE)
        initWlan();
    // The versions are read when the page opens (and when asked); FPGA 0
    // coming up or stopping meanwhile is told at once.
    if (fpgaview::running() != fpga_shown_running)
        version_changed();
}

void MachineState::source_check()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    QLabel* const pictures[ram::kSources] = {ui->sourceid1pixmap, ui->sourceid2pixmap, ui->sourceid3pixmap,
                                             ui->sourceid4pixmap};
    for (int k = 0; k < ram::kSources; ++k) {
        SOURCE_STATUS s;
        {
            QMutexLocker lock(&store->mutex);
            s = store->ram_para.source_status[kShownInputs[k]];
        }
        // While the video chip is down no input reaches the screen.
        const bool online = s.width && s.height && s.rate && !x518_manage::chipDown();
        sourceinfo::set_sourceonline_pixmap(pictures[k], kShownInputs[k], online);
    }
}

void MachineState::initWlan()
{
    // While the video chip is down nothing is sent, whatever the links say,
    // and the line under the ports says why.
    const bool down = x518_manage::chipDown();
    const u16 mask = down ? 0 : fpgaview::links();
    for (int i = 0; i < kShownPorts; ++i)
        port_links[i]->setPixmap(pages::pixmap(pages::plainPicture(mask & (1u << i) ? "online.png" : "offline.png")));
    showFault(chip_state, down, kChipDown);
}
