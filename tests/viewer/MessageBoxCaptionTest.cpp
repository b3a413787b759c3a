// The real message boxes are wide enough for their captions: the frame draws the caption
// beside its icon and buttons, and a narrower box cuts it short.
#include "ui/Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    int width = 0;
    int height = 0;
    int captionNeed = 0;
};

// What the caption needs at least: its text in the title bar's bold face and room for the
// window icon and two buttons.
int CaptionNeed(const QWidget& box)
{
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int frameButton = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    return QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 3 * frameButton;
}

// Runs show (which shows one real modal box), measures the box once it is up and answers it.
SeenBox Measure(const std::function<void()>& show)
{
    SeenBox seen;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.width = box->width();
        seen.height = box->height();
        seen.captionNeed = CaptionNeed(*box);
        box->defaultButton()->click();
    });
    poll.start();
    show();
    return seen;
}

} // namespace

class MessageBoxCaptionTest : public QObject {
    Q_OBJECT

private slots:
    void boxFitsCaption_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        const int plain = int(MsgKind::Plain);
        const int box = int(MsgKind::Box);
        const int error = int(MsgKind::Error);
        QTest::newRow("find fails") << plain << "String Not Found."
                                    << "Korvex";
        QTest::newRow("one word") << plain << "x"
                                  << "Korvex";
        QTest::newRow("save confirmation") << box << "Save complete!"
                                           << "Saved All";
        QTest::newRow("exit question") << box << "Are you sure you want to exit?"
                                       << "Exit";
        QTest::newRow("caption longer than text")
            << box << "Done."
            << "A caption that is a good deal longer than the text of its box";
        QTest::newRow("error display") << error << "Cannot open file /tmp/none"
                                       << "Korvex";
    }
    void boxFitsCaption()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        const SeenBox seen = Measure([&] {
            switch (MsgKind(kind)) {
            case MsgKind::Plain:
                ShowMessage(text);
                break;
            case MsgKind::Box:
                MessageBox(nullptr, text, caption, MsgButtons::OkCancel, MsgIcon::Question);
                break;
            case MsgKind::Error:
                ShowErrorMessage(text);
                break;
            }
        });
        QVERIFY(seen.seen);
        QCOMPARE(seen.title, caption);
        QCOMPARE(seen.text, text);
        QVERIFY2(seen.width >= seen.captionNeed,
            qPrintable(
                QStringLiteral("box %1 wide, caption needs %2").arg(seen.width).arg(seen.captionNeed)));
        // The width comes from an empty row: the box grows no taller for it.
        QVERIFY2(seen.height < 200, qPrintable(QString::number(seen.height)));
    }
};

QTEST_MAIN(MessageBoxCaptionTest)
#include "MessageBoxCaptionTest.moc"
