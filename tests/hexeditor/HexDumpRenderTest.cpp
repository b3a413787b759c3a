#include "hexeditor/HexDumpRender.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cstring>
#include <vector>

namespace {

// Text is size pixels high and size pixels wide per character.
class FakeCanvas : public THexDumpCanvas {
public:
    struct Out {
        int x;
        int y;
        std::string text;
    };
    int size = 12;
    std::vector<Out> written;

    int FontSize() const override { return size; }
    void SetFontSize(int value) override { size = value; }
    int TextWidth(const std::string& text) const override { return int(text.size()) * size; }
    int TextHeight(const std::string&) const override { return size; }
    void TextOut(int x, int y, const std::string& text) override { written.push_back({x, y, text}); }
};

class Bytes : public THexDumpSource {
public:
    explicit Bytes(int32_t size)
        : FSize(size)
    {
    }
    int32_t DataSize() const override { return FSize; }
    uint8_t ByteAt(int32_t position) const override
    {
        if (position < 0 || position >= FSize)
            throw std::out_of_range("read outside the data");
        return uint8_t(position);
    }
    uint8_t CharOf(uint8_t value) const override { return value >= 0x20 && value < 0x7F ? value : '.'; }
    int OffsetDisplayWidth() const override { return 5; }

private:
    int32_t FSize;
};

// No fitting, so a line step is 1.2 x 12 = 14 (rounded) pixels.
THexDumpOptions Fixed()
{
    THexDumpOptions options;
    options.shrinkToFit = false;
    options.stretchToFit = false;
    return options;
}

TDrawArea Lines(int count, int step = 14)
{
    TDrawArea area;
    area.AreaTop = 10;
    area.AreaLeft = 7;
    area.AreaBottom = 10 + count * step;
    area.AreaRight = 1000;
    return area;
}

} // namespace

class HexDumpRenderTest : public QObject {
    Q_OBJECT

private slots:
    void lineStep_data();
    void lineStep();
    void refusals();
    void writesWhatFits_data();
    void writesWhatFits();
    void headerAndFooter();
    void footerTakesTheOnlyStep();
    void pagesCoverTheData();
    void fitting_data();
    void fitting();
    void painterCanvas();
};

void HexDumpRenderTest::lineStep_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("step");
    QTest::newRow("10") << 10 << 12;
    QTest::newRow("12") << 12 << 14;
    QTest::newRow("13: 15.6") << 13 << 16;
    QTest::newRow("14: 16.8") << 14 << 17;
    QTest::newRow("4: 4.8") << 4 << 5;
    QTest::newRow("1: rounds to itself, one more") << 1 << 2;
    QTest::newRow("0") << 0 << 1;
}

void HexDumpRenderTest::lineStep()
{
    QFETCH(int, height);
    QFETCH(int, step);
    QCOMPARE(HexDumpLineStep(height), step);
}

void HexDumpRenderTest::refusals()
{
    FakeCanvas canvas;
    Bytes data(40);
    TDrawArea area = Lines(10);
    THexDumpOptions options = Fixed();
    QCOMPARE(DrawHexDump(canvas, options, area, nullptr, 0, 100, "", ""), 0x7FFFFFFF);
    options.layout.bytesPerLine = 0;
    QCOMPARE(DrawHexDump(canvas, options, area, &data, 0, 100, "", ""), -1);
    QCOMPARE(DrawHexDump(canvas, options, area, nullptr, 0, 100, "", ""), -1);
    options.layout.bytesPerLine = 16;
    QCOMPARE(DrawHexDump(canvas, options, area, &data, 40, 100, "head", "foot"), -1);
    QCOMPARE(DrawHexDump(canvas, options, area, &data, 10, 9, "head", "foot"), -1);
    Bytes empty(0);
    QCOMPARE(DrawHexDump(canvas, options, area, &empty, 0, 100, "", ""), -1);
    QVERIFY(canvas.written.empty());
    QCOMPARE(area.AreaBottom, Lines(10).AreaBottom);
}

void HexDumpRenderTest::writesWhatFits_data()
{
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("lines");
    QTest::newRow("one line of 40 bytes") << 40 << 32 << 1000 << 10 << 40 << 1;
    QTest::newRow("room for one line") << 100 << 32 << 1000 << 1 << 48 << 1;
    QTest::newRow("everything") << 100 << 0 << 99 << 10 << 100 << 7;
    QTest::newRow("stops at endPos") << 100 << 0 << 20 << 10 << 21 << 2;
    QTest::newRow("no room") << 100 << 16 << 99 << 0 << 16 << 0;
    QTest::newRow("exactly the lines") << 64 << 0 << 63 << 4 << 64 << 4;
}

void HexDumpRenderTest::writesWhatFits()
{
    QFETCH(int, dataSize);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, room);
    QFETCH(int, result);
    QFETCH(int, lines);
    FakeCanvas canvas;
    Bytes data(dataSize);
    TDrawArea area = Lines(room);
    QCOMPARE(DrawHexDump(canvas, Fixed(), area, &data, start, end, "", ""), result);
    QCOMPARE(int(canvas.written.size()), lines);
    for (int i = 0; i < lines; ++i) {
        QCOMPARE(canvas.written[size_t(i)].x, 7);
        QCOMPARE(canvas.written[size_t(i)].y, 10 + 14 * i);
        // Each line starts with its own offset.
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%02X:", start + 16 * i);
        QCOMPARE(QString::fromStdString(canvas.written[size_t(i)].text.substr(0, 5)), QString(offset));
    }
}

