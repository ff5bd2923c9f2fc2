#include "tools/rcv_recovery.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "fpga/fpga_manage.h"
#include "ui_rcv_recovery.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {

const pages::Texts kTitle = {QStringLiteral("接收卡自恢复"), QStringLiteral("Receiving card self recovery"),
                             QStringLiteral("Самовосстановление приемной карты"),
                             QStringLiteral("Thẻ nhận tự phục hồi"), QStringLiteral("接收卡自恢復")};
const pages::Texts kHeading = {QStringLiteral("接收卡更新"), QStringLiteral("Receiving card update"),
                               QStringLiteral("Обновление приемных карт"), QStringLiteral("Cập nhật thẻ nhận"),
                               QStringLiteral("接收卡更新")};
const pages::Texts kQueryText = {QStringLiteral("查询"), QStringLiteral("Query"), QStringLiteral("Запрос"),
                                 QStringLiteral("Truy vấn"), QStringLiteral("查詢")};
const pages::Texts kRecoveryText = {QStringLiteral("恢复"), QStringLiteral("Recovery"), QStringLiteral("Восстановить"),
                                    QStringLiteral("Phục hồi"), QStringLiteral("恢復")};
// Before the first query of an opening the page knows nothing of the cards.
const pages::Texts kAskFirst = {
    QStringLiteral("请按“查询”检测接收卡"), QStringLiteral("Press Query to ask the receiving cards."),
    QStringLiteral("Нажмите «Запрос», чтобы опросить карты."), QStringLiteral("Nhấn Truy vấn để kiểm tra thẻ nhận."),
    QStringLiteral("請按「查詢」檢測接收卡")};
const pages::Texts kNoResult = {
    QStringLiteral("暂无接收卡需要更新!"), QStringLiteral("No receiving cards that need to be updated!"),
    QStringLiteral("Обновление принимающих карт не требуется!"), QStringLiteral("Chưa có thẻ nhận nào để cập nhật!"),
    QStringLiteral("暫無接收卡需要更新!")};
const pages::Texts kNoAnswer = {QStringLiteral("接收卡无应答!"), QStringLiteral("The receiving card did not answer!"),
                                QStringLiteral("Приемная карта не ответила!"),
                                QStringLiteral("Thẻ nhận không phản hồi!"), QStringLiteral("接收卡無應答!")};
// The job could not use the recovery file (refused, missing, several);
// ToolPage::fileFaultText says why, on the line under it.
const pages::Texts kFileRefused = {
    QStringLiteral("恢复文件无法使用："), QStringLiteral("The recovery file could not be used:"),
    QStringLiteral("Файл восстановления не использован:"), QStringLiteral("Không dùng được tệp phục hồi:"),
    QStringLiteral("恢復檔案無法使用：")};
// The query could not ask every port: which, on the line under it.
const pages::Texts kPortsNotAsked = {
    QStringLiteral("以下网口无法查询："), QStringLiteral("These ports could not be asked:"),
    QStringLiteral("Эти порты не опрошены:"), QStringLiteral("Không truy vấn được các cổng:"),
    QStringLiteral("以下網口無法查詢：")};
// The query could not learn of the cards that did not answer it in time
// (%1 of the %2 cards it waited for): which, a line per port, under it.
const pages::Texts kCardsMissed = {
    QStringLiteral("%2张接收卡中%1张未及时应答："), QStringLiteral("%1 of %2 cards did not answer in time:"),
    QStringLiteral("Карт без ответа в\u00a0срок: %1\u00a0из\u00a0%2"),
    QStringLiteral("%1 trong %2 thẻ nhận không phản hồi kịp:"), QStringLiteral("%2張接收卡中%1張未及時應答：")};
const pages::Texts kNoLink = {QStringLiteral("%1未连接。"), QStringLiteral("%1: no link."),
                              QStringLiteral("%1: нет связи."), QStringLiteral("%1: chưa kết nối."),
                              QStringLiteral("%1未連接。")};
const pages::Texts kNoFpga = {QStringLiteral("FPGA未运行!"), QStringLiteral("The FPGA is not running!"),
                              QStringLiteral("FPGA не работает!"), QStringLiteral("FPGA không chạy!"),
                              QStringLiteral("FPGA未運行!")};
