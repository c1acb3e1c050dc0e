// The device catalogue: checksum line, size limit, lookup order, and the shipped file itself.
#include "device/devicecatalogue.h"
#include "messagelog.h"
#include "modalanswer.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray signedCatalogue(const QByteArray &body, const QByteArray &firstLine = "; test catalogue")
{
    return firstLine + "\nchecksum=" + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex() + "\n" + body;
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &content, const QString &name = "DeviceCatalogue.ini")
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
    return path;
}

const QByteArray Body = "[a]\nID=17\nFirmwareVersions=\"1;2\"\nName=First\nDeviceType=LLS\nOptions=\"tankProfile;dac12bit\"\n"
                        "[b]\nID=17\nFirmwareVersions=2\nName=Later\nDeviceType=ILS\nConstantProperties=\"V;0;10\"\n"
                        "[c]\nID=5\nName=Any firmware\nDeviceType=Slimfin\n"
                        "[d]\nID=5\nFirmwareVersions=9\nName=Never reached\nDeviceType=Slimfin\n";

}

class TestDeviceCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void checksumRules();
    void sizeLimitAndFailuresShowTheirBox();
    void lookupRules();
    void shippedCatalogueVerifiesAndDescribesEveryFamily();
};

void TestDeviceCatalogue::checksumRules()
{
    QTemporaryDir dir;
    // A good signature, and one whose line 2 carries trailing white space and CR.
    QVERIFY(DeviceCatalogue::verifyChecksum(writeFile(dir, signedCatalogue(Body))));
    QByteArray padded = signedCatalogue(Body);
    padded.replace(padded.indexOf('\n', padded.indexOf("checksum=")), 1, "  \r\n");
    QVERIFY(DeviceCatalogue::verifyChecksum(writeFile(dir, padded)));

    // Line 1 is free; any later line is covered.
    QVERIFY(DeviceCatalogue::verifyChecksum(writeFile(dir, signedCatalogue(Body, "[edited header]"))));
    QByteArray tampered = signedCatalogue(Body);
    tampered.replace("Name=First", "Name=Frist");
    QVERIFY(!DeviceCatalogue::verifyChecksum(writeFile(dir, tampered)));

    // Upper-case digests are refused.
    QByteArray upper = signedCatalogue(Body);
    const int at = upper.indexOf("checksum=") + 9;
    upper.replace(at, 40, upper.mid(at, 40).toUpper());
    QVERIFY(!DeviceCatalogue::verifyChecksum(writeFile(dir, upper)));

    // The last line is hashed as it is, without a line feed that is not there.
    const QByteArray noFinalNewline = Body.left(Body.size() - 1);
    QVERIFY(DeviceCatalogue::verifyChecksum(writeFile(dir, signedCatalogue(noFinalNewline))));
    QVERIFY(!DeviceCatalogue::verifyChecksum(writeFile(dir, signedCatalogue(Body).left(signedCatalogue(Body).size() - 1))));

    // Disabled checksums pass with both debug lines.
    MessageLog log;
    QVERIFY(DeviceCatalogue::verifyChecksum(writeFile(dir, "x\nchecksum=disabled\nanything at all\n")));
    QVERIFY(log.contains("Hash calculated:"));
    QVERIFY(log.contains("Catalogue checksum disabled!"));

    log.clear();
    QVERIFY(!DeviceCatalogue::verifyChecksum(dir.filePath("missing.ini")));
    QVERIFY(log.contains("Error opening file:"));
}

