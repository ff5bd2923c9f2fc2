#include "screens/menus/picture_values.h"

#include "app/kelrampara.h"
#include "videochip/x518_manage.h"

#include <QLineEdit>
#include <algorithm>

namespace {

const char* const kFieldStyle =
    "color:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);\nborder:1px solid rgb(255, 255, 255);";
const char* const kFieldSelectedStyle =
    "color:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);\nborder:1px solid rgb(255,171,84);";
const char* const kFieldEditStyle =
    "color:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);\nborder:1px solid rgb(255,0,0);";

}  // namespace

PictureValuesPage::PictureValuesPage(PAGE_FOCUS number, QWidget* parent) : Page(number, parent) {}

void PictureValuesPage::addValueRow(int entry, QLineEdit* field, Field member)
{
    rows.push_back({entry, field, member});
}

EditedFields::Values PictureValuesPage::blockValues() const
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    EditedFields::Values held;
    for (const ValueRow& row : rows)
        held.push_back(store ? static_cast<i16>(store->ram_para.*row.member) : 0);
    return held;
}

EditedFields::Values PictureValuesPage::shownValues() const
{
    EditedFields::Values shown;
    for (const ValueRow& row : rows)
        shown.push_back(row.field->text().toInt());  // 0 when not a number
    return shown;
}

void PictureValuesPage::para_init()
{
    if (!KelRamPara::p_kelrampara_config)
        return;
    const EditedFields::Values held = blockValues();
    seen.begin(held);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].field->setText(QString::number(held[i]));
}

void PictureValuesPage::followBlock()
{
    followRows(edit_flag ? focusedRow() : nullptr);
}

void PictureValuesPage::followRows(const ValueRow* edited)
{
    if (!KelRamPara::p_kelrampara_config)
        return;
    const EditedFields::Values shown = shownValues();
    const EditedFields::Values next = seen.follow(shown, blockValues());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (next[i] == shown[i])
            continue;
        rows[i].field->setText(QString::number(next[i]));
        // The edit goes on from what the link wrote, and BACK returns to it.
        if (&rows[i] == edited)
            current = start = next[i];
    }
}

void PictureValuesPage::syncUpdate(int code)
{
    Page::syncUpdate(code);
    followBlock();
}

void PictureValuesPage::writeField(Field member, u16 value)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    QMutexLocker lock(&x518_manage::mutex);
    store->ram_para.*member = value;
    KelRamPara::raiseApplyLocked();
}

const PictureValuesPage::ValueRow* PictureValuesPage::focusedRow() const
{
    const auto at = std::find_if(rows.begin(), rows.end(), [this](const ValueRow& r) { return r.entry == ui_select; });
    return at == rows.end() ? nullptr : &*at;
}

// ---------------------------------------------------------------- keys

void PictureValuesPage::onLeft()
{
    edit_flag ? step(-1) : stepFocus(-1);
}

void PictureValuesPage::onRight()
{
    edit_flag ? step(1) : stepFocus(1);
}

void PictureValuesPage::onOk()
{
    if (edit_flag)
        return endEdit(true);
    if (focusedRow()) {
        edit_flag = true;
        get_sel_value();
    } else {
        edit_flag = okOnOtherRow(ui_select);
        restyle(ui_select);
    }
}

void PictureValuesPage::get_sel_value()
{
    const ValueRow* row = focusedRow();
    if (!row)
        return;
    current = row->field->text().toInt();  // 0 when not a number
    start = current;
    {
        QMutexLocker lock(&x518_manage::mutex);
        link_stamp = linkStamp(*row);
    }
    restyle(ui_select);
}

u32 PictureValuesPage::linkStamp(const ValueRow& row) const
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return 0;
    const auto* block = reinterpret_cast<const u8*>(&store->ram_para);
    const auto* field = reinterpret_cast<const u8*>(&(store->ram_para.*row.member));
    return store->linkWriteStamp(static_cast<u32>(field - block));
}

void PictureValuesPage::updownset_sel_value(char step)
{
    if (const ValueRow* row = focusedRow())
        stepValue(*row, step);
}

void PictureValuesPage::onBack()
{
    if (edit_flag)
        return endEdit(false);
    Page::onBack();
}

void PictureValuesPage::choicePicked(int entry, int index)
{
    if (edit_flag && entry != ui_select)
        endEdit(false);
    if (!pickOtherRow(entry, index))
        return;
    edit_flag = false;
    endOtherEdit(entry, true);
    restyle(entry);
}

void PictureValuesPage::step(int direction)
{
    if (focusedRow())
        updownset_sel_value(direction > 0 ? kUp : kDown);
    else
        stepOtherRow(ui_select, direction);
}

void PictureValuesPage::endEdit(bool keep)
{
    edit_flag = false;
    if (focusedRow())
        updownset_sel_value(keep ? kKeep : kRestore);
    else
        endOtherEdit(ui_select, keep);
    restyle(ui_select);
}

void PictureValuesPage::stepValue(const ValueRow& row, char s)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    // The chip manager has not taken the last step yet: this one is dropped.
    if (!store || x518_manage::apply_flag.load() != 0)
        return;
    QMutexLocker lock(&x518_manage::mutex);
    followRows(&row);
    const u32 stamp = linkStamp(row);
    if (stamp != link_stamp) {
        // A link wrote the field since (perhaps the value a step had
        // written): the edit goes on from it, and BACK returns to it.
        link_stamp = stamp;
        current = start = static_cast<i16>(store->ram_para.*row.member);
    }
    const bool stepped = current != start;
    switch (s) {
    case kUp: ++current; break;
    case kDown: --current; break;
    case kKeep: start = current; break;
    case kRestore: current = start; break;
    default: break;
    }
    current = std::clamp(current, kMinValue, kMaxValue);
    // A step is written even at a bound; BACK writes only what undoes the
    // steps, and OK has nothing left to write.
    if (s == kUp || s == kDown || (s == kRestore && stepped)) {
        store->ram_para.*row.member = static_cast<u16>(current);
        KelRamPara::raiseApplyLocked();
        seen.took(static_cast<std::size_t>(&row - rows.data()), current);
    }
    row.field->setText(QString::number(current));
}

// ---------------------------------------------------------------- styles

QString PictureValuesPage::normalStyle(int) const
{
    return QString::fromLatin1(kFieldStyle);
}

QString PictureValuesPage::selectedStyle(int) const
{
    return QString::fromLatin1(edit_flag ? kFieldEditStyle : kFieldSelectedStyle);
}
