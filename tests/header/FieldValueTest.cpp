#include "header/FieldValue.h"
#include "base/Errors.h"
#include "viewer/FieldBoxes.h"

#include <QTest>

Q_DECLARE_METATYPE(FieldId)
Q_DECLARE_METATYPE(FieldTextError)

class FieldValueTest : public QObject {
    Q_OBJECT
private slots:
    void textTests_data();
    void textTests();
    void strToInt_data();
    void strToInt();
    void strToInt64_data();
    void strToInt64();
    void unreadableTextNamesItself_data();
    void unreadableTextNamesItself();
    void parseFieldValue_data();
    void parseFieldValue();
    void fieldValueText_data();
    void fieldValueText();
    void toggleRoundTrip();
    void readFieldText_data();
    void readFieldText();
};

void FieldValueTest::textTests_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("decimal");
    QTest::newRow("empty") << QByteArray("") << false << false;
    QTest::newRow("digits") << QByteArray("0123456789") << true << true;
    QTest::newRow("upper hex") << QByteArray("ABCDEF") << true << false;
    QTest::newRow("lower hex") << QByteArray("abcdef") << true << false;
    QTest::newRow("mixed") << QByteArray("1f2E") << true << false;
    QTest::newRow("g") << QByteArray("12G") << false << false;
    QTest::newRow("prefix") << QByteArray("0x10") << false << false;
    QTest::newRow("dollar") << QByteArray("$10") << false << false;
    QTest::newRow("blank") << QByteArray(" 10") << false << false;
    QTest::newRow("trailing blank") << QByteArray("10 ") << false << false;
    QTest::newRow("sign") << QByteArray("-1") << false << false;
    QTest::newRow("plus") << QByteArray("+1") << false << false;
    QTest::newRow("nul") << QByteArray("1\0"
                                       "2",
        3) << false << false;
    QTest::newRow("above 127") << QByteArray("1\xC1") << false << false;
    QTest::newRow("full-width digit") << QByteArray("\xEF\xBC\x91") << false << false;
}

void FieldValueTest::textTests()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, hex);
    QFETCH(bool, decimal);
    const std::string_view view(text.constData(), size_t(text.size()));
    QCOMPARE(IsHexText(view), hex);
    QCOMPARE(IsDecimalText(view), decimal);
}

void FieldValueTest::strToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("decimal") << "12345" << 12345;
    QTest::newRow("leading zeros") << "0000000000042" << 42;
    QTest::newRow("max") << "2147483647" << 2147483647;
    QTest::newRow("min") << "-2147483648" << int(-2147483647 - 1);
    QTest::newRow("minus zero") << "-0" << 0;
    QTest::newRow("plus") << "+7" << 7;
    QTest::newRow("leading blanks") << "   7" << 7;
    QTest::newRow("blanks then sign") << "  -7" << -7;
    QTest::newRow("0x") << "0x1F" << 31;
    QTest::newRow("0X lower digits") << "0Xff" << 255;
    QTest::newRow("dollar") << "$10" << 16;
    QTest::newRow("minus hex") << "-$10" << -16;
    QTest::newRow("hex top bit") << "0x80000000" << int(0x80000000u);
    QTest::newRow("hex all ones") << "0xFFFFFFFF" << -1;
    QTest::newRow("hex leading zeros") << "0x000000000000FFFF" << 0xFFFF;
    QTest::newRow("hex word box") << "0x1869F" << 99999;
    QTest::newRow("minus hex all ones") << "-0xFFFFFFFF" << 1;
}

void FieldValueTest::strToInt()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(StrToInt(text.toStdString()), value);
}

void FieldValueTest::strToInt64_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    QTest::newRow("32-bit max + 1") << "2147483648" << qint64(2147483648);
    QTest::newRow("dword max") << "4294967295" << qint64(4294967295);
    QTest::newRow("ten nines") << "9999999999" << qint64(9999999999);
    QTest::newRow("max") << "9223372036854775807" << std::numeric_limits<qint64>::max();
    QTest::newRow("min") << "-9223372036854775808" << std::numeric_limits<qint64>::min();
    QTest::newRow("hex dword") << "0xFFFFFFFF" << qint64(4294967295);
    QTest::newRow("hex ten digits") << "0xFFFFFFFFFF" << qint64(0xFFFFFFFFFF);
    QTest::newRow("hex sixteen digits") << "0xFFFFFFFFFFFFFFFF" << qint64(-1);
    QTest::newRow("hex top bit") << "0x8000000000000000" << std::numeric_limits<qint64>::min();
    QTest::newRow("hex leading zeros") << "0x00000000000000000001" << qint64(1);
}

void FieldValueTest::strToInt64()
{
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QCOMPARE(StrToInt64(text.toStdString()), value);
}

