// The prompter of quillon-cli: the messages of the core go to stderr.
#pragma once

#include "platform/Prompter.h"

#include <QString>

#include <cstdio>

// Tells the messages of the catalog store to stderr. Nobody is there to
// answer, so questions get the cautious answer (Cancel, else No) and plain
// messages OK. Counts what it showed, so a command can tell it was warned.
class CliPrompter : public Prompter
{
public:
    explicit CliPrompter(FILE *err) : m_err(err) {}
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override;
    int shown() const { return m_shown; }

private:
    FILE *m_err;
    int m_shown = 0;
};
