// The yardstick for what any Qt Widgets client costs on this machine: a 360x600 window of 20
// widgets and a QNetworkAccessManager. It prints the same marks as the app's bench probe: the
// first painted frame, then the first frame after one answer from the URL given (if any) has
// been shown. It runs until it is ended.

#include <QApplication>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

class Window : public QWidget {
public:
    bool answered = false;

protected:
    bool event(QEvent *e) override
    {
        if ((e->type() == QEvent::UpdateRequest || e->type() == QEvent::Paint) && !m_pending && !m_done) {
            m_pending = true;
            QMetaObject::invokeMethod(
                this, [this] { afterPaint(); }, Qt::QueuedConnection);
        }
        return QWidget::event(e);
    }

private:
    void afterPaint()
    {
        m_pending = false;
        if (!m_first) {
            m_first = true;
            std::printf("[Bench] first popover frame\n");
        }
        if (answered && !m_done) {
            m_done = true;
            std::printf("[Bench] popover frame with 20 tunnels\n");
        }
        std::fflush(stdout);
    }
    bool m_pending = false;
    bool m_first = false;
    bool m_done = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Window window;
    window.setFixedSize(360, 600);
    auto *layout = new QVBoxLayout(&window);
    QList<QLabel *> labels;
    for (int i = 0; i < 20; ++i) {
        if (i % 2) {
            layout->addWidget(new QPushButton(QStringLiteral("Start %1").arg(i)));
        } else {
            labels << new QLabel(QStringLiteral("tunnel-%1.localhost").arg(i));
            layout->addWidget(labels.last());
        }
    }
    QNetworkAccessManager network;
    if (argc > 1) {
        QNetworkReply *reply = network.get(QNetworkRequest(QUrl(QString::fromLocal8Bit(argv[1]))));
        QObject::connect(reply, &QNetworkReply::finished, &window, [&window, labels, reply] {
            reply->deleteLater();
            window.answered = true;
            for (QLabel *label : labels)
                label->setText(label->text() + QStringLiteral(" (online)"));
        });
    }
    window.show();
    return app.exec();
}
