// THexToCanvas: its defaults, the link to the editor, the line texts, and Draw on real
// QImage pages: what it answers, what it writes where, page after page.
#include "hexeditor/HexToCanvas.h"
#include "HexEditorTestSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>

#include <memory>
#include <string>

namespace {

std::vector<uint8_t> Counting(int size)
{
    std::vector<uint8_t> data(static_cast<size_t>(size));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i);
    return data;
}

QImage Page(int width = 800, int height = 1000)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// The line step of the canvas's font on the image when no fitting is done.
int StepOn(const THexToCanvas& canvas, QImage& image)
{
    return HexDumpLineStep(QFontMetrics(canvas.GetFont(), &image).height());
}

// The rows of the image that hold anything but white.
std::vector<int> InkedRows(const QImage& image)
{
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

// A canvas with fixed font size over an area of `lines` line steps.
void SetLines(THexToCanvas& canvas, QImage& image, int lines)
{
    canvas.SetShrinkToFit(false);
    canvas.SetStretchToFit(false);
    const int step = StepOn(canvas, image);
    canvas.DrawArea = {10, 5, 10 + lines * step, image.width() - 5};
}

int32_t DrawOn(THexToCanvas& canvas, QImage& image, int32_t start, int32_t end,
    const std::string& header = {}, const std::string& footer = {})
{
    QPainter painter(&image);
    return canvas.Draw(painter, start, end, header, footer);
}

} // namespace

class HexToCanvasTest : public QObject {
    Q_OBJECT

    TempDirFixture FTemp;

private slots:
    void init() { FTemp.Init(); }
    void cleanup() { QCOMPARE(FTemp.Finish(), QStringList()); }

    void defaults();
    void linkIsClearedWhenTheEditorGoes();
    void formatLineDefaults();
    void formatLineAfterGetLayout();
    void valueStyles_data();
    void valueStyles();
    void offsetsPaddedBeforeTheEditorMeasured();
    void drawAnswers_data();
    void drawAnswers();
    void drawWritesLinesInTheArea();
    void footerTakesTheOnlyStep();
    void pageAfterPage();
    void fittingStops_data();
    void fittingStops();
    void painterKeepsItsFont();
};

void HexToCanvasTest::defaults()
{
    THexToCanvas canvas;
    QCOMPARE(canvas.GetHexEditor(), nullptr);
    QCOMPARE(canvas.GetFont().pointSize(), 12);
    QCOMPARE(canvas.GetBytesPerLine(), 16);
    QCOMPARE(canvas.GetOffsetDisplay(), odHex);
    QCOMPARE(canvas.GetOffsetSeparator(), ':');
    QCOMPARE(canvas.GetMemFieldDisplay(), odHex);
    QCOMPARE(canvas.GetMemFieldSeparator(), ';');
    QVERIFY(canvas.GetDisplayCharField());
    QCOMPARE(canvas.GetCharFieldSeparator(), char(0));
    QVERIFY(canvas.GetShrinkToFit());
    QVERIFY(canvas.GetStretchToFit());
    QCOMPARE(canvas.GetBytesPerColumn(), 2);
    QVERIFY(!canvas.GetSwapNibbles());
    QCOMPARE(canvas.DrawArea.AreaTop, 0);
    QCOMPARE(canvas.DrawArea.AreaLeft, 0);
    QCOMPARE(canvas.DrawArea.AreaBottom, 0);
    QCOMPARE(canvas.DrawArea.AreaRight, 0);
    // Without an editor GetLayout changes nothing.
    canvas.GetLayout();
    QCOMPARE(canvas.GetMemFieldSeparator(), ';');
}

void HexToCanvasTest::linkIsClearedWhenTheEditorGoes()
{
    THexToCanvas canvas;
    QImage image = Page();
    auto editor = std::make_unique<THexEditor>();
    THexEditor other;
    Fill(*editor, Counting(64));
    canvas.SetHexEditor(editor.get());
    // Only the removal of the linked editor counts.
    canvas.Notification(&other, opRemove);
    canvas.Notification(editor.get(), opInsert);
    QCOMPARE(canvas.GetHexEditor(), editor.get());
    SetLines(canvas, image, 10);
    QCOMPARE(DrawOn(canvas, image, 0, 63), 64);

    editor.reset();
    QCOMPARE(canvas.GetHexEditor(), nullptr);
    canvas.DrawArea = {10, 5, 500, 700};
    QCOMPARE(DrawOn(canvas, image, 0, 63), 0x7FFFFFFF);

    // A relinked canvas no longer listens to the editor it left.
    auto first = std::make_unique<THexEditor>();
    canvas.SetHexEditor(first.get());
    canvas.SetHexEditor(&other);
    first.reset();
    QCOMPARE(canvas.GetHexEditor(), &other);
}

