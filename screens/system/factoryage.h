// The aging-log page: page 23, opened from the advanced menu once its access
// code was typed. The aging log, 16 lines a page as coloured text (register
// 42 as a count, the five status bits of register 40 green when set and red
// when clear, register 43), the number of lines, the page shown and the five
// counters of register 42's growth. "Nex" and "Priv" page through it, by
// touch or by the keys; the tick refreshes it after every three-minute turn.
// Its texts are the same in every language.
#pragma once

#include "screens/page.h"

#include <QStringList>

namespace Ui {
class factoryage;
}

class factoryage : public Page {
    Q_OBJECT
public:
    static constexpr int kLinesPerPage = 16;

    explicit factoryage(QWidget* parent = nullptr);
    ~factoryage() override;

    void language_changed() override {}

    // Shows the page now chosen of the log as it is now, or, while the log is
    // empty, the time with the note that aging runs.
    void update_agelog();

    // Pages of a log of n lines.
    static int pageCount(int lines);
    // The rich text of page `page` of `log`; a line that is not five fields
    // is left out.
    static QString pageText(const QStringList& log, int page);

    int pageIndex() const { return page_index; }

public slots:
    // Next page, from the last back to the first; nothing while the log is empty.
    void on_ButtonNext_clicked();
    // Previous page; nothing on the first.
    void on_ButtonPriv_clicked();

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private:
    void showSummary(int lines, const QString& pageLabel);

    Ui::factoryage* ui;
    int page_index = 0;
};
