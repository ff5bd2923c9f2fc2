#include "app/tip.h"

#include "app/page_support.h"
#include "ui_tip.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>

TIP* g_tip = boxstate::startValue(g_tip, nullptr);

namespace {

const char* const kFrameStyle = "background-color:rgb(136, 138, 133);";

// Box rectangle and content of the check-mark tip.
const QRect kCheckBox(100, 60, 120, 120);
const QRect kCheckPicture(20, 20, 80, 80);
// Box rectangle and text label of the text tips (USB, failed save, jobs,
// a window refused).
const QRect kTextBox(50, 60, 220, 120);
const QRect kTextLabel(5, 5, 200, 100);

QString tipText(int kind, const QString& given)
{
    // The box keeps trying to write the file once a second.
    static const pages::Texts kSaveFailedText = {
        QStringLiteral("保存失败!\n设备将继续尝试保存"),
        QStringLiteral("Save failed!\nThe box keeps trying."),
        QStringLiteral("Сохранение не удалось!\nУстройство продолжает\nпытаться сохранить."),
        QStringLiteral("Lưu thất bại!\nThiết bị vẫn đang thử lại."),
        QStringLiteral("保存失敗!\n設備將繼續嘗試保存"),
    };
    static const pages::Texts kInserted = {
        QStringLiteral("U盘已接入\n请稍候…"),
        QStringLiteral("USB stick is connected, please wait..."),
        QStringLiteral("Флешка подключена,\nпожалуйста, подождите..."),
        QStringLiteral("Usb đã truy cập\nxin vui lòng chờ …"),
        QStringLiteral("U盤已接入\n請稍候…"),
    };
    static const pages::Texts kUnplugged = {
        QStringLiteral("U盘已拔出"),         QStringLiteral("USB stick is unplugged."),
        QStringLiteral("Флешка извлечена."), QStringLiteral("Ổ USB đã được rút ra."),
        QStringLiteral("U盤已拔出"),
    };
    static const pages::Texts kReading = {
        QStringLiteral("正在读取中，请稍候…"),
        QStringLiteral("Reading the data,\nplease wait..."),
        QStringLiteral("Чтение данных,\nпожалуйста, подождите"),
        QStringLiteral("Đang đọc,\nxin vui lòng chờ …"),
        QStringLiteral("正在讀取中，請稍候…"),
    };
    static const pages::Texts kJobNoFpgaText = {
        QStringLiteral("FPGA未运行，\n任务未完成!"),
        QStringLiteral("The FPGA is not running.\nThe job was\nnot completed!"),
        QStringLiteral("FPGA не работает.\nЗадание не выполнено!"),
        QStringLiteral("FPGA không chạy.\nTác vụ chưa hoàn thành!"),
        QStringLiteral("FPGA未運行，\n任務未完成!"),
    };
    // The settings file was not written: the settings stay as they were.
    static const pages::Texts kSettingsNotSavedText = {
        QStringLiteral("保存失败!\n设置保持不变"),
        QStringLiteral("Save failed!\nThe settings stay\nas they were."),
        QStringLiteral("Сохранение не удалось!\nНастройки остались\nкак были."),
        QStringLiteral("Lưu thất bại!\nCài đặt vẫn giữ nguyên."),
        QStringLiteral("保存失敗!\n設置保持不變"),
    };
    static const pages::Texts kNoChannel = {
        QStringLiteral("输入通道不足,\n窗口无法显示!"),
        QStringLiteral("Not enough\ninput channels:\nthe window stays black!"),
        QStringLiteral("Не хватает\nвходных каналов:\nокно не показано!"),
        QStringLiteral("Không đủ kênh đầu vào:\ncửa sổ không hiển thị!"),
        QStringLiteral("輸入通道不足,\n視窗無法顯示!"),
    };
    // The page names what was not installed.
    static const pages::Texts kUpgradeNotDoneText = {
        QStringLiteral("USB升级未完成!\n详见USB升级页面"),
        QStringLiteral("USB update not complete!\nSee USB UPDATE."),
        QStringLiteral("Обновление через USB\nне завершено!\nСм. «Обновление через\u00a0USB»."),
        QStringLiteral("Cập nhật qua USB chưa hoàn tất!\nXem trang cập nhật USB."),
        QStringLiteral("USB昇級未完成!\n詳見USB昇級頁面"),
    };
    // "010" would be taken for an octal number by the network tools.
    static const pages::Texts kAddressRefusedText = {
        QStringLiteral("未应用!\n每段须为0-255，\n且不以0开头"),
        QStringLiteral("Nothing applied!\nEach part: 0-255,\nno leading 0."),
        QStringLiteral("Ничего не применено!\nКаждая часть: 0-255,\nбез нуля в\u00a0начале."),
        QStringLiteral("Chưa áp dụng!\nMỗi phần: 0-255,\nkhông có số 0 ở đầu."),
        QStringLiteral("未應用!\n每段須為0-255，\n且不以0開頭"),
    };
    switch (kind) {
    case TIP::kJobNotDone: return given;
    case TIP::kAddressRefused: return pages::pick(kAddressRefusedText);
    case TIP::kUpgradeNotDone: return pages::pick(kUpgradeNotDoneText);
    case TIP::kJobNoFpga: return pages::pick(kJobNoFpgaText);
    case TIP::kNoInputChannel: return pages::pick(kNoChannel);
    case TIP::kUsbInserted: return pages::pick(kInserted);
    case TIP::kUsbUnplugged: return pages::pick(kUnplugged);
    case TIP::kSaveFailed: return pages::pick(kSaveFailedText);
    case TIP::kSettingsNotSaved: return pages::pick(kSettingsNotSavedText);
    default: return pages::pick(kReading);
    }
}

}  // namespace

