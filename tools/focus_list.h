// A row of controls that the front-panel keys step through inside one step
// of a tool page. Only style sheets draw the focus, as on every page: the
// focused control wears its focused style, the others their resting one.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class FocusList {
public:
    struct Item {
        QWidget* widget;
        QString resting;
        QString focused;
    };

    void setItems(std::vector<Item> items)
    {
        items_ = std::move(items);
        at_ = 0;
    }
    int at() const { return at_; }
    int size() const { return static_cast<int>(items_.size()); }
    QWidget* current() const { return items_.empty() ? nullptr : items_[at_].widget; }

    // The focus to item i, drawn.
    void moveTo(int i)
    {
        if (items_.empty())
            return;
        drawResting();
        at_ = ((i % size()) + size()) % size();
        drawFocused();
    }
    // One item on (+1) or back (-1), wrapping at both ends.
    void step(int d) { moveTo(at_ + d); }
    void drawFocused() { draw(true); }
    void drawResting() { draw(false); }

private:
    void draw(bool focused)
    {
        if (items_.empty())
            return;
        const Item& item = items_[at_];
        item.widget->setStyleSheet(focused ? item.focused : item.resting);
    }

    std::vector<Item> items_;
    int at_ = 0;
};
