#include "hexeditor/Caret.h"

#include <QPainter>
#include <QtTest>

Q_DECLARE_METATYPE(TCaretStyle)

class CaretTest : public QObject {
    Q_OBJECT

private slots:
    void barRect_data();
    void barRect();
    void bitmap();
    void paintShowsCursorFrameOnWhite_data();
    void paintShowsCursorFrameOnWhite();
    void paintInvertsAnyBackground();
};

void CaretTest::barRect_data()
{
    QTest::addColumn<TCaretStyle>("style");
    QTest::addColumn<int>("charWidth");
    QTest::addColumn<int>("lineHeight");
    QTest::addColumn<QRect>("bar");
    QTest::newRow("full") << csFull << 8 << 17 << QRect(0, 0, 8, 15);
    QTest::newRow("left line") << csLeftLine << 8 << 17 << QRect(0, 0, 2, 15);
    QTest::newRow("bottom line over rows 13 and 14") << csBottomLine << 8 << 17 << QRect(0, 13, 8, 2);
    QTest::newRow("left line wider than the caret") << csLeftLine << 1 << 17 << QRect(0, 0, 1, 15);
    QTest::newRow("bottom line in a short caret") << csBottomLine << 8 << 3 << QRect(0, 0, 8, 1);
    QTest::newRow("no room") << csFull << 8 << 2 << QRect();
}

void CaretTest::barRect()
{
    QFETCH(TCaretStyle, style);
    QFETCH(int, charWidth);
    QFETCH(int, lineHeight);
    QFETCH(QRect, bar);
    const QRect actual = CaretBarRect(style, charWidth, lineHeight);
    if (bar.isEmpty())
        QVERIFY(actual.isEmpty());
    else
        QCOMPARE(actual, bar);
    QCOMPARE(CaretSize(charWidth, lineHeight), QSize(charWidth, std::max(0, lineHeight - 2)));
}

void CaretTest::bitmap()
{
    const QImage image = CaretBitmap(csBottomLine, 8, 17, clNavy, QPalette());
    QCOMPARE(image.size(), QSize(8, 15));
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 8; ++x) {
            const QColor expected = y >= 13 ? QColor(255, 255, 127) : QColor(Qt::black);
            QCOMPARE(image.pixelColor(x, y), expected);
        }
    }
}

void CaretTest::paintShowsCursorFrameOnWhite_data()
{
    QTest::addColumn<TCaretStyle>("style");
    QTest::addColumn<uint>("cursorFrame");
    QTest::newRow("full navy") << csFull << uint(clNavy);
    QTest::newRow("left line red") << csLeftLine << uint(clRed);
    QTest::newRow("bottom line pale") << csBottomLine << uint(0x336699);
}

void CaretTest::paintShowsCursorFrameOnWhite()
{
    QFETCH(TCaretStyle, style);
    QFETCH(uint, cursorFrame);
    QImage image(30, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QPoint at(5, 7);
    {
        QPainter painter(&image);
        PaintCaret(painter, at, style, 8, 17, cursorFrame, QPalette());
    }
    const QRect bar = CaretBarRect(style, 8, 17).translated(at);
    const QColor frame = ColorToQColor(cursorFrame);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 30; ++x) {
            const QColor expected = bar.contains(x, y) ? frame : QColor(Qt::white);
            QCOMPARE(image.pixelColor(x, y), expected);
        }
    }
}

void CaretTest::paintInvertsAnyBackground()
{
    QImage image(10, 20, QImage::Format_RGB32);
    image.fill(QColor(0x12, 0x34, 0x56));
    const QImage original = image;
    {
        QPainter painter(&image);
        PaintCaret(painter, QPoint(0, 0), csFull, 10, 17, clNavy, QPalette());
    }
    // Ink (255, 255, 127) xor (0x12, 0x34, 0x56).
    QCOMPARE(image.pixelColor(3, 3), QColor(0x12 ^ 0xFF, 0x34 ^ 0xFF, 0x56 ^ 0x7F));
    QCOMPARE(image.pixelColor(3, 16), QColor(0x12, 0x34, 0x56)); // below the caret
    {
        QPainter painter(&image);
        PaintCaret(painter, QPoint(0, 0), csFull, 10, 17, clNavy, QPalette());
    }
    QCOMPARE(image, original); // a second paint takes it away
}

QTEST_MAIN(CaretTest)
#include "CaretTest.moc"
