#include "FakePrompts.h"

QStringList FakePrompts::texts() const
{
    QStringList out;
    for (const Message& m : messages)
        out << m.text;
    return out;
}

bool FakePrompts::answer()
{
    if (answers.empty())
        return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

void FakePrompts::information(QWidget*, const QString& text)
{
    messages << Message{Kind::Information, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
}

void FakePrompts::notice(QWidget*, const QString& text)
{
    messages << Message{Kind::Notice, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
}

bool FakePrompts::confirm(QWidget*, const QString& text)
{
    messages << Message{Kind::Confirm, QStringLiteral("Confirm"), text};
    if (onMessage) onMessage(messages.last());
    return answer();
}

bool FakePrompts::askYesNo(QWidget*, const QString& text)
{
    messages << Message{Kind::AskYesNo, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
    return answer();
}

bool FakePrompts::confirmCautious(QWidget*, const QString& text)
{
    messages << Message{Kind::ConfirmCautious, QStringLiteral("Confirm"), text};
    if (onMessage) onMessage(messages.last());
    return answer();
}

sondrel::Prompts::Overwrite FakePrompts::askOverwrite(QWidget*, const QString& text)
{
    messages << Message{Kind::AskOverwrite, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
    if (!overwriteAnswers.empty()) {
        const Overwrite a = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return a;
    }
    return answer() ? Overwrite::Yes : Overwrite::No;
}

sondrel::Prompts::FileChoice FakePrompts::chooseFiles(QWidget*, const QString& startFolder,
                                                      const QStringList& filters)
{
    lastStartFolder = startFolder;
    lastFilters = filters;
    if (fileChoices.empty())
        return {};
    FileChoice c = fileChoices.front();
    fileChoices.pop_front();
    return c;
}

void FakePrompts::runModal(QDialog& dialog)
{
    ++dialogsShown;
    dialog.open();
    if (!dialogActions.empty()) {
        auto action = std::move(dialogActions.front());
        dialogActions.pop_front();
        action(dialog);
    }
    if (dialog.isVisible())
        dialog.reject();
}
