#include "Skin.h"

#include "SkinButton.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QResource>
#include <QSet>
#include <QToolTip>
#include <QtEndian>
#include <atomic>

namespace sondrel {

namespace {

// Each loaded bundle is mapped under a root of its own, so two skins never see each other's
// files.
std::atomic<int> bundleCounter{0};

// The skin built with the program takes a few hundred kilobytes.
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

// Qt reads a resource bundle in memory trusting every offset in it. This walks the bundle's
// tree first and checks that every node, name and data block lies inside the bytes, so a
// truncated or damaged file is refused instead of read past its end.
bool bundleIsSound(const QByteArray& bytes)
{
    const auto* d = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    const auto fits = [size](qint64 at, qint64 length) { return at >= 0 && length >= 0 && at + length <= size; };
    const auto u16 = [d](qint64 at) { return qint64(qFromBigEndian<quint16>(d + at)); };
    const auto u32 = [d](qint64 at) { return qint64(qFromBigEndian<quint32>(d + at)); };

    if (!fits(0, 20) || !bytes.startsWith("qres"))
        return false;
    const qint64 version = u32(4), tree = u32(8), data = u32(12), names = u32(16);
    if (version < 1 || version > 3 || (version >= 3 && !fits(0, 24)) || !fits(tree, 0) || !fits(data, 0) || !fits(names, 0))
        return false;
    // A node: name offset (4), flags (2), then for a folder the child count (4) and the index
    // of its first child (4), for a file its locale (4) and data offset (4); from version 2 on
    // followed by the time of last change (8).
    const qint64 nodeSize = version >= 2 ? 22 : 14;
    const qint64 nodeCount = (size - tree) / nodeSize;
    if (nodeCount < 1)
        return false;
    enum : quint16 { Compressed = 0x01, Directory = 0x02, CompressedZstd = 0x04 };
    std::vector<bool> seen(std::size_t(nodeCount), false);
    std::vector<qint64> pending{0};
    while (!pending.empty()) {
        const qint64 node = pending.back();
        pending.pop_back();
        if (node < 0 || node >= nodeCount || seen[std::size_t(node)])
            return false;
        seen[std::size_t(node)] = true;
        const qint64 at = tree + node * nodeSize;
        // The name: length (2), hash (4), UTF-16 characters.
        const qint64 name = names + u32(at);
        if (!fits(name, 6) || !fits(name + 6, 2 * u16(name)))
            return false;
        const qint64 flags = u16(at + 4);
        if (flags & Directory) {
            const qint64 count = u32(at + 6), first = u32(at + 10);
            if (first + count > nodeCount)
                return false;
            for (qint64 child = first; child < first + count; ++child)
                pending.push_back(child);
        } else {
            // The data: length (4), bytes; compressed data starts with its unpacked size.
            const qint64 block = data + u32(at + 10);
            if (!fits(block, 4) || !fits(block + 4, u32(block)))
                return false;
            if ((flags & (Compressed | CompressedZstd)) && u32(block) < 4)
                return false;
        }
    }
    return true;
}

[[noreturn]] void failSkin(const QString& message)
{
    throw SkinError(message.toStdString());
}

QRect rectOf(const QJsonValue& v, bool* ok)
{
    const QJsonArray a = v.toArray();
    *ok = a.size() == 4;
    for (const QJsonValue& n : a)
        *ok = *ok && n.isDouble();
    if (!*ok)
        return {};
    return QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
}

QJsonObject parseDescription(const QByteArray& json, const QString& origin)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        failSkin(QStringLiteral("%1: skin.json is not valid JSON (%2 at offset %3).")
                     .arg(origin, error.errorString())
                     .arg(error.offset));
    if (!doc.isObject())
        failSkin(QStringLiteral("%1: skin.json does not describe a skin.").arg(origin));
    return doc.object();
}

// Names, rectangles, captions and tips of the elements; checks that every element has a
// unique name and a rectangle inside the client area.
WindowLayout parseLayout(const QJsonObject& skin, const QString& origin)
{
    WindowLayout layout;
    const QJsonArray client = skin.value(QStringLiteral("client")).toArray();
    layout.design = QSize(client.at(0).toInt(), client.at(1).toInt());
    const QJsonArray stretch = skin.value(QStringLiteral("stretch")).toArray();
    layout.stretch = stretch.size() == 2 ? QPoint(stretch.at(0).toInt(), stretch.at(1).toInt())
                                         : QPoint(layout.design.width() / 2, layout.design.height() / 2);
    if (!QRect(QPoint(1, 1), layout.design).contains(layout.stretch))
        failSkin(QStringLiteral("%1: the stretch point lies outside the window.").arg(origin));
    return layout;
}

std::vector<SkinElementSpec> parseSpecs(const QJsonObject& skin, const QString& origin)
{
    const QJsonArray client = skin.value(QStringLiteral("client")).toArray();
    const QRect clientRect(0, 0, client.at(0).toInt(), client.at(1).toInt());
    if (clientRect.isEmpty())
        failSkin(QStringLiteral("%1: skin.json gives no client size.").arg(origin));
    const QJsonArray list = skin.value(QStringLiteral("elements")).toArray();
    if (list.isEmpty())
        failSkin(QStringLiteral("%1: the skin has no elements.").arg(origin));

    std::vector<SkinElementSpec> specs;
    QSet<QString> names;
    for (const QJsonValue& v : list) {
        const QJsonObject e = v.toObject();
        SkinElementSpec spec;
        spec.name = e.value(QStringLiteral("name")).toString();
        if (spec.name.isEmpty())
            failSkin(QStringLiteral("%1: element %2 has no name.").arg(origin).arg(specs.size() + 1));
        if (names.contains(spec.name))
            failSkin(QStringLiteral("%1: two elements are named \"%2\".").arg(origin, spec.name));
        names.insert(spec.name);
        bool ok = false;
        spec.rect = rectOf(e.value(QStringLiteral("rect")), &ok);
        if (!ok || spec.rect.isEmpty() || !clientRect.contains(spec.rect))
            failSkin(QStringLiteral("%1: element \"%2\" has no rectangle inside the window.").arg(origin, spec.name));
        spec.caption = e.value(QStringLiteral("caption")).toString(spec.name);
        spec.tip = e.value(QStringLiteral("tip")).toString();
        specs.push_back(spec);
    }
    return specs;
}

// The bytes of the skin file at path. Only a regular file (also through a link) of a sane
// size is read: a pipe would block the start for good, a device such as /dev/zero would
// fill the memory.
QByteArray readSkinFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        failSkin(QStringLiteral("The skin file %1 does not exist.").arg(path));
    const auto unreadable = [&path](const QString& why) {
        failSkin(QStringLiteral("The skin file %1 cannot be read: %2").arg(path, why));
    };
    if (info.isDir())
        unreadable(QStringLiteral("it is a folder"));
    if (!info.isFile())
        unreadable(QStringLiteral("it is not a regular file"));
    if (info.size() > MaxFileSize)
        unreadable(QStringLiteral("it is larger than %1 MiB").arg(MaxFileSize / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        unreadable(file.errorString());
    const QByteArray data = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        unreadable(file.errorString());
    if (data.size() > MaxFileSize) // it grew after the check
        unreadable(QStringLiteral("it is larger than %1 MiB").arg(MaxFileSize / (1024 * 1024)));
    return data;
}

// A skin file's bytes mapped as a resource bundle under base, for as long as this lives.
// The bundle is mapped only while its description and art are read; everything is copied
// out of it, so nothing refers to it afterwards.
class MappedBundle {
public:
    MappedBundle(const QByteArray& data, const QString& path)
        : m_bytes(reinterpret_cast<const uchar*>(data.constData())),
          m_root(QStringLiteral("/sondrel-skin-%1").arg(++bundleCounter))
    {
        if (!bundleIsSound(data) || !QResource::registerResource(m_bytes, m_root))
            failSkin(QStringLiteral("%1 is not a skin file: it is not a resource bundle.").arg(path));
        base = QLatin1Char(':') + m_root + QLatin1Char('/');
    }
    ~MappedBundle() { QResource::unregisterResource(m_bytes, m_root); }
    MappedBundle(const MappedBundle&) = delete;
    MappedBundle& operator=(const MappedBundle&) = delete;

    QString base; // the bundle's files are below it

private:
    const uchar* m_bytes;
    QString m_root;
};

} // namespace

Skin::Skin(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Skin"));
    setMouseTracking(true);
    // Nothing to show until a skin is attached to a window.
    hide();
}

Skin::~Skin() = default;

void Skin::OpenSkinFile(const QString& path)
{
    const QByteArray data = readSkinFile(path);
    const MappedBundle bundle(data, path);
    const QString& base = bundle.base;

    QFile descFile(base + QStringLiteral("skin.json"));
    if (!descFile.open(QIODevice::ReadOnly))
        failSkin(QStringLiteral("%1 is not a skin file: it holds no skin.json.").arg(path));
    const QJsonObject desc = parseDescription(descFile.readAll(), path);
    const std::vector<SkinElementSpec> specs = parseSpecs(desc, path);
    const WindowLayout layout = parseLayout(desc, path);
    Art background =
        loadArt(base, path, desc.value(QStringLiteral("background")).toString(), QStringLiteral("the background"));
    std::vector<Element> elements = loadElements(base, path, desc, specs);

    m_background = std::move(background);
    m_elements = std::move(elements);
    m_layout = layout;
    m_hover = -1;
    m_pressed = -1;
    if (m_attached)
        makeKeys();
    update();
}

Skin::Art Skin::loadArt(const QString& base, const QString& path, const QString& name, const QString& what)
{
    Art art;
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || !art.image.load(base + name))
        failSkin(QStringLiteral("%1: the image \"%2\" of %3 is missing or broken.").arg(path, name, what));
    QString large = name;
    const qsizetype dot = large.lastIndexOf(QLatin1Char('.'));
    large.insert(dot < 0 ? large.size() : dot, QStringLiteral("@2x"));
    if (QFile::exists(base + large)) {
        if (!art.image2x.load(base + large) || art.image2x.size() != art.image.size() * 2)
            failSkin(QStringLiteral("%1: the image \"%2\" of %3 is broken.").arg(path, large, what));
        art.image2x.setDevicePixelRatio(2.0);
    }
    return art;
}