void TestDeviceCatalogue::sizeLimitAndFailuresShowTheirBox()
{
    QTemporaryDir dir;
    DeviceCatalogue catalogue;

    QCOMPARE(answerMessageBoxes([&] { QVERIFY(!catalogue.load(dir.filePath("none.ini"))); }),
             QString("Catalogue file not found!"));

    // 1999 bytes are fine, 2000 are too big.
    QByteArray filler = Body + "[z]\nComment=";
    QByteArray exact = signedCatalogue(filler);
    const int missing = 1999 - exact.size() - 1;
    QVERIFY(missing > 0);
    filler += QByteArray(missing, 'x') + "\n";
    exact = signedCatalogue(filler);
    QCOMPARE(exact.size(), 1999);
    QVERIFY(catalogue.load(writeFile(dir, exact)));
    QCOMPARE(catalogue.entries().size(), 5);

    filler.insert(filler.size() - 1, 'x');
    const QByteArray tooBig = signedCatalogue(filler);
    QCOMPARE(tooBig.size(), 2000);
    QCOMPARE(answerMessageBoxes([&] { QVERIFY(!catalogue.load(writeFile(dir, tooBig))); }),
             QString("Catalogue file corrupted! (Too big)"));

    QByteArray tampered = signedCatalogue(Body);
    tampered.replace("Later", "Lat3r");
    QCOMPARE(answerMessageBoxes([&] { QVERIFY(!catalogue.load(writeFile(dir, tampered))); }),
             QString("Catalogue file corrupted!"));

    // Binary junk of a small size: refused, never a crash.
    QByteArray junk(600, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 37) & 0xff);
    QCOMPARE(answerMessageBoxes([&] { QVERIFY(!catalogue.load(writeFile(dir, junk))); }),
             QString("Catalogue file corrupted!"));
}

void TestDeviceCatalogue::lookupRules()
{
    QTemporaryDir dir;
    DeviceCatalogue catalogue;
    QVERIFY(catalogue.load(writeFile(dir, signedCatalogue(Body))));
    QCOMPARE(catalogue.entries().size(), 4);
    QCOMPARE(catalogue.entries().first().Options, QString("tankProfile;dac12bit"));

    CatalogueEntry entry;
    // Among explicit firmware lists the later entry wins.
    QVERIFY(catalogue.lookup(entry, {"17", "2", "000000"}));
    QCOMPARE(entry.Name, QString("Later"));
    QCOMPARE(entry.DeviceType, QString("ILS"));
    QCOMPARE(entry.ConstantProperties, QString("V;0;10"));
    QVERIFY(catalogue.lookup(entry, {"17", "1", "000000"}));
    QCOMPARE(entry.Name, QString("First"));

    // An entry without firmware versions ends the search at once.
    QVERIFY(catalogue.lookup(entry, {"5", "9", "x"}));
    QCOMPARE(entry.Name, QString("Any firmware"));

    // No match clears what identifies the entry.
    QVERIFY(!catalogue.lookup(entry, {"17", "3", "000000"}));
    QVERIFY(entry.Name.isEmpty() && entry.ID.isEmpty() && entry.DeviceType.isEmpty());
    QVERIFY(!catalogue.lookup(entry, {"017", "2", "000000"}));  // IDs compare as text
}

void TestDeviceCatalogue::shippedCatalogueVerifiesAndDescribesEveryFamily()
{
    const QString path = QStringLiteral(PELLORA_CATALOGUE_PATH);
    QVERIFY(QFileInfo(path).size() < DeviceCatalogue::MaxFileSize);
    MessageLog log;
    QVERIFY(DeviceCatalogue::verifyChecksum(path));
    QVERIFY(!log.contains("Catalogue checksum disabled!"));
    DeviceCatalogue catalogue;
    QVERIFY(catalogue.load(path));
    QSet<QString> types;
    bool sawOptionList = false;
    for (const CatalogueEntry &e : catalogue.entries()) {
        types.insert(e.DeviceType);
        sawOptionList |= e.Options.contains(';');
    }
    for (const char *type : {"LLS", "ILS", "Murkwell", "Slimfin", "SlimfinDual"})
        QVERIFY2(types.contains(type), type);
    QVERIFY(sawOptionList);  // quoted lists survive the INI reader
}

QTEST_MAIN(TestDeviceCatalogue)
#include "tst_devicecatalogue.moc"
