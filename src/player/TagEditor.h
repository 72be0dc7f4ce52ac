#pragma once
#include "Dialogs.h"

#include <QValidator>
#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class FileListModel;

class AppState;
class Prompts;

// The key filter of the year and track fields: only the digits 0 to 9 get in, whether typed,
// pasted or dropped; deleting always works. With a length limit, an edit may not make a text
// longer than the limit (a longer value shown from the record stays, and may only shrink).
// A negative value shown from the record keeps its minus sign while it is edited.
class DigitFilter : public QValidator {
    Q_OBJECT
public:
    DigitFilter(QLineEdit* edit, int maxLength);
    // Puts a value into the field, bypassing the filter, as the starting point of later edits.
    void load(const QString& text);
    State validate(QString& input, int& pos) const override;

private:
    QLineEdit* m_edit;
    int m_maxLength; // 0: no limit
    QString m_previous;
};

// The tag editor: shows and edits the tag record of the row `tag_edit_row` and that row's
// caption. Nothing is written into any file here; the conversion writes the record later.
class Tfm_id3 : public ModalDialog {
    Q_OBJECT
public:
    Tfm_id3(AppState& state, FileListModel& list, Prompts& prompts, QWidget* parent = nullptr);

    static constexpr int ClientWidth = 374;
    static constexpr int ClientHeight = 255;

    QLineEdit* edt_title = nullptr;
    QLineEdit* edt_artist = nullptr;
    QLineEdit* edt_album = nullptr;
    QLineEdit* edt_year = nullptr;
    QLineEdit* edt_track = nullptr;
    QComboBox* cb_genre = nullptr;
    QLineEdit* edt_comment = nullptr;
    QPushButton* btn_ok = nullptr;
    QPushButton* btn_reset = nullptr;
    QPushButton* btn_cancel = nullptr;

    // Handlers.
    void FormShow();
    void btn_okClick();
    void btn_resetClick();
    void btn_cancelClick();

    // Texts of the messages Ok shows for a number out of range.
    static const QString YearOutOfRange;
    static const QString TrackOutOfRange;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QLineEdit* addField(const char* name, const QString& caption, int left, int top, int width);
    QLabel* addLabel(const QString& caption, QWidget* buddy);
    // The field's number: empty is 0; nothing when the text is no 32-bit integer.
    static std::optional<std::int32_t> number(const QLineEdit* edit);

    AppState& m_state;
    FileListModel& m_list;
    Prompts& m_prompts;
    DigitFilter* m_yearFilter = nullptr;
    DigitFilter* m_trackFilter = nullptr;
};

} // namespace sondrel
