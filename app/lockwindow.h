// The home page: page 0, the status page shown over the main window at
// start and whenever the operator goes back from the main menu. It shows the
// LED canvas size, brightness, contrast, the audio state and the IP address,
// and one tile per window 0-3 with its source and input timing (or, while
// the video chip does not run, that its picture cannot be shown). Any touch,
// or OK, leaves it for the main window; MODE opens the user-mode page.
#pragma once

#include "app/global.h"
#include "app/page_support.h"

#include <QDialog>

namespace Ui {
class LockWindow;
}
class QFrame;
class QLabel;

class LockWindow : public QDialog, public pages::PanelKeyHandler {
    Q_OBJECT
public:
    static constexpr int kTiles = 4;

    explicit LockWindow(QWidget* parent = nullptr);
    ~LockWindow() override;

    // Refresh by the change notifier while page 0 has focus.
    void syncUpdate();
    void language_changed();
    void para_init();
    void image_init();
    void ip_changed();
    // Bit 7 of the audio window's audio byte: audio on.
    bool volume_check();

    // What the tests look at: the texts of tile i (name, state) and the
    // canvas-size line.
    QString tileName(int i) const;
    QString tileState(int i) const;
    QString canvasText() const;
    QFrame* tileFrame() const { return tiles; }

public slots:
    void on_main_Button_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // Everything a tile shows.
    struct TileLook {
        QString name;
        QString state;
        bool shown = false;
        bool current = false;
        bool frozen = false;
        bool operator==(const TileLook& o) const
        {
            return name == o.name && state == o.state && shown == o.shown && current == o.current && frozen == o.frozen;
        }
    };
    TileLook tileLook(int i) const;
    void showCanvasSize();
    void showVolume(bool audioOn);
    void addTile(int i);
    // Closes the page for the main window; `showMainWindow` for the OK key.
    void leave(bool showMainWindow);
    // MODE: closes the page for the user-mode page.
    void openUserModes();
    void onOk() override { leave(true); }
    void onMode() override { openUserModes(); }

    Ui::LockWindow* ui;
    QFrame* tiles = nullptr;
    QLabel* tile_name[kTiles] = {};
    QLabel* tile_state[kTiles] = {};
    TileLook tile_look[kTiles];  // what the tiles were built with
};
