#include "tools/firmware_usbgrade.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "fpga/fpga_manage.h"
#include "ui_firmware_usbgrade.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>

namespace {

const pages::Texts kTitle = {QStringLiteral("USB升级"), QStringLiteral("USB UPDATE"),
                             QStringLiteral("Обновление через USB"), QStringLiteral("Sử dụng ổ USB để cập nhật"),
                             QStringLiteral("USB昇級")};
const pages::Texts kButton = {QStringLiteral("确定"), QStringLiteral("OK"), QStringLiteral("OK"),
                              QStringLiteral("Đồng ý"), QStringLiteral("確定")};
const pages::Texts kEmptyList = {QStringLiteral("无加载文件!"), QStringLiteral("No loaded file!"),
                                 QStringLiteral("Нет файлов для загрузки!"), QStringLiteral("Không có tập tin để tải!"),
                                 QStringLiteral("無加載文件!")};

// The end of a run in which an FPGA's flash was erased and not written
// whole; %1 names the FPGAs ("1", "2" or "1, 2").
const pages::Texts kProgramIncomplete = {QStringLiteral("FPGA %1 程序不完整，请重新升级!"),
                                         QStringLiteral("FPGA %1 program incomplete, install it again!"),
                                         QStringLiteral("FPGA %1: программа неполная, установите снова!"),
                                         QStringLiteral("FPGA %1: chương trình không hoàn chỉnh, hãy cài lại!"),
                                         QStringLiteral("FPGA %1 程式不完整，請重新升級!")};
// The end of a run in which an FPGA's flash refused the first erase: it
// still holds the program it had.
const pages::Texts kProgramKept = {
    QStringLiteral("FPGA %1 未更新，保留原程序!"), QStringLiteral("FPGA %1 not updated, old program kept!"),
    QStringLiteral("FPGA %1 не обновлена, старая программа сохранена!"),
    QStringLiteral("FPGA %1 chưa cập nhật, giữ chương trình cũ!"), QStringLiteral("FPGA %1 未更新，保留原程式!")};
// The end of a run in which an FPGA's flash took every erase and program
// but could not be read back: it likely holds the new program, unverified.
const pages::Texts kProgramUnverified = {QStringLiteral("FPGA %1 新程序未校验，请重新升级!"),
                                         QStringLiteral("FPGA %1 new program not verified, install it again!"),
                                         QStringLiteral("FPGA %1: новая программа не проверена, установите снова!"),
                                         QStringLiteral("FPGA %1: chương trình mới chưa kiểm tra, hãy cài lại!"),
                                         QStringLiteral("FPGA %1 新程式未校驗，請重新升級!")};
// The end of a run in which a font's place in the video chip's flash was
// erased and not written whole.
const pages::Texts kFontIncomplete = {
    QStringLiteral("字库不完整，请重新升级!"), QStringLiteral("Font incomplete, install it again!"),
    QStringLiteral("Шрифт неполный, установите снова!"), QStringLiteral("Phông chữ không hoàn chỉnh, hãy cài lại!"),
    QStringLiteral("字庫不完整，請重新升級!")};
// The end of a run whose font was not written, its place in the video
// chip's flash not erased: the disk took no mark for it (below).
const pages::Texts kFontKept = {
    QStringLiteral("字库未更新，保留原字库!"), QStringLiteral("Font not updated, old font kept!"),
    QStringLiteral("Шрифт не обновлён, старый сохранён!"), QStringLiteral("Phông chữ chưa cập nhật, giữ phông cũ!"),
    QStringLiteral("字庫未更新，保留原字庫!")};
// The end of a run whose font was not written as the video chip did not
// answer: its serial flash was not touched.
const pages::Texts kFontNoChip = {
    QStringLiteral("视频芯片无响应，字库未安装!"), QStringLiteral("Video chip not answering, font not installed!"),
    QStringLiteral("Видеочип не отвечает, шрифт не установлен!"),
    QStringLiteral("Chip video không phản hồi, chưa cài phông chữ!"), QStringLiteral("視訊晶片無回應，字庫未安裝!")};
// Why an FPGA program, a font or the application was not written: the disk
// under /data takes no file (for a program or a font: the mark that would
// tell a torn flash after a power cut could not be stored, and nothing was
// erased).
const pages::Texts kStorageRefuses = {
    QStringLiteral("存储空间已满或只读!"), QStringLiteral("Storage full or read-only!"),
    QStringLiteral("Память заполнена или защищена от записи!"), QStringLiteral("Bộ nhớ đầy hoặc chỉ đọc!"),
    QStringLiteral("儲存空間已滿或唯讀!")};
// An FPGA program or a font written whole whose mark of an incomplete
// program the disk did not let go (full or read-only): a start now would
// keep that FPGA in reset. The box removes the mark once the disk takes
// files again; until then power must stay on.
const pages::Texts kProgramRecordBehind = {
    QStringLiteral("FPGA %1 已更新，记录未保存!"), QStringLiteral("FPGA %1 updated, record not saved!"),
    QStringLiteral("FPGA %1: программа обновлена, отметка не сохранена!"),
    QStringLiteral("FPGA %1 đã cập nhật, chưa lưu được bản ghi!"), QStringLiteral("FPGA %1 已更新，記錄未儲存!")};
const pages::Texts kFontRecordBehind = {
    QStringLiteral("字库已更新，记录未保存!"), QStringLiteral("Font updated, record not saved!"),
    QStringLiteral("Шрифт обновлён, отметка не сохранена!"),
    QStringLiteral("Phông chữ đã cập nhật, chưa lưu được bản ghi!"), QStringLiteral("字庫已更新，記錄未儲存!")};
// The Russian preposition stays with its noun.
const pages::Texts kKeepPowerOn = {
    QStringLiteral("记录保存前请勿断电!"), QStringLiteral("Keep power on until the record is saved!"),
    QStringLiteral("Не отключайте питание до\u00a0сохранения отметки!"),
    QStringLiteral("Đừng tắt nguồn trước khi lưu xong bản ghi!"), QStringLiteral("記錄儲存前請勿斷電!")};
// The end of a run whose new application could not be written whole.
const pages::Texts kApplicationFailed = {
    QStringLiteral("应用程序未安装，请重新升级!"), QStringLiteral("Application not installed, install it again!"),
    QStringLiteral("Приложение не\u00a0установлено, установите снова!"),
    QStringLiteral("Ứng dụng chưa được cài, hãy cài lại!"), QStringLiteral("應用程式未安裝，請重新升級!")};

// What a run left out of what the stick holds, and why. A count or the
// parts not installed close each line, after a colon.
// No package in the upgrade directory (or no such directory, or no stick).
const pages::Texts kNoPackage = {QStringLiteral("未找到升级包!"), QStringLiteral("No update package found!"),
                                 QStringLiteral("Пакет обновления не найден!"),
                                 QStringLiteral("Không tìm thấy gói cập nhật!"), QStringLiteral("未找到升級包!")};
// Packages refused whole (damaged, or a head only); %1 is their number.
const pages::Texts kPackagesRefused = {
    QStringLiteral("升级包损坏或为空，未安装：%1个"), QStringLiteral("Damaged or empty packages, not installed: %1"),
    QStringLiteral("Пакеты повреждены или пусты, не\u00a0установлено: %1"),
    QStringLiteral("Gói hỏng hoặc rỗng, số gói chưa cài: %1"), QStringLiteral("升級包損壞或為空，未安裝：%1個")};
// Parts that could not be read from the stick; %1 names them.
const pages::Texts kStickPartsUnread = {QStringLiteral("U盘已拔出或无法读取，未安装：%1"),
                                        QStringLiteral("USB stick pulled or unreadable, not installed: %1"),
                                        QStringLiteral("Флешка извлечена или не читается, не\u00a0установлено: %1"),
                                        QStringLiteral("USB bị rút hoặc không đọc được, chưa cài: %1"),
                                        QStringLiteral("隨身碟已拔出或無法讀取，未安裝：%1")};
// Packages that could not be read from the stick at all; %1 is their number.
const pages::Texts kStickPackagesUnread = {QStringLiteral("U盘已拔出或无法读取，未读取升级包：%1个"),
                                           QStringLiteral("USB stick pulled or unreadable, packages not read: %1"),
                                           QStringLiteral("Флешка извлечена или не читается, не прочитано пакетов: %1"),
                                           QStringLiteral("USB bị rút hoặc không đọc được, số gói chưa đọc: %1"),
                                           QStringLiteral("隨身碟已拔出或無法讀取，未讀取升級包：%1個")};
// Parts of packages for another product; %1 names them.
const pages::Texts kOtherProduct = {
    QStringLiteral("非本机型升级包，未安装：%1"), QStringLiteral("Package for another product, not installed: %1"),
    QStringLiteral("Пакет для другого изделия, не\u00a0установлено: %1"),
    QStringLiteral("Gói cho sản phẩm khác, chưa cài: %1"), QStringLiteral("非本機型升級包，未安裝：%1")};
// Packages beyond the most a run installs; %1 the most, %2 their number.
const pages::Texts kTooManyPackages = {
    QStringLiteral("升级包超过%1个，未安装：%2个"), QStringLiteral("Over %1 packages, not installed: %2"),
    QStringLiteral("Больше %1 пакетов, не\u00a0установлено: %2"), QStringLiteral("Quá %1 gói, số gói chưa cài: %2"),
    QStringLiteral("升級包超過%1個，未安裝：%2個")};
// Files with a package's suffix whose name is not valid UTF-8: not taken;
// %1 names them (each byte beyond printable ASCII written \xNN).
const pages::Texts kMisnamedPackages = {
    QStringLiteral("升级包文件名无法识别，请改名：%1"), QStringLiteral("Package name unreadable, rename it: %1"),
    QStringLiteral("Имя пакета не читается, переименуйте: %1"),
    QStringLiteral("Tên gói không đọc được, hãy đổi tên: %1"), QStringLiteral("升級包檔名無法識別，請改名：%1")};
constexpr int kMisnamedListed = 2;       // names the line has room for, "…" for the rest
constexpr int kMisnamedNameLength = 28;  // a longer name is shortened in its middle
// The parts of a package as those lines name them, and what joins them.
const pages::Texts kPartApplication = {QStringLiteral("应用程序"), QStringLiteral("application"),
                                       QStringLiteral("приложение"), QStringLiteral("ứng dụng"),
                                       QStringLiteral("應用程式")};
const pages::Texts kPartFpga = {QStringLiteral("FPGA %1"), QStringLiteral("FPGA %1"), QStringLiteral("FPGA %1"),
                                QStringLiteral("FPGA %1"), QStringLiteral("FPGA %1")};
const pages::Texts kPartFont = {QStringLiteral("字库"), QStringLiteral("font"), QStringLiteral("шрифт"),
                                QStringLiteral("phông chữ"), QStringLiteral("字庫")};
const pages::Texts kPartJoin = {QStringLiteral("、"), QStringLiteral(", "), QStringLiteral(", "), QStringLiteral(", "),
                                QStringLiteral("、")};

// The log line after a run that wrote everything it found whole, and while
// a run goes (told by a tap on the button).
const pages::Texts kRunOver = {QStringLiteral("升级完成"), QStringLiteral("Update complete"),
                               QStringLiteral("Обновление завершено"), QStringLiteral("Cập nhật hoàn tất"),
                               QStringLiteral("升級完成")};
const pages::Texts kRunGoing = {QStringLiteral("正在升级，请勿断电!"), QStringLiteral("Updating, do not power off!"),
                                QStringLiteral("Идёт обновление, не выключайте питание!"),
                                QStringLiteral("Đang cập nhật, đừng tắt nguồn!"),
                                QStringLiteral("正在升級，請勿斷電!")};
const char* const kLogGoing = "<font style = 'font-size:12px' color = #FF0000 >%1</font>";
const char* const kLogOver = "<font style = 'font-size:13px' color = #51BB28 >%1</font>";
// The red lines of what must be installed again, at the largest of these
// sizes at which they all fit the log line; when they fit at none, the log
// line takes the list's place too. The times have their own line.
const char* const kLogFault = "<font style = 'font-size:%1px' color = #FF0000 >%2</font>";
constexpr int kFaultPixels[] = {11, 10, 9};
const char* const kRowText = "<font color = #FFFFFF >%1</font>";

// ---- the list frame and its rows
// Under the log line, which has room for four red lines at 9 pixels.
const QRect kFileFrame(10, 60, 280, 96);
const char* const kFileFrameStyle = "#frame_file{background-color: rgb(33, 36, 53);border:1px solid #FFFFFF;}";
constexpr int kRowX = 5, kRowTop = 5, kRowPitch = 23, kRowWidth = 220, kRowHeight = 20;
constexpr int kRowFontPoints = 7;
constexpr int kRowTextRoom = kRowWidth - 6;  // the name is shortened in the middle beyond this
const char* const kRowNormal = "background-color: rgb(33, 36, 53);color: #FFFFFF";
const char* const kRowHighlighted = "background-color:#4777FF;color: #FFFFFF;";
// The button over a row only takes the tap; the row's label shows through.
const char* const kRowButtonStyle = "background: transparent; border: none;";

constexpr int kPagingX = 250, kPagingSize = 20;
constexpr int kPreviousY = kRowTop;
constexpr int kNextY = kRowTop + (firmware_usbgrade::kRowsPerPage - 1) * kRowPitch;
const char* const kPagingStyle = "background-color: rgb(33, 36, 53);";

const char* const kButtonFocused = "color:rgb(255, 255, 255);border:1px solid rgb(255,171,84);";

// The first package of each suffix kind that the list highlights.
const char* const kSuffixShort = "KEL";
const char* const kSuffixLong = "KELZK";

QString now()
{
    TimeRealType t{};
    fpga_manage::IT8563WE_Get(&t);
    return fpga_manage::timeText(t);
}

// One line of the log in the page's language, read as text, never markup;
// wrapped, it keeps its last two words together.
QString logLine(const QString& words)
{
    return pages::lastWordsTogether(words).toHtmlEscaped();
}

// "1", "2" or "1, 2": the FPGAs whose bit is set.
QString fpgaNumbers(u8 mask)
{
    QStringList numbers;
    for (int f = 0; f < fpga::kFpgas; ++f)
        if (mask & (1u << f))
            numbers << QString::number(f + 1);
    return numbers.join(QStringLiteral(", "));
}

// Characters from here on may break a line between any two of them (the
// CJK ideographs); a word joiner forbids the break.
constexpr ushort kFirstIdeograph = 0x2E80;
constexpr ushort kWordJoiner = 0x2060;

// "application, FPGA 2, font": the parts whose bit is set, in the page's
// language; a line breaks between two names, never inside one.
QString partNames(u8 parts)
{
    QStringList names;
    if (parts & fpga_manage::kPartApplication)
        names << pages::pick(kPartApplication);
    for (int f = 0; f < fpga::kFpgas; ++f)
        if (parts & (f == 0 ? fpga_manage::kPartFpga0 : fpga_manage::kPartFpga1))
            names << pages::pick(kPartFpga).arg(f + 1);
    if (parts & fpga_manage::kPartFont)
        names << pages::pick(kPartFont);
    // Words with spaces keep them unbroken; a name in characters that may
    // break between any two (Chinese) is held together by word joiners.
    for (QString& name : names) {
        name.replace(QLatin1Char(' '), QChar(QChar::Nbsp));
        for (int i = name.size() - 1; i > 0; --i)
            if (name[i - 1].unicode() >= kFirstIdeograph || name[i].unicode() >= kFirstIdeograph)
                name.insert(i, QChar(kWordJoiner));
    }
    return names.join(pages::pick(kPartJoin));
}

// The first names of `names` (one a line), each shortened in its middle
// when long, "…" after them when there are more.
QString misnamedNames(const QString& names)
{
    const QStringList all = names.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList listed;
    for (int i = 0; i < all.size() && i < kMisnamedListed; ++i) {
        const QString& name = all[i];
        const int half = kMisnamedNameLength / 2;
        listed << (name.size() <= kMisnamedNameLength ? name : name.left(half) + QChar(0x2026) + name.right(half));
    }
    const QString shown = listed.join(pages::pick(kPartJoin));
    return all.size() > kMisnamedListed ? shown + QChar(0x2026) : shown;
}

QRect rowRect(int row)
{
    return QRect(kRowX, kRowTop + kRowPitch * row, kRowWidth, kRowHeight);
}

// The label of a row of the list frame, in the rows' small font.
QLabel* rowLabel(QWidget* frame, int row)
{
    QLabel* label = new QLabel(frame);
    label->setObjectName(QStringLiteral("row_%1").arg(row));
    label->setGeometry(rowRect(row));
    QFont font = label->font();
    font.setPointSize(kRowFontPoints);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

}  // namespace

firmware_usbgrade::firmware_usbgrade(QWidget* parent) : Page(PAGE_USB_UPGRADE, parent), ui(new Ui::firmware_usbgrade)
{
    ui->setupUi(this);
    ui->label_log->clear();
    log_place = ui->label_log->geometry();
    setEntries({{ui->Button_grade, [this] { menulist_button_ok_page(); }}});
    menulist_init();
    get_file_list_smartpath();
    language_changed();
    // The end of a run that ended while no page showed it, until a new
    // run starts.
    const fpga_manage* worker = fpga_manage::p_fpga_manage;
    if (worker && worker->run_ended.load() && g_usb_grade.load() == 0)
        showRunEnd();
    else
        showIncomplete();
}

firmware_usbgrade::~firmware_usbgrade()
{
    delete ui;
}

// ---------------------------------------------------------------- texts and refresh

void firmware_usbgrade::language_changed()
{
    ui->label_usb_update->setText(pages::pick(kTitle));
    pages::fitText(ui->label_usb_update);
    ui->Button_grade->setText(pages::pick(kButton));
    pages::fitText(ui->Button_grade);
    upgrade_file_list();  // the empty list's words are the language's
}

void firmware_usbgrade::syncUpdate(int code)
{
    Page::syncUpdate(code);
    switch (code) {
    case SYNC_USB_ADDED: KEL_DBG("\n yes ,got the usb in"); break;
    case SYNC_USB_REMOVED:
    case SYNC_USB_STORAGE:
        file_select = 0;
        get_file_list_smartpath();
        upgrade_file_list();
        break;
    case SYNC_USB_UPGRADE: showRunEnd(); break;
    default: recordCaughtUp(); break;
    }
}

// The record the page told was behind is up to date (change code 1 from
// the worker): what the page tells is told again without it.
void firmware_usbgrade::recordCaughtUp()
{
    const fpga_manage* worker = fpga_manage::p_fpga_manage;
    if (!record_told || (worker && worker->recordBehind()))
        return;
    if (run_ended) {
        showRunEnd();
        return;
    }
    record_told = false;
    coverList(false);
    ui->label_log->clear();
    log_shown = LogShown::kNothing;
    showIncomplete();
}

// The worker wrote its log and what it left incomplete before it raised
// change code 104.
void firmware_usbgrade::showRunEnd()
{
    const fpga_manage* worker = fpga_manage::p_fpga_manage;
    run_ended = true;
    record_told = worker && worker->recordBehind();
    ui->label_times->setText(worker ? worker->usb_grade_msg : QString());
    const QStringList failures = worker ? failureLines(*worker, true) : QStringList();
    if (!failures.isEmpty()) {
        showRedLines(failures);
        return;
    }
    coverList(false);
    ui->label_log->setText(QString::fromLatin1(kLogOver).arg(logLine(pages::pick(kRunOver))));
    log_shown = LogShown::kOver;
}

bool firmware_usbgrade::lastRunWhole()
{
    const fpga_manage* worker = fpga_manage::p_fpga_manage;
    return worker && worker->run_ended.load() && failureLines(*worker, true).isEmpty();
}

// What an earlier run left incomplete, before a reboot too.
void firmware_usbgrade::showIncomplete()
{
    const fpga_manage* worker = fpga_manage::p_fpga_manage;
    record_told = worker && worker->recordBehind();
    const QStringList failures = worker ? failureLines(*worker, false) : QStringList();
    if (!failures.isEmpty())
        showRedLines(failures);
}

void firmware_usbgrade::showRedLines(const QStringList& failures)
{
    const QString text = failures.join(QStringLiteral("<br>"));
    coverList(false);
    if (!fitRedLines(text)) {
        coverList(true);
        fitRedLines(text);
    }
    log_shown = LogShown::kFault;
}

bool firmware_usbgrade::fitRedLines(const QString& text)
{
    for (const int px : kFaultPixels) {
        ui->label_log->setText(QString::fromLatin1(kLogFault).arg(px).arg(text));
        if (logFits())
            return true;
    }
    return false;
}

bool firmware_usbgrade::logFits() const
{
    QTextDocument fit;
    fit.setDefaultFont(ui->label_log->font());
    fit.setDocumentMargin(0);
    fit.setTextWidth(ui->label_log->contentsRect().width());
    fit.setHtml(ui->label_log->text());
    return fit.size().height() <= ui->label_log->contentsRect().height();
}

void firmware_usbgrade::coverList(bool over)
{
    log_over_list = over;
    QRect place = log_place;
    if (over)
        place.setBottom(kFileFrame.bottom());
    ui->label_log->setGeometry(place);
    if (frame_file)
        frame_file->setVisible(!over);
}

// Per FPGA what its flash holds: a torn program (whatever this run did),
// else this run's program unverified or kept out (refused by its flash, or
// never erased as the disk took no mark), else a program written whole
// whose mark the record still holds; then the fonts the same way, why
// nothing was erased or the record is behind when the disk was the cause,
// and that power must stay on while the record is behind (a start would
// keep the FPGA it marks in reset).
QStringList firmware_usbgrade::failureLines(const fpga_manage& worker, bool thisRun)
{
    QStringList lines;
    const u8 incomplete = worker.incomplete_fpgas.load();
    const u8 unverified = thisRun ? static_cast<u8>(worker.unverified_fpgas.load() & ~incomplete) : 0;
    const u8 unrecorded = thisRun ? worker.unrecorded_fpgas.load() : 0;
    const u8 kept = thisRun ? static_cast<u8>((worker.kept_fpgas.load() | unrecorded) & ~incomplete & ~unverified) : 0;
    // The last run's flashes that kept or took a program unverified are
    // not "updated", on a later opening either.
    const u8 updatedBehind = static_cast<u8>(worker.stale_fpgas.load() & ~incomplete & ~worker.kept_fpgas.load() &
                                             ~worker.unverified_fpgas.load() & ~unverified & ~kept);
    const u8 unrecordedFonts = thisRun ? worker.unrecorded_fonts.load() : 0;
    const u8 fontsKept = static_cast<u8>(unrecordedFonts & ~worker.incomplete_fonts.load());
    const u8 fontsBehind = static_cast<u8>(worker.stale_fonts.load() & ~worker.incomplete_fonts.load());
    if (thisRun && worker.application_failed.load())
        lines << logLine(pages::pick(kApplicationFailed));
    const std::pair<const pages::Texts*, u8> fpgaLines[] = {{&kProgramIncomplete, incomplete},
                                                            {&kProgramUnverified, unverified},
                                                            {&kProgramKept, kept},
                                                            {&kProgramRecordBehind, updatedBehind}};
    for (const auto& [text, fpgas] : fpgaLines)
        if (fpgas)
            lines << logLine(pages::pick(*text).arg(fpgaNumbers(fpgas)));
    if (worker.incomplete_fonts.load())
        lines << logLine(pages::pick(kFontIncomplete));
    if (fontsKept)
        lines << logLine(pages::pick(kFontKept));
    if (thisRun && worker.font_chip_silent.load())
        lines << logLine(pages::pick(kFontNoChip));
    if (fontsBehind)
        lines << logLine(pages::pick(kFontRecordBehind));
    if (thisRun)
        lines << shortfallLines(worker);
    const bool applicationRefused = thisRun && worker.application_disk_refused.load();
    if (unrecorded || unrecordedFonts || applicationRefused || worker.recordBehind())
        lines << logLine(pages::pick(kStorageRefuses));
    if (worker.recordBehind())
        lines << logLine(pages::pick(kKeepPowerOn));
    return lines;
}

// What the run left out of what the stick holds, and why: no package, the
// packages refused or not read, the parts the stick did not give, the
// parts of another product's package, the packages beyond a run's most,
// the files whose name is not valid UTF-8.
QStringList firmware_usbgrade::shortfallLines(const fpga_manage& worker)
{
    QStringList lines;
    if (worker.no_package.load())
        lines << logLine(pages::pick(kNoPackage));
    if (const u16 n = worker.refused_packages.load())
        lines << logLine(pages::pick(kPackagesRefused).arg(n));
    if (const u8 parts = worker.unread_parts.load())
        lines << logLine(pages::pick(kStickPartsUnread).arg(partNames(parts)));
    if (const u16 n = worker.unread_packages.load())
        lines << logLine(pages::pick(kStickPackagesUnread).arg(n));
    if (const u8 parts = worker.foreign_parts.load())
        lines << logLine(pages::pick(kOtherProduct).arg(partNames(parts)));
    if (const u16 n = worker.skipped_packages.load())
        lines << logLine(pages::pick(kTooManyPackages).arg(fpga_manage::kMaxPackages).arg(n));
    const QString misnamed = worker.misnamed_packages.get();
    if (!misnamed.isEmpty())
        lines << logLine(pages::pick(kMisnamedPackages).arg(misnamedNames(misnamed)));
    return lines;
}

QString firmware_usbgrade::selectedStyle(int) const
{
    return QString::fromLatin1(kButtonFocused);
}

bool firmware_usbgrade::modeRefused() const
{
    return Page::modeRefused() || file_downing != 0;
}

// ---------------------------------------------------------------- the upgrade

void firmware_usbgrade::menulist_button_ok_page()
{
    if (file_downing)
        return;
    // A receiving-card job holds the FPGA manager: the run would restart
    // it half way. OK is refused until the job has ended.
    if (g_usb_grade.load() == 0 && g_send_para.cmd.load() != SEND_NONE) {
        KEL_DBG("\n usb upgrade refused: a receiving-card job runs\n");
        return;
    }
    file_downing = 1;
    // A run that a page opened earlier still goes: it is not sent back to
    // its first step, and its end shows here.
    if (g_usb_grade.load() == 0) {
        g_send_para.step = 0;
        g_usb_grade = 1;
        if (fpga_manage::p_fpga_manage)
            fpga_manage::p_fpga_manage->wake();
    }
    KEL_DBG("\n menulist_button_ok_page 00 in  file_downing = %#x \n", file_downing);
}

// A tap tells the time. While a run goes it warns not to switch off; what
// the page tells of a fault or of a run that is over stays.
void firmware_usbgrade::on_Button_grade_clicked()
{
    if (log_shown == LogShown::kFault || log_shown == LogShown::kOver)
        return;
    ui->label_times->setText(now());
    if (g_usb_grade.load() != 0) {
        coverList(false);
        ui->label_log->setText(QString::fromLatin1(kLogGoing).arg(logLine(pages::pick(kRunGoing))));
        log_shown = LogShown::kRunGoing;
        return;
    }
    ui->label_log->clear();
    log_shown = LogShown::kNothing;
}

// ---------------------------------------------------------------- the list

void firmware_usbgrade::get_file_list_smartpath()
{
    file_flags.fill(0);
    current_page = 0;
    file_list = fpga_manage::usbPackagePaths(kMaxFiles);
    file_count = static_cast<u8>(file_list.size());
    bool shortSeen = false;
    for (int i = 0; i < file_count; ++i) {
        const QString suffix = QFileInfo(file_list[i]).suffix();
        const bool first = suffix == QLatin1String(kSuffixShort) && !shortSeen;
        shortSeen = shortSeen || suffix == QLatin1String(kSuffixShort);
        file_flags[i] = first || suffix == QLatin1String(kSuffixLong);
    }
    const int pages = (file_count + kRowsPerPage - 1) / kRowsPerPage;
    last_page = static_cast<u8>(std::max(pages - 1, 0));
}

void firmware_usbgrade::upgrade_file_list()
{
    // The old frame may hold the button whose tap brought us here: it goes
    // once that tap is over.
    if (frame_file) {
        frame_file->hide();
        frame_file->setParent(nullptr);
        frame_file->deleteLater();
    }
    rows = {};
    frame_file = new QFrame(ui->frame);
    frame_file->setObjectName(QStringLiteral("frame_file"));
    frame_file->setGeometry(kFileFrame);
    frame_file->setStyleSheet(QString::fromLatin1(kFileFrameStyle));
    if (file_count == 0) {
        QLabel* empty = rowLabel(frame_file, 0);
        empty->setText(pages::pick(kEmptyList));
        empty->setStyleSheet(QString::fromLatin1(kRowNormal));
        pages::fitText(empty);
    } else {
        const int first = kRowsPerPage * current_page;
        const int shown = std::min(kRowsPerPage, file_count - first);
        for (int row = 0; row < shown; ++row)
            addRow(row, first + row);
        if (current_page >= 1)
            connect(addPagingButton(QStringLiteral("previous.png"), kPreviousY), &QPushButton::clicked, this,
                    &firmware_usbgrade::kel_Button_previous_clicked);
        if (current_page < last_page)
            connect(addPagingButton(QStringLiteral("next.png"), kNextY), &QPushButton::clicked, this,
                    &firmware_usbgrade::kel_Button_next_clicked);
    }
    // Red lines that need the list's room keep it.
    frame_file->setVisible(!log_over_list);
}

void firmware_usbgrade::addRow(int row, int index)
{
    const QString& path = file_list[index];
    QLabel* label = rowLabel(frame_file, row);
    label->setTextFormat(Qt::RichText);
    // The name is the stick's, shown as it stands: never read as markup.
    const QString name =
        QFontMetrics(label->font()).elidedText(QFileInfo(path).fileName(), Qt::ElideMiddle, kRowTextRoom);
    label->setText(QString::fromLatin1(kRowText).arg(name.toHtmlEscaped()));
    rows[row] = {label, path};
    highlightRow(row, file_flags[index] != 0);

    QPushButton* button = new QPushButton(frame_file);
    button->setObjectName(QString::number(row));
    button->setGeometry(rowRect(row));
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QString::fromLatin1(kRowButtonStyle));
    connect(button, &QPushButton::clicked, this, &firmware_usbgrade::kel_button_file_clicked);
}

