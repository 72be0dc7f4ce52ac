#pragma once
#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include "WindowLayout.h"
#include <stdexcept>
#include <vector>

class QJsonObject;

namespace sondrel {

// A skin file that cannot be used: missing, unreadable, not a resource bundle, or with a
// description that does not hold together. The message names the file and the reason.
class SkinError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The element of the skin that an event concerns. It is only valid during the handler.
class SkinObject {
public:
    explicit SkinObject(QString name = {}) : m_name(std::move(name)) {}
    QString GetName() const { return m_name; }

private:
    QString m_name;
};

// What a skin says about one element, without its art: enough to put a plain button in its
// place when no skin can be shown.
struct SkinElementSpec {
    QString name;
    QRect rect;      // in client pixels
    QString caption; // the short text under the icon
    QString tip;     // the tool tip
};

// The skin control. It loads a skin file of our own format (a Qt binary resource bundle,
// made by rcc, holding skin.json and the art), draws the client area of the window it is
// attached to (the background art and every element in its normal, hover or pressed look)
// and reports a click on an element through OnClick.
//
// skin.json: { "client": [w, h], "stretch": [x, y], "background": image, "elements": [ {
// "name", "rect": [x, y, w, h], "caption", "tip", "normal", "hover", "pressed" } ] }, where
// each look is an image in the bundle or a colour "#rrggbb" / "#aarrggbb" that fills the
// element. When the window is larger than the client size, the background is cut at the
// stretch point (the middle of the client when none is given) and widened there, and the
// elements move with the edges they are nearer to across the cut (see WindowLayout).
class Skin : public QWidget {
    Q_OBJECT
public:
    explicit Skin(QWidget* parent = nullptr);
    ~Skin() override;

    // Loads the skin file; throws SkinError when it is missing, unreadable or not a valid skin.
    // The skin in use, if any, stays until a new one has loaded completely.
    void OpenSkinFile(const QString& path);
    // From now on draws the client area of `window` (the central widget of a main window)
    // behind its controls and takes the clicks on the elements. Throws SkinError when no skin
    // is loaded.
    void AttachWindow(QWidget* window);
    // The skinned window's title.
    void SetWindowTitle(QWidget* window, const QString& title);

    bool isLoaded() const { return !m_elements.empty(); }
    // The buttons that stand for the drawn elements to the keyboard and to assistive tools,
    // in the elements' order; made when the skin is attached.
    QList<QAbstractButton*> keys() const;
    bool isAttached() const { return m_attached; }
    std::vector<SkinElementSpec> elements() const;

    // The elements as designed in the skin built with the program (names, rectangles,
    // captions, tips).
    static std::vector<SkinElementSpec> builtInLayout();
    // How the loaded skin (or, with none, the built-in one) grows with the window.
    WindowLayout layout() const;
    static WindowLayout builtInWindowLayout();

signals:
    void OnClick(sondrel::SkinObject element);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // An image of the bundle, with its twice-as-large twin ("name@2x.png") when the bundle
    // has one, for screens that scale the window up.
    struct Art {
        QPixmap image;
        QPixmap image2x;
        const QPixmap& forScale(qreal dpr) const { return dpr > 1.0 && !image2x.isNull() ? image2x : image; }
    };
    struct Look {
        Art art;       // drawn when set
        QColor colour; // otherwise this fills the element
    };
    struct Element {
        SkinElementSpec spec;
        Look normal, hover, pressed;
    };

    // Reading a skin bundle mapped below base; path names the skin file in messages.
    static Art loadArt(const QString& base, const QString& path, const QString& name, const QString& what);
    static Look loadLook(const QString& base, const QString& path, const QString& value, const QString& what);
    static std::vector<Element> loadElements(const QString& base, const QString& path, const QJsonObject& desc,
                                             const std::vector<SkinElementSpec>& specs);

    int elementAt(const QPoint& pos) const;
    QRect elementRect(int index) const; // where it is drawn at the size now
    void placeKeys();
    void drawBackground(QPainter& p);
    void setHover(int index);
    void repaintElement(int index);
    void makeKeys();

    Art m_background;
    WindowLayout m_layout;
    std::vector<Element> m_elements;
    QPointer<QWidget> m_client;
    bool m_attached = false;
    std::vector<QPointer<QAbstractButton>> m_keys; // one per element, when attached
    int m_hover = -1;
    int m_pressed = -1;
};

} // namespace sondrel
