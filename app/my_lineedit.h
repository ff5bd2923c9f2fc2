// A line edit that opens the number keyboard when it is touched: pages
// promote their number fields to it and connect send_show.
#pragma once

#include <QLineEdit>

class My_lineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit My_lineEdit(QWidget* parent = nullptr);

signals:
    // The field was touched; `text` is what it shows.
    void send_show(QString text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
