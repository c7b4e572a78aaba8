// The desktop's services for the file actions: files opened through the
// desktop's handlers, folders shown by the file manager over D-Bus (else
// opened like a file), external viewers started, the extract dialog and the
// built-in viewer.
#pragma once

#include "browser/FileActions.h"

class QWidget;
class Registry;
class TOptions;

class TQtDesktop : public TDesktop
{
public:
    // The built-in viewer keeps its font in options and its placement in
    // registry (null: nowhere).
    TQtDesktop(QWidget *parent, Prompter &prompter, TOptions &options, Registry *registry)
        : m_parent(parent), m_prompter(prompter), m_options(options), m_registry(registry) {}

    bool openFile(const QString &path) override;
    bool hasHandler(const QString &path) override;
    bool showFolder(const QString &folder, const QString &item) override;
    bool startProgram(const QString &program, const QStringList &arguments, const QString &workDir) override;
    bool chooseExtractFolder(const QString &caption, QString &folder, bool &keepDirs) override;
    void viewText(const QString &path) override;

private:
    QWidget *m_parent;
    Prompter &m_prompter;
    TOptions &m_options;
    Registry *m_registry;
};
