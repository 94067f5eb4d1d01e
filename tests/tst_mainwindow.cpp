#include "engine/destinationlock.h"
#include "engine/generatedmap.h"
#include "mainwindow.h"
#include "mapview.h"
#include "testsupport.h"

#include <QDockWidget>
#include <QErrorMessage>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>

namespace {

const QString readyZero =
    QStringLiteral("Ready (Map processing time, include structure setup, was 0 minutes)");

// The file dialogs answer from a script, so no modal dialog opens.
class ScriptedWindow : public MainWindow
{
public:
    using MainWindow::readSettings;

    QString answer;
    QString caption;
    QString start;
    bool askedForDirectory = false;

protected:
    QString chooseDirectory(const QString &caption, const QString &start) override
    {
        askedForDirectory = true;
        return record(caption, start);
    }
    QString chooseFile(const QString &caption, const QString &start) override
    {
        askedForDirectory = false;
        return record(caption, start);
    }

private:
    QString record(const QString &caption, const QString &start)
    {
        this->caption = caption;
        this->start = start;
        return answer;
    }
};

// Shows every text as [context|text], so a wrong context stands out.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        return QStringLiteral("[%1|%2]").arg(QLatin1String(context), QString::fromUtf8(sourceText));
    }
};

template<typename T> T *field(QWidget &window, const char *name)
{
    auto *widget = window.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_dest;
    // Plays the user at the next modal dialog.
    QTimer m_user;
    std::function<bool(QWidget *)> m_userAction;

    // A world of 2 x 2 blocks whose terrain index 0 is the given tile, with
    // random altitude so that two passes differ. With transitions it has a
    // general transition file, which keeps the tables loaded, and a static
    // set whose one tile id looks hexadecimal.
    QString writeWorld(const QString &name, int tileId, bool withTransitions = false)
    {
        const QString data = m_dir.filePath(name);
        if (withTransitions) {
            // A key no cell has, so the map keeps the terrain tiles.
            TestSupport::writeFile(data + QLatin1String("/transitions/grass/grass.xml"),
                                   "<R><TransInfo HashKey='FFFFFFFFFFFFFFFFFF'/></R>");
            TestSupport::writeFile(data + QLatin1String("/statics/forest.xml"),
                                   "<S Chance='5'><Statics Freq='1' Description='Pines'>"
                                   "<Static TileID='1F4'/></Statics></S>");
        }
        TestSupport::writeFile(data + QLatin1String("/system/terrain.xml"),
                               QStringLiteral("<T><Terrain ID='0' TileID='%1' Random='True'/></T>")
                                   .arg(tileId)
                                   .toUtf8());
        TestSupport::writeFile(data + QLatin1String("/system/altitude.xml"),
                               "<A><Altitude Key='0' Altitude='10'/></A>");
        return data;
    }

    void fill(MainWindow &window, const QString &data, const QString &altitudeImage)
    {
        field<QLineEdit>(window, "lineXML")->setText(data);
        field<QLineEdit>(window, "lineTerrain")->setText(m_dir.filePath(QStringLiteral("t.png")));
        field<QLineEdit>(window, "lineAlt")->setText(m_dir.filePath(altitudeImage));
        field<QLineEdit>(window, "lineDest")->setText(m_dest);
    }

    // Clicks Generate and returns the status messages it showed.
    QStringList generate(MainWindow &window)
    {
        QSignalSpy messages(window.statusBar(), &QStatusBar::messageChanged);
        field<QPushButton>(window, "pushGenerate")->click();
        QStringList texts;
        for (const auto &arguments : messages)
            texts << arguments.constFirst().toString();
        return texts;
    }

    QByteArray mapFile() { return TestSupport::readFile(m_dest + QLatin1String("/map0.mul")); }

    void whenModal(std::function<bool(QWidget *)> action)
    {
        m_userAction = std::move(action);
        m_user.start();
    }

private slots:
    void initTestCase()
    {
        // Remembered choices go to a test location, emptied before each test.
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Quillmoor tests"));
        QVERIFY(m_dir.isValid());
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("t.png")), 16, 16,
                                       [](int, int) { return 0; });
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("a.png")), 16, 16,
                                       [](int, int) { return 0; });
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("small.png")), 8, 8,
                                       [](int, int) { return 0; });
        QImage deep(16, 16, QImage::Format_RGB32);
        deep.fill(Qt::gray);
        QVERIFY(deep.save(m_dir.filePath(QStringLiteral("deep.png"))));
        // Zero interval, so that it also runs in the pass's short event
        // processing.
        m_user.setInterval(0);
        connect(&m_user, &QTimer::timeout, this, [this] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && m_userAction(modal))
                m_user.stop();
        });
    }

    void init()
    {
        QSettings().clear();
        m_dest = m_dir.filePath(QStringLiteral("out"));
        QDir(m_dest).removeRecursively();
        QVERIFY(QDir().mkpath(m_dest));
    }

    void cleanup() { m_user.stop(); }

    void widgetTree_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *className, const char *text) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className)
                                << QString::fromLatin1(text);
        };
        row("groupBox", "QGroupBox", "XML Top Level Directory");
        row("groupBox_2", "QGroupBox", "Image Files");
        row("groupBox_3", "QGroupBox", "Destination Directory");
        row("groupBox_3_2", "QGroupBox", "Structure File");
        row("label", "QLabel", "Terrain");
        row("label_2", "QLabel", "Altitude");
        for (const char *name : {"pushXML", "pushTerrain", "pushAlt", "pushDest", "pushMLT"})
            row(name, "QPushButton", "...");
        for (const char *name : {"lineXML", "lineTerrain", "lineAlt", "lineDest", "lineMLT"})
            row(name, "QLineEdit", "");
        row("checkRandom", "QCheckBox", "Random Art");
        row("checkMLT", "QCheckBox", "Enable");
        row("pushGenerate", "QPushButton", "Generate");
        row("pushCancel", "QPushButton", "Cancel");
    }

    void widgetTree()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, text);
        MainWindow window;
        window.show();
        window.resize(1200, 700);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quillmoor Map Generator"));

        QWidget *widget = window.findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        if (auto *box = qobject_cast<QGroupBox *>(widget)) {
            QCOMPARE(box->title(), text);
            QVERIFY(!box->isCheckable());
        } else if (auto *label = qobject_cast<QLabel *>(widget)) {
            QCOMPARE(QTextDocumentFragment::fromHtml(label->text()).toPlainText(), text);
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            QCOMPARE(button->text(), text);
            QCOMPARE(button->isChecked(), false);
            if (text == QLatin1String("..."))
                QCOMPARE(button->size(), QSize(20, 20));
        } else if (auto *line = qobject_cast<QLineEdit *>(widget)) {
            // The fields take the width the buttons leave.
            QVERIFY2(line->width() > 1000, qPrintable(QString::number(line->width())));
        }
        QCOMPARE(field<QPushButton>(window, "pushGenerate")->isDefault(), true);
    }

    void textsAreTranslatedAsMainWindow()
    {
        MarkingTranslator translator;
        QCoreApplication::installTranslator(&translator);
        MainWindow window;
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(field<QGroupBox>(window, "groupBox")->title(),
                 QStringLiteral("[MainWindow|XML Top Level Directory]"));
        QCOMPARE(field<QPushButton>(window, "pushGenerate")->text(),
                 QStringLiteral("[MainWindow|Generate]"));
    }

    void buildLabelStaysRight()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QLabel *build = nullptr;
        for (auto *label : window.statusBar()->findChildren<QLabel *>()) {
            if (label->text().startsWith(QLatin1String("Build: ")))
                build = label;
        }
        QVERIFY(build);
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^Build: [A-Z][a-z]{2} [1-9]\\d? \\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                     .match(build->text())
                     .hasMatch(),
                 qPrintable(build->text()));
        window.statusBar()->showMessage(QStringLiteral("Processing map"));
        QVERIFY(build->isVisible());
        QVERIFY(build->geometry().right() > window.statusBar()->width() - 40);
    }

    void startsWithTheExampleWorld()
    {
        // The build writes mapgenerator.xml beside the programs.
        MainWindow window;
        QCOMPARE(field<QLineEdit>(window, "lineXML")->text(),
                 QStringLiteral(EXAMPLE_WORLD "/data"));
        QCOMPARE(field<QLineEdit>(window, "lineTerrain")->text(),
                 QStringLiteral(EXAMPLE_WORLD "/terrain.png"));
        QVERIFY(QFileInfo(field<QLineEdit>(window, "lineDest")->text()).isDir());
        QCOMPARE(field<QLineEdit>(window, "lineMLT")->text(), QString());
    }

    void aboutShowsTheVersion()
    {
        QCoreApplication::setApplicationName(QStringLiteral("mapgenerator"));
        QCoreApplication::setApplicationVersion(QStringLiteral("9.8 (git 0123456789ab)"));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QString text;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box)
                return false;
            text = box->text();
            box->accept();
            return true;
        });
        // A shortcut clicks its button a moment later.
        QTest::keyClick(&window, Qt::Key_F1);
        QTRY_VERIFY2(text.contains(QLatin1String("mapgenerator 9.8 (git 0123456789ab)")),
                     qPrintable(text));
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QStringList>("fields"); // XML, Terrain, Altitude, Destination, MLT
        const QString old = QStringLiteral("old");
        QTest::newRow("missing file") << QByteArray() << QStringList {old, old, old, old, old};
        QTest::newRow("not well-formed")
            << QByteArray("<S><XML>/d</XML>") << QStringList {old, old, old, old, old};
        QTest::newRow("all four, any root")
            << QByteArray("<?xml version='1.0'?><Anything><Destination>/o</Destination>"
                          "<XML>/d</XML><Altitude>/a.png</Altitude><Terrain>/t.png</Terrain>"
                          "<MLT>/s.xml</MLT></Anything>")
            << QStringList {"/d", "/t.png", "/a.png", "/o", old};
        QTest::newRow("later one wins") << QByteArray("<S><XML>/a</XML><XML>/b</XML></S>")
                                        << QStringList {"/b", old, old, old, old};
        QTest::newRow("case matters") << QByteArray("<S><xml>/d</xml><TERRAIN>/t</TERRAIN></S>")
                                      << QStringList {old, old, old, old, old};
        QTest::newRow("text before a comment")
            << QByteArray("<S><XML>/da<!-- c -->ta</XML><Terrain><!-- c -->/t</Terrain></S>")
            << QStringList {"/da", "", old, old, old};
        // A path with leading blanks is a relative one.
        QTest::newRow("blanks kept, empty element")
            << QByteArray("<S><Altitude>  /my maps/a.png </Altitude><Destination/></S>")
            << QStringList {old, old, "@/  /my maps/a.png ", "", old};
        QTest::newRow("relative to the file's folder")
            << QByteArray("<S><XML>data</XML><Terrain>sub/../t.png</Terrain>"
                          "<Altitude>./a.png</Altitude><Destination>/o</Destination></S>")
            << QStringList {"@/data", "@/t.png", "@/a.png", "/o", old};
        QTest::newRow("only the root's children")
            << QByteArray("<S><Group><XML>/d</XML></Group><Terrain><b>/t</b></Terrain></S>")
            << QStringList {old, "", old, old, old};
    }

    // "@" in an expected field stands for the settings file's folder.
    void settings()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QStringList, fields);
        fields.replaceInStrings(QRegularExpression(QStringLiteral("^@")),
                                m_dir.filePath(QStringLiteral("settings")));
        const QString path =
            m_dir.filePath(QStringLiteral("settings/%1.xml").arg(QTest::currentDataTag()));
        if (!contents.isNull())
            TestSupport::writeFile(path, contents);
        ScriptedWindow window;
        const char *names[] = {"lineXML", "lineTerrain", "lineAlt", "lineDest", "lineMLT"};
        for (const char *name : names)
            field<QLineEdit>(window, name)->setText(QStringLiteral("old"));
        window.readSettings(path);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(field<QLineEdit>(window, names[i])->text(), fields[i]);
    }

    void pickers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("directory");
        QTest::addColumn<QString>("caption");
        QTest::newRow("data") << "pushXML"
                              << "lineXML" << true
                              << "Select XML Data Directory (KTX Data Directory)";
        QTest::newRow("terrain") << "pushTerrain"
                                 << "lineTerrain" << false << "Select Terrain image file";
        QTest::newRow("altitude") << "pushAlt"
                                  << "lineAlt" << false << "Select Altitude image file";
        QTest::newRow("destination") << "pushDest"
                                     << "lineDest" << true << "Select Destination Directory";
        QTest::newRow("structures") << "pushMLT"
                                    << "lineMLT" << false << "Select Structure File";
    }

    void pickers()
    {
        QFETCH(QString, button);
        QFETCH(QString, line);
        QFETCH(bool, directory);
        QFETCH(QString, caption);
        ScriptedWindow window;
        auto *edit = window.findChild<QLineEdit *>(line);
        auto *push = window.findChild<QPushButton *>(button);
        edit->setText(QStringLiteral("/start"));
        window.answer = QStringLiteral("/picked");
        push->click();
        QCOMPARE(window.caption, caption);
        QCOMPARE(window.start, QStringLiteral("/start"));
        QCOMPARE(window.askedForDirectory, directory);
        QCOMPARE(edit->text(), QStringLiteral("/picked"));

        // Cancelled: the field keeps its text, also an empty one.
        window.answer.clear();
        push->click();
        QCOMPARE(edit->text(), QStringLiteral("/picked"));
        edit->clear();
        push->click();
        QCOMPARE(edit->text(), QString());
    }

    void cancelClosesTheWindow()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        field<QPushButton>(window, "pushCancel")->click();
        QVERIFY(!window.isVisible());
    }

    void generateWritesTheMap()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        fill(window, writeWorld(QStringLiteral("world"), 0x1234), QStringLiteral("a.png"));
        QCOMPARE(generate(window),
                 QStringList(
                     {"Loading transition data", "Processing map", "Processing Map", readyZero}));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        const QByteArray map = mapFile();
        QCOMPARE(map.size(), 4 * 196);
        QCOMPARE(map.mid(4, 2), QByteArray("\x34\x12"));
        QCOMPARE(QFileInfo(m_dest + QLatin1String("/staidx0.mul")).size(), 4 * 12);
        QVERIFY(QFileInfo::exists(m_dest + QLatin1String("/statics0.mul")));

        const QString line = field<QLabel>(window, "labelResult")->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^Wrote map0.mul, staidx0.mul, statics0.mul to ")
                                    + QRegularExpression::escape(m_dest) + " in \\d+\\.\\d\\d s$")
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
        QList<QUrl> opened;
        window.m_openUrl = [&](const QUrl &url) {
            opened << url;
            return true;
        };
        field<QPushButton>(window, "pushOpenFolder")->click();
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(m_dest)}));

        // The view shows the 16 x 16 cells fitted; the cell under the
        // pointer is described, and a click pins it.
        auto *view = field<MapView>(window, "mapView");
        QVERIFY(view->map());
        QCOMPARE(view->map()->renderer().width(), 16);
        const QPoint cell5x9 = view->toWidget(QPointF(5.5, 9.5)).toPoint();
        QTest::mouseMove(view, cell5x9);
        QTRY_VERIFY2(
            field<QLabel>(window, "labelCell")->text().startsWith("(5, 9) block 1: tile 4660"),
            qPrintable(field<QLabel>(window, "labelCell")->text()));
        QTest::mouseClick(view, Qt::LeftButton, {}, cell5x9);
        QTRY_VERIFY(field<QPlainTextEdit>(window, "textPinned")
                        ->toPlainText()
                        .contains("Tile: no transition: the terrain's own tile"));
    }

    void secondGenerate_data()
    {
        QTest::addColumn<bool>("withTransitions");
        QTest::addColumn<QString>("change"); // "none", "directory" or "file"
        QTest::addColumn<QByteArray>("secondTile");
        QTest::newRow("unchanged: tables kept") << true << "none" << QByteArray("\x01\x01");
        QTest::newRow("another directory: loaded") << true << "directory" << QByteArray("\x02\x02");
        // Same size, later time: only the time tells.
        QTest::newRow("a file changed: loaded again") << true << "file" << QByteArray("\x03\x03");
        QTest::newRow("no transitions: loads again") << false << "none" << QByteArray("\x01\x01");
    }

    void secondGenerate()
    {
        QFETCH(bool, withTransitions);
        QFETCH(QString, change);
        QFETCH(QByteArray, secondTile);
        MainWindow window;
        const QString first = writeWorld(QStringLiteral("first-%1").arg(QTest::currentDataTag()),
                                         0x0101, withTransitions);
        fill(window, first, QStringLiteral("a.png"));
        generate(window);
        const QByteArray firstMap = mapFile();
        if (change == QLatin1String("directory")) {
            field<QLineEdit>(window, "lineXML")
                ->setText(writeWorld(QStringLiteral("second"), 0x0202));
        } else if (change == QLatin1String("file")) {
            const QString terrain = first + QLatin1String("/system/terrain.xml");
            TestSupport::writeFile(terrain, "<T><Terrain ID='0' TileID='771' Random='True'/></T>");
            QFile file(terrain);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                     QFileDevice::FileModificationTime));
        }

        const QStringList messages = generate(window);
        const bool reloads = change != QLatin1String("none") || !withTransitions;
        QCOMPARE(messages.contains(QStringLiteral("Loading transition data")), reloads);
        QCOMPARE(messages.constLast(), readyZero);
        const QByteArray second = mapFile();
        QCOMPARE(second.mid(4, 2), secondTile);
        // Seeded once per run: the second pass draws other altitudes.
        QCOMPARE(second.size(), firstMap.size());
        QVERIFY(second != firstMap);
    }

    void staticSetMessages()
    {
        MainWindow window;
        QSignalSpy errors(&window, &MainWindow::errorStatic);
        fill(window, writeWorld(QStringLiteral("sets"), 1, true), QStringLiteral("a.png"));
        generate(window);
        generate(window);
        // Loaded once, since the first load found general transitions.
        QCOMPARE(errors.size(), 1);
        const QString message = errors.constFirst().constFirst().toString();
        QCOMPARE(
            message,
            QStringLiteral("File forest.xml appeared to have a hex tile id in static set Pines"));
        const auto dialogs = window.findChildren<QErrorMessage *>();
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.constFirst()->windowTitle(), QStringLiteral("Random static entry errors"));
        QVERIFY(dialogs.constFirst()->isVisible());
        QCOMPARE(dialogs.constFirst()->findChild<QTextEdit *>()->toPlainText(), message);
        dialogs.constFirst()->close();
    }

    // Every pass that cannot write says so in a box and in the result line,
    // and leaves the map files as they were.
    void warningBoxes_data()
    {
        QTest::addColumn<QString>("altitudeImage");
        QTest::addColumn<QString>("data"); // the world's data directory, or another path
        QTest::addColumn<bool>("destinationExists");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        const QString notWritten =
            QStringLiteral("Not written, the previous map files are unchanged: ");
        QTest::newRow("sizes") << "small.png"
                               << "" << true << "Size mismatch"
                               << "Terrain and Altitude image files are different sizes"
                               << "Size mismatch: Terrain image " + m_dir.filePath("t.png");
        QTest::newRow("depth") << "deep.png"
                               << "" << true << "Invalid color depth"
                               << "Terrain or Alttiude image files are not 8 bit color"
                               << "Invalid color depth: Terrain image ";
        const QString unreadable = "cannot read " + m_dir.filePath("none.png") + ": no such file";
        QTest::newRow("unreadable")
            << "none.png"
            << "" << true << "Map files not written" << unreadable << notWritten + unreadable;
        const QString cannotWrite = "Cannot write " + m_dir.filePath("out/map0.mul") + ": ";
        QTest::newRow("destination")
            << "a.png"
            << "" << false << "Map files not written" << cannotWrite << notWritten + cannotWrite;
        // As the root directory, the empty field gets nothing written.
        QTest::newRow("empty destination")
            << "a.png"
            << "" << true << "Map files not written"
            << "No destination directory given" << notWritten + "No destination directory given";
        const QString noData =
            "The data directory " + m_dir.filePath("nowhere") + " does not exist";
        QTest::newRow("no data directory") << "a.png" << m_dir.filePath("nowhere") << true
                                           << "Map files not written" << noData << noData;
        const QString noTerrain = m_dir.filePath("empty/system/terrain.xml") + " does not exist";
        QTest::newRow("no terrain.xml") << "a.png" << m_dir.filePath("empty") << true
                                        << "Map files not written" << noTerrain << noTerrain;
    }

    void warningBoxes()
    {
        QFETCH(QString, altitudeImage);
        QFETCH(QString, data);
        QFETCH(bool, destinationExists);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, result);
        const QMap<QString, QByteArray> oldFiles = {
            {"/map0.mul", "old map"}, {"/staidx0.mul", "old index"}, {"/statics0.mul", ""}};
        if (!destinationExists)
            QVERIFY(QDir(m_dest).removeRecursively());
        else
            for (auto it = oldFiles.cbegin(); it != oldFiles.cend(); ++it)
                TestSupport::writeFile(m_dest + it.key(), it.value());
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("empty/system"))));
        MainWindow window;
        const QString world = writeWorld(QStringLiteral("world"), 1);
        fill(window, data.isEmpty() ? world : data, altitudeImage);
        if (QTest::currentDataTag() == QLatin1String("empty destination"))
            field<QLineEdit>(window, "lineDest")->clear();
        QString seenTitle, seenText;
        QWidget *parent = nullptr;
        qsizetype buttons = 0;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box)
                return false;
            seenTitle = box->windowTitle();
            seenText = box->text();
            parent = box->parentWidget();
            buttons = box->buttons().size();
            box->buttons().constFirst()->click();
            return true;
        });
        const QString lastStatus = generate(window).constLast();
        // A data directory that cannot give a map is no pass that ended.
        QCOMPARE(lastStatus == readyZero, data.isEmpty());
        QCOMPARE(seenTitle, title);
        QVERIFY2(seenText.startsWith(text), qPrintable(seenText));
        QCOMPARE(parent, &window);
        QCOMPARE(buttons, 1);
        const QString line = field<QLabel>(window, "labelResult")->text();
        QVERIFY2(line.startsWith(result), qPrintable(line));
        QVERIFY(!field<QPushButton>(window, "pushOpenFolder")->isVisibleTo(&window));
        if (destinationExists)
            QCOMPARE(TestSupport::filesBelow(m_dest), oldFiles);
        else
            QVERIFY(!QFileInfo::exists(m_dest));
    }

    void generateDoesNotRunInsideARunningPass()
    {
        MainWindow window;
        fill(window, writeWorld(QStringLiteral("world"), 1), QStringLiteral("a.png"));
        auto *push = field<QPushButton>(window, "pushGenerate");
        whenModal([&](QWidget *modal) {
            if (!qobject_cast<QProgressDialog *>(modal))
                return false;
            // As a click queued behind Abort would arrive: straight to the slot.
            push->click();
            return true;
        });
        QCOMPARE(generate(window),
                 QStringList(
                     {"Loading transition data", "Processing map", "Processing Map", readyZero}));
    }

    // Another pass holds the destination: the progress dialog says so and
    // offers Abort; the pass goes on once the other ends.
    void generateWaitsForAnotherPass()
    {
        MainWindow window;
        fill(window, writeWorld(QStringLiteral("world"), 1), QStringLiteral("a.png"));
        RecordingObserver other;
        DestinationLock lock;
        QCOMPARE(lock.lock(m_dest, false, other), DestinationLock::Result::Locked);
        QString label;
        QString button;
        whenModal([&](QWidget *modal) {
            auto *progress = qobject_cast<QProgressDialog *>(modal);
            if (!progress)
                return false;
            label = progress->labelText();
            button = progress->findChild<QPushButton *>()->text();
            lock.unlock();
            return true;
        });
        const QString waiting = QLatin1String("waiting for another pass writing ") + m_dest;
        QCOMPARE(generate(window),
                 QStringList({"Loading transition data", "Processing map", waiting,
                              "Processing Map", readyZero}));
        QCOMPARE(label, waiting);
        QCOMPARE(button, QStringLiteral("Abort"));
        QCOMPARE(mapFile().size(), 4 * 196);
        QCOMPARE(QDir(m_dest).entryList(QDir::Hidden | QDir::Files, QDir::Name),
                 QStringList({"map0.mul", "staidx0.mul", "statics0.mul"}));
    }

    void abortLeavesNoFiles_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Abort") << false;
        QTest::newRow("Escape") << true;
    }

    void abortLeavesNoFiles()
    {
        QFETCH(bool, escape);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        fill(window, writeWorld(QStringLiteral("world"), 1), QStringLiteral("a.png"));
        auto *push = field<QPushButton>(window, "pushGenerate");
        QStringList seen;
        QString statusAfterClick;
        whenModal([&](QWidget *modal) {
            auto *progress = qobject_cast<QProgressDialog *>(modal);
            if (!progress)
                return false;
            seen << progress->windowTitle() << progress->labelText()
                 << progress->findChild<QPushButton *>()->text();
            // Window-modal: a click on Generate, as the window system
            // delivers it, does not start a second pass.
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                              push->mapTo(&window, push->rect().center()));
            statusAfterClick = window.statusBar()->currentMessage();
            if (escape)
                QTest::keyClick(progress, Qt::Key_Escape);
            else
                progress->cancel();
            return true;
        });
        QCOMPARE(generate(window).constLast(), readyZero);
        QCOMPARE(seen, QStringList({"Quillmoor Map Generator", "Processing Map", "Abort"}));
        QCOMPARE(statusAfterClick, QStringLiteral("Processing Map"));
        QCOMPARE(QDir(m_dest).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(window.findChildren<QProgressDialog *>().size(), 0);
        QCOMPARE(field<QLabel>(window, "labelResult")->text(),
                 QStringLiteral("Aborted: the previous map files are unchanged"));
    }

    void shortcutsGenerate_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("Ctrl+G") << QKeySequence(Qt::CTRL | Qt::Key_G);
        QTest::newRow("F5") << QKeySequence(Qt::Key_F5);
    }

    void shortcutsGenerate()
    {
        QFETCH(QKeySequence, keys);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        fill(window, writeWorld(QStringLiteral("world"), 1), QStringLiteral("a.png"));
        QVERIFY(field<QPushButton>(window, "pushGenerate")->toolTip().contains(keys.toString()));
        QTest::keySequence(&window, keys);
        QTRY_COMPARE(mapFile().size(), 4 * 196);
    }

    // Choices come back in the next run; without a settings file beside
    // the program, so do the paths.
    void choicesAreRemembered()
    {
        {
            ScriptedWindow window;
            field<QCheckBox>(window, "checkRandom")->setChecked(true);
            field<QLineEdit>(window, "lineMLT")->setText(QStringLiteral("/s.xml"));
            field<QCheckBox>(window, "checkMLT")->setChecked(true);
            field<QCheckBox>(window, "checkUnmatched")->setChecked(true);
            field<QLineEdit>(window, "lineXML")->setText(QStringLiteral("/data"));
            window.resize(1234, 876);
        }
        ScriptedWindow window;
        QVERIFY(field<QCheckBox>(window, "checkRandom")->isChecked());
        QCOMPARE(field<QLineEdit>(window, "lineMLT")->text(), QStringLiteral("/s.xml"));
        QVERIFY(field<QCheckBox>(window, "checkMLT")->isChecked());
        QVERIFY(field<QCheckBox>(window, "checkUnmatched")->isChecked());
        QVERIFY(!field<QCheckBox>(window, "checkStatics")->isChecked());
        QCOMPARE(window.size(), QSize(1234, 876));
        // The build's settings file beside the program names the example world.
        QVERIFY(field<QLineEdit>(window, "lineXML")->text().endsWith(QLatin1String("/data")));
        QVERIFY(field<QLineEdit>(window, "lineXML")->text() != QLatin1String("/data"));
        window.readStartSettings(m_dir.filePath(QStringLiteral("no-such-settings.xml")));
        QCOMPARE(field<QLineEdit>(window, "lineXML")->text(), QStringLiteral("/data"));
    }

    // The data check's problems, listed after the pass; double-clicking one
    // opens its file.
    void dataProblemsAreListed()
    {
        MainWindow window;
        const QString data = writeWorld(QStringLiteral("broken"), 1, true);
        const QString broken = data + QLatin1String("/transitions/grass/broken.xml");
        TestSupport::writeFile(broken, "<R><TransInfo HashKey='0'>");
        fill(window, data, QStringLiteral("a.png"));
        generate(window);
        auto *dock = field<QDockWidget>(window, "dockProblems");
        QTRY_COMPARE(dock->windowTitle(), QStringLiteral("Data problems (3)"));
        auto *tree = field<QTreeWidget>(window, "treeProblems");
        QStringList rows;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            rows << tree->topLevelItem(i)->text(0) + QLatin1Char(' ')
                    + QFileInfo(tree->topLevelItem(i)->text(1)).fileName();
        QCOMPARE(
            rows,
            QStringList({"error broken.xml:1", "warning grass.xml:1", "warning forest.xml:1"}));
        QList<QUrl> opened;
        window.m_openUrl = [&](const QUrl &url) {
            opened << url;
            return true;
        };
        emit tree->itemActivated(tree->topLevelItem(0), 0);
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(broken)}));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