Skin::Look Skin::loadLook(const QString& base, const QString& path, const QString& value, const QString& what)
{
    Look look;
    if (value.startsWith(QLatin1Char('#'))) {
        look.colour = QColor::fromString(value);
        if (!look.colour.isValid())
            failSkin(QStringLiteral("%1: %2 is not a colour: %3").arg(path, what, value));
    } else {
        look.art = loadArt(base, path, value, what);
    }
    return look;
}

std::vector<Skin::Element> Skin::loadElements(const QString& base, const QString& path, const QJsonObject& desc,
                                              const std::vector<SkinElementSpec>& specs)
{
    const QJsonArray list = desc.value(QStringLiteral("elements")).toArray();
    std::vector<Element> elements;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const QJsonObject e = list.at(qsizetype(i)).toObject();
        Element el;
        el.spec = specs[i];
        const auto lookOf = [&](const char* key) {
            const QString what = QStringLiteral("the %1 look of \"%2\"").arg(QLatin1String(key), el.spec.name);
            return loadLook(base, path, e.value(QLatin1String(key)).toString(), what);
        };
        el.normal = lookOf("normal");
        el.hover = lookOf("hover");
        el.pressed = lookOf("pressed");
        elements.push_back(std::move(el));
    }
    return elements;
}

void Skin::makeKeys()
{
    for (const auto& key : m_keys)
        delete key.data();
    m_keys.clear();
    for (const Element& e : m_elements) {
        auto* key = new SkinButton(e.spec.name, e.spec.caption, e.spec.tip, this);
        key->show();
        connect(key, &QAbstractButton::clicked, this, [this, name = e.spec.name] { emit OnClick(SkinObject(name)); });
        m_keys.emplace_back(key);
    }
    placeKeys();
}