void FieldValueTest::unreadableTextNamesItself_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bits");
    for (int bits : {32, 64}) {
        const QByteArray b = QByteArray::number(bits);
        QTest::newRow("empty " + b) << "" << bits;
        QTest::newRow("blanks " + b) << "   " << bits;
        QTest::newRow("sign only " + b) << "-" << bits;
        QTest::newRow("prefix only " + b) << "0x" << bits;
        QTest::newRow("dollar only " + b) << "$" << bits;
        QTest::newRow("sign and prefix " + b) << "+0x" << bits;
        QTest::newRow("trailing blank " + b) << "12 " << bits;
        QTest::newRow("letter " + b) << "12a" << bits;
        QTest::newRow("hex letter in decimal " + b) << "FF" << bits;
        QTest::newRow("blank after prefix " + b) << "0x 1" << bits;
        QTest::newRow("double sign " + b) << "--1" << bits;
        QTest::newRow("prefix before sign " + b) << "0x-1" << bits;
        QTest::newRow("not hex " + b) << "0x1G" << bits;
        QTest::newRow("tab " + b) << "\t1" << bits;
        QTest::newRow("double prefix " + b) << "0x0x1" << bits;
    }
    QTest::newRow("decimal over 32") << "2147483648" << 32;
    QTest::newRow("decimal under 32") << "-2147483649" << 32;
    QTest::newRow("ten decimal digits") << "4294967295" << 32;
    QTest::newRow("nine hex digits") << "0x100000000" << 32;
    QTest::newRow("hex digits over 32") << "0x1FFFFFFFF" << 32;
    QTest::newRow("decimal over 64") << "9223372036854775808" << 64;
    QTest::newRow("decimal under 64") << "-9223372036854775809" << 64;
    QTest::newRow("seventeen hex digits") << "0x10000000000000000" << 64;
    QTest::newRow("twenty decimal digits") << "99999999999999999999" << 64;
}

void FieldValueTest::unreadableTextNamesItself()
{
    QFETCH(QString, text);
    QFETCH(int, bits);
    try {
        if (bits == 32)
            StrToInt(text.toStdString());
        else
            StrToInt64(text.toStdString());
        QFAIL("read");
    } catch (const EConvertError& e) {
        QCOMPARE(QString::fromStdString(e.what()), "'" + text + "' is not a valid integer value");
    }
}

void FieldValueTest::parseFieldValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("bits");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("error"); // the text the error names, or empty
    QTest::newRow("decimal word") << "271" << false << 32 << qint64(271) << "";
    QTest::newRow("hex word") << "010F" << true << 32 << qint64(271) << "";
    QTest::newRow("hex lower") << "ffffffff" << true << 64 << qint64(4294967295) << "";
    QTest::newRow("hex dword at 32 bits") << "FFFFFFFF" << true << 32 << qint64(-1) << "";
    QTest::newRow("hex row 6") << "00012345" << true << 32 << qint64(0x12345) << "";
    QTest::newRow("decimal dword") << "4294967295" << false << 64 << qint64(4294967295) << "";
    QTest::newRow("decimal too big at 32") << "4294967295" << false << 32 << qint64(0) << "4294967295";
    QTest::newRow("hex error names prefix") << "12G" << true << 64 << qint64(0) << "0x12G";
    QTest::newRow("hex ten digits at 32") << "0123456789" << true << 32 << qint64(0) << "0x0123456789";
    QTest::newRow("hex empty") << "" << true << 32 << qint64(0) << "0x";
    QTest::newRow("decimal empty") << "" << false << 64 << qint64(0) << "";
    // The reader skips blanks in decimal mode, but not after the added prefix.
    QTest::newRow("decimal blank") << " 5" << false << 32 << qint64(5) << "";
    QTest::newRow("hex blank") << " 5" << true << 32 << qint64(0) << "0x 5";
    QTest::newRow("hex with own prefix") << "0x10" << true << 32 << qint64(0) << "0x0x10";
}

void FieldValueTest::parseFieldValue()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(int, bits);
    QFETCH(qint64, value);
    QFETCH(QString, error);
    const bool fails = !error.isEmpty() || (text.isEmpty() && !hex);
    try {
        const int64_t got = ParseFieldValue(text.toStdString(), hex, bits);
        QVERIFY2(!fails, "parsed");
        QCOMPARE(got, value);
    } catch (const EConvertError& e) {
        QVERIFY2(fails, e.what());
        QCOMPARE(QString::fromStdString(e.what()), "'" + error + "' is not a valid integer value");
    }
}

