#pragma once
// A vertical line two pixels wide in one of the palette's colours: the splitter's edges.

#include <QPainter>
#include <QWidget>

namespace quillon {

class LinePainter : public QWidget {
public:
    LinePainter(QWidget *parent, QPalette::ColorRole role) : QWidget(parent), m_role(role)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(m_role));
    }

private:
    QPalette::ColorRole m_role;
};

} // namespace quillon
