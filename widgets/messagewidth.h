#pragma once
// A message box as wide as its longest line. QMessageBox wraps its texts at about 500 pixels,
// which breaks a parse error and its path in the middle; fitMessageWidth() gives each text
// label at least the width of its longest line in its font, capped at what the screen and
// QMessageBox allow (at most 1000 pixels less the icon and margins), after which it wraps.
// Header only, so that a host that uses only the library's factory can use it too.

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

namespace quillon {

// Call after the texts are set, before the box is shown.
inline void fitMessageWidth(QMessageBox &box)
{
    const QScreen *screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 800;
    // QMessageBox's own limit for a box, less room for its icon and margins.
    const int boxLimit = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
    const int cap = std::max(boxLimit - 120, 0);
    for (QLabel *label : box.findChildren<QLabel *>()) {
        const QString name = label->objectName();
        if (name != QLatin1String("qt_msgbox_label") && name != QLatin1String("qt_msgbox_informativelabel"))
            continue;
        int widest = 0;
        for (const QString &line : label->text().split(QLatin1Char('\n')))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        label->setMinimumWidth(std::min(widest + 2, cap));
    }
}

} // namespace quillon
