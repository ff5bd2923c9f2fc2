// Load scan, the smart-mapping page's second tool: step 1 chooses the LAN
// port, step 2 lists the scan-parameter files of the box (white) and of the
// stick (green), three to a page, and Load hands job 2 to the FPGA manager
// with the chosen file in g_ztfile_name.
#include "tools/smartmapping.h"

#include "fpga/rcv_recovery_file.h"
#include "fpga/send_para.h"
#include "platform/platform.h"
#include "tools/smartmapping_shared.h"
#include "ui_smartmapping.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {

const pages::Texts kStep1 = {QStringLiteral("步骤1选择网口"), QStringLiteral("Step 1 Select network port"),
                             QStringLiteral("Шаг 1. Выберите сетевой порт"), QStringLiteral("Bước 1: Chọn cổng mạng"),
                             QStringLiteral("步驟1選擇網口")};
const pages::Texts kStep2 = {QStringLiteral("步骤2加载扫描参数"), QStringLiteral("Step 2 Upload scan parameters"),
                             QStringLiteral("Шаг 2. Загрузка параметров скана"),
                             QStringLiteral("Bước 2: Tải thông số quét"), QStringLiteral("步驟2加載掃描參數")};
const pages::Texts kDetected = {
    QStringLiteral("检测到以下屏参文件"), QStringLiteral("Detected the following screen parameter files"),
    QStringLiteral("Найдены файлы параметров экрана"), QStringLiteral("Đã tìm thấy các tệp thông số màn hình sau"),
    QStringLiteral("檢測到以下屏參文件")};
const pages::Texts kLoad = {QStringLiteral("加载"), QStringLiteral("Load"), QStringLiteral("Загрузить"),
                            QStringLiteral("Tải"), QStringLiteral("加載")};
const pages::Texts kNoFile = {QStringLiteral("无加载文件!"), QStringLiteral("No loaded file!"),
                              QStringLiteral("Нет файлов для загрузки!"), QStringLiteral("Không có tệp để tải!"),
                              QStringLiteral("無加載文件!")};

const char* const kScanSuffix = "ztfile";
constexpr int kPoints = 9;
constexpr int kSmallPoints = 6;  // the hint above the list, outside the Chinese scripts
constexpr int kRowPoints = 7;

// The list frame on step 2 and its rows.
const QRect kListArea(10, 55, 220, 90);
const QRect kEmptyLabel(5, 5, 200, 40);
constexpr int kRowX = 5, kRowY = 5, kRowPitch = 25, kRowWidth = 190, kRowHeight = 20;
const QRect kPreviousIcon(200, 5, 15, 20);
const QRect kNextIcon(200, 55, 15, 20);

// How a row is drawn: at rest, chosen by the keys (orange border), tapped
// (white border); its text white for a box file, green for a stick file.
enum RowLook { kRowResting, kRowKeyed, kRowTapped };

QString rowStyle(bool boxFile, int look)
{
    const QString colour = QLatin1String(boxFile ? "#FFFFFF" : "#00FF00");
    switch (look) {
    case kRowKeyed:
        return QStringLiteral("background-color:#4777FF;color: %1;border:1px solid rgb(255,171,84);").arg(colour);
    case kRowTapped:
        return QStringLiteral("background-color:#4777FF;color: %1;border:1px solid rgb(255,255,255);").arg(colour);
    default: return QStringLiteral("background-color: rgb(33, 36, 53);color: %1").arg(colour);
    }
}

bool chinese()
{
    return pages::textLanguage() == pages::ZH || pages::textLanguage() == pages::TW;
}

}  // namespace

QStringList SmartMapping::scanFilesIn(const QString& boxDir)
{
    QStringList paths;
    const QString host = platform::qpath(boxDir);
    if (host.isEmpty())
        return paths;
    const QString dir = boxDir.endsWith(QLatin1Char('/')) ? boxDir : boxDir + QLatin1Char('/');
    const QFileInfoList entries =
        QDir(host).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& f : entries) {
        if (paths.size() >= kMaxScanFiles)
            break;
        if (f.suffix() == QLatin1String(kScanSuffix))
            paths << dir + f.fileName();
    }
    return paths;
}

// ---------------------------------------------------------------- texts

void SmartMapping::scanTexts()
{
    smartTexts::setLabel(ui->label_step1_5, pages::pick(kStep1), kPoints);
    smartTexts::setButton(ui->Button_next_5, pages::pick(smartTexts::kNext), kPoints);
    ui->Button_wlan5->setText(pages::pick(smartTexts::kPortGroup).arg(1).arg(kPortTiles));
    smartTexts::setLabel(ui->label_step2_6, pages::pick(kStep2), kPoints);
    smartTexts::setLabel(ui->label_step2_7, pages::pick(kDetected), chinese() ? kPoints : kSmallPoints);
    smartTexts::setButton(ui->Button_front_6, pages::pick(smartTexts::kPrevious), kPoints);
    smartTexts::setButton(ui->Button_load, pages::pick(kLoad), kPoints);
    if (empty_label)
        smartTexts::setLabel(empty_label, pages::pick(kNoFile), kRowPoints);
}

