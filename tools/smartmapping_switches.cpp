// The smart-mapping page's last two tools: parameter solidify (the cards
// keep their present parameters, job 3) and the mapping switch (bit 7 of
// FPGA 0's register 0, then the cards told, job 4).
#include "tools/smartmapping.h"

#include "fpga/fpga_manage.h"
#include "fpga/send_para.h"
#include "tools/smartmapping_shared.h"
#include "ui_smartmapping.h"

#include <QLabel>
#include <QPushButton>

namespace {

const pages::Texts kSolidifyTitle = {QStringLiteral("参数固化操作"), QStringLiteral("Parameter curing operation"),
                                     QStringLiteral("Сохранение параметров в картах"),
                                     QStringLiteral("Lưu thông số vào thẻ nhận"), QStringLiteral("參數固化操作")};
const pages::Texts kConfirm = {QStringLiteral("确定"), QStringLiteral("OK"), QStringLiteral("OK"), QStringLiteral("OK"),
                               QStringLiteral("確定")};
const pages::Texts kMappingTitle = {QStringLiteral("Mapping开关"), QStringLiteral("Mapping switch"),
                                    QStringLiteral("Переключатель Mapping"), QStringLiteral("Công tắc Mapping"),
                                    QStringLiteral("Mapping開關")};

constexpr int kPoints = 9;
constexpr int kRussianTitlePoints = 7;
const QSize kSwitchIcon(40, 20);

// Register 0 of FPGA 0: bit 7 is set while mapping is on.
constexpr u8 kMappingRegister = 0;
constexpr u8 kMappingFpga = 0;
constexpr u8 kMappingBit = 0x80;
// The data byte of the cards' mapping command.
constexpr u32 kCardsMappingOn = 9;
constexpr u32 kCardsMappingOff = 0;

}  // namespace

void SmartMapping::switchTexts()
{
    const int titlePoints = pages::textLanguage() == pages::RU ? kRussianTitlePoints : kPoints;
    smartTexts::setLabel(ui->label_step1_6, pages::pick(kSolidifyTitle), titlePoints);
    smartTexts::setButton(ui->Button_confirm, pages::pick(kConfirm), kPoints);
    smartTexts::setLabel(ui->label_step1_7, pages::pick(kMappingTitle), titlePoints);
}

void SmartMapping::on_Button_confirm_clicked()
{
    postJob(SEND_SAVE_PARA);
}

void SmartMapping::showMappingState()
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    if (fpga) {
        fpga->read_from_register(kMappingRegister, kMappingFpga);
        mapping_on = (fpga->MCU_REG_func[kMappingFpga][kMappingRegister] & kMappingBit) != 0;
    }
    drawMappingState();
}

void SmartMapping::drawMappingState()
{
    ui->Button_mapping_state->setIcon(
        pages::icon(pages::plainPicture(QLatin1String(mapping_on ? "button_on.png" : "button_off.png"))));
    ui->Button_mapping_state->setIconSize(kSwitchIcon);
}

void SmartMapping::on_Button_mapping_state_clicked()
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    if (!mayPostJob() || !fpga)
        return;
    // The bit is flipped as FPGA 0 holds it now; the cards then follow.
    fpga->read_from_register(kMappingRegister, kMappingFpga);
    const bool on = (fpga->MCU_REG_func[kMappingFpga][kMappingRegister] & kMappingBit) == 0;
    fpga->write_to_register(kMappingRegister, kMappingBit, on ? kMappingBit : 0, kMappingFpga);
    g_send_para.mapping_value = on ? kCardsMappingOn : kCardsMappingOff;
    mapping_before = !on;
    mapping_on = on;
    drawMappingState();
    postJob(SEND_MAPPING_ENABLE);
}

void SmartMapping::jobEnded(bool noFpga, const CardJobEnd& end)
{
    // A switch no card took (refused, or every card it was for silent) is
    // undone: FPGA 0's bit goes back and the switch shows what the cards
    // still hold.
    const bool noneTook =
        end.refused != JobRefusal::kNone || (end.cards > 0 && end.missed.size() >= static_cast<size_t>(end.cards));
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    if (end.job == SEND_MAPPING_ENABLE && !noFpga && noneTook && fpga) {
        fpga->write_to_register(kMappingRegister, kMappingBit, mapping_before ? kMappingBit : 0, kMappingFpga);
        showMappingState();
    }
    ToolPage::jobEnded(noFpga, end);
}

void SmartMapping::switchKey(pages::PanelKey key)
{
    QPushButton* button = ui_select == kSolidify ? ui->Button_confirm : ui->Button_mapping_state;
    switch (key) {
    case pages::PanelKey::Ok: return button->click();
    case pages::PanelKey::Back: button->setStyleSheet(smartstyle::style_button); return leaveTool();
    default: return;
    }
}