QPushButton* firmware_usbgrade::addPagingButton(const QString& picture, int y)
{
    QPushButton* button = new QPushButton(frame_file);
    button->setObjectName(picture.section('.', 0, 0));
    button->setGeometry(kPagingX, y, kPagingSize, kPagingSize);
    button->setIcon(pages::icon(pages::plainPicture(picture)));
    button->setIconSize(QSize(kPagingSize, kPagingSize));
    button->setStyleSheet(QString::fromLatin1(kPagingStyle));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void firmware_usbgrade::highlightRow(int row, bool on)
{
    if (row < 0 || row >= kRowsPerPage || !rows[row].label)
        return;
    rows[row].label->setStyleSheet(QString::fromLatin1(on ? kRowHighlighted : kRowNormal));
}

void firmware_usbgrade::kel_button_file_clicked()
{
    bool ok = false;
    const int row = sender() ? sender()->objectName().toInt(&ok) : -1;
    if (!ok || row < 0 || row >= kRowsPerPage || !rows[row].label)
        return;
    highlightRow(file_select, false);
    file_select = static_cast<u8>(row);
    highlightRow(row, true);
    KEL_DBG("\n usb upgrade row %d: %s\n", row, qPrintable(rows[row].path));
}

void firmware_usbgrade::kel_Button_previous_clicked()
{
    current_page = static_cast<int8_t>(std::max(current_page - 1, 0));
    upgrade_file_list();
}

void firmware_usbgrade::kel_Button_next_clicked()
{
    current_page = current_page + 1 > last_page ? 0 : static_cast<int8_t>(current_page + 1);
    upgrade_file_list();
}
