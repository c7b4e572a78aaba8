// The built-in text viewer ("ASCII Viewer"): a file shown read-only, as
// formatted text when it is an RTF file, otherwise as plain text appended
// piece by piece (browser/TextViewer.h) so a large file keeps the window
// responsive. Word wrap and the viewer's font (font slot 5) in its menu;
// the description boxes' context menu on the text.
#pragma once

#include "settings/FontValue.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

class Prompter;
class QPlainTextEdit;
class Registry;
class TOptions;
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
    // What "Set Font" confirmed: the slot's custom font becomes font's face,
    // height and style, the slot uses it, fontChanged is told, and the text
    // takes the slot's font again.
    void setChosenFont(const QFont &font);
    void setFontChangedHook(std::function<void(const TFontSlot &)> hook) { m_fontChanged = std::move(hook); }

signals:
    void loadingFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void appendPiece();
    void chooseFont();
    void applyFont();

    QPlainTextEdit *m_text = nullptr;
    std::unique_ptr<TTextFileReader> m_reader;
    QTimer m_pieces;
    TFontSlot m_font;
    std::function<void(const TFontSlot &)> m_fontChanged;
    QString m_note;
};

// Opens the viewer on a file as the "View File" command does: modal while
// the file is shown; nothing when the file is missing (prompter is told).
// The viewer takes font slot 5 of options and its placement from
// "ViewerWndPos" of registry (null: none) and stores the placement when it
// closes; a font chosen in it goes into the slot and marks the settings
// modified.
void ViewFile(QWidget *parent, const QString &path, TOptions &options, Registry *registry, Prompter &prompter);
