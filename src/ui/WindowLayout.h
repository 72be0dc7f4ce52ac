#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

namespace sondrel {

// How the client area grows beyond its designed size: at the stretch point the design is
// cut in four; what lies left of and above it stays where it is, what lies right of it moves
// with the right edge, what lies below it with the bottom edge, and the cut widens.
struct WindowLayout {
    QSize design{481, 388};
    QPoint stretch{236, 200};

    // A rectangle of the design at the client size now (never smaller than the design).
    QRect placed(const QRect& designed, const QSize& now) const
    {
        const int dx = now.width() > design.width() ? now.width() - design.width() : 0;
        const int dy = now.height() > design.height() ? now.height() - design.height() : 0;
        return designed.translated(designed.x() >= stretch.x() ? dx : 0, designed.y() >= stretch.y() ? dy : 0);
    }
    // A rectangle that spans the cut: it keeps its distances to all four edges.
    QRect spanned(const QRect& designed, const QSize& now) const
    {
        return designed.adjusted(0, 0, std::max(0, now.width() - design.width()),
                                 std::max(0, now.height() - design.height()));
    }
};

} // namespace sondrel