// A result line: "Find Screen01, LED02, Rcv03" with the card number coloured.
const pages::Texts kFind = {QStringLiteral("发现"), QStringLiteral("Find"), QStringLiteral("Найдено:"),
                            QStringLiteral("Tìm thấy:"), QStringLiteral("發現")};
const pages::Texts kScreen = {QStringLiteral("屏幕"), QStringLiteral("Screen"), QStringLiteral("экран"),
                              QStringLiteral("màn hình"), QStringLiteral("螢幕")};
// The port as its tile names it, and the lines under it (LED1 is port 0).
const pages::Texts kLed = {QStringLiteral("网口LED"), QStringLiteral("LED"), QStringLiteral("LED"),
                           QStringLiteral("LED"), QStringLiteral("網口LED")};
const pages::Texts kRcv = {QStringLiteral("接收卡"), QStringLiteral("Rcv"), QStringLiteral("карта"),
                           QStringLiteral("thẻ nhận"), QStringLiteral("接收卡")};
const char* const kCardWhite = "<font color = #FFFFFF >%1</font>";
const char* const kCardRed = "<font color = #FF0000 >%1</font>";

const char* const kButtonStyle = "color:rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);";
const char* const kButtonFocusStyle = "color:rgb(255, 255, 255);border:1px solid rgb(255,171,84);";
const char* const kFrameStyle = "#frame_file{background-color: rgb(33, 36, 53);border:1px solid #FFFFFF;}";
const char* const kLineStyle = "background-color: rgb(33, 36, 53);color: #FFFFFF";
const char* const kLineSelectedStyle = "background-color:#4777FF;color: #FFFFFF;";

const QRect kListArea(10, 50, 280, 90);
constexpr int kLineX = 5, kLineY = 5, kLinePitch = 25, kLineWidth = 220, kLineHeight = 20;
constexpr int kLinePoints = 7;
constexpr int kButtonPoints = 9;
constexpr int kVietnameseButtonPoints = 7;

// The fields of a result entry "SS/PP/RR/CC".
enum Field { kScreenField, kPortField, kCardField, kCountField, kFields };

QFont lineFont()
{
    QFont font;
    font.setPointSize(kLinePoints);
    return font;
}

int fieldNumber(const QString& field)
{
    bool ok = false;
    const int v = field.toInt(&ok, 10);
    return ok ? v : 0;
}

}  // namespace

rcv_recovery::rcv_recovery(QWidget* parent) : ToolPage(PAGE_RCV_RECOVERY, parent), ui(new Ui::rcv_recovery)
{
    ui->setupUi(this);
    setEntries({{ui->Button_check, {}}, {ui->Button_self_covery, {}}});
    // Every opening starts without a result; with FPGA 0 not running no
    // card can be asked, and the page says so at once.
    if (RcvRecoveryResult* r = result())
        r->pageOpened();
    fpga_down = fpga_down_at_opening = !fpgaRunning();
    menulist_init();
    rcv_self_recovery_file_list();
    language_changed();
}

rcv_recovery::~rcv_recovery()
{
    // A page opened since has the result now.
    RcvRecoveryResult* r = result();
    if (r && (!g_rcv_recovery || g_rcv_recovery == this))
        r->pageClosed();
    delete ui;
}

RcvRecoveryResult* rcv_recovery::result()
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    return fpga ? &fpga->rcv_result : nullptr;
}

void rcv_recovery::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::fitText(ui->label_title);
    ui->label_rcv_update->setText(pages::pick(kHeading));
    pages::fitText(ui->label_rcv_update);
    QFont font = ui->Button_check->font();
    font.setPointSize(pages::textLanguage() == pages::VN ? kVietnameseButtonPoints : kButtonPoints);
    ui->Button_check->setText(pages::pick(kQueryText));
    pages::fitText(ui->Button_check, font);
    ui->Button_self_covery->setText(pages::pick(kRecoveryText));
    pages::fitText(ui->Button_self_covery, font);
    // Both buttons in one size: the smaller.
    const QFont check = ui->Button_check->font(), recovery = ui->Button_self_covery->font();
    const QFont& smaller = check.pixelSize() <= recovery.pixelSize() ? check : recovery;
    ui->Button_check->setFont(smaller);
    ui->Button_self_covery->setFont(smaller);
}

bool rcv_recovery::fpgaRunning()
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    return fpga && fpga->get_fpga_status() == 1;
}

