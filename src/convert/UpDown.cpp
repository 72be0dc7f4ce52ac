#include "UpDown.h"

#include "ExceptionHook.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace sondrel {

namespace {
constexpr int ButtonWidth = 16;
constexpr int PositionMin = std::numeric_limits<qint16>::min();
constexpr int PositionMax = std::numeric_limits<qint16>::max();

QToolButton* makeArrow(QWidget* parent, Qt::ArrowType arrow)
{
    auto* b = new QToolButton(parent);
    b->setArrowType(arrow);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    b->setMinimumSize(1, 1);
    return b;
}
} // namespace

UpDown::UpDown(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_up = makeArrow(this, Qt::UpArrow);
    m_down = makeArrow(this, Qt::DownArrow);
    column->addWidget(m_up);
    column->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, guarded([this](bool) { stepBy(1); }));
    connect(m_down, &QToolButton::clicked, this, guarded([this](bool) { stepBy(-1); }));
}

QSize UpDown::sizeHint() const
{
    return {ButtonWidth, m_buddy ? m_buddy->sizeHint().height() : 21};
}

void UpDown::setBuddy(QLineEdit* buddy)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy) {
        m_buddy->installEventFilter(this);
        setPosition(m_pos);
    }
}

void UpDown::setRange(int minimum, int maximum)
{
    m_min = std::clamp(std::min(minimum, maximum), PositionMin, PositionMax);
    m_max = std::clamp(std::max(minimum, maximum), PositionMin, PositionMax);
    m_pos = static_cast<qint16>(clamp(m_pos));
}

int UpDown::clamp(int value) const
{
    return std::clamp(value, m_min, m_max);
}

QString UpDown::groupThousands(int value)
{
    const qint64 v = value;
    QString digits = QString::number(v < 0 ? -v : v);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return v < 0 ? QLatin1Char('-') + digits : digits;
}

bool UpDown::parseGrouped(const QString& text, int* value)
{
    QString t = text.trimmed();
    t.remove(QLatin1Char(','));
    bool ok = false;
    const int n = t.toInt(&ok, 10);
    if (ok)
        *value = n;
    return ok;
}

void UpDown::syncFromBuddy()
{
    int n = 0;
    if (m_buddy && parseGrouped(m_buddy->text(), &n) && n >= m_min && n <= m_max)
        m_pos = static_cast<qint16>(n);
}

int UpDown::position()
{
    syncFromBuddy();
    return m_pos;
}

void UpDown::setStoredPosition(int value)
{
    m_pos = static_cast<qint16>(clamp(value));
}

void UpDown::setPosition(int value)
{
    setStoredPosition(value);
    if (!m_buddy)
        return;
    const QString shown = groupThousands(m_pos);
    // Rewriting the same text would only move the cursor.
    if (m_buddy->text() != shown)
        m_buddy->setText(shown);
}

void UpDown::stepBy(int delta)
{
    syncFromBuddy();
    setPosition(int(m_pos) + delta);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event)
{
    // The event type first: comparing with the guarded buddy casts it, which is only valid
    // while it is still a line edit (not during its destruction).
    if (event->type() == QEvent::KeyPress && watched == m_buddy && isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Up) {
                guardedCall([this] { stepBy(1); });
                return true;
            }
            if (key->key() == Qt::Key_Down) {
                guardedCall([this] { stepBy(-1); });
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace sondrel