// ---------------------------------------------------------------- the list

void SmartMapping::buildScanList()
{
    file_paths = scanFilesIn(QString::fromLatin1(rcvRecovery::kSmartDir));
    box_file_count = static_cast<u8>(file_paths.size());
    for (const QString& path : scanFilesIn(QString::fromLatin1(rcvRecovery::kUsbDir))) {
        if (file_paths.size() >= kMaxScanFiles)
            break;
        file_paths << path;
    }
    file_count = static_cast<u8>(file_paths.size());
    current_page = 0;
    last_page = file_count == 0 ? 0 : static_cast<u8>((file_count - 1) / kListRows);
    list_shown = 1;
    scan_file_list();
}

int SmartMapping::rowsShown() const
{
    if (file_count == 0)
        return 0;
    return current_page < last_page ? kListRows : file_count - kListRows * current_page;
}

void SmartMapping::scan_file_list()
{
    delete frame_file;
    empty_label = nullptr;
    row_labels.fill(nullptr);
    frame_file = new QFrame(ui->page_6);
    frame_file->setObjectName(QStringLiteral("frame_file"));
    frame_file->setGeometry(kListArea);
    frame_file->setStyleSheet(smartstyle::kListFrame);

    const int rows = rowsShown();
    if (rows == 0) {
        empty_label = new QLabel(frame_file);
        empty_label->setGeometry(kEmptyLabel);
        empty_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        empty_label->setStyleSheet(rowStyle(true, kRowResting));
        smartTexts::setLabel(empty_label, pages::pick(kNoFile), kRowPoints);
        g_ztfile_name.set(QString());
    } else {
        // The selection stays on a row the page shows.
        file_select = static_cast<u8>(std::min<int>(file_select, rows - 1));
        for (int r = 0; r < rows; ++r) {
            const QRect place(kRowX, kRowY + kRowPitch * r, kRowWidth, kRowHeight);
            row_paths[r] = file_paths[kListRows * current_page + r];
            QLabel* label = new QLabel(frame_file);
            label->setGeometry(place);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            smartTexts::setLabel(label, QFileInfo(row_paths[r]).fileName().remove(QLatin1Char('\n')), kRowPoints);
            row_labels[r] = label;
            paintRow(r, r == file_select ? kRowKeyed : kRowResting);

            QPushButton* b = new QPushButton(frame_file);
            b->setGeometry(place);
            b->setFlat(true);
            b->setFocusPolicy(Qt::NoFocus);
            b->setStyleSheet(smartstyle::kTransparent);
            b->setObjectName(QString::number(r));
            connect(b, &QPushButton::clicked, this, &SmartMapping::kel_button_file_clicked);
        }
        g_ztfile_name.set(row_paths[file_select]);
        auto pageIcon = [this](const QRect& place, const char* picture, void (SmartMapping::*turn)()) {
            QPushButton* b = new QPushButton(frame_file);
            b->setGeometry(place);
            b->setFocusPolicy(Qt::NoFocus);
            b->setStyleSheet(smartstyle::kListIcon);
            b->setIcon(pages::icon(pages::plainPicture(QLatin1String(picture))));
            b->setIconSize(place.size());
            connect(b, &QPushButton::clicked, this, turn);
        };
        if (current_page > 0)
            pageIcon(kPreviousIcon, "previous.png", &SmartMapping::kel_Button_previous_clicked);
        if (current_page < last_page)
            pageIcon(kNextIcon, "next.png", &SmartMapping::kel_Button_next_clicked);
    }
    frame_file->show();
    showStep(kScanList);
}

void SmartMapping::paintRow(int row, int look)
{
    if (row < 0 || row >= rowsShown() || !row_labels[row])
        return;
    const bool boxFile = kListRows * current_page + row < box_file_count;
    row_labels[row]->setStyleSheet(rowStyle(boxFile, look));
}

void SmartMapping::tapRow(int row)
{
    if (row < 0 || row >= rowsShown())
        return;
    paintRow(file_select, kRowResting);
    file_select = static_cast<u8>(row);
    list_row = static_cast<u8>(row);
    g_ztfile_name.set(row_paths[row]);
    paintRow(row, kRowTapped);
}

// ---------------------------------------------------------------- touch

void SmartMapping::on_Button_next_5_clicked()
{
    if (!jobShown())
        buildScanList();
}

void SmartMapping::on_Button_front_6_clicked()
{
    if (!jobShown())
        showStep(kScanPort);
}

void SmartMapping::kel_Button_previous_clicked()
{
    if (jobShown())
        return;
    current_page = std::max(0, current_page - 1);
    scan_file_list();
}

void SmartMapping::kel_Button_next_clicked()
{
    if (jobShown())
        return;
    current_page = current_page + 1 > last_page ? 0 : current_page + 1;
    scan_file_list();
}

void SmartMapping::kel_button_file_clicked()
{
    bool ok = false;
    const int row = sender() ? sender()->objectName().toInt(&ok) : -1;
    if (!jobShown() && ok)
        tapRow(row);
}