void rcv_recovery::syncUpdate(int code)
{
    Page::syncUpdate(code);
    const u16 answer = g_send_para.recovery_progress.load();
    bool redraw = code == SYNC_RCV_RECOVERY || (answer != kRecoveryAsking && answer != fpga::kRcvAnswerNone);
    // FPGA 0 came up (the manager raises change code 1) after the page
    // opened without it: the sentence that it does not run goes. One that
    // tells of a job cut short stays.
    if (code == SYNC_PARA_CHANGED && fpga_down_at_opening && !jobShown() && fpgaRunning()) {
        fpga_down = fpga_down_at_opening = false;
        redraw = true;
    }
    if (redraw)
        rcv_self_recovery_file_list();
}

QString rcv_recovery::normalStyle(int) const
{
    return QString::fromLatin1(kButtonStyle);
}

QString rcv_recovery::selectedStyle(int) const
{
    return QString::fromLatin1(kButtonFocusStyle);
}

// ---------------------------------------------------------------- keys

void rcv_recovery::onLeft()
{
    if (!jobShown())
        stepFocus(-1);
}

void rcv_recovery::onRight()
{
    if (!jobShown())
        stepFocus(1);
}

void rcv_recovery::onOk()
{
    if (ui_select == kQuery)
        query();
    else
        recover();
}

void rcv_recovery::query()
{
    RcvRecoveryResult* r = result();
    if (!r || !mayPostJob())
        return;
    // No sentence while the job runs; the entries stay for Recovery.
    r->setCount(0);
    forgetJobEnd();
    asked = kAsking;
    rcv_self_recovery_file_list();
    postJob(SEND_RCV_CHECK);
    restyle(kQuery);
}

void rcv_recovery::forgetJobEnd()
{
    fpga_down = fpga_down_at_opening = false;
    refused_file = cardfile::Fault::kNone;
    unasked_ports = 0;
    missed_cards.clear();
}

void rcv_recovery::recover()
{
    RcvRecoveryResult* r = result();
    if (!r || !mayPostJob() || recovery_refused)
        return;
    if (r->list().isEmpty()) {
        // Nothing found yet: Query first.
        ui_select = kQuery;
        restyle(kRecovery);
        restyle(kQuery);
        return;
    }
    if (fpga_down || refused_file != cardfile::Fault::kNone || unasked_ports != 0 || !missed_cards.empty()) {
        forgetJobEnd();
        rcv_self_recovery_file_list();
    }
    postJob(SEND_RCV_RECOVERY);
    restyle(kRecovery);
}

void rcv_recovery::jobEnded(bool noFpga, const CardJobEnd& end)
{
    asked = kAnswered;
    fpga_down = noFpga;
    refused_file = end.refused == JobRefusal::kFile ? end.file : cardfile::Fault::kNone;
    unasked_ports = noFpga ? 0 : end.unasked_ports;
    missed_cards = noFpga ? std::vector<CardPlace>() : end.missed;
    cards_waited = end.cards;
    fpga_down_at_opening = false;
    rcv_self_recovery_file_list();
}

// ---------------------------------------------------------------- the result

void rcv_recovery::rcv_self_recovery_file_list()
{
    delete frame_file;
    file_labels.fill(nullptr);
    no_answer = nullptr;
    no_fpga = nullptr;
    file_refused = nullptr;
    not_asked = nullptr;
    missed_line = nullptr;
    frame_file = new QFrame(ui->frame);
    frame_file->setObjectName(QStringLiteral("frame_file"));
    frame_file->setGeometry(kListArea);
    frame_file->setStyleSheet(kFrameStyle);

    RcvRecoveryResult* r = result();
    const QStringList list = r ? r->list() : QStringList();
    const int count = r ? r->count() : 0;
    const bool refused = refused_file != cardfile::Fault::kNone;
    const bool notLearned = unasked_ports != 0 || !missed_cards.empty();
    if (count == 0 && fpga_down)
        no_fpga = sentenceLabel(0, pages::pick(kNoFpga));
    else if (count == 0 && refused)
        fileRefusedLines(0);
    else if (count == 0 && notLearned)
        notLearnedLines(0);
    else if (count == 0 && asked == kNotAsked)
        sentenceLabel(0, pages::pick(kAskFirst));
    else if (count == 0 && asked == kAnswered)
        sentenceLabel(0, pages::pick(kNoResult));
    int line = 0;
    for (; line < count && line < kLines && line < list.size(); ++line) {
        const QStringList fields = list[line].split(QLatin1Char('/'));
        if (fields.size() >= kFields)
            lineLabel(line, fields);
    }
    // The card worked on was not recovered: it is still listed, as it still
    // needs recovery.
    if (count != 0 && fpga_down && line < kLines)
        no_fpga = sentenceLabel(line, pages::pick(kNoFpga));
    else if (count != 0 && refused && line + 1 < kLines)
        fileRefusedLines(line);
    else if (count != 0 && r->silent() && line < kLines)
        no_answer = sentenceLabel(line, pages::pick(kNoAnswer));
    else if (count != 0 && notLearned)
        notLearnedLines(line);
    frame_file->show();
}

