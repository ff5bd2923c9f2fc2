// The selector widget: a combo box between a "<" and a ">" label, in one of
// two looks. The default look (orange borders) says the selection can be
// stepped; the modify look (blue borders) says the owner's keys act on
// something else for now. It handles no key and no signal of its own: the
// owner steps the selection and switches the look (the user-mode page uses
// it as its slot selector).
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;

class kelcontrol : public QWidget {
    Q_OBJECT
public:
    // The three rectangles are in the widget's own coordinates; the owner
    // places the widget itself.
    kelcontrol(QRect box, QRect left, QRect right, QWidget* parent = nullptr);
    ~kelcontrol() override;

    void set_box_modify();
    void set_box_default();
    void set_boxindexsel(char index);

    // The owner fills the combo box itself.
    QComboBox* comboBox() const { return combo; }
    bool modifyLook() const { return modify; }

private:
    void setLook(bool modifyLook);

    // The combo box's and the arrows' borders, orange or blue.
    const QString look_default;
    const QString look_modify;
    QComboBox* combo = nullptr;
    QLabel* left_label = nullptr;
    QLabel* right_label = nullptr;
    bool modify = false;
};
