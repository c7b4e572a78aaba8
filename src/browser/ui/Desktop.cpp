// The desktop's services (see Desktop.h).
#include "browser/ui/Desktop.h"

#include "browser/ui/ViewerForm.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

bool TQtDesktop::openFile(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool TQtDesktop::hasHandler(const QString &path)
{
    // The freedesktop default application of the file's type.
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return true;   // nothing to ask: the opener's own answer stands
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(3000))
        return true;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

bool TQtDesktop::showFolder(const QString &folder, const QString &item)
{
    // The file manager shows the folder with the item selected.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"),
        item.isEmpty() ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(item.isEmpty() ? folder : item).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool TQtDesktop::startProgram(const QString &program, const QStringList &arguments, const QString &workDir)
{
    return QProcess::startDetached(program, arguments, workDir);
}

bool TQtDesktop::chooseExtractFolder(const QString &caption, QString &folder, bool &keepDirs)
{
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("ExtractToForm"));
    dialog.setWindowTitle(caption);
    auto *layout = new QVBoxLayout(&dialog);
    auto *line = new QHBoxLayout;
    auto *edit = new QLineEdit(folder);
    edit->setObjectName(QStringLiteral("FolderEdit"));
    auto *browse = new QPushButton(QStringLiteral("Browse..."));
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        const QString chosen = QFileDialog::getExistingDirectory(&dialog, caption, edit->text());
        if (!chosen.isEmpty())
            edit->setText(chosen);
    });
    line->addWidget(edit, 1);
    line->addWidget(browse);
    layout->addLayout(line);
    auto *keep = new QCheckBox(QStringLiteral("Keep folder structure stored in compressed file"));
    keep->setObjectName(QStringLiteral("KeepDirsCheck"));
    keep->setChecked(keepDirs);
    layout->addWidget(keep);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || edit->text().trimmed().isEmpty())
        return false;
    folder = edit->text().trimmed();
    keepDirs = keep->isChecked();
    return true;
}

void TQtDesktop::viewText(const QString &path)
{
    ViewFile(m_parent, path, m_options, m_registry, m_prompter);
}