void HexToCanvasTest::formatLineDefaults()
{
    THexEditor editor;
    Fill(editor, {'A', 'B', 'C'});
    QCOMPARE(editor.GetOffsetDisplayWidth(), 4);
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    const std::string expected
        = "0x0:" + std::string("4142 43") + std::string(33, ' ') + ";" + "ABC" + std::string(13, ' ');
    QCOMPARE(canvas.FormatLine(0, 2), expected);
    // A line further on, with the last positions missing.
    Fill(editor, Counting(40));
    QCOMPARE(editor.GetOffsetDisplayWidth(), 5);
    const std::string line = canvas.FormatLine(32, 39);
    QCOMPARE(line.substr(0, 5), std::string("0x20:"));
    QCOMPARE(line.substr(5, 20), std::string("2021 2223 2425 2627 "));
    QCOMPARE(line.substr(25, 20), std::string(20, ' '));
    QCOMPARE(line.substr(45, 1), std::string(";"));
    QCOMPARE(line.size(), size_t(5 + 40 + 1 + 16));
}

void HexToCanvasTest::formatLineAfterGetLayout()
{
    THexEditor editor;
    Fill(editor, {0x4F});
    editor.SetBytesPerColumn(1);
    editor.SetSwapNibbles(true);
    editor.SetOffsetSeparator('|');
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    canvas.SetMemFieldDisplay(odDec);
    canvas.SetDisplayCharField(false);
    canvas.SetCharFieldSeparator('#');
    canvas.GetLayout();
    QCOMPARE(canvas.GetFont(), editor.font());
    QCOMPARE(canvas.GetBytesPerColumn(), 1);
    QVERIFY(canvas.GetSwapNibbles());
    QCOMPARE(canvas.GetMemFieldDisplay(), odHex);
    QCOMPARE(canvas.GetMemFieldSeparator(), ' ');
    QVERIFY(canvas.GetDisplayCharField());
    QCOMPARE(canvas.GetCharFieldSeparator(), char(0));
    const std::string expected
        = "0x0|" + std::string("F4 ") + std::string(15 * 3, ' ') + " " + "O" + std::string(15, ' ');
    QCOMPARE(canvas.FormatLine(0, 0), expected);
}

void HexToCanvasTest::valueStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("octal 8") << int(odOctal) << 8 << "0010";
    QTest::newRow("octal 255") << int(odOctal) << 255 << "0377";
    QTest::newRow("octal 0") << int(odOctal) << 0 << "0000";
    QTest::newRow("decimal 7") << int(odDec) << 7 << "  7";
    QTest::newRow("decimal 255") << int(odDec) << 255 << "255";
    QTest::newRow("hex") << int(odHex) << 0xA5 << "A5";
}

void HexToCanvasTest::valueStyles()
{
    QFETCH(int, style);
    QFETCH(int, value);
    QFETCH(QString, text);
    THexEditor editor;
    Fill(editor, {uint8_t(value), 0x41});
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    canvas.SetMemFieldDisplay(TOffsetDisplayStyle(style));
    canvas.SetOffsetDisplay(odNone);
    canvas.SetOffsetSeparator(0);
    canvas.SetBytesPerLine(2);
    canvas.SetBytesPerColumn(1);
    canvas.SetMemFieldSeparator(0);
    canvas.SetDisplayCharField(false);
    const std::string line = canvas.FormatLine(0, 0);
    // One value, its blank, then the missing second value in blanks.
    const size_t width = size_t(text.size());
    QCOMPARE(QString::fromStdString(line.substr(0, width)), text);
    QCOMPARE(line.substr(width), " " + std::string(width, ' ') + " ");
    // No value field at all.
    canvas.SetMemFieldDisplay(odNone);
    canvas.SetDisplayCharField(true);
    QCOMPARE(canvas.FormatLine(0, 1), std::string(1, char(editor.TranslateToAnsiChar(uint8_t(value)))) + "A");
}

void HexToCanvasTest::offsetsPaddedBeforeTheEditorMeasured()
{
    // A new editor has not measured its offset column yet; the canvas has it measured,
    // so its offsets are padded like the editor's.
    THexEditor editor;
    QCOMPARE(editor.GetOffsetDisplayWidth(), -1);
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    QCOMPARE(canvas.FormatLine(0, -1).substr(0, 4), std::string("0x0:"));
    QCOMPARE(editor.GetOffsetDisplayWidth(), 4);
}

void HexToCanvasTest::drawAnswers_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("lines"); // room in line steps
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("answer");
    QTest::newRow("one line left of 40 bytes") << 40 << 10 << 16 << 32 << 1000 << 40;
    QTest::newRow("room for one line of 100 bytes") << 100 << 1 << 16 << 32 << 1000 << 48;
    QTest::newRow("everything fits") << 100 << 10 << 16 << 0 << 99 << 100;
    QTest::newRow("an end inside the data") << 100 << 10 << 16 << 0 << 20 << 21;
    QTest::newRow("no room at all") << 100 << 0 << 16 << 16 << 99 << 16;
    QTest::newRow("start past the data") << 100 << 10 << 16 << 100 << 200 << -1;
    QTest::newRow("start after the end") << 100 << 10 << 16 << 50 << 40 << -1;
    QTest::newRow("no bytes per line") << 100 << 10 << 0 << 0 << 99 << -1;
    QTest::newRow("one byte per line") << 100 << 3 << 1 << 7 << 99 << 10;
}