TIP::TIP(QWidget* parent) : QDialog(parent), ui(new Ui::TIP)
{
    ui->setupUi(this);
}

TIP::~TIP()
{
    delete ui;
}

bool TIP::tip_build(int kind, const QString& text)
{
    delete content;
    content = nullptr;

    const bool check = kind == kCheck;
    if (!check && kind != kUsbInserted && kind != kUsbUnplugged && kind != kUsbReading && kind != kSaveFailed &&
        kind != kJobNoFpga && kind != kNoInputChannel && kind != kSettingsNotSaved && kind != kJobNotDone &&
        kind != kUpgradeNotDone && kind != kAddressRefused)
        return false;

    const QRect box = check ? kCheckBox : kTextBox;
    setGeometry(box.translated(pages::lcdOrigin()));
    content = new QFrame(this);
    content->setGeometry(0, 0, box.width(), box.height());
    content->setStyleSheet(kFrameStyle);
    auto* label = new QLabel(content);
    if (check) {
        label->setGeometry(kCheckPicture);
        label->setScaledContents(true);
        label->setPixmap(pages::pixmap(pages::plainPicture("check_180.png")));
    } else {
        label->setGeometry(kTextLabel);
        label->setStyleSheet("font: 15px");
        label->setAlignment(Qt::AlignCenter);
        // The English and Vietnamese sentences are wider than the box.
        label->setWordWrap(true);
        label->setText(tipText(kind, text));
        pages::fitText(label);
    }
    content->show();
    return true;
}

void TIP::tip_create(int kind, const QString& text)
{
    if (tip_build(kind, text))
        tip_show();
}

void TIP::tip_show()
{
    g_tip_flag = 1;
    // A tip asked for while one is up only replaced the content: the
    // running count hides it, and the first caller's modal loop serves it.
    if (isVisible())
        return;
    exec();
}

void TIP::tip_outtime_deal()
{
    if (++tick_count < kShowTicks)
        return;
    hide();
    tick_count = 0;
    g_tip_flag = 0;
    KEL_DBG("\n tip over! ");
}
