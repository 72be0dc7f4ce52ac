#include "TagEditor.h"

#include "AppState.h"
#include "ExceptionHook.h"
#include "FileListModel.h"
#include "Genres.h"
#include "Prompts.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <algorithm>

namespace sondrel {

namespace {
constexpr int FieldHeight = 21;
constexpr int ButtonWidth = 68;
constexpr int ButtonHeight = 25;
constexpr int LabelGap = 4; // between a label's text and its field
constexpr int GenreLeft = 264;
constexpr int GenreWidth = 76; // at least

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
} // namespace

const QString Tfm_id3::YearOutOfRange =
    QStringLiteral("The year must be a whole number from 0 to 2147483647.");
const QString Tfm_id3::TrackOutOfRange =
    QStringLiteral("The track must be a whole number.");

// ---------------------------------------------------------------------------------------------

DigitFilter::DigitFilter(QLineEdit* edit, int maxLength)
    : QValidator(edit), m_edit(edit), m_maxLength(maxLength)
{
    // The validator only sees the text as it would become; the text before the edit is what
    // the field last showed.
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { m_previous = t; });
    edit->setValidator(this);
}

void DigitFilter::load(const QString& text)
{
    m_previous = text;
    m_edit->setText(text);
}

QValidator::State DigitFilter::validate(QString& input, int&) const
{
    qsizetype from = 0;
    if (input.startsWith(u'-')) {
        // Only a value that was negative already (from the record) may keep its sign.
        if (!m_previous.startsWith(u'-'))
            return Invalid;
        from = 1;
    }
    for (qsizetype i = from; i < input.size(); ++i)
        if (!isAsciiDigit(input.at(i)))
            return Invalid;
    if (m_maxLength > 0 && input.size() > m_maxLength && input.size() > m_previous.size())
        return Invalid;
    return Acceptable;
}

// ---------------------------------------------------------------------------------------------

Tfm_id3::Tfm_id3(AppState& state, FileListModel& list, Prompts& prompts, QWidget* parent)
    : ModalDialog(parent), m_state(state), m_list(list), m_prompts(prompts)
{
    setObjectName(QStringLiteral("fm_id3"));
    setWindowTitle(QStringLiteral("ID3"));
    setClientSize(ClientWidth, ClientHeight);

    edt_title = addField("edt_title", QStringLiteral("Title: "), 74, 13, 266);
    edt_artist = addField("edt_artist", QStringLiteral("Artist: "), 74, 53, 266);
    edt_album = addField("edt_album", QStringLiteral("Album: "), 74, 93, 266);
    edt_year = addField("edt_year", QStringLiteral("Year: "), 74, 133, 60);
    edt_track = addField("edt_track", QStringLiteral("Track: "), 179, 133, 38);

    // Editable, so a genre that is not in the list (read from a file, or typed) is shown and
    // kept; picking from the list replaces it.
    cb_genre = new QComboBox(this);
    cb_genre->setObjectName(QStringLiteral("cb_genre"));
    cb_genre->setEditable(true);
    cb_genre->setInsertPolicy(QComboBox::NoInsert);
    // The closed box shows any listed name whole: it is as wide as the longest one needs
    // (never narrower than designed), and the fields above and below end where it ends.
    for (const char* name : genre_names)
        cb_genre->addItem(QString::fromLatin1(name));
    cb_genre->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int genreWidth = std::max(GenreWidth, cb_genre->sizeHint().width());
    cb_genre->setGeometry(GenreLeft, 133, genreWidth, FieldHeight);
    addLabel(QStringLiteral("Genre: "), cb_genre);
    // A typed genre may still be longer: the tooltip shows the whole of it.
    connect(cb_genre, &QComboBox::currentTextChanged, cb_genre, &QWidget::setToolTip);
    const int fieldsRight = GenreLeft + genreWidth;
    setClientSize(ClientWidth + fieldsRight - (GenreLeft + GenreWidth), ClientHeight);
    for (QLineEdit* wide : {edt_title, edt_artist, edt_album})
        wide->resize(fieldsRight - wide->x(), FieldHeight);

    edt_comment = addField("edt_comment", QStringLiteral("Comment: "), 74, 173, fieldsRight - 74);

    // The buttons stay centred in a box made wider.
    const int buttonShift = (fieldsRight - (GenreLeft + GenreWidth)) / 2;
    const auto addButton = [this, buttonShift](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left + buttonShift, 212, ButtonWidth, ButtonHeight);
        // No button is the dialog's default: Enter acts only on the button that has the focus.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    btn_ok = addButton("btn_ok", QStringLiteral("Ok"), 24);
    btn_reset = addButton("btn_reset", QStringLiteral("Reset"), 147);
    btn_cancel = addButton("btn_cancel", QStringLiteral("Cancel"), 271);

    // Year: digits only, any length. Track: digits only, two at most.
    m_yearFilter = new DigitFilter(edt_year, 0);
    m_trackFilter = new DigitFilter(edt_track, 2);

    // Tab order: the fields from the top left, row by row, then the buttons.
    QWidget* const order[] = {edt_title, edt_artist, edt_album, edt_year, edt_track,
                              cb_genre,  edt_comment, btn_ok,  btn_cancel, btn_reset};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    edt_title->setFocus();

    connect(btn_ok, &QPushButton::clicked, this, guarded([this] { btn_okClick(); }));
    connect(btn_reset, &QPushButton::clicked, this, guarded([this] { btn_resetClick(); }));
    connect(btn_cancel, &QPushButton::clicked, this, guarded([this] { btn_cancelClick(); }));
}

