// The stderr prompter and the program-wide default.
#include "platform/Prompter.h"

#include <cstdio>

MsgAnswer StderrPrompter::ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons)
{
    (void)icon;
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgAnswer::Yes;
    case MsgButtons::RetryCancel:
        return MsgAnswer::Cancel;   // retrying unattended would loop for ever
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        break;
    }
    return MsgAnswer::Ok;
}

namespace {
StderrPrompter g_stderrPrompter;
Prompter *g_prompter = &g_stderrPrompter;
}

Prompter &DefaultPrompter()
{
    return *g_prompter;
}

void SetDefaultPrompter(Prompter *prompter)
{
    g_prompter = prompter ? prompter : &g_stderrPrompter;
}