void SmartMapping::on_Button_load_clicked()
{
    if (!g_ztfile_name.get().isEmpty())
        postJob(SEND_LOAD_SCAN);
}

// ---------------------------------------------------------------- keys

void SmartMapping::scanKey(pages::PanelKey key)
{
    if (step() == kScanPort)
        return scan_tile_mode ? scanTileKey(key) : scanPortKey(key);
    if (step() == kScanList)
        scanListKey(key);
}

void SmartMapping::scanPortEnter(bool entered)
{
    selectPortGroup(0, kScanTiles);
    scan_tile_mode = 0;
    tile_confirmed = 0;
    scan_step1_focus.moveTo(0);
    if (!entered)
        scan_step1_focus.drawResting();
}

void SmartMapping::scanPortKey(pages::PanelKey key)
{
    enum { kGroup, kNextButton };
    switch (key) {
    case pages::PanelKey::Left:
    case pages::PanelKey::Right:
        if (scan_step1_focus.at() != kGroup)
            selectPortGroup(0, kScanTiles);
        return scan_step1_focus.step(1);
    case pages::PanelKey::Ok:
        if (scan_step1_focus.at() == kNextButton) {
            buildScanList();
            return scanListEnter();
        }
        // Into the tiles, from LED1; BACK gives the port back once a tile
        // has been confirmed, and otherwise keeps the one stepped to.
        scan_tile_mode = 1;
        saved_port = line_type.port;
        return selectPortGroup(0, kScanTiles);
    case pages::PanelKey::Back: scan_step1_focus.drawResting(); return leaveTool();
    default: return;
    }
}

void SmartMapping::scanTileKey(pages::PanelKey key)
{
    switch (key) {
    case pages::PanelKey::Left:
    case pages::PanelKey::Right: {
        const int d = key == pages::PanelKey::Left ? -1 : 1;
        port_tile = static_cast<u8>((port_tile + d + tile_count) % tile_count);
        port_group = 0;
        line_type.port = port_tile;
        return wlan_init(kScanTiles);
    }
    case pages::PanelKey::Ok:
        scan_tile_mode = 0;
        tile_buttons[port_tile]->click();
        tile_confirmed = 1;
        return scan_step1_focus.drawFocused();
    case pages::PanelKey::Back:
        scan_tile_mode = 0;
        if (tile_confirmed)
            line_type.port = saved_port;
        selectPortGroup(0, kScanTiles);
        return scan_step1_focus.drawFocused();
    default: return;
    }
}

void SmartMapping::scanListEnter()
{
    enum { kPrevious, kLoadButton };
    scan_step2_focus.moveTo(file_count > 0 ? kLoadButton : kPrevious);
    // With files the keys start on the rows: no button shows the focus.
    if (file_count > 0)
        scan_step2_focus.drawResting();
    list_row = file_select;
    in_buttons = 0;
}

void SmartMapping::scanListKey(pages::PanelKey key)
{
    if (rowsShown() > 0 && !in_buttons)
        scanRowKey(key);
    else
        scanButtonKey(key);
}

void SmartMapping::scanRowKey(pages::PanelKey key)
{
    switch (key) {
    case pages::PanelKey::Right:
        paintRow(list_row, kRowResting);
        if (++list_row >= rowsShown()) {
            // Past the page's last row: the first row of the next page.
            list_row = 0;
            file_select = 0;
            kel_Button_next_clicked();
        }
        file_select = list_row;
        return paintRow(list_row, kRowKeyed);
    case pages::PanelKey::Left:
        paintRow(list_row, kRowResting);
        if (list_row == 0) {
            // Before the page's first row: the last row of the page before;
            // on the first page the first row stays.
            const bool back = current_page > 0;
            current_page = back ? current_page - 1 : 0;
            list_row = back ? kListRows : 1;
            file_select = static_cast<u8>(list_row - 1);
            scan_file_list();
        }
        file_select = --list_row;
        return paintRow(list_row, kRowKeyed);
    case pages::PanelKey::Ok:
        tapRow(list_row);
        in_buttons = 1;
        return scan_step2_focus.drawFocused();
    case pages::PanelKey::Back: return showStep(kScanPort);
    default: return;
    }
}

void SmartMapping::scanButtonKey(pages::PanelKey key)
{
    enum { kPrevious, kLoadButton };
    const bool rows = rowsShown() > 0;
    switch (key) {
    case pages::PanelKey::Left:
    case pages::PanelKey::Right: return scan_step2_focus.step(1);
    case pages::PanelKey::Ok:
        if (scan_step2_focus.at() == kPrevious)
            return showStep(kScanPort);
        on_Button_load_clicked();
        scan_step2_focus.drawResting();
        paintRow(list_row, kRowKeyed);
        in_buttons = 0;
        return;
    case pages::PanelKey::Back:
        if (!rows)
            return showStep(kScanPort);
        paintRow(file_select, kRowKeyed);
        scan_step2_focus.drawResting();
        in_buttons = 0;
        return;
    default: return;
    }
}
