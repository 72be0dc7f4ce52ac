#pragma once
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QToolButton;

namespace sondrel {

// An up-down control attached to the edit field on its left (its buddy): two arrow buttons
// that step a 16-bit position by 1 between two limits, without wrapping. The control owns the
// position and writes it into the buddy with thousands grouping (1000 shows as "1,000"). The
// up and down arrow keys typed into the buddy step it too.
//
// Before stepping, and whenever the position is asked for, the number shown in the buddy
// becomes the position if it is one within the limits; anything else in the buddy (an empty
// field, pasted letters) leaves the position as it was.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    // Attaches the control to its edit field; the field shows the position from now on.
    void setBuddy(QLineEdit* buddy);
    QLineEdit* buddy() const { return m_buddy; }

    void setRange(int minimum, int maximum);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    // The position, after taking up a valid number shown in the buddy.
    int position();
    // The position without looking at the buddy.
    int storedPosition() const { return m_pos; }
    // Clamps the value to the limits, stores it and writes it into the buddy.
    void setPosition(int value);
    // Clamps and stores the value, leaving the buddy's text alone.
    void setStoredPosition(int value);
    // Takes up the buddy's number, then moves by delta and stops at the limits.
    void stepBy(int delta);

    // 1234567 -> "1,234,567"; negative numbers keep their sign.
    static QString groupThousands(int value);
    // The number in a text rendered by groupThousands (blanks around it allowed).
    static bool parseGrouped(const QString& text, int* value);

    QSize sizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncFromBuddy();
    int clamp(int value) const;

    QPointer<QLineEdit> m_buddy;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    qint16 m_pos = 0;
    int m_min = 0;
    int m_max = 100;
};

} // namespace sondrel
