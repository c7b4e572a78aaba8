// The splash window: painted from the program's icon, no image files.
#include "browser/ui/Splash.h"

#include "widgets/ui/Icons.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace {

// The window's size: room for the picture, the name and one status line.
constexpr int kWidth = 420;
constexpr int kHeight = 220;
constexpr int kPictureSize = 96;
constexpr int kMargin = 24;

} // namespace

TSplashForm::TSplashForm(int tickMs, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_text(QStringLiteral("Initializing..."))
{
    setObjectName(QStringLiteral("SplashForm"));
    setWindowTitle(QStringLiteral("Quillon"));
    setFixedSize(kWidth, kHeight);
    setCursor(Qt::PointingHandCursor);
    m_timer.setInterval(tickMs);
    connect(&m_timer, &QTimer::timeout, this, &TSplashForm::tick);
    m_timer.start();
}

bool TSplashForm::Wanted()
{
    const QByteArray off = qgetenv("QUILLON_NO_SPLASH");
    if (!off.isEmpty() && off != "0")
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

void TSplashForm::showCentred()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    show();
    raise();
    repaint();
}

void TSplashForm::setText(const QString &text)
{
    m_text = text;
    if (isVisible())
        repaint();
    if (m_soon && m_text == DoneText())
        QTimer::singleShot(0, this, &TSplashForm::tick);
}

void TSplashForm::finishSoon()
{
    m_soon = true;
    QTimer::singleShot(0, this, &TSplashForm::tick);
}

void TSplashForm::tick()
{
    if (m_text != DoneText() || !m_timer.isActive())
        return;
    m_timer.stop();
    close();
    emit finished();
}

void TSplashForm::mousePressEvent(QMouseEvent *)
{
    finishSoon();
}

void TSplashForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect area = rect();
    // The blues of the catalog picture, dark at the bottom.
    QLinearGradient fill(area.topLeft(), area.bottomLeft());
    fill.setColorAt(0, QColor(0x2f, 0x5d, 0x9b));
    fill.setColorAt(1, QColor(0x1b, 0x3a, 0x66));
    p.fillRect(area, fill);
    p.setPen(QPen(QColor(0x0f, 0x24, 0x42), 2));
    p.drawRect(area.adjusted(1, 1, -1, -1));

    // The picture on a light tile, the name beside it.
    const QRect tile(kMargin, kMargin, kPictureSize + 16, kPictureSize + 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xdf, 0xe8, 0xf5));
    p.drawRoundedRect(tile, 12, 12);
    const QPixmap picture = AppIcon(TAppImage::Catalog).pixmap(kPictureSize, kPictureSize);
    p.drawPixmap(tile.x() + 8, tile.y() + 8, picture);

    QFont title = font();
    title.setPointSize(28);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    const int textLeft = tile.right() + kMargin;
    p.drawText(QRect(textLeft, tile.y(), width() - textLeft - kMargin, tile.height() / 2 + 8),
               Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Quillon"));
    QFont subtitle = font();
    subtitle.setPointSize(11);
    p.setFont(subtitle);
    p.setPen(QColor(0xdf, 0xe8, 0xf5));
    p.drawText(QRect(textLeft, tile.center().y() + 12, width() - textLeft - kMargin, tile.height() / 2),
               Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Disk catalogs"));

    // The status line along the bottom.
    QFont status = font();
    status.setPointSize(10);
    p.setFont(status);
    p.setPen(QColor(0xf2, 0xc2, 0x30));
    p.drawText(QRect(kMargin, height() - kMargin - 20, width() - 2 * kMargin, 20), Qt::AlignLeft | Qt::AlignVCenter,
               m_text);
}
