#include "support/messages.h"

#include <cstdio>

namespace {
ScriptedMessages& fallback()
{
    static ScriptedMessages instance;
    return instance;
}

Messages*& installed()
{
    static Messages* current = nullptr;
    return current;
}
}  // namespace

Messages& messages() { return installed() ? *installed() : fallback(); }

void setMessages(Messages* m) { installed() = m; }

void msgBox(const QString& text, Icon icon, const QString& title)
{
    messages().show(Message{text, title, icon, Buttons::Ok, Answer::Ok, {}, {}});
}

bool askYesNo(const QString& text, const QString& title, bool defaultYes, Icon icon)
{
    const Answer a =
        messages().show(Message{text, title, icon, Buttons::YesNo, defaultYes ? Answer::Yes : Answer::No, {}, {}});
    return a == Answer::Yes;
}

Answer ScriptedMessages::show(const Message& message)
{
    shown.push_back(message);
    Answer answer = message.defaultAnswer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (echo) {
        const QString line =
            message.title.isEmpty() ? message.text : message.title + QStringLiteral(": ") + message.text;
        std::fprintf(stderr, "%s\n", qPrintable(QString(line).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))));
    }
    return answer;
}

QStringList ScriptedMessages::texts() const
{
    QStringList result;
    for (const Message& m : shown)
        result << m.text;
    return result;
}