void HexToCanvasTest::drawAnswers()
{
    QFETCH(int, size);
    QFETCH(int, lines);
    QFETCH(int, bytesPerLine);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, answer);
    THexEditor editor;
    Fill(editor, Counting(size));
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    canvas.SetBytesPerLine(bytesPerLine);
    QImage image = Page();
    SetLines(canvas, image, lines);
    QCOMPARE(DrawOn(canvas, image, start, end), answer);
    // Lines were written exactly when the answer moved on.
    QCOMPARE(InkedRows(image).empty(), answer <= start);
}

void HexToCanvasTest::drawWritesLinesInTheArea()
{
    THexEditor editor;
    Fill(editor, Counting(100));
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    QImage image = Page();
    SetLines(canvas, image, 4);
    const int step = StepOn(canvas, image);
    QCOMPARE(DrawOn(canvas, image, 0, 99, "Header", ""), 48); // the header takes one step
    const std::vector<int> rows = InkedRows(image);
    QVERIFY(!rows.empty());
    QVERIFY(rows.front() >= 10);
    QVERIFY(rows.back() < 10 + 4 * step);
    // Four bands of text: the header and three lines.
    int bands = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        bands += i == 0 || rows[i] != rows[i - 1] + 1;
    QCOMPARE(bands, 4);
    // Nothing left of the area.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 5; ++x)
            QCOMPARE(image.pixel(x, y), qRgb(255, 255, 255));
}

void HexToCanvasTest::footerTakesTheOnlyStep()
{
    THexEditor editor;
    Fill(editor, Counting(100));
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    QImage image = Page();
    SetLines(canvas, image, 1);
    const int step = StepOn(canvas, image);
    const int bottom = canvas.DrawArea.AreaBottom;
    QCOMPARE(DrawOn(canvas, image, 16, 99, "", "Footer"), 16);
    QCOMPARE(canvas.DrawArea.AreaBottom, bottom - step); // kept after the call
    // The footer is written at the lowered bottom: the only ink is its line.
    const std::vector<int> rows = InkedRows(image);
    QVERIFY(!rows.empty());
    QVERIFY(rows.front() >= 10);
    QVERIFY(rows.back() < 10 + step);
}

void HexToCanvasTest::pageAfterPage()
{
    THexEditor editor;
    Fill(editor, Counting(5000));
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    canvas.GetLayout();
    QImage probe = Page(600, 800);
    int32_t pos = 0;
    int pages = 0;
    while (pos != editor.GetDataSize() && pages < 100) {
        QImage image = Page(600, 800);
        canvas.DrawArea = {20, 20, 780, 580};
        const int32_t next = DrawOn(canvas, image, pos, 0x7FFFFFFE, "Korvex", "Page");
        QVERIFY(next > pos);
        QCOMPARE((next - pos) % 16 == 0 || next == editor.GetDataSize(), true);
        // Every page but the last is full: the same number of lines each time.
        if (pages > 0 && next != editor.GetDataSize())
            QCOMPARE(next - pos, pos / pages);
        pos = next;
        ++pages;
    }
    QCOMPARE(pos, editor.GetDataSize());
    QVERIFY(pages > 1);
    // Drawing again from the end has nothing to write.
    QCOMPARE(DrawOn(canvas, probe, pos, 0x7FFFFFFE), -1);
}

void HexToCanvasTest::fittingStops_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<bool>("shrink");
    QTest::newRow("no width, shrinking") << 0 << false << true;
    QTest::newRow("no width, stretching") << 0 << true << false;
    QTest::newRow("negative width") << -50 << true << true;
    QTest::newRow("a very wide area") << 2000000000 << true << true;
}

void HexToCanvasTest::fittingStops()
{
    QFETCH(int, width);
    QFETCH(bool, stretch);
    QFETCH(bool, shrink);
    THexEditor editor;
    Fill(editor, Counting(64));
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    canvas.SetStretchToFit(stretch);
    canvas.SetShrinkToFit(shrink);
    QImage image = Page(200, 200);
    canvas.DrawArea = {0, 0, 200, width};
    const int32_t next = DrawOn(canvas, image, 0, 63);
    QVERIFY(next >= 0 && next <= 64);
    // The font the canvas keeps is its own; only the painter's copy was fitted.
    QCOMPARE(canvas.GetFont().pointSize(), 12);
}

void HexToCanvasTest::painterKeepsItsFont()
{
    THexEditor editor;
    Fill(editor, Counting(64));
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    QImage image = Page();
    canvas.DrawArea = {0, 0, 500, 700};
    QPainter painter(&image);
    QFont own(QStringLiteral("Liberation Serif"));
    own.setPointSize(31);
    painter.setFont(own);
    QVERIFY(canvas.Draw(painter, 0, 63, "head", "foot") > 0);
    QCOMPARE(painter.font(), own);
}

QTEST_MAIN(HexToCanvasTest)
#include "HexToCanvasTest.moc"
