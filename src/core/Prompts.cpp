#include "Prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace sondrel {

namespace {

// A message box opened without a loop of its own; it deletes itself once closed.
class OpenBox : public Prompts::Pending {
public:
    explicit OpenBox(QMessageBox* box) : m_box(box) {}
    ~OpenBox() override
    {
        if (!m_box)
            return;
        m_box->disconnect(); // closed unanswered: no callback
        m_box->close();
    }

private:
    QPointer<QMessageBox> m_box;
};

QMessageBox* openBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons)
{
    auto* mb = new QMessageBox(icon, QStringLiteral("Information"), text, buttons, parent);
    mb->setAttribute(Qt::WA_DeleteOnClose);
    return mb;
}

// A box grows with its text; a long list (the files an adding could not take) would run off
// the screen, so the box shows its first lines and the whole text under "Show Details...".
constexpr int MaxShownLines = 24;

void fitLongText(QMessageBox* mb, const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() <= MaxShownLines)
        return;
    mb->setText(lines.mid(0, MaxShownLines - 1).join(QLatin1Char('\n'))
                + QStringLiteral("\n… and %1 more lines (Show Details...)").arg(lines.size() - MaxShownLines + 1));
    mb->setDetailedText(text);
}

Prompts::Overwrite overwriteAnswer(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Yes: return Prompts::Overwrite::Yes;
    case QMessageBox::YesToAll: return Prompts::Overwrite::YesToAll;
    case QMessageBox::NoToAll: return Prompts::Overwrite::NoToAll;
    default: return Prompts::Overwrite::No;
    }
}

int box(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
        QMessageBox::StandardButtons buttons)
{
    QMessageBox mb(icon, caption, text, buttons, parent);
    mb.setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    return mb.exec();
}
} // namespace

void QtPrompts::information(QWidget* parent, const QString& text)
{
    box(parent, QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok);
}

void QtPrompts::notice(QWidget* parent, const QString& text)
{
    box(parent, QMessageBox::NoIcon, QStringLiteral("Information"), text, QMessageBox::Ok);
}

bool QtPrompts::confirm(QWidget* parent, const QString& text)
{
    return box(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtPrompts::askYesNo(QWidget* parent, const QString& text)
{
    return box(parent, QMessageBox::Information, QStringLiteral("Information"), text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtPrompts::confirmCautious(QWidget* parent, const QString& text)
{
    QMessageBox mb(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No, parent);
    mb.setDefaultButton(QMessageBox::No);
    mb.setEscapeButton(QMessageBox::No);
    return mb.exec() == QMessageBox::Yes;
}

Prompts::Overwrite QtPrompts::askOverwrite(QWidget* parent, const QString& text)
{
    QMessageBox mb(QMessageBox::Information, QStringLiteral("Information"), text,
                   QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll, parent);
    // Replacing a file cannot be undone: a stray Enter keeps it.
    mb.setDefaultButton(QMessageBox::No);
    mb.setEscapeButton(QMessageBox::No);
    return overwriteAnswer(QMessageBox::StandardButton(mb.exec()));
}

std::unique_ptr<Prompts::Pending> QtPrompts::askOverwriteLater(QWidget* parent, const QString& text,
                                                              std::function<void(Overwrite)> answered)
{
    QMessageBox* mb = openBox(parent, QMessageBox::Information, text,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll);
    // Replacing a file cannot be undone: a stray Enter keeps it.
    mb->setDefaultButton(QMessageBox::No);
    mb->setEscapeButton(QMessageBox::No);
    QObject::connect(mb, &QMessageBox::finished, mb, [mb, answered = std::move(answered)] {
        answered(overwriteAnswer(mb->standardButton(mb->clickedButton())));
    });
    mb->open();
    return std::make_unique<OpenBox>(mb);
}

std::unique_ptr<Prompts::Pending> QtPrompts::noticeLater(QWidget* parent, const QString& text, std::function<void()> closed)
{
    QMessageBox* mb = openBox(parent, QMessageBox::NoIcon, text, QMessageBox::Ok);
    fitLongText(mb, text);
    QObject::connect(mb, &QMessageBox::finished, mb, [closed = std::move(closed)] { closed(); });
    mb->open();
    return std::make_unique<OpenBox>(mb);
}

Prompts::FileChoice QtPrompts::chooseFiles(QWidget* parent, const QString& startFolder,
                                           const QStringList& filters)
{
    QFileDialog dlg(parent);
    dlg.setFileMode(QFileDialog::ExistingFiles);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    dlg.setDirectory(startFolder);
    dlg.setNameFilters(filters);
    if (!filters.isEmpty())
        dlg.selectNameFilter(filters.first());
    FileChoice choice;
    if (dlg.exec() != QDialog::Accepted)
        return choice;
    choice.files = dlg.selectedFiles();
    choice.folder = dlg.directory().absolutePath();
    return choice;
}

void QtPrompts::runModal(QDialog& dialog)
{
    dialog.exec();
}

} // namespace sondrel
