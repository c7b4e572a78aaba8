// The desktop's services for the file actions: files opened through the
// desktop's handlers, folders shown by the file manager over D-Bus (else
// opened like a file), external viewers started, the extract dialog and the
// built-in viewer.
#pragma once

#include "browser/FileActions.h"
#include "settings/FontValue.h"

class QWidget;

class TQtDesktop : public TDesktop
{
public:
    // viewerFont: the viewer's font slot, updated when the user sets another.
    TQtDesktop(QWidget *parent, Prompter &prompter, TFontSlot &viewerFont)
        : m_parent(parent), m_prompter(prompter), m_viewerFont(viewerFont) {}

    bool openFile(const QString &path) override;
    bool hasHandler(const QString &path) override;
    bool showFolder(const QString &folder, const QString &item) override;
    bool startProgram(const QString &program, const QStringList &arguments, const QString &workDir) override;
    bool chooseExtractFolder(const QString &caption, QString &folder, bool &keepDirs) override;
    void viewText(const QString &path) override;

private:
    QWidget *m_parent;
    Prompter &m_prompter;
    TFontSlot &m_viewerFont;
};
