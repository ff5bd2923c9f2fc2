// What the picture-quality and colour-temperature pages share: rows of
// values 0-100, each a u16 of the parameter block. LEFT and RIGHT move
// between rows; OK begins an edit, in which LEFT and RIGHT step the value by
// one and every step is written to the block and applied at once; OK keeps
// the value, BACK puts back the one the row had when the edit began. A step
// asked for while the chip manager has not yet taken the last change is
// dropped. Rows that are not values (a reset, a choice) are the page's own.
//
// Another writer (a control link) may write a row's field while the page is
// open: every row follows the block, the edited one too, and an edit whose
// field was written meanwhile goes on from that value, which BACK then puts
// back. OK and BACK write only what the operator's steps changed, so a
// value a link wrote is never written back over.
#pragma once

#include "app/ram_para.h"
#include "screens/page.h"

#include <vector>

class QLineEdit;

class PictureValuesPage : public Page {
    Q_OBJECT
public:
    static constexpr int kMinValue = 0;
    static constexpr int kMaxValue = 100;

    bool editing() const { return edit_flag; }

    // The steps of updownset_sel_value.
    enum Step : char { kUp = 0, kDown = 1, kKeep = 2, kRestore = 3 };
    // An edit of the focused value row begins: the value and the value to
    // go back to are the field's number (0 for text that is none), and the
    // field draws the edit frame. Nothing on a row that is no value.
    void get_sel_value();
    // One step of the focused value row's edit (Step), from the value the
    // block holds when another writer changed it since the page looked:
    // kUp and kDown step the value (clamped to 0-100) and write it, kRestore
    // writes the value the edit began with when the steps changed it, kKeep
    // writes nothing; each with the apply raised, and shown in the field.
    // Dropped while the chip manager has not taken the last change; nothing
    // on a row that is no value.
    void updownset_sel_value(char step);

    // The rows follow the block (followBlock).
    void syncUpdate(int code) override;

protected:
    using Field = u16 KEL_RAM_PARA::*;

    PictureValuesPage(PAGE_FOCUS number, QWidget* parent);

    // Entry `entry` of the ring is a value row: `field` shows block field
    // `member`.
    void addValueRow(int entry, QLineEdit* field, Field member);
    // Every row from the block (values as signed numbers, as a link may
    // have written them).
    virtual void para_init();
    // The rows show what another writer wrote into the block since the page
    // looked (the row of an edit too, unless the operator's value is one no
    // step wrote); a page adds the rows that are its own.
    virtual void followBlock();

    // Rows that are not values: OK on one while browsing (true when an edit
    // of it begins), LEFT (-1) and RIGHT (+1) while it is edited, and the
    // end of its edit by OK (`keep`) or BACK.
    virtual bool okOnOtherRow(int entry) { return false; }
    virtual void stepOtherRow(int entry, int step) {}
    virtual void endOtherEdit(int entry, bool keep) {}
    // An entry picked in the open list of such a row's combo box: the row
    // shows it (true), to be confirmed as OK confirms its edit.
    virtual bool pickOtherRow(int entry, int index) { return false; }
    // An edit of another row is given up first, as BACK gives it up.
    void choicePicked(int entry, int index) override;

    // Writes a block field under the chip manager's mutex and raises the apply.
    static void writeField(Field member, u16 value);

    void onLeft() override;
    void onRight() override;
    void onOk() override;
    void onBack() override;
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private:
    struct ValueRow {
        int entry;
        QLineEdit* field;
        Field member;
    };
    const ValueRow* focusedRow() const;
    void step(int direction);
    void endEdit(bool keep);
    void stepValue(const ValueRow& row, char s);
    // followBlock's value rows; the edit of `edited` goes on from the value
    // its field follows to.
    void followRows(const ValueRow* edited);
    // The edited field's link-write stamp (under x518_manage::mutex).
    u32 linkStamp(const ValueRow& row) const;
    // The value rows' fields as the block holds them and as the page shows them.
    EditedFields::Values blockValues() const;
    EditedFields::Values shownValues() const;

    std::vector<ValueRow> rows;
    EditedFields seen;  // the value rows, each a field
    bool edit_flag = false;
    int current = 0;  // the value being edited
    int start = 0;    // the value when the edit began
    // The edited field's link-write stamp as the page last looked: a link
    // that wrote the field since, even its value as stepped, holds it.
    u32 link_stamp = 0;
};
