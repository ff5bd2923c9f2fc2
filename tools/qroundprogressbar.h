// The round progress bar a receiving-card tool page lays over itself while
// the FPGA manager's thread carries out the job the page posted. At most one
// exists (g_qround_bar), and while it does the tool pages refuse to close or
// to post another job. Progress arrives as whole percentages through the
// page's sig_qround_bar_update(int) into para_sync(int); a value above 99
// closes the bar.
#pragma once

#include <QWidget>

class QDialog;
class QPainter;

class QRoundProgressBar : public QWidget {
    Q_OBJECT
public:
    enum BarStyle { Ring = 0, Pie = 1, Line = 2 };

    QRoundProgressBar(QWidget* parent, BarStyle style);

    void setRange(double min, double max);
    void setMinimum(double m);
    void setMaximum(double m);
    void setValue(double v);
    void setValue(int v);
    void setStartAngle(double angle);
    void setOutlinePenWidth(double width);
    void setDataPenWidth(double width);
    void setBarStyle(BarStyle style);
    void setDecimals(int d);

    double getMinimum() const { return minimum; }
    double getMaximum() const { return maximum; }
    double getValue() const { return value; }
    int getDecimals() const { return decimals; }

    // The bar on `parent` at 120, 70, 100 x 100, value 0, shown, recorded in
    // g_qround_bar; nothing when a bar exists already.
    static void create_qround_bar(QDialog* parent);
    // Forgets the bar (it is neither closed nor deleted).
    static void del_qround_bar();

    // The percentage the bar shows ("65%").
    QString percentText() const;

    static constexpr int kX = 120;
    static constexpr int kY = 70;
    static constexpr int kSize = 100;

public slots:
    // Acts on the bar in g_qround_bar, whichever bar receives the call:
    // above 99 closes it and forgets it; otherwise shows the value.
    void para_sync(int fuc);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawBase(QPainter& p, const QRectF& base, const QRectF& inner);
    void drawValue(QPainter& p, const QRectF& base, const QRectF& inner, double span);
    void drawText(QPainter& p, const QRectF& base);
    // The percentage's font: the largest up to 36 pixels whose ink stays
    // inside the round space the drawing leaves (textRadius), measured in
    // whatever face stands in for the one asked for.
    QFont percentFont() const;
    double textRadius() const;

    double minimum = 0.0;
    double maximum = 100.0;
    double value = 0.0;
    BarStyle barStyle;
    int decimals = 0;
    double startAngle = 90.0;      // degrees, 0 at 3 o'clock, counter-clockwise
    double outlinePenWidth = 0.0;  // Pie and Line: the base's outline
    double dataPenWidth = 0.0;     // Pie: the value's outline
};

// The one live bar, or null.
extern QRoundProgressBar* g_qround_bar;
