// The splash window shown while the program starts: a small frameless window
// with the program's picture and name and a line telling what the start is
// doing ("Initializing...", "Opening listed catalogs...", "Autoloading
// catalogs...", "Done."). It closes itself on a tick of its timer once its
// text reads "Done."; a click, or finishSoon(), shortens the wait so that it
// closes as soon as the text reads "Done.".
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    // The text that lets the splash close.
    static QString DoneText() { return QStringLiteral("Done."); }
    // Milliseconds between the timer's ticks.
    static constexpr int kTickMs = 3500;

    // tickMs: the period of the closing timer (tests use a short one).
    explicit TSplashForm(int tickMs = kTickMs, QWidget *parent = nullptr);

    // Whether a splash should be shown at all: not without a real display
    // (the offscreen and minimal platforms) and not when the environment
    // variable QUILLON_NO_SPLASH is set to anything but "0".
    static bool Wanted();

    // Shows the window centred on the primary screen and paints it at once.
    void showCentred();
    // Sets the status line and paints it at once (the start may not return
    // to the event loop for a while).
    void setText(const QString &text);
    QString text() const { return m_text; }
    // The next tick comes at once, and once the text reads "Done." the
    // window closes without waiting for another full period.
    void finishSoon();
    bool finishingSoon() const { return m_soon; }

signals:
    // The window closed itself.
    void finished();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void tick();

    QString m_text;
    QTimer m_timer;
    bool m_soon = false;
};