void HexDumpRenderTest::headerAndFooter()
{
    FakeCanvas canvas;
    Bytes data(100);
    TDrawArea area = Lines(5);
    QCOMPARE(DrawHexDump(canvas, Fixed(), area, &data, 0, 99, "head", "foot"), 48);
    QCOMPARE(int(canvas.written.size()), 5); // header, three lines, footer
    QCOMPARE(canvas.written.front().text, std::string("head"));
    QCOMPARE(canvas.written.front().y, 10);
    QCOMPARE(canvas.written[1].y, 24);
    QCOMPARE(canvas.written.back().text, std::string("foot"));
    QCOMPARE(canvas.written.back().y, 10 + 4 * 14);
    QCOMPARE(area.AreaBottom, 10 + 4 * 14); // the area keeps the lowered bottom
}

void HexDumpRenderTest::footerTakesTheOnlyStep()
{
    FakeCanvas canvas;
    Bytes data(100);
    TDrawArea area = Lines(1);
    QCOMPARE(DrawHexDump(canvas, Fixed(), area, &data, 16, 99, "", "foot"), 16);
    QCOMPARE(int(canvas.written.size()), 1);
    QCOMPARE(canvas.written[0].text, std::string("foot"));
    QCOMPARE(canvas.written[0].y, 10);
}

void HexDumpRenderTest::pagesCoverTheData()
{
    FakeCanvas canvas;
    Bytes data(1000);
    int32_t pos = 0;
    int pages = 0;
    while (pos <= 999 && pages < 100) {
        TDrawArea area = Lines(7);
        pos = DrawHexDump(canvas, Fixed(), area, &data, pos, 999, "", "page");
        ++pages;
    }
    QCOMPARE(pos, 1000);
    QCOMPARE(pages, 11); // 63 lines of 16 bytes, six per page
    int lines = 0;
    for (const auto& out : canvas.written) {
        if (out.text == "page")
            continue;
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%02X:", 16 * lines); // 0x3E0 outgrows width 5
        QCOMPARE(QString::fromStdString(out.text.substr(0, std::strlen(offset))), QString(offset));
        ++lines;
    }
    QCOMPARE(lines, 63);
}

void HexDumpRenderTest::fitting_data()
{
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<bool>("shrink");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("size");
    // A default line here is "0x00:" + 40 + ";" + 16 = 62 characters; width = 62 * size.
    QTest::newRow("stretch grows") << true << false << 62 * 20 + 5 << 20;
    QTest::newRow("stretch grows to an exact fit") << true << false << 62 * 20 << 20;
    QTest::newRow("stretch shrinks") << true << false << 62 * 7 + 61 << 7;
    QTest::newRow("shrink only shrinks") << false << true << 62 * 30 << 12;
    QTest::newRow("shrink to fit") << false << true << 62 * 9 + 1 << 9;
    QTest::newRow("neither") << false << false << 10 << 12;
    QTest::newRow("zero width stops at the smallest") << true << true << 0 << HexDumpMinFontSize;
    QTest::newRow("huge width stops at the largest") << true << true << 1000000 << HexDumpMaxFontSize;
}

void HexDumpRenderTest::fitting()
{
    QFETCH(bool, stretch);
    QFETCH(bool, shrink);
    QFETCH(int, width);
    QFETCH(int, size);
    FakeCanvas canvas;
    Bytes data(100);
    THexDumpOptions options;
    options.stretchToFit = stretch;
    options.shrinkToFit = shrink;
    TDrawArea area;
    area.AreaRight = width;
    area.AreaBottom = 100000;
    DrawHexDump(canvas, options, area, &data, 0, 99, "", "");
    QCOMPARE(canvas.size, size);
}

void HexDumpRenderTest::painterCanvas()
{
    QImage image(600, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QFont font("Liberation Mono");
    font.setPointSize(12);
    Bytes data(48);
    QPainter painter(&image);
    const QFont before = painter.font();
    int32_t result;
    {
        TPainterHexDumpCanvas canvas(painter, font);
        QCOMPARE(canvas.FontSize(), 12);
        QVERIFY(canvas.TextWidth("0x00:") > 0);
        TDrawArea area;
        area.AreaRight = 500;
        area.AreaBottom = 200;
        result = DrawHexDump(canvas, THexDumpOptions{}, area, &data, 0, 47, "", "");
        QVERIFY(canvas.FontSize() != 12); // fitted to 500 pixels
        QVERIFY(canvas.TextWidth(FormatHexDumpLine(
                    THexDumpLayout{}, 0, 47, [](int32_t p) { return uint8_t(p); },
                    [](uint8_t) { return uint8_t('.'); }))
            <= 500);
    }
    QCOMPARE(painter.font(), before);
    painter.end();
    QCOMPARE(result, 48);
    int inked = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 600; ++x)
            inked += image.pixelColor(x, y) != QColor(Qt::white);
    }
    QVERIFY(inked > 100);
}

QTEST_MAIN(HexDumpRenderTest)
#include "HexDumpRenderTest.moc"