void Skin::placeKeys()
{
    for (std::size_t i = 0; i < m_keys.size() && i < m_elements.size(); ++i)
        if (m_keys[i])
            m_keys[i]->setGeometry(elementRect(int(i)));
}

QRect Skin::elementRect(int index) const
{
    return m_layout.placed(m_elements[std::size_t(index)].spec.rect, size());
}

WindowLayout Skin::layout() const
{
    return isLoaded() ? m_layout : builtInWindowLayout();
}

WindowLayout Skin::builtInWindowLayout()
{
    QFile f(QStringLiteral(":/sondrel/skin/skin.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString origin = QStringLiteral("the built-in skin layout");
    return parseLayout(parseDescription(f.readAll(), origin), origin);
}

QList<QAbstractButton*> Skin::keys() const
{
    QList<QAbstractButton*> out;
    for (const auto& key : m_keys)
        if (key)
            out << key.data();
    return out;
}

void Skin::AttachWindow(QWidget* window)
{
    if (!window)
        failSkin(QStringLiteral("No window to attach the skin to."));
    if (!isLoaded())
        failSkin(QStringLiteral("No skin is loaded."));
    QWidget* client = window;
    if (auto* main = qobject_cast<QMainWindow*>(window); main && main->centralWidget())
        client = main->centralWidget();
    if (parentWidget() != client)
        setParent(client);
    if (m_client)
        m_client->removeEventFilter(this);
    m_client = client;
    client->installEventFilter(this);
    // The whole client area, behind every control of the window.
    setGeometry(client->rect());
    lower();
    show();
    m_attached = true;
    makeKeys();
}

void Skin::SetWindowTitle(QWidget* window, const QString& title)
{
    if (!window)
        failSkin(QStringLiteral("No window to give a title."));
    window->setWindowTitle(title);
}

std::vector<SkinElementSpec> Skin::elements() const
{
    std::vector<SkinElementSpec> out;
    for (const Element& e : m_elements)
        out.push_back(e.spec);
    return out;
}

std::vector<SkinElementSpec> Skin::builtInLayout()
{
    // skin.json of the skin built with the program, compiled into the program.
    QFile f(QStringLiteral(":/sondrel/skin/skin.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString origin = QStringLiteral("the built-in skin layout");
    return parseSpecs(parseDescription(f.readAll(), origin), origin);
}

int Skin::elementAt(const QPoint& pos) const
{
    // The last element drawn is on top.
    for (int i = int(m_elements.size()) - 1; i >= 0; --i)
        if (elementRect(i).contains(pos))
            return i;
    return -1;
}

void Skin::repaintElement(int index)
{
    if (index >= 0 && index < int(m_elements.size()))
        update(elementRect(index));
}

void Skin::setHover(int index)
{
    if (index == m_hover)
        return;
    repaintElement(m_hover);
    m_hover = index;
    repaintElement(m_hover);
}

void Skin::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    drawBackground(p);
    for (int i = 0; i < int(m_elements.size()); ++i) {
        const Element& e = m_elements[std::size_t(i)];
        const QRect rect = elementRect(i);
        // A pressed element shows pressed while the mouse is over it; while a button is held
        // down no other element lights up.
        const Look* look = &e.normal;
        if (m_pressed >= 0) {
            if (i == m_pressed && i == m_hover)
                look = &e.pressed;
        } else if (i == m_hover) {
            look = &e.hover;
        }
        const QAbstractButton* key = i < int(m_keys.size()) ? m_keys[std::size_t(i)].data() : nullptr;
        if (key && key->isDown())
            look = &e.pressed;
        if (!look->art.image.isNull())
            p.drawPixmap(rect, look->art.forScale(dpr));
        else
            p.fillRect(rect, look->colour);
        if (key && key->hasFocus()) {
            // The keyboard's mark: a light ring with a dark line inside it, just inside the
            // element, so it stands out on the bar's light and dark parts alike.
            p.save();
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(Qt::NoBrush);
            const QRectF ring = QRectF(rect).adjusted(2, 2, -2, -2);
            p.setPen(QPen(QColor(255, 255, 255, 235), 3));
            p.drawRoundedRect(ring, 3, 3);
            p.setPen(QPen(QColor(16, 32, 72), 1.5));
            p.drawRoundedRect(ring, 3, 3);
            p.restore();
        }
    }
}

void Skin::drawBackground(QPainter& p)
{
    const QPixmap& art = m_background.forScale(devicePixelRatioF());
    const qreal scale = art.devicePixelRatio();
    const QSize design = m_background.image.size() / m_background.image.devicePixelRatio();
    const int sx = std::min(m_layout.stretch.x(), design.width() - 1);
    const int sy = std::min(m_layout.stretch.y(), design.height() - 1);
    const int dx = std::max(0, width() - design.width());
    const int dy = std::max(0, height() - design.height());
    const auto piece = [&](const QRect& to, const QRect& from) {
        if (!to.isEmpty())
            p.drawPixmap(to, art, QRectF(from.x() * scale, from.y() * scale, from.width() * scale, from.height() * scale));
    };
    const int right = design.width() - sx, bottom = design.height() - sy;
    // The four quarters, each at its corner.
    piece(QRect(0, 0, sx, sy), QRect(0, 0, sx, sy));
    piece(QRect(sx + dx, 0, right, sy), QRect(sx, 0, right, sy));
    piece(QRect(0, sy + dy, sx, bottom), QRect(0, sy, sx, bottom));
    piece(QRect(sx + dx, sy + dy, right, bottom), QRect(sx, sy, right, bottom));
    // The cut, widened from the column and the row just before the stretch point.
    piece(QRect(sx, 0, dx, sy), QRect(sx - 1, 0, 1, sy));
    piece(QRect(sx, sy + dy, dx, bottom), QRect(sx - 1, sy, 1, bottom));
    piece(QRect(0, sy, sx, dy), QRect(0, sy - 1, sx, 1));
    piece(QRect(sx + dx, sy, right, dy), QRect(sx, sy - 1, right, 1));
    piece(QRect(sx, sy, dx, dy), QRect(sx - 1, sy - 1, 1, 1));
}

void Skin::mouseMoveEvent(QMouseEvent* e)
{
    setHover(elementAt(e->position().toPoint()));
}

void Skin::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    const int index = elementAt(e->position().toPoint());
    setHover(index);
    m_pressed = index;
    repaintElement(index);
    e->accept();
}

void Skin::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    const int pressed = m_pressed;
    m_pressed = -1;
    const int at = elementAt(e->position().toPoint());
    setHover(at);
    repaintElement(pressed);
    // A click is a press and a release on the same element, as with a push button.
    if (pressed >= 0 && pressed == at)
        emit OnClick(SkinObject(m_elements[std::size_t(pressed)].spec.name));
}

void Skin::leaveEvent(QEvent* e)
{
    setHover(-1);
    QWidget::leaveEvent(e);
}

bool Skin::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(e);
        const int index = elementAt(help->pos());
        if (index >= 0 && !m_elements[std::size_t(index)].spec.tip.isEmpty()) {
            const SkinElementSpec& spec = m_elements[std::size_t(index)].spec;
            QToolTip::showText(help->globalPos(), spec.tip, this, elementRect(index));
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }
    return QWidget::event(e);
}

bool Skin::eventFilter(QObject* watched, QEvent* e)
{
    // The skin keeps covering the client area it draws.
    if (watched == m_client && e->type() == QEvent::Resize) {
        setGeometry(m_client->rect());
        placeKeys();
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace sondrel
