#include "tools/tool_page.h"

#include "app/page_support.h"
#include "app/tip.h"
#include "fpga/fpga_manage.h"
#include "tools/qroundprogressbar.h"

#include <QStringList>

namespace {

// A job refused before it sent anything: what was not done, then why.
const pages::Texts kScanNotLoaded = {QStringLiteral("扫描文件未加载："),
                                     QStringLiteral("The scan file was not loaded:"),
                                     QStringLiteral("Файл сканирования не загружен:"),
                                     QStringLiteral("Chưa tải tệp quét:"), QStringLiteral("掃描檔案未載入：")};
const pages::Texts kCardsNotPlaced = {QStringLiteral("快捷点屏未执行："), QStringLiteral("The cards were not placed:"),
                                      QStringLiteral("Карты не размещены:"), QStringLiteral("Chưa định vị thẻ nhận:"),
                                      QStringLiteral("快捷點屏未執行：")};
const pages::Texts kNotSaved = {QStringLiteral("参数未固化："), QStringLiteral("The parameters were not saved:"),
                                QStringLiteral("Параметры\u00a0не\u00a0сохранены:"),
                                QStringLiteral("Chưa lưu thông số:"), QStringLiteral("參數未固化：")};
const pages::Texts kMappingNotSwitched = {QStringLiteral("Mapping未切换："),
                                          QStringLiteral("Mapping was not switched:"),
                                          QStringLiteral("Mapping не переключён:"),
                                          QStringLiteral("Chưa chuyển Mapping:"), QStringLiteral("Mapping未切換：")};
// The port of the job, as its tile names it (LED1 is port 0).
const pages::Texts kPortDown = {QStringLiteral("网口LED%1未连接。"), QStringLiteral("LED%1 has no link."),
                                QStringLiteral("порт LED%1 не подключён."), QStringLiteral("cổng LED%1 chưa kết nối."),
                                QStringLiteral("網口LED%1未連接。")};
const pages::Texts kNoCards = {
    QStringLiteral("网口LED%1上未发现接收卡。"), QStringLiteral("LED%1 has no receiving cards."),
    QStringLiteral("на порту LED%1 нет карт."), QStringLiteral("cổng LED%1 không có thẻ nhận."),
    QStringLiteral("網口LED%1上未發現接收卡。")};
// Several ports, named (%1), none of which has a card; the last line of a
// save or mapping switch's refusal when more ports than lines have none.
const pages::Texts kNoCardsOnPorts = {
    QStringLiteral("网口%1上均未发现接收卡。"), QStringLiteral("%1 have no receiving cards."),
    QStringLiteral("на портах %1 нет карт."), QStringLiteral("các cổng %1 không có thẻ nhận."),
    QStringLiteral("網口%1上均未發現接收卡。")};
// A save or mapping switch: none of the LAN ports has a link.
const pages::Texts kNoLinks = {QStringLiteral("所有网口均未连接。"), QStringLiteral("no LAN port has a link."),
                               QStringLiteral("ни один порт не подключён."),
                               QStringLiteral("không cổng nào được kết nối."), QStringLiteral("所有網口均未連接。")};
const pages::Texts kScreenOutOfRange = {
    QStringLiteral("屏幕参数超出范围。"), QStringLiteral("the screen settings are out of range."),
    QStringLiteral("параметры экрана вне допустимых пределов."), QStringLiteral("thông số màn hình vượt quá giới hạn."),
    QStringLiteral("螢幕參數超出範圍。")};
// Why a file was refused.
const pages::Texts kFileMissing = {QStringLiteral("找不到该文件。"), QStringLiteral("the file was not found."),
                                   QStringLiteral("файл не найден."), QStringLiteral("không tìm thấy tệp."),
                                   QStringLiteral("找不到該檔案。")};
const pages::Texts kFileTooLarge = {QStringLiteral("文件大于%1 MB。"), QStringLiteral("the file is over %1 MB."),
                                    QStringLiteral("файл больше %1 МБ."), QStringLiteral("tệp lớn hơn %1 MB."),
                                    QStringLiteral("檔案大於%1 MB。")};
const pages::Texts kFileForeign = {
    QStringLiteral("文件格式无法识别。"), QStringLiteral("the file's format is unknown."),
    QStringLiteral("формат файла не распознан."), QStringLiteral("không nhận ra định\u00a0dạng tệp."),
    QStringLiteral("檔案格式無法識別。")};
const pages::Texts kFileCutShort = {QStringLiteral("文件不完整。"), QStringLiteral("the file is cut short."),
                                    QStringLiteral("файл обрезан."), QStringLiteral("tệp không đầy đủ."),
                                    QStringLiteral("檔案不完整。")};
const pages::Texts kFileDamaged = {QStringLiteral("文件已损坏。"), QStringLiteral("the file is damaged."),
                                   QStringLiteral("файл повреждён."), QStringLiteral("tệp bị hỏng."),
                                   QStringLiteral("檔案已損壞。")};
// A job that takes the one file there is found several.
const pages::Texts kFileSeveral = {
    QStringLiteral("存有多个文件，均未使用。"), QStringLiteral("there are several files: none is used."),
    QStringLiteral("файлов несколько, ни один не использован."), QStringLiteral("có nhiều tệp, không dùng tệp nào."),
    QStringLiteral("存有多個檔案，均未使用。")};

// Cards whose answer to the job did not come in time: how many of how
// many (kept on one line), then which, a line per port. A card may have taken the job and
// answered late: the box does not tell what it cannot know.
const pages::Texts kCardsMissed = {
    QStringLiteral("任务未获确认！\n%2张接收卡中%1张未及时应答："),
    QStringLiteral("The job was not confirmed!\n%1 of %2 receiving cards\ndid not answer in time:"),
    QStringLiteral("Нет подтверждения!\nКарт без ответа в\u00a0срок: %1\u00a0из\u00a0%2"),
    QStringLiteral("Tác vụ chưa được xác nhận!\nCó %1 trong %2 thẻ nhận\nkhông phản hồi kịp thời:"),
    QStringLiteral("任務未獲確認！\n%2張接收卡中%1張未及時應答："),
};
// One port's cards: its tile's name and the cards' numbers (1 nearest the
// box), one card or several.
const pages::Texts kPortCard = {QStringLiteral("LED%1：第%2张"), QStringLiteral("LED%1: card %2"),
                                QStringLiteral("LED%1: карта %2"), QStringLiteral("LED%1: thẻ %2"),
                                QStringLiteral("LED%1：第%2張")};
const pages::Texts kPortCards = {QStringLiteral("LED%1：第%2张"), QStringLiteral("LED%1: cards %2"),
                                 QStringLiteral("LED%1: карты %2"), QStringLiteral("LED%1: thẻ %2"),
                                 QStringLiteral("LED%1：第%2張")};
const pages::Texts kNumberSeparator = {QStringLiteral("、"), QStringLiteral(","), QStringLiteral(","),
                                       QStringLiteral(","), QStringLiteral("、")};

constexpr int kListedPorts = 3;  // lines of cards the tip has room for
constexpr int kListedRuns = 4;   // runs of cards on one line
const QChar kNoBreak(QChar::Nbsp);
constexpr char16_t kEllipsis = 0x2026;
// "…", kept on its line.
QString moreMark()
{
    return QString(kNoBreak) + QChar(kEllipsis);
}

bool chinese()
{
    return pages::textLanguage() == pages::ZH || pages::textLanguage() == pages::TW;
}

// A run of cards as people number them: "3" or "5-7".
QString runText(int first, int last)
{
    return first == last ? QString::number(first + 1) : QStringLiteral("%1-%2").arg(first + 1).arg(last + 1);
}

// The cards of one port (in chain order), runs of neighbours as ranges, at
// most kListedRuns of them and "…" after them when there are more; the
// numbers never break apart on a wrap.
QString portLine(u8 port, const std::vector<u16>& cards)
{
    QStringList runs;
    bool more = false;
    for (size_t i = 0; i < cards.size();) {
        size_t j = i;
        while (j + 1 < cards.size() && cards[j + 1] == cards[j] + 1)
            ++j;
        if (runs.size() == kListedRuns) {
            more = true;
            break;
        }
        runs << runText(cards[i], cards[j]);
        i = j + 1;
    }
    const QString separator = pages::pick(kNumberSeparator) + (chinese() ? QString() : QString(kNoBreak));
    const bool one = cards.size() == 1;
    const QString line = pages::pick(one ? kPortCard : kPortCards).arg(port + 1).arg(runs.join(separator));
    return more ? line + moreMark() : line;
}

// A save or mapping switch with no card on any linked port: a line per
// port, at most kListedPorts lines; with more ports than that, the last
// line names the further ports.
QString emptyPortLines(u16 ports)
{
    std::vector<int> empty;
    for (int p = 0; p < fpga::kSendPorts; ++p)
        if (ports & (1u << p))
            empty.push_back(p);
    const bool more = empty.size() > size_t(kListedPorts);
    const size_t listed = more ? size_t(kListedPorts - 1) : empty.size();
    QStringList lines;
    for (size_t i = 0; i < listed; ++i)
        lines << pages::pick(kNoCards).arg(empty[i] + 1);
    if (more) {
        u16 further = 0;
        for (size_t i = listed; i < empty.size(); ++i)
            further = static_cast<u16>(further | 1u << empty[i]);
        // The names of the ports stay on one line.
        lines << pages::pick(kNoCardsOnPorts).arg(ToolPage::portNames(further).replace(QLatin1Char(' '), kNoBreak));
    }
    return lines.join(QLatin1Char('\n'));
}

QString refusalText(const CardJobEnd& end)
{
    switch (end.refused) {
    case JobRefusal::kPortDown: return pages::pick(kPortDown).arg(end.port + 1);
    case JobRefusal::kNoCards:
        return end.empty_ports != 0 ? emptyPortLines(end.empty_ports) : pages::pick(kNoCards).arg(end.port + 1);
    case JobRefusal::kNoLinks: return pages::pick(kNoLinks);
    case JobRefusal::kScreen: return pages::pick(kScreenOutOfRange);
    case JobRefusal::kFile: return ToolPage::fileFaultText(end.file);
    case JobRefusal::kNone: break;
    }
    return QString();
}

// What a job refused before it sent anything did not do.
const pages::Texts& refusalLead(u8 job)
{
    switch (job) {
    case SEND_LOAD_SCAN: return kScanNotLoaded;
    case SEND_SAVE_PARA: return kNotSaved;
    case SEND_MAPPING_ENABLE: return kMappingNotSwitched;
    default: return kCardsNotPlaced;
    }
}

// Each line's last words kept together, as the tip box wraps each line.
QString eachLineWhole(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = pages::lastWordsTogether(line);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

ToolPage::ToolPage(PAGE_FOCUS number, QWidget* parent) : Page(number, parent)
{
    if (fpga_manage* fpga = fpga_manage::p_fpga_manage)
        connect(&fpga->job_report, &CardJobReport::sig_qround_bar_update, this, &ToolPage::jobProgress);
}

ToolPage::~ToolPage()
{
    // The bar is the page's child and goes with it.
    if (g_qround_bar && g_qround_bar->parent() == this)
        QRoundProgressBar::del_qround_bar();
}

bool ToolPage::jobShown()
{
    return g_qround_bar != nullptr;
}

bool ToolPage::mayPostJob()
{
    // A USB upgrade shares the manager's step counter: a job posted during
    // one would send the upgrade back to its first step.
    return !jobShown() && g_send_para.cmd.load() == SEND_NONE && g_usb_grade.load() == 0;
}

void ToolPage::slot_Button_back_clicked()
{
    if (!jobShown())
        Page::slot_Button_back_clicked();
}

bool ToolPage::modeRefused() const
{
    return Page::modeRefused() || jobShown();
}

void ToolPage::jobProgress(int percent)
{
    // The bar first: it closes at 100, before the end is told.
    emit sig_qround_bar_update(percent);
    if (percent < fpga_manage::kProgressEnd || !job_posted_)
        return;
    job_posted_ = false;
    const fpga_manage* fpga = fpga_manage::p_fpga_manage;
    jobEnded(fpga && fpga->job_report.no_fpga.load(), fpga ? fpga->job_report.end() : CardJobEnd{});
}

void ToolPage::jobEnded(bool noFpga, const CardJobEnd& end)
{
    if (!g_tip)
        return;
    if (noFpga) {
        g_tip->tip_create(TIP::kJobNoFpga);
        return;
    }
    const QString text = jobNotDoneText(end);
    if (!text.isEmpty())
        g_tip->tip_create(TIP::kJobNotDone, text);
}

QString ToolPage::jobNotDoneText(const CardJobEnd& end)
{
    if (end.refused != JobRefusal::kNone)
        return eachLineWhole(pages::pick(refusalLead(end.job)) + QLatin1Char('\n') + refusalText(end));
    if (end.missed.empty())
        return QString();
    const QString count = pages::pick(kCardsMissed).arg(end.missed.size()).arg(end.cards);
    return eachLineWhole(count) + QLatin1Char('\n') + missedCardLines(end.missed).join(QLatin1Char('\n'));
}

QString ToolPage::fileFaultText(cardfile::Fault fault)
{
    switch (fault) {
    case cardfile::Fault::kMissing: return pages::pick(kFileMissing);
    case cardfile::Fault::kTooLarge:
        return pages::pick(kFileTooLarge).arg(cardfile::kMaxFileBytes / cardfile::kMebibyte);
    case cardfile::Fault::kForeign: return pages::pick(kFileForeign);
    case cardfile::Fault::kCutShort: return pages::pick(kFileCutShort);
    case cardfile::Fault::kDamaged: return pages::pick(kFileDamaged);
    case cardfile::Fault::kSeveral: return pages::pick(kFileSeveral);
    case cardfile::Fault::kNone: break;
    }
    return QString();
}

QStringList ToolPage::missedCardLines(const std::vector<CardPlace>& missed)
{
    std::vector<std::pair<u8, std::vector<u16>>> ports;
    for (const CardPlace& c : missed) {
        if (ports.empty() || ports.back().first != c.port)
            ports.push_back({c.port, {}});
        ports.back().second.push_back(c.card);
    }
    const bool more = ports.size() > size_t(kListedPorts);
    const size_t listed = more ? size_t(kListedPorts - 1) : ports.size();
    QStringList lines;
    for (size_t i = 0; i < listed; ++i)
        lines << portLine(ports[i].first, ports[i].second);
    if (more) {
        QStringList names;
        for (size_t i = listed; i < ports.size(); ++i)
            names << QStringLiteral("LED%1").arg(ports[i].first + 1);
        const QString separator = pages::pick(kNumberSeparator) + (chinese() ? QString() : QString(kNoBreak));
        lines << names.join(separator) + moreMark();
    }
    return lines;
}

QString ToolPage::portNames(u16 ports)
{
    QStringList names;
    for (int p = 0; p < fpga::kSendPorts; ++p)
        if (ports & (1u << p))
            names << QStringLiteral("LED%1").arg(p + 1);
    return names.join(pages::pick(kNumberSeparator) + (chinese() ? QString() : QStringLiteral(" ")));
}

bool ToolPage::postJob(u8 job)
{
    if (!mayPostJob())
        return false;
    QRoundProgressBar::create_qround_bar(this);
    // Bars of earlier jobs stay hidden on the page: only the new one listens.
    disconnect(this, &ToolPage::sig_qround_bar_update, nullptr, nullptr);
    connect(this, &ToolPage::sig_qround_bar_update, g_qround_bar, &QRoundProgressBar::para_sync);
    job_posted_ = true;
    g_send_para.post(job);
    if (fpga_manage* fpga = fpga_manage::p_fpga_manage)
        fpga->wake();
    return true;
}
