// The built-in text viewer ("ASCII Viewer"): a file shown read-only, as
// formatted text when it is an RTF file, otherwise as plain text appended
// piece by piece (browser/TextViewer.h) so a large file keeps the window
// responsive. Word wrap and the viewer's font (font slot 5) in its menu.
#pragma once

#include "settings/FontValue.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>

class Prompter;
class QPlainTextEdit;
class TTextFileReader;

class TViewerForm : public QMainWindow
{
    Q_OBJECT
public:
    // font: the viewer's font slot (its custom font when it uses one).
    explicit TViewerForm(const TFontSlot &font, QWidget *parent = nullptr);
    ~TViewerForm() override;

    // Loads a file; false (and "File not found" told through prompter) when
    // there is none. Plain text keeps arriving after the call returns.
    bool loadFile(const QString &path, Prompter &prompter);
    // Whether the whole file is in the window.
    bool loaded() const { return !m_reader; }
    QPlainTextEdit *textBox() const { return m_text; }
    // The note shown when an RTF file holds what cannot be shown; empty otherwise.
    QString note() const { return m_note; }
    void setWordWrap(bool on);
    bool wordWrap() const;
    // The font slot as the user last chose it.
    const TFontSlot &fontSlot() const { return m_font; }

signals:
    void loadingFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void appendPiece();
    void chooseFont();
    void applyFont();

    QPlainTextEdit *m_text = nullptr;
    std::unique_ptr<TTextFileReader> m_reader;
    QTimer m_pieces;
    TFontSlot m_font;
    QString m_note;
};

// Opens the viewer on a file as the "View File" command does: modal while
// the file is shown; nothing when the file is missing (prompter is told).
void ViewFile(QWidget *parent, const QString &path, TFontSlot &font, Prompter &prompter);