void rcv_recovery::notLearnedLines(int line)
{
    // Room is kept for a line of the ports that could not be asked.
    const int keep = unasked_ports != 0 ? 1 : 0;
    if (!missed_cards.empty() && line + 1 < kWholeLines) {
        missed_line = sentenceLabel(
            line++, pages::pick(kCardsMissed).arg(static_cast<int>(missed_cards.size())).arg(cards_waited));
        const QStringList cards = ToolPage::missedCardLines(missed_cards);
        for (int i = 0; i < cards.size() && line < kWholeLines && (i == 0 || line < kWholeLines - keep); ++i)
            sentenceLabel(line++, cards[i]);
    }
    if (unasked_ports != 0 && line + 1 < kWholeLines)
        notAskedLines(line);
    else if (unasked_ports != 0 && line < kWholeLines)
        not_asked = sentenceLabel(line, pages::pick(kNoLink).arg(ToolPage::portNames(unasked_ports)));
}

void rcv_recovery::notAskedLines(int line)
{
    not_asked = sentenceLabel(line, pages::pick(kPortsNotAsked));
    sentenceLabel(line + 1, pages::pick(kNoLink).arg(ToolPage::portNames(unasked_ports)));
}

void rcv_recovery::fileRefusedLines(int line)
{
    file_refused = sentenceLabel(line, pages::pick(kFileRefused));
    sentenceLabel(line + 1, fileFaultText(refused_file));
}

QLabel* rcv_recovery::sentenceLabel(int line, const QString& text)
{
    QLabel* sentence = new QLabel(text, frame_file);
    sentence->setGeometry(kLineX, kLineY + kLinePitch * line, kLineWidth, kLineHeight);
    sentence->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sentence->setStyleSheet(kLineStyle);
    sentence->setFont(lineFont());
    pages::fitText(sentence);
    return sentence;
}

void rcv_recovery::lineLabel(int line, const QStringList& fields)
{
    const QRect place(kLineX, kLineY + kLinePitch * line, kLineWidth, kLineHeight);
    recovery_refused = fieldNumber(fields[kCardField]) > fieldNumber(fields[kCountField]) ? 1 : 0;
    const QString card = QString::fromLatin1(recovery_refused ? kCardRed : kCardWhite).arg(fields[kCardField]);
    const QString comma = QStringLiteral(", ");
    QLabel* label = new QLabel(frame_file);
    label->setTextFormat(Qt::RichText);
    label->setFont(lineFont());
    label->setText(pages::pick(kFind) + QLatin1Char(' ') + pages::pick(kScreen) + fields[kScreenField] + comma +
                   pages::pick(kLed) + fields[kPortField] + comma + pages::pick(kRcv) + card);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setStyleSheet(line == file_select ? kLineSelectedStyle : kLineStyle);
    file_labels[line] = label;

    QPushButton* b = new QPushButton(frame_file);
    b->setGeometry(place);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(QStringLiteral("background-color: transparent;"));
    b->setObjectName(QString::number(line));
    connect(b, &QPushButton::clicked, this, &rcv_recovery::kel_button_file_clicked);
}

void rcv_recovery::kel_button_file_clicked()
{
    bool ok = false;
    const int line = sender() ? sender()->objectName().toInt(&ok) : -1;
    if (!ok || line < 0 || line >= kLines || !file_labels[line])
        return;
    if (file_labels[file_select])
        file_labels[file_select]->setStyleSheet(kLineStyle);
    file_select = static_cast<u8>(line);
    file_labels[line]->setStyleSheet(kLineSelectedStyle);
}
