// The application's named colours, each with a light and a dark value, chosen by the palette the
// widget is drawn with (a dark window background picks the dark value). Main thread.
#pragma once

#include <QColor>
#include <QPalette>

namespace CWColors {

inline bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }
inline QColor systemPink(const QPalette& palette) { return isDark(palette) ? QColor(0xFF, 0x37, 0x5F) : QColor(0xFF, 0x2D, 0x55); }
inline QColor systemYellow(const QPalette& palette) { return isDark(palette) ? QColor(0xFF, 0xD6, 0x0A) : QColor(0xFF, 0xCC, 0x00); }
inline QColor systemBlue(const QPalette& palette) { return isDark(palette) ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF); }
// The waveform's bars and the background behind them (also behind the audio document's overlay).
inline QColor waveformForeground(const QPalette& palette) { return systemBlue(palette); }
inline QColor waveformBackground(const QPalette& palette)
{
    QColor background = systemBlue(palette);
    background.setAlphaF(0.3f);
    return background;
}
// A colour blended the fraction of the way toward black.
inline QColor blendedTowardBlack(const QColor& color, double fraction)
{
    return QColor::fromRgbF(float(color.redF() * (1 - fraction)), float(color.greenF() * (1 - fraction)),
                            float(color.blueF() * (1 - fraction)), color.alphaF());
}

} // namespace CWColors
