#include "logs/log_files.h"

#include "toolkit/cp1252.h"
#include "toolkit/failure.h"

#include "fifo_guard.h"
#include "small_disk.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using logs::LogFields;

Q_DECLARE_METATYPE(logs::LogFields)

namespace {

const QString kStation1 = QStringLiteral("ANEMÔMETRO 1");
const QDate kDay(2026, 12, 7);
const LogFields kReading{"12,3", "NNE", "5,0", "20,0", "OFF", "3,70"};
const QByteArray kHeaderMs =
    "HORA;VELOCIDADE(m/s);DIRECAO;PRESET1(m/s);PRESET2(m/s);ALARME SONORO;BATERIA(V)\r\n";

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void putBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

template <typename Action> QString failureOf(Action&& action) {
    try {
        action();
    } catch (const toolkit::Failure& failure) {
        return failure.text();
    }
    return QStringLiteral("<no failure>");
}

// Every entry under root, relative, so a test sees anything written where it should not be.
QStringList entriesUnder(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(root).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

} // namespace

class TestLogs : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    QString previousDir_;
    QString root_;
    QString documents_;
    QString folder_;

    logs::LogRequest request(const QDateTime& now, const QString& name = kStation1,
                             const QString& unit = QStringLiteral("m/s"), int station = 1,
                             const LogFields& fields = kReading) const {
        return {station, logs::indexFileName(station), documents_, now, name, unit, fields};
    }
    // Log folder on `disk`; the index files too when indexOnTheDisk, else where they were.
    void useDisk(const QString& disk, bool indexOnTheDisk) {
        documents_ = disk + QStringLiteral("/Documents");
        folder_ = logs::logFolder(documents_);
        QVERIFY(QDir().mkpath(folder_));
        if (indexOnTheDisk)
            QVERIFY(QDir::setCurrent(disk));
    }
    QString logPath(const QDate& date, const QString& name = kStation1) const {
        return folder_ + u'/' + logs::logFileName(date, name);
    }
    // Five dated log files of station 1 in the log folder, listed oldest first.
    QStringList fiveLogFiles() const {
        QStringList paths;
        for (int day = 1; day <= 5; ++day) {
            paths << logPath(QDate(2026, 12, day));
            putBytes(paths.last(), "x\r\n");
        }
        return paths;
    }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        previousDir_ = QDir::currentPath();
        root_ = tmp_->path();
        documents_ = root_ + QStringLiteral("/Documents");
        folder_ = logs::logFolder(documents_);
        QVERIFY(QDir().mkpath(folder_));
        QVERIFY(QDir::setCurrent(root_));
    }
    void cleanup() {
        QDir::setCurrent(previousDir_);
        tmp_.reset();
    }

    void logLine_data() {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<LogFields>("fields");
        QTest::addColumn<QString>("line");
        QTest::newRow("station 1")
            << QTime(14, 5, 9) << kReading << "14:05:09;12,3;NNE;5,0;20,0;OFF;3,70;";
        QTest::newRow("station 2 padded")
            << QTime(0, 0, 1) << LogFields{"0,0", "N  ", "1,0", "2,0", "ON ", "3,05"}
            << "00:00:01;0,0;N  ;1,0;2,0;ON ;3,05;";
        QTest::newRow("out of range")
            << QTime(23, 59, 59) << LogFields{"> LIMITE", "---", "5,0", "20,0", "ON", "0,00"}
            << "23:59:59;> LIMITE;---;5,0;20,0;ON;0,00;";
    }
    void logLine() {
        QFETCH(QTime, time);
        QFETCH(LogFields, fields);
        QFETCH(QString, line);
        QCOMPARE(logs::logLine(time, fields), line);
    }

    void headerLine_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("header");
        QTest::newRow("km/h") << "km/h"
                              << "HORA;VELOCIDADE(km/h);DIRECAO;PRESET1(km/h);PRESET2(km/h);"
                                 "ALARME SONORO;BATERIA(V)";
        QTest::newRow("unit code 3") << ""
                                     << "HORA;VELOCIDADE();DIRECAO;PRESET1();PRESET2();"
                                        "ALARME SONORO;BATERIA(V)";
    }
    void headerLine() {
        QFETCH(QString, unit);
        QFETCH(QString, header);
        QCOMPARE(logs::headerLine(unit), header);
    }

    void logFileName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("default") << kStation1 << "07-12-2026 ANEMÔMETRO 1.txt";
        QTest::newRow("climbs out") << "../../x"
                                    << "07-12-2026 .._.._x.txt";
        QTest::newRow("slash") << "a/b"
                               << "07-12-2026 a_b.txt";
        QTest::newRow("backslash") << "a\\b"
                                   << "07-12-2026 a_b.txt";
        QTest::newRow("controls") << QString::fromUtf8("a\tb\x7F\u0085\u00A8c")
                                  << QString::fromUtf8("07-12-2026 a_b__\u00A8c.txt");
        QTest::newRow("full stop") << "EST. NORTE"
                                   << "07-12-2026 EST. NORTE.txt";
        QTest::newRow("punctuation kept") << ". , & ( ) ! # $ % ; = @ [ ] { }"
                                          << "07-12-2026 . , & ( ) ! # $ % ; = @ [ ] { }.txt";
        QTest::newRow("kept") << "'+-=^_`~ é"
                              << "07-12-2026 '+-=^_`~ é.txt";
    }
    void logFileName() {
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        QCOMPARE(logs::logFileName(kDay, name), fileName);
        QCOMPARE(logs::dateText(kDay), QStringLiteral("07-12-2026"));
    }

    void safeNameReplacesSeparatorsAndControlsOnly() {
        for (char16_t code = 0; code < 0x180; ++code) {
            const QString name(QChar{code});
            const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
            const bool dropped = control || code == u'/' || code == u'\\';
            QCOMPARE(logs::safeStationName(name), dropped ? QStringLiteral("_") : name);
        }
    }

    void shouldLog_data() {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("rf");
        QTest::addColumn<bool>("logged");
        QTest::newRow("on") << true << "ON" << true;
        QTest::newRow("rf off") << true << "OFF" << false;
        QTest::newRow("rf padded") << true << "ON " << false;
        QTest::newRow("box clear") << false << "ON" << false;
    }
    void shouldLog() {
        QFETCH(bool, checked);
        QFETCH(QString, rf);
        QFETCH(bool, logged);
        QCOMPARE(logs::shouldLog(checked, rf), logged);
    }

    void firstAndSecondReadingOfTheDay_data() {
        QTest::addColumn<int>("station");
        QTest::addColumn<LogFields>("fields");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("station 1")
            << 1 << kReading << QByteArray("14:05:09;12,3;NNE;5,0;20,0;OFF;3,70;\r\n");
        QTest::newRow("station 2") << 2 << LogFields{"0,0", "N  ", "1,0", "2,0", "ON ", "3,05"}
                                   << QByteArray("14:05:09;0,0;N  ;1,0;2,0;ON ;3,05;\r\n");
    }
    void firstAndSecondReadingOfTheDay() {
        QFETCH(int, station);
        QFETCH(LogFields, fields);
        QFETCH(QByteArray, line);
        const QDateTime now(kDay, QTime(14, 5, 9));
        logs::writeLogLine(request(now, kStation1, "m/s", station, fields));
        QCOMPARE(QDir(folder_).entryList(QDir::Files), QStringList{"07-12-2026 ANEMÔMETRO 1.txt"});
        const QByteArray header = "HORA;VELOCIDADE(m/s);DIRECAO;PRESET1(m/s);PRESET2(m/s);"
                                  "ALARME SONORO;BATERIA(V)\r\n";
        QCOMPARE(bytesOf(logPath(kDay)), header + line);
        const QByteArray indexLine =
            QFile::encodeName(folder_) + "/07-12-2026 ANEM\xD4METRO 1.txt\r\n";
        QCOMPARE(bytesOf(logs::indexFileName(station)), indexLine);

        logs::writeLogLine(request(now, kStation1, "km/h", station, fields));
        QCOMPARE(bytesOf(logPath(kDay)), header + line + line);
        QCOMPARE(bytesOf(logs::indexFileName(station)), indexLine);
    }

    void newNameOrNewDayStartsNewFile_data() {
        QTest::addColumn<QDateTime>("later");
        QTest::addColumn<QString>("laterName");
        QTest::newRow("renamed") << QDateTime(kDay, QTime(10, 0)) << "TORRE NORTE";
        QTest::newRow("midnight") << QDateTime(kDay.addDays(1), QTime(0, 0, 1)) << kStation1;
    }
    void newNameOrNewDayStartsNewFile() {
        QFETCH(QDateTime, later);
        QFETCH(QString, laterName);
        logs::writeLogLine(request(QDateTime(kDay, QTime(23, 59, 59)), kStation1, ""));
        logs::writeLogLine(request(later, laterName, "kn"));
        const QString second = logPath(later.date(), laterName);
        QCOMPARE(logs::readIndexFile("StatusLOG1.txt"), QStringList({logPath(kDay), second}));
        QVERIFY(bytesOf(logPath(kDay)).startsWith("HORA;VELOCIDADE();"));
        QVERIFY(bytesOf(second).startsWith("HORA;VELOCIDADE(kn);"));
        QVERIFY(
            bytesOf(second).endsWith(logs::logLine(later.time(), kReading).toLatin1() + "\r\n"));
    }

    void unsafeNamesStayInLogFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("climbs out") << "../../x";
        QTest::newRow("slash") << "a/b";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("absolute") << "/etc/passwd";
        QTest::newRow("nul") << QString::fromUtf8("x\0y", 3);
    }
    void unsafeNamesStayInLogFolder() {
        QFETCH(QString, name);
        logs::writeLogLine(request(QDateTime(kDay, QTime(8, 0)), name));
        const QString fileName = logs::logFileName(kDay, name);
        QCOMPARE(entriesUnder(root_),
                 QStringList({"Documents", "Documents/log_zareraziru",
                              "Documents/log_zareraziru/" + fileName, "StatusLOG1.txt"}));
    }

    // A line is never written without its header: while the index cannot be read the file
    // stays empty, and the first line after that gets the header.
    void unreadableIndexHoldsTheLineBackWithItsHeader() {
        QVERIFY(QDir().mkdir("StatusLOG1.txt"));
        const auto write = [this] { logs::writeLogLine(request(QDateTime(kDay, QTime(9, 0)))); };
        QCOMPARE(failureOf(write), QStringLiteral("I/O error 21"));
        QCOMPARE(bytesOf(logPath(kDay)), QByteArray());
        QCOMPARE(failureOf(write), QStringLiteral("I/O error 21"));
        QCOMPARE(bytesOf(logPath(kDay)), QByteArray());
        QVERIFY(QDir().rmdir("StatusLOG1.txt"));
        write();
        QCOMPARE(bytesOf(logPath(kDay)), kHeaderMs + "09:00:00;12,3;NNE;5,0;20,0;OFF;3,70;\r\n");
        QCOMPARE(logs::readIndexFile("StatusLOG1.txt"), QStringList{logPath(kDay)});
    }

    // The log folder, and with it or not the working directory, on a small real file system.
    void fullDiskNeverLeavesALineWithoutItsHeader_data() {
        QTest::addColumn<bool>("indexOnTheDisk");
        QTest::newRow("index files elsewhere") << false;
        QTest::newRow("index files on the full disk") << true;
    }
    void fullDiskNeverLeavesALineWithoutItsHeader() {
        QFETCH(bool, indexOnTheDisk);
        SmallDisk disk(root_ + QStringLiteral("/disk"), 64);
        if (!disk.mounted())
            QSKIP("mounting a small file system needs root");
        useDisk(root_ + QStringLiteral("/disk"), indexOnTheDisk);
        disk.fill();
        const QDateTime nine(kDay, QTime(9, 0));
        for (int station = 1; station <= 3; ++station) {
            const QString name = QStringLiteral("EST %1").arg(station);
            QCOMPARE(failureOf([&] { logs::writeLogLine(request(nine, name, "km/h", station)); }),
                     QStringLiteral("I/O error %1").arg(ENOSPC));
            QCOMPARE(bytesOf(logPath(kDay, name)).size(), 0);
        }
        disk.unfill();
        const QByteArray header = "HORA;VELOCIDADE(km/h);DIRECAO;PRESET1(km/h);PRESET2(km/"
                                  "h);ALARME SONORO;BATERIA(V)\r\n";
        const QByteArray line = "09:00:00;12,3;NNE;5,0;20,0;OFF;3,70;\r\n";
        for (int station = 1; station <= 3; ++station) {
            const QString name = QStringLiteral("EST %1").arg(station);
            logs::writeLogLine(request(nine, name, "km/h", station));
            logs::writeLogLine(request(nine, name, "km/h", station));
            QCOMPARE(bytesOf(logPath(kDay, name)), header + line + line);
            QCOMPARE(logs::readIndexFile(logs::indexFileName(station)),
                     QStringList{logPath(kDay, name)});
        }
    }

    void fullDiskKeepsTheOldIndex() {
        SmallDisk disk(root_ + QStringLiteral("/disk"), 64);
        if (!disk.mounted())
            QSKIP("mounting a small file system needs root");
        useDisk(root_ + QStringLiteral("/disk"), true);
        const QStringList old{QStringLiteral("/a/x.txt"), QStringLiteral("/a/y.txt")};
        logs::writeIndexFile(QStringLiteral("StatusLOG2.txt"), old);
        disk.fill();
        QCOMPARE(failureOf([] {
                     logs::writeIndexFile(QStringLiteral("StatusLOG2.txt"),
                                          QStringList(200, QStringLiteral("/a/z.txt")));
                 }),
                 QStringLiteral("I/O error %1").arg(ENOSPC));
        QCOMPARE(logs::readIndexFile(QStringLiteral("StatusLOG2.txt")), old);
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden),
                 (QStringList{".filler", "StatusLOG2.txt"}));
    }

    void readOnlyDiskKeepsEveryFileWhole() {
        SmallDisk disk(root_ + QStringLiteral("/disk"), 256);
        if (!disk.mounted())
            QSKIP("mounting a small file system needs root");
        useDisk(root_ + QStringLiteral("/disk"), true);
        const QDateTime nine(kDay, QTime(9, 0));
        logs::writeLogLine(request(nine));
        const QByteArray logBefore = bytesOf(logPath(kDay));
        const QByteArray indexBefore = bytesOf(QStringLiteral("StatusLOG1.txt"));
        QVERIFY(disk.setReadOnly(true));
        const QString denied = QStringLiteral("File access denied");
        QCOMPARE(failureOf([&] { logs::writeLogLine(request(nine)); }), denied);
        QCOMPARE(failureOf([&] { logs::writeLogLine(request(nine, QStringLiteral("NOVA"))); }),
                 denied);
        QCOMPARE(failureOf([&] { logs::prepareLogFolder(documents_); }), denied);
        QCOMPARE(bytesOf(logPath(kDay)), logBefore);
        QCOMPARE(bytesOf(QStringLiteral("StatusLOG1.txt")), indexBefore);
        QVERIFY(disk.setReadOnly(false));
        logs::writeLogLine(request(nine));
        QCOMPARE(bytesOf(logPath(kDay)), logBefore + "09:00:00;12,3;NNE;5,0;20,0;OFF;3,70;\r\n");
    }

    void logFileFailures_data() {
        QTest::addColumn<bool>("removeFolder");
        QTest::addColumn<QString>("text");
        QTest::newRow("folder removed") << true << "File not found";
        QTest::newRow("log file is a folder") << false << "I/O error 21";
    }
    void logFileFailures() {
        QFETCH(bool, removeFolder);
        QFETCH(QString, text);
        QVERIFY(removeFolder ? QDir(folder_).removeRecursively() : QDir().mkdir(logPath(kDay)));
        const QStringList before = entriesUnder(root_);
        QCOMPARE(failureOf([this] { logs::writeLogLine(request(QDateTime(kDay, QTime(9, 0)))); }),
                 text);
        QCOMPARE(entriesUnder(root_), before);
    }

    void indexFileRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("LF alone") << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("blank kept") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("Windows-1252")
            << QByteArray("/d/ANEM\xD4METRO 1.txt\r\n") << QStringList{"/d/ANEMÔMETRO 1.txt"};
        QTest::newRow("empty") << QByteArray() << QStringList();
    }
    void indexFileRoundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(logs::readIndexFile("missing.txt"), QStringList());
        putBytes("index.txt", bytes);
        QCOMPARE(logs::readIndexFile("index.txt"), lines);
        logs::writeIndexFile("copy.txt", lines);
        QCOMPARE(bytesOf("copy.txt"),
                 lines.isEmpty() ? QByteArray() : lines.join("\r\n").toLatin1() + "\r\n");
    }

    void retentionKeepsNewestThree_data() {
        QTest::addColumn<int>("station");
        QTest::newRow("first station") << 1;
        QTest::newRow("last station") << 8;
    }
    void retentionKeepsNewestThree() {
        QFETCH(int, station);
        const QStringList paths = fiveLogFiles();
        // Written by hand: Ô is the single byte 0xD4, as the Windows program writes it.
        QByteArray index;
        for (int day = 1; day <= 5; ++day)
            index += QFile::encodeName(folder_) + "/0" + QByteArray::number(day) +
                     "-12-2026 ANEM\xD4METRO 1.txt\r\n";
        putBytes(logs::indexFileName(station), index);
        logs::prepareLogFolder(documents_);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(QFileInfo::exists(paths[i]), i >= 2);
        QCOMPARE(logs::readIndexFile(logs::indexFileName(station)), paths.mid(2));
        QCOMPARE(bytesOf(logs::indexFileName(station)),
                 index.mid(index.indexOf(QFile::encodeName(folder_) + "/03-")));
    }

    void retentionDropsMissingFiles() {
        const QStringList paths = fiveLogFiles();
        QVERIFY(QFile::remove(paths[0]) && QFile::remove(paths[1]));
        logs::writeIndexFile("StatusLOG3.txt", paths);
        logs::prepareLogFolder(documents_);
        QCOMPARE(logs::readIndexFile("StatusLOG3.txt"), paths.mid(2));
        QCOMPARE(QDir(folder_).entryList(QDir::Files).size(), 3);
    }

    void retentionRewritesShortIndexAsIs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("none") << QByteArray() << QByteArray();
        QTest::newRow("three") << QByteArray("a\r\nb\r\nc\r\n") << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("LF alone") << QByteArray("a\nb") << QByteArray("a\r\nb\r\n");
    }
    void retentionRewritesShortIndexAsIs() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, written);
        putBytes("StatusLOG5.txt", bytes);
        logs::prepareLogFolder(documents_);
        QCOMPARE(bytesOf("StatusLOG5.txt"), written);
        QCOMPARE(bytesOf("StatusLOG8.txt"), QByteArray());
    }

    void retentionNeverDeletesOutsideLogFolder_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("victim");
        QTest::newRow("home file") << "home/keep.txt"
                                   << "home/keep.txt";
        QTest::newRow("relative") << "passwd"
                                  << "passwd";
        QTest::newRow("climbs out") << "Documents/log_zareraziru/../keep.txt"
                                    << "Documents/keep.txt";
        QTest::newRow("link inside") << "Documents/log_zareraziru/link.txt"
                                     << "home/keep.txt";
        QTest::newRow("through linked folder") << "Documents/log_zareraziru/sub/../keep.txt"
                                               << "home/keep.txt";
        QTest::newRow("folder inside") << "Documents/log_zareraziru/dir.txt"
                                       << "Documents/log_zareraziru/dir.txt";
    }
    void retentionNeverDeletesOutsideLogFolder() {
        QFETCH(QString, line);
        QFETCH(QString, victim);
        QVERIFY(QDir().mkpath(root_ + "/home/inner") && QDir().mkdir(folder_ + "/dir.txt"));
        for (const QString name : {"home/keep.txt", "passwd", "Documents/keep.txt"})
            putBytes(root_ + u'/' + name, "keep");
        QVERIFY(QFile::link(root_ + "/home/keep.txt", folder_ + "/link.txt"));
        QVERIFY(QFile::link(root_ + "/home/inner", folder_ + "/sub"));
        const QStringList kept = fiveLogFiles().mid(2);
        const QString absolute = line.startsWith("passwd") ? line : root_ + u'/' + line;
        logs::writeIndexFile("StatusLOG1.txt", QStringList{absolute} + kept);
        logs::prepareLogFolder(documents_);
        QVERIFY(QFileInfo::exists(root_ + u'/' + victim));
        QVERIFY(QFileInfo(folder_ + "/link.txt").isSymLink());
        QCOMPARE(logs::readIndexFile("StatusLOG1.txt"), kept);
    }

    void unreadableIndexStopsRetention() {
        const QStringList paths = fiveLogFiles();
        logs::writeIndexFile("StatusLOG1.txt", paths.mid(0, 4));
        QVERIFY(QDir().mkdir("StatusLOG2.txt"));
        logs::writeIndexFile("StatusLOG3.txt", paths.mid(1, 4));
        const QByteArray third = bytesOf("StatusLOG3.txt");
        QCOMPARE(failureOf([this] { logs::prepareLogFolder(documents_); }),
                 QStringLiteral("I/O error 21"));
        QCOMPARE(logs::readIndexFile("StatusLOG1.txt"), paths.mid(1, 3));
        QVERIFY(QFileInfo("StatusLOG2.txt").isDir());
        QCOMPARE(bytesOf("StatusLOG3.txt"), third);
        QVERIFY(QFileInfo::exists(paths[1]));
        QVERIFY(!QFileInfo::exists("StatusLOG4.txt"));
    }

    // A FIFO or a file past 1 MiB as an index file: a failure naming it, at once, when a line
    // is logged and at start; the line waits with its header, as for any unreadable index.
    void specialIndexFileIsRefusedAtOnce_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "não é um arquivo comum";
        QTest::newRow("past 1 MiB") << "large"
                                    << "é grande demais (mais de 1 MiB)";
    }
    void specialIndexFileIsRefusedAtOnce() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        std::optional<FifoGuard> fifo;
        // A reader left waiting gets an index after 3 s.
        if (kind == u"fifo")
            fifo.emplace(QStringLiteral("StatusLOG1.txt"), QByteArray("/x/y.txt\r\n"));
        else
            putBytes("StatusLOG1.txt", QByteArray(logs::kMostIndexBytes + 1, 'x'));
        const QString expected =
            QStringLiteral("StatusLOG1.txt não pôde ser lido: %1.").arg(reason);
        QElapsedTimer reading;
        reading.start();
        QCOMPARE(failureOf([this] { logs::writeLogLine(request(QDateTime(kDay, QTime(9, 0)))); }),
                 expected);
        QCOMPARE(failureOf([] { logs::readIndexFile(QStringLiteral("StatusLOG1.txt")); }),
                 expected);
        QCOMPARE(failureOf([this] { logs::prepareLogFolder(documents_); }), expected);
        QVERIFY2(reading.elapsed() < 1000, qPrintable(QString::number(reading.elapsed())));
        QVERIFY(!fifo || !fifo->readerWaited());
        QCOMPARE(bytesOf(logPath(kDay)), QByteArray());
    }

    void retentionCreatesLogFolder() {
        putBytes("plain", "not a folder");
        QCOMPARE(failureOf([] { logs::prepareLogFolder("plain/Documents"); }),
                 QStringLiteral("I/O error 20"));
        QVERIFY(!QFileInfo::exists("StatusLOG1.txt"));
        QVERIFY(QDir(documents_).removeRecursively());
        logs::prepareLogFolder(documents_ + "/deeper");
        QVERIFY(QFileInfo(documents_ + "/deeper/log_zareraziru").isDir());
    }
};

QTEST_GUILESS_MAIN(TestLogs)
#include "tst_logs.moc"
