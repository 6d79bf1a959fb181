#pragma once
// Colours that stay readable whatever the palette: contrast as WCAG figures it.

#include <QColor>

#include <algorithm>
#include <cmath>

namespace quillon {

// The relative luminance of a colour, as contrast ratios are figured.
inline double luminance(const QColor &c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

inline double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// ink itself where it reads well on paper (a contrast of 4.5 or more), otherwise the same hue
// made lighter on dark paper, darker on light paper, until it does.
inline QColor readableOn(const QColor &ink, const QColor &paper)
{
    constexpr double kReadable = 4.5;
    if (contrast(ink, paper) >= kReadable)
        return ink;
    const bool darkPaper = luminance(paper) < 0.18;
    float h = 0, s = 0, l = 0, a = 1;
    ink.getHslF(&h, &s, &l, &a);
    QColor c = ink;
    for (int step = 1; step <= 20; ++step) {
        const float t = step / 20.0f;
        c = QColor::fromHslF(h, s, darkPaper ? l + (1.0f - l) * t : l * (1.0f - t), a);
        if (contrast(c, paper) >= kReadable)
            break;
    }
    return c;
}

} // namespace quillon