QLabel* Tfm_id3::addLabel(const QString& caption, QWidget* buddy)
{
    // The caption ends just left of its field, on the field's text line.
    auto* label = new QLabel(caption, this);
    label->setBuddy(buddy);
    const QSize hint = label->sizeHint();
    const QRect field = buddy->geometry();
    label->setGeometry(field.left() - LabelGap - hint.width(),
                       field.top() + (field.height() - hint.height()) / 2, hint.width(),
                       hint.height());
    return label;
}

QLineEdit* Tfm_id3::addField(const char* name, const QString& caption, int left, int top,
                             int width)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, width, FieldHeight);
    addLabel(caption, edit);
    return edit;
}

void Tfm_id3::showEvent(QShowEvent* e)
{
    ModalDialog::showEvent(e);
    if (!e->spontaneous())
        guardedCall([this] { FormShow(); });
}

void Tfm_id3::FormShow()
{
    // Refilled on every showing, so the list holds each name exactly once.
    cb_genre->clear();
    for (const char* name : genre_names)
        cb_genre->addItem(QString::fromLatin1(name));
    // The open list is as wide as its longest name, whatever the box's own width.
    QAbstractItemView* list = cb_genre->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width()
                          + 2 * list->frameWidth());

    const TrackInfo rec = m_list.trackInfo(m_state.tag_edit_row);
    edt_title->setText(rec.title);
    edt_artist->setText(rec.artist);
    edt_album->setText(rec.album);
    edt_comment->setText(rec.comment);
    m_trackFilter->load(QString::number(rec.track));
    m_yearFilter->load(QString::number(rec.year));
    // Tags read from files differ in case now and then ("rock"); those still find their
    // entry. A genre that is not one of the names is shown as it is and selects nothing.
    const int listed = rec.genre.isEmpty() ? -1 : cb_genre->findText(rec.genre, Qt::MatchFixedString);
    cb_genre->setCurrentIndex(listed);
    if (listed < 0)
        cb_genre->setEditText(rec.genre);
    // Each editing starts in the title.
    edt_title->setFocus(Qt::OtherFocusReason);
}

std::optional<std::int32_t> Tfm_id3::number(const QLineEdit* edit)
{
    const QString text = edit->text();
    // An empty field (after Reset, or with its digits deleted) stands for 0.
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

void Tfm_id3::btn_okClick()
{
    // Both numbers are checked before anything is stored: a refused value leaves the record,
    // the row and the dialog as they are.
    const auto year = number(edt_year);
    if (!year) {
        m_prompts.information(this, YearOutOfRange);
        edt_year->setFocus();
        edt_year->selectAll();
        return;
    }
    const auto track = number(edt_track);
    if (!track) {
        m_prompts.information(this, TrackOutOfRange);
        edt_track->setFocus();
        edt_track->selectAll();
        return;
    }

    const int row = m_state.tag_edit_row;
    // The record and the row belong together; a row that no longer exists gets no record.
    if (row >= 0 && row < m_list.count()) {
        TrackInfo rec = m_list.trackInfo(row);
        rec.artist = edt_artist->text();
        rec.year = *year;
        rec.album = edt_album->text();
        rec.comment = edt_comment->text();
        rec.genre = cb_genre->currentText().trimmed();
        rec.track = *track;
        rec.title = edt_title->text();
        m_list.setTrackInfo(row, rec);
        // The caption names the converted file, so a new title renames the output.
        m_list.setTitleCaption(row, rec.title);
    }
    accept();
}

void Tfm_id3::btn_resetClick()
{
    for (QLineEdit* e : {edt_title, edt_artist, edt_album, edt_year, edt_track, edt_comment})
        e->clear();
    cb_genre->setCurrentIndex(-1);
    cb_genre->clearEditText();
}

void Tfm_id3::btn_cancelClick() { reject(); }

} // namespace sondrel