void FieldValueTest::fieldValueText_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("text");
    QTest::newRow("decimal zero") << qint64(0) << false << 4 << "0";
    QTest::newRow("decimal dword") << qint64(4294967295) << false << 8 << "4294967295";
    QTest::newRow("decimal negative") << qint64(-1) << false << 4 << "-1";
    QTest::newRow("word zero") << qint64(0) << true << 4 << "0000";
    QTest::newRow("byte") << qint64(255) << true << 2 << "FF";
    QTest::newRow("byte padded") << qint64(5) << true << 2 << "05";
    QTest::newRow("word") << qint64(271) << true << 4 << "010F";
    QTest::newRow("word overflow") << qint64(99999) << true << 4 << "1869F";
    QTest::newRow("dword") << qint64(3) << true << 8 << "00000003";
    QTest::newRow("dword max") << qint64(4294967295) << true << 8 << "FFFFFFFF";
    QTest::newRow("ten digits") << qint64(9999999999) << true << 8 << "2540BE3FF";
    QTest::newRow("negative") << qint64(-1) << true << 8 << "FFFFFFFFFFFFFFFF";
    QTest::newRow("upper case") << qint64(0xABCDEF) << true << 8 << "00ABCDEF";
}

void FieldValueTest::fieldValueText()
{
    QFETCH(qint64, value);
    QFETCH(bool, hex);
    QFETCH(int, digits);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FieldValueText(value, hex, digits)), text);
}

void FieldValueTest::toggleRoundTrip()
{
    // Decimal text of every header row's extreme values survives a toggle to hexadecimal and
    // back, and the hexadecimal text passes the box's own validation.
    for (const HeaderField& field : HeaderFields()) {
        const uint64_t max = field.width == 4 ? 0xFFFFFFFFull : (1ull << (8 * field.width)) - 1;
        for (uint64_t v : {uint64_t(0), uint64_t(1), max / 2 + 1, max}) {
            const std::string decimal = std::to_string(v);
            QVERIFY(int(decimal.size()) <= BoxOf(field.id).maxLength);
            const int64_t parsed = ParseFieldValue(decimal, false, ToggleParseBits(field.valueClass));
            const std::string hexText = FieldValueText(parsed, true, HexDigits(field.valueClass));
            QCOMPARE(int(hexText.size()), HexDigits(field.valueClass));
            QVERIFY(IsHexText(hexText));
            const int64_t back = ParseFieldValue(hexText, true, ToggleParseBits(field.valueClass));
            QCOMPARE(FieldValueText(back, false, 0), decimal);
            // Save reads the same value in either radix.
            QCOMPARE(ParseFieldValue(hexText, true, field), ParseFieldValue(decimal, false, field));
        }
    }
    QCOMPARE(HexDigits(ValueClass::Byte), 2);
    QCOMPARE(HexDigits(ValueClass::Word), 4);
    QCOMPARE(HexDigits(ValueClass::Dword), 8);
}

QTEST_APPLESS_MAIN(FieldValueTest)
void FieldValueTest::readFieldText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<FieldId>("field");
    QTest::addColumn<bool>("forSave");
    QTest::addColumn<FieldTextError>("error");
    QTest::addColumn<qint64>("value");
    using E = FieldTextError;
    QTest::newRow("byte FF") << "FF" << true << FieldId::MajorLinker << false << E::None << 255ll;
    QTest::newRow("byte 100") << "100" << true << FieldId::MajorLinker << true << E::Width << 0ll;
    QTest::newRow("empty") << "" << true << FieldId::Magic << true << E::Digits << 0ll;
    QTest::newRow("prefix") << "0x10" << true << FieldId::Magic << true << E::Digits << 0ll;
    QTest::newRow("sign") << "-1" << false << FieldId::Magic << true << E::Digits << 0ll;
    QTest::newRow("hex digit in decimal") << "1A" << false << FieldId::Magic << true << E::Digits << 0ll;
    QTest::newRow("word FFFFFFFF") << "FFFFFFFF" << true << FieldId::MajorOS << false << E::None << -1ll;
    QTest::newRow("dword lower case")
        << "ffffffff" << true << FieldId::DateStamp << true << E::None << 0xFFFFFFFFll;
    QTest::newRow("dword 4294967296")
        << "4294967296" << false << FieldId::ImageBase << true << E::Width << 0ll;
    // Rows 6 and 7: Save reads 32 bits, the toggle 64.
    QTest::newRow("row 6 saved") << "FFFFFFFF" << true << FieldId::NumberOfRelocations << true << E::None
                                 << -1ll;
    QTest::newRow("row 6 toggled") << "FFFFFFFF" << true << FieldId::NumberOfRelocations << false << E::Width
                                   << 0ll;
}

void FieldValueTest::readFieldText()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(FieldId, field);
    QFETCH(bool, forSave);
    QFETCH(FieldTextError, error);
    QFETCH(qint64, value);
    const FieldReading reading = ReadFieldText(text.toStdString(), hex, FieldOf(field), forSave);
    QCOMPARE(reading.error, error);
    QCOMPARE(reading.value.has_value(), error == FieldTextError::None);
    if (reading.value)
        QCOMPARE(*reading.value, value);
}

#include "FieldValueTest.moc"
