#include "FakePrompts.h"

#include <QTimer>

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

sondrel::Prompts::Overwrite FakePrompts::overwriteAnswer()
{
    if (!overwriteAnswers.empty()) {
        const Overwrite a = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return a;
    }
    return answer() ? Overwrite::Yes : Overwrite::No;
}

sondrel::Prompts::Overwrite FakePrompts::askOverwrite(QWidget*, const QString& text)
{
    messages << Message{Kind::AskOverwrite, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
    return overwriteAnswer();
}

namespace {
// A box the fake keeps up: the program closing it (destroying the handle) cancels its reply.
class FakePending : public sondrel::Prompts::Pending {
public:
    explicit FakePending(std::shared_ptr<std::function<void()>> reply) : m_reply(std::move(reply)) {}
    ~FakePending() override { *m_reply = nullptr; }

private:
    std::shared_ptr<std::function<void()>> m_reply;
};
} // namespace

std::unique_ptr<sondrel::Prompts::Pending> FakePrompts::later(std::function<void()> reply)
{
    auto shared = std::make_shared<std::function<void()>>(std::move(reply));
    if (holdBoxes) {
        m_held = shared;
    } else {
        QTimer::singleShot(0, [shared] {
            if (*shared) {
                const auto reply = std::move(*shared);
                *shared = nullptr;
                reply();
            }
        });
    }
    return std::make_unique<FakePending>(shared);
}

bool FakePrompts::boxHeld() const
{
    return m_held && *m_held;
}

bool FakePrompts::answerHeld()
{
    if (!boxHeld())
        return false;
    const auto reply = std::move(*m_held);
    *m_held = nullptr;
    m_held.reset();
    reply();
    return true;
}

std::unique_ptr<sondrel::Prompts::Pending> FakePrompts::askOverwriteLater(QWidget*, const QString& text,
                                                                         std::function<void(Overwrite)> answered)
{
    messages << Message{Kind::AskOverwrite, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
    // The answer is taken from the scripts when the box is answered, as a user would then.
    return later([this, answered = std::move(answered)] { answered(overwriteAnswer()); });
}

std::unique_ptr<sondrel::Prompts::Pending> FakePrompts::noticeLater(QWidget*, const QString& text,
                                                                   std::function<void()> closed)
{
    messages << Message{Kind::Notice, QStringLiteral("Information"), text};
    if (onMessage) onMessage(messages.last());
    return later(std::move(closed));
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
