// The prompter of quillon-cli: one line per message on stderr, "quillon-cli:
// KIND: CAPTION: TEXT", with the system's line breaks as plain ones.
#include "cli/CliPrompter.h"

#include "platform/Texts.h"

MsgAnswer CliPrompter::ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons)
{
    ++m_shown;
    const char *kind = icon == MsgIcon::Error ? "error" : icon == MsgIcon::Warning ? "warning" : "note";
    const QByteArray line = QStringLiteral("quillon-cli: %1: %2: %3\n")
                                .arg(QLatin1String(kind), caption, PlainLineBreaks(text))
                                .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), m_err);
    std::fflush(m_err);
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
    case MsgButtons::RetryCancel:
        break;
    }
    return MsgAnswer::Cancel;
}
