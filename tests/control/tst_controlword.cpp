#include "controltestsupport.h"
#include "controlword.h"

#include <QRegularExpression>
#include <QTest>

using namespace kelmor;
using namespace kelmor::test;

class TestControlWord : public QObject
{
    Q_OBJECT

private slots:
    void composition_data();
    void composition();
    void everyCombination();
};

void TestControlWord::composition_data()
{
    QTest::addColumn<QStringList>("checkedBoxes");
    QTest::addColumn<QString>("text");

    QTest::newRow("nothing checked") << QStringList{} << "0000";
    QTest::newRow("start-up") << QStringList{"Autorange", "AutoFil"} << "0009";
    QTest::newRow("only PiATM") << QStringList{"PiATM"} << "4000";
    QTest::newRow("only Reset") << QStringList{"Reset"} << "1000";
    QTest::newRow("IG, Fil2, Degas, EStrom")
        << QStringList{"IG", "Fil2", "Degas", "EStrom"} << "00E4";
    QTest::newRow("Pirani, Fil1, PiVAK") << QStringList{"Pirani", "Fil1", "PiVAK"} << "2012";
    QStringList all;
    for (Box box : kAllBoxes)
        all << shortName(box);
    QTest::newRow("all fifteen") << all << "7FFF";
    // Each weight on its own, so a swapped pair of bits cannot hide.
    const char *single[kBoxCount] = {"0001", "0002", "0004", "0008", "0010", "0020", "0040", "0080",
                                     "0100", "0200", "0400", "0800", "1000", "2000", "4000"};
    for (int bit = 0; bit < kBoxCount; ++bit) {
        const QString name = shortName(kAllBoxes[bit]);
        QTest::newRow(qPrintable(QStringLiteral("only ") + name))
            << QStringList{name} << QString::fromLatin1(single[bit]);
    }
}

void TestControlWord::composition()
{
    QFETCH(QStringList, checkedBoxes);
    QFETCH(QString, text);

    BoxStates states{};
    for (const QString &name : checkedBoxes) {
        const auto box = boxFromShortName(name);
        QVERIFY2(box, qPrintable(name));
        states[static_cast<std::size_t>(*box)] = true;
    }
    QCOMPARE(formatControlWord(composeControlWord(states)), text);
}

void TestControlWord::everyCombination()
{
    const QRegularExpression fourUpperHex(QStringLiteral("^[0-9A-F]{4}$"));
    for (quint32 pattern = 0; pattern < (1u << kBoxCount); ++pattern) {
        BoxStates states{};
        for (int bit = 0; bit < kBoxCount; ++bit)
            states[static_cast<std::size_t>(bit)] = (pattern >> bit) & 1u;

        const quint16 word = composeControlWord(states);
        if (word != pattern || (word & 0x8000u))
            QFAIL(qPrintable(QStringLiteral("pattern %1 composed to %2").arg(pattern).arg(word)));

        const QString text = formatControlWord(word);
        if (!fourUpperHex.match(text).hasMatch())
            QFAIL(
                qPrintable(QStringLiteral("pattern %1 formatted as '%2'").arg(pattern).arg(text)));
        bool ok = false;
        if (text.toUInt(&ok, 16) != word || !ok)
            QFAIL(qPrintable(QStringLiteral("'%1' does not read back to %2").arg(text).arg(word)));
    }
}

QTEST_APPLESS_MAIN(TestControlWord)
#include "tst_controlword.moc"
