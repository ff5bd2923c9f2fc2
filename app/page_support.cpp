#include "app/page_support.h"

#include "app/kelrampara.h"

#include <QWidget>

// The compiled-in pictures live in a static library; naming their
// initialiser here keeps them in the program.
static void initPngResource()
{
    Q_INIT_RESOURCE(png);
}

namespace pages {

Language textLanguage()
{
    const u8 lang = g_language.load();
    const u32 valid = g_lcd_lang_valid.load();
    switch (lang) {
    case ZH:
    case RU:
    case VN:
    case TW:
        if (valid & (1u << lang))
            return static_cast<Language>(lang);
        return EN;
    default:
        return EN;
    }
}

QString pick(const Texts& texts)
{
    return texts[textLanguage()];
}

void initPictures()
{
    initPngResource();
}

QString picture(const QString& name)
{
    static const char* const kPrefixes[kLanguages] = {"", "en_", "ru_", "vn_", "tn_"};
    return QStringLiteral(":/png/") + QLatin1String(kPrefixes[textLanguage()]) + name;
}

QString plainPicture(const QString& name)
{
    return QStringLiteral(":/png/") + name;
}

PanelKey panelKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_S:
    case Qt::Key_F4:
        return PanelKey::Left;
    case Qt::Key_R:
    case Qt::Key_F5:
        return PanelKey::Right;
    case Qt::Key_Q:
    case Qt::Key_F6:
        return PanelKey::Ok;
    case Qt::Key_O:
    case Qt::Key_PowerOff:
        return PanelKey::Back;
    case Qt::Key_M:
    case Qt::Key_Stop:
        return PanelKey::Mode;
    default:
        return PanelKey::None;
    }
}

PanelKey notedPress(int qtKey)
{
    if (qtKey == Qt::Key_F6)
        return PanelKey::Ok;
    if (qtKey == Qt::Key_PowerOff)
        return PanelKey::Back;
    return PanelKey::None;
}

void passKeyToKeyPad(int qtKey)
{
    // kel_keyboard: update_usb_keyEvent(qtKey) is called here once the key pad handler lands.
    (void)qtKey;
}

void moveFocus(QWidget* from, const QString& fromStyle, QWidget* to, const QString& toStyle)
{
    if (from)
        from->setStyleSheet(fromStyle);
    if (to)
        to->setStyleSheet(toStyle);
}

bool panelLocked()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store && store->ram_para.panel_lock != 0;
}

}  // namespace pages
