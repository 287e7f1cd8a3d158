// SPDX-License-Identifier: MIT
// The window driven as a user drives it: start-up from settings files, drops, the list
// buttons, runs on real MP3 files (made by lame, read back by mutagen), errors seen through
// the window's error-box seam, closing. Runs on Qt's offscreen platform.
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "InteropUtil.h"
#include "app/CoverImage.h"
#include "app/Settings.h"
#include "app/gui/CommandLine.h"
#include "app/gui/ImagePreview.h"
#include "app/gui/main.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadFileBytes;
using test::ReadFileText;
using test::TempDir;
using test::ToBytes;
using test::WriteFileBytes;

std::string SettingsDocument(int MaxXValue, int MaxYValue, int Quality, int Kind, int Encoding) {
    auto item = [](const char* Key, int Value) {
        return std::string("    <") + Key + ">" + std::to_string(Value) + "</" + Key + ">\r\n";
    };
    return "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
           "<!-- Generator: TXMLINI 1.x -->\r\n"
           "<xmlini>\r\n"
           "  <ImageSettings>\r\n" +
           item("JpegQuality", Quality) + item("MaxY", MaxYValue) + item("MaxX", MaxXValue) +
           "  </ImageSettings>\r\n"
           "  <Id3Settings>\r\n" +
           item("TextEncoding", Encoding) + item("KindOfPic", Kind) +
           "  </Id3Settings>\r\n"
           "</xmlini>\r\n";
}

// A picture in four quadrants (red, green / blue, white), made by our encoder.
fs::path MakeCover(const fs::path& File, int Width, int Height) {
    TRgbImage image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width) * Height * 3)};
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            uint8_t* p = &image.Pixels[(static_cast<size_t>(y) * Width + x) * 3];
            const bool right = x >= Width / 2, bottom = y >= Height / 2;
            p[0] = (!bottom && !right) || (bottom && right) ? 255 : 0;
            p[1] = (!bottom && right) || (bottom && right) ? 255 : 0;
            p[2] = bottom ? 255 : 0;
        }
    WriteFileBytes(File, EncodeJpeg(image, 95));
    return File;
}

// The window with its error box replaced by a recorder, in a data folder of its own.
struct TWindow {
    explicit TWindow(const fs::path& DataDir, TFormDialogs Dialogs = {}) {
        Dialogs.ShowError = [this](QWidget*, const QString& Message) { Errors.push_back(Message); };
        Form = std::make_unique<TForm1>(DataDir, std::move(Dialogs));
    }
    template <class T>
    T* Control(const char* Name) const {
        T* found = Form->findChild<T*>(QString::fromLatin1(Name));
        if (!found) qFatal("no control %s", Name);
        return found;
    }
    QTableWidget* List() const { return Control<QTableWidget>("lst_files"); }
    QString Cell(int Row, int Column) const {
        const QTableWidgetItem* item = List()->item(Row, Column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    QStringList Column(int Column) const {
        QStringList texts;
        for (int row = 0; row < List()->rowCount(); ++row) texts << Cell(row, Column);
        return texts;
    }
    void Click(const char* Button) const { Control<QPushButton>(Button)->click(); }
    // Chooses entry Index of a drop-down list as the user does.
    void Choose(const char* Combo, int Index) const {
        QComboBox* box = Control<QComboBox>(Combo);
        box->setCurrentIndex(Index);
        Q_EMIT box->activated(Index);
    }
    // Drags Files over the window and drops them; answers whether the window took them.
    bool Drop(const std::vector<fs::path>& Files) const {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& file : Files) urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
        data.setUrls(urls);
        const QPoint where(300, 400);
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropEvent(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &dropEvent);
        QCoreApplication::processEvents();  // the drop is handled once it is over
        return dropEvent.isAccepted();
    }

    std::vector<QString> Errors;
    std::unique_ptr<TForm1> Form;
};

QString Str(const fs::path& Path) { return QString::fromStdString(Path.string()); }

QStringList Lines(const fs::path& File) {
    QStringList result = QString::fromStdString(ReadFileText(File)).split(QStringLiteral("\r\n"));
    if (!result.isEmpty() && result.back().isEmpty()) result.pop_back();
    return result;
}

// The pictures mutagen finds in a file: (type, sha256) pairs.
std::vector<std::pair<int, std::string>> Pictures(const fs::path& File) {
    std::vector<std::pair<int, std::string>> found;
    for (const auto& frame : test::FramesWithId(test::MutagenDump(File), "APIC"))
        found.emplace_back(static_cast<int>(frame["type"].Int()), frame["sha256"].Str());
    return found;
}

}  // namespace

class TestTForm1 : public QObject {
    Q_OBJECT

   private Q_SLOTS:
    void init();
    void cleanup();

    void freshStartUpShowsTheDefaults();
    void everyControlHasItsNamePlaceAndCaption();
    void noCaptionIsCutOff();
    void storedSettingsAreAppliedAndClampedOnes_data();
    void storedSettingsAreAppliedAndClampedOnes();
    void closingWritesTheThirteenLines();
    void unwritableSettingsAreReportedAndSavedLater();
    void dropTakesMp3FilesAndTheFirstPicture();
    void droppedFolderAddsItsMp3FilesSorted();
    void dialogFilesKeepTheirOrderAndTheListButtonsWork();
    void fullPathIsKeptByteForByte();
    void previewCentresAndShrinksNearestNeighbour();
    void startAddsThePictureToRealFiles();
    void largePictureIsScaledIntoTempJpg();
    void removeModeDeletesPicturesAndScrollsAlong();
    void nothingToDoDoesNothing();
    void damagedPictureShowsTheErrorAndTouchesNoFile();
    void aFileThatFailsSaysWhy();
    void secondStartAndListChangesAreRefusedDuringARun();
    void closingDuringARunStopsAfterTheCurrentFile();
    void filesOtherTaggersWroteAreTaggedOrLeftAlone();
    void commandLineOfTheProgram();

   private:
    std::unique_ptr<TempDir> dir_;
    // Three lame files, made once and copied for every test that runs the batch.
    std::unique_ptr<TempDir> fixtures_;
    std::vector<fs::path> Mp3Copies(int Count);
    bool HavePeers();
};

void TestTForm1::init() { dir_ = std::make_unique<TempDir>(); }

void TestTForm1::cleanup() {
    dir_.reset();
    SettingsIni.reset();
}

bool TestTForm1::HavePeers() {
    return test::HaveInteropTool(test::Tool::Lame) && test::HaveInteropTool(test::Tool::Mutagen);
}

std::vector<fs::path> TestTForm1::Mp3Copies(int Count) {
    if (!fixtures_) {
        fixtures_ = std::make_unique<TempDir>();
        test::MakeMp3(*fixtures_ / "plain.mp3", 0.5);
        test::MutagenTag(*fixtures_ / "plain.mp3",
                         R"({"id3v2": {"version": 3, "frames": [{"id": "TIT2", "text": "Song"},
                             {"id": "TPE1", "text": "Band"}, {"id": "TXXX", "desc": "KEY", "text": ["v"]}]}})");
    }
    std::vector<fs::path> files;
    for (int i = 0; i < Count; ++i) {
        const fs::path file = *dir_ / ("song " + std::to_string(i + 10) + ".mp3");
        fs::copy_file(*fixtures_ / "plain.mp3", file);
        files.push_back(file);
    }
    return files;
}

void TestTForm1::freshStartUpShowsTheDefaults() {
    TWindow w(dir_->Path());
    QVERIFY(w.Errors.empty());
    QCOMPARE(w.Control<QComboBox>("ComboBox1")->currentIndex(), 0);
    QCOMPARE(w.Control<QComboBox>("ComboBox1")->currentText(), QStringLiteral("Id3v2.3 ISO-8859-1"));
    QCOMPARE(w.Control<QComboBox>("ComboBox2")->currentIndex(), 1);
    QCOMPARE(w.Control<QComboBox>("ComboBox2")->currentText(), QStringLiteral("Cover (front)"));
    QCOMPARE(w.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: 70"));
    QCOMPARE(w.Control<QScrollBar>("scr_jpeg")->value(), 70);
    QCOMPARE(w.Control<QSpinBox>("EdtMaxX")->value(), 500);
    QCOMPARE(w.Control<QSpinBox>("EdtMaxY")->value(), 500);
    QVERIFY(!w.Control<QCheckBox>("cbx_delpics")->isChecked());
    QCOMPARE(w.List()->rowCount(), 0);
    QVERIFY(w.Form->ImagePath().empty());
    QCOMPARE(w.Form->Facade().ID3v2Format, uint8_t{0});
    QCOMPARE(int{w.Form->Facade().MpegReadTags}, int{tsID3v1ID3v2});
    QCOMPARE(int{w.Form->Facade().MpegWriteTags}, int{tsID3v1ID3v2});
    QVERIFY(w.Form->acceptDrops());
    // The missing settings file is created at once as the empty document.
    QCOMPARE(Lines(*dir_ / "settings.xml"),
             QStringList({R"(<?xml version="1.0" encoding="windows-1250" ?>)",
                          "<!-- Generator: TXMLINI 1.x -->", "<xmlini>", "</xmlini>"}));
}

void TestTForm1::everyControlHasItsNamePlaceAndCaption() {
    TWindow w(dir_->Path());
    TForm1& f = *w.Form;
    QVERIFY(f.windowTitle().startsWith(QStringLiteral("Covrilo 2.0.1 Light [")));
    QVERIFY(f.windowTitle().endsWith(QStringLiteral("]")));
    QVERIFY(f.windowTitle().size() > 23);  // an address stands in the brackets
    QCOMPARE(f.size(), QSize(667, 575));
    QCOMPARE(f.minimumSize(), QSize(667, 575));
    QCOMPARE(f.maximumSize(), QSize(667, 575));
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(f.font().pixelSize(), 11);

    struct Place {
        const char* Name;
        const char* Parent;
        QRect Rect;
    };
    const Place places[] = {
        {"Panel1", "Form1", {8, 47, 649, 289}},          {"Panel2", "Panel1", {9, 11, 232, 230}},
        {"ImgPreview", "Panel2", {2, 2, 228, 226}},      {"pnl_resize", "Panel1", {247, 11, 393, 230}},
        {"BitBtn1", "Panel1", {9, 247, 114, 34}},        {"BitBtn2", "Panel1", {129, 247, 114, 34}},
        {"Panel4", "Form1", {8, 342, 649, 188}},         {"lst_files", "Panel4", {9, 8, 631, 169}},
        {"btn_addFiles", "Form1", {8, 536, 121, 33}},    {"btn_delFiles", "Form1", {136, 536, 121, 33}},
        {"btn_clearList", "Form1", {264, 536, 105, 33}}, {"btn_start", "Form1", {409, 536, 137, 33}},
        {"btn_close", "Form1", {552, 536, 105, 33}},     {"Panel3", "Form1", {0, 0, 667, 41}},
    };
    for (const Place& p : places) {
        const QWidget* control = w.Control<QWidget>(p.Name);
        QVERIFY2(control->parentWidget()->objectName() == QLatin1String(p.Parent), p.Name);
        QVERIFY2(control->geometry() == p.Rect, p.Name);
    }
    QCOMPARE(w.Control<QCheckBox>("cbx_delpics")->pos(), QPoint(326, 257));
    QCOMPARE(w.Control<QWidget>("pnl_resize")->palette().color(QPalette::Window), QColor(255, 255, 225));
    QCOMPARE(w.Control<QWidget>("Panel3")->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(w.Control<QLabel>("Label4")->font().pixelSize(), 19);
    QCOMPARE(w.Control<QLabel>("Label4")->palette().color(QPalette::WindowText), QColor(Qt::red));
    for (const char* bold : {"lbl_resize", "Label3"}) {
        QVERIFY2(w.Control<QLabel>(bold)->font().bold(), bold);
        QVERIFY2(w.Control<QLabel>(bold)->palette().color(QPalette::WindowText) == QColor(Qt::red), bold);
    }
    for (const char* right : {"lbl_maxWidth", "lbl_maxHeight"})
        QVERIFY2(w.Control<QLabel>(right)->alignment() & Qt::AlignRight, right);

    struct Caption {
        const char* Name;
        const char* Text;
    };
    const Caption captions[] = {
        {"Label4", "Covrilo 2.0.1 Light"},  {"lbl_resize", "Image settings:"},
        {"lbl_maxWidth", "Maximum width:"}, {"lbl_maxHeight", "Maximum height:"},
        {"Label3", "Id3-Tag settings:"},    {"Label2", "Kind of picture:"},
        {"Label1", "Text encoding:"},
    };
    for (const Caption& c : captions) QCOMPARE(w.Control<QLabel>(c.Name)->text(), QString::fromUtf8(c.Text));
    const Caption buttons[] = {
        {"BitBtn1", "Load image..."},     {"BitBtn2", "Close image"},      {"btn_addFiles", "Add files..."},
        {"btn_delFiles", "Remove files"}, {"btn_clearList", "Clear list"}, {"btn_start", "Start"},
        {"btn_close", "Close"},
    };
    for (const Caption& c : buttons) {
        QCOMPARE(w.Control<QPushButton>(c.Name)->text(), QString::fromUtf8(c.Text));
        QVERIFY2(!w.Control<QPushButton>(c.Name)->icon().isNull(), c.Name);  // buttons with pictures
    }
    QCOMPARE(w.Control<QCheckBox>("cbx_delpics")->text(),
             QStringLiteral("Remove all images from listed files"));

    QStringList kinds;
    for (int i = 0; i < w.Control<QComboBox>("ComboBox2")->count(); ++i)
        kinds << w.Control<QComboBox>("ComboBox2")->itemText(i);
    QCOMPARE(kinds, QStringList({"Other", "Cover (front)", "Cover (back)", "Leaflet page",
                                 "Media (e.g. label side of CD)", "Lead artist/lead performer/soloist",
                                 "Artist/performer", "Conductor", "Band/Orchestra", "Composer",
                                 "Lyricist/text writer", "Recording Location", "During recording",
                                 "During performance", "Movie/video screen capture", "A bright coloured fish",
                                 "Illustration", "Band/artist logotype", "Publisher/Studio logotype"}));
    QCOMPARE(w.Control<QComboBox>("ComboBox1")->count(), 3);
    QCOMPARE(w.Control<QComboBox>("ComboBox1")->itemText(1), QStringLiteral("Id3v2.3 UTF-16"));
    QCOMPARE(w.Control<QComboBox>("ComboBox1")->itemText(2), QStringLiteral("Id3v2.4 UTF-8"));
    for (const char* combo : {"ComboBox1", "ComboBox2"})
        QVERIFY2(!w.Control<QComboBox>(combo)->isEditable(), combo);
    for (const char* spin : {"EdtMaxX", "EdtMaxY"}) {
        QCOMPARE(w.Control<QSpinBox>(spin)->minimum(), 20);
        QCOMPARE(w.Control<QSpinBox>(spin)->maximum(), 9999);
    }
    QCOMPARE(w.Control<QScrollBar>("scr_jpeg")->orientation(), Qt::Horizontal);
    QCOMPARE(w.Control<QScrollBar>("scr_jpeg")->minimum(), 1);
    QCOMPARE(w.Control<QScrollBar>("scr_jpeg")->maximum(), 100);

    QTableWidget* list = w.List();
    QCOMPARE(list->columnCount(), 3);
    const char* headers[] = {"Filename", "Tag informations", "Satus"};
    const int widths[] = {400, 120, 70};
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(list->horizontalHeaderItem(c)->text(), QString::fromLatin1(headers[c]));
        QCOMPARE(list->columnWidth(c), widths[c]);
    }
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(list->showGrid());
    QVERIFY(list->verticalHeader()->isHidden());
}

void TestTForm1::noCaptionIsCutOff() {
    TWindow w(dir_->Path());
    w.Form->show();
    for (const QLabel* label : w.Form->findChildren<QLabel*>()) {
        if (label->window() != w.Form.get()) continue;  // inside a dialog
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(needed <= label->contentsRect().width(), qPrintable(label->objectName()));
        QVERIFY2(label->fontMetrics().height() <= label->contentsRect().height(),
                 qPrintable(label->objectName()));
    }
    for (const QPushButton* button : w.Form->findChildren<QPushButton*>())
        if (button->window() == w.Form.get())
            QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->objectName()));
    const QCheckBox* box = w.Control<QCheckBox>("cbx_delpics");
    QVERIFY(box->sizeHint().width() <= box->width());
    QVERIFY(box->geometry().right() < box->parentWidget()->width());
    for (const char* name : {"ComboBox1", "ComboBox2"}) {
        const QComboBox* combo = w.Control<QComboBox>(name);
        QVERIFY2(combo->sizeHint().width() <= combo->width(), name);  // the longest entry fits
    }
    const QHeaderView* header = w.List()->horizontalHeader();
    for (int c = 0; c < 3; ++c) {
        const QString text = w.List()->horizontalHeaderItem(c)->text();
        QVERIFY2(header->fontMetrics().horizontalAdvance(text) + 8 <= header->sectionSize(c),
                 qPrintable(text));
    }
    const QSpinBox* spin = w.Control<QSpinBox>("EdtMaxX");
    QVERIFY(spin->fontMetrics().horizontalAdvance(QStringLiteral("9999")) + 24 <= spin->width());
}

void TestTForm1::storedSettingsAreAppliedAndClampedOnes_data() {
    QTest::addColumn<QString>("Stored");
    QTest::addColumn<int>("MaxXShown");
    QTest::addColumn<int>("MaxYShown");
    QTest::addColumn<int>("QualityShown");
    QTest::addColumn<int>("KindIndex");
    QTest::addColumn<int>("EncodingIndex");
    QTest::addColumn<int>("Format");
    QTest::addColumn<QString>("Saved");  // the file after closing
    auto doc = [](int X, int Y, int Q, int K, int E) {
        return QString::fromStdString(SettingsDocument(X, Y, Q, K, E));
    };
    QTest::newRow("TextEncoding 2") << doc(640, 480, 85, 4, 2) << 640 << 480 << 85 << 4 << 2 << 2
                                    << doc(640, 480, 85, 4, 2);
    QTest::newRow("below the ranges")
        << doc(5, 19, 0, 0, 1) << 20 << 20 << 1 << 0 << 1 << 1 << doc(20, 20, 1, 0, 1);
    QTest::newRow("above the ranges") << doc(100000, 10000, 250, 18, 0) << 9999 << 9999 << 100 << 18 << 0 << 0
                                      << doc(9999, 9999, 100, 18, 0);
    QTest::newRow("quality 1, the scroll bar's start")
        << doc(500, 500, 1, 1, 0) << 500 << 500 << 1 << 1 << 0 << 0 << doc(500, 500, 1, 1, 0);
    // No entry selected; the values stay as they were stored and the facade keeps 2.3 Latin-1.
    QTest::newRow("kind and encoding out of range")
        << doc(500, 500, 70, 19, 3) << 500 << 500 << 70 << -1 << -1 << 0 << doc(500, 500, 70, 19, 3);
    QTest::newRow("letters") << QString::fromStdString(
                                    std::string("<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
                                                "<!-- Generator: TXMLINI 1.x -->\r\n<xmlini>\r\n"
                                                "  <ImageSettings>\r\n    <MaxX>wide</MaxX>\r\n"
                                                "  </ImageSettings>\r\n</xmlini>\r\n"))
                             << 500 << 500 << 70 << 1 << 0 << 0 << doc(500, 500, 70, 1, 0);
}

void TestTForm1::storedSettingsAreAppliedAndClampedOnes() {
    QFETCH(QString, Stored);
    QFETCH(int, MaxXShown);
    QFETCH(int, MaxYShown);
    QFETCH(int, QualityShown);
    QFETCH(int, KindIndex);
    QFETCH(int, EncodingIndex);
    QFETCH(int, Format);
    QFETCH(QString, Saved);
    WriteFileBytes(*dir_ / "settings.xml", ToBytes(Stored.toStdString()));
    TWindow w(dir_->Path());
    QVERIFY(w.Errors.empty());
    QCOMPARE(w.Control<QSpinBox>("EdtMaxX")->value(), MaxXShown);
    QCOMPARE(w.Control<QSpinBox>("EdtMaxY")->value(), MaxYShown);
    QCOMPARE(w.Control<QScrollBar>("scr_jpeg")->value(), QualityShown);
    QCOMPARE(w.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: %1").arg(QualityShown));
    QCOMPARE(w.Control<QComboBox>("ComboBox2")->currentIndex(), KindIndex);
    QCOMPARE(w.Control<QComboBox>("ComboBox1")->currentIndex(), EncodingIndex);
    QCOMPARE(int{w.Form->Facade().ID3v2Format}, Format);
    // The run reads the variables: they hold the values in range.
    QCOMPARE(MaxX, MaxXShown);
    QCOMPARE(MaxY, MaxYShown);
    QCOMPARE(JpegQuality, QualityShown);
    w.Form->close();
    QCOMPARE(QString::fromStdString(ReadFileText(*dir_ / "settings.xml")), Saved);
}

void TestTForm1::closingWritesTheThirteenLines() {
    TWindow w(dir_->Path());
    w.Control<QScrollBar>("scr_jpeg")->setValue(85);
    QCOMPARE(w.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: 85"));
    QCOMPARE(JpegQuality, 85);
    w.Control<QSpinBox>("EdtMaxX")->setValue(640);
    w.Control<QSpinBox>("EdtMaxY")->setValue(480);
    w.Choose("ComboBox2", 15);
    w.Choose("ComboBox1", 1);
    QCOMPARE(w.Form->Facade().ID3v2Format, uint8_t{1});
    w.Form->show();
    w.Click("btn_close");
    QVERIFY(!w.Form->isVisible());
    QVERIFY(w.Errors.empty());
    const QStringList expected = {R"(<?xml version="1.0" encoding="windows-1250" ?>)",
                                  "<!-- Generator: TXMLINI 1.x -->",
                                  "<xmlini>",
                                  "  <ImageSettings>",
                                  "    <JpegQuality>85</JpegQuality>",
                                  "    <MaxY>480</MaxY>",
                                  "    <MaxX>640</MaxX>",
                                  "  </ImageSettings>",
                                  "  <Id3Settings>",
                                  "    <TextEncoding>1</TextEncoding>",
                                  "    <KindOfPic>15</KindOfPic>",
                                  "  </Id3Settings>",
                                  "</xmlini>"};
    QCOMPARE(Lines(*dir_ / "settings.xml"), expected);
    QVERIFY(ReadFileText(*dir_ / "settings.xml").ends_with("</xmlini>\r\n"));
}

void TestTForm1::unwritableSettingsAreReportedAndSavedLater() {
    // The data folder vanishes before start-up: the error is shown, the defaults are used,
    // and shut-down writes the file once it can.
    const fs::path data = *dir_ / "data";
    TWindow w(data);
    QCOMPARE(w.Errors.size(), size_t{1});
    QVERIFY(w.Errors[0].contains(QStringLiteral("settings.xml")));
    QCOMPARE(w.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: 70"));
    w.Control<QSpinBox>("EdtMaxX")->setValue(321);
    fs::create_directory(data);
    w.Form->close();
    QCOMPARE(w.Errors.size(), size_t{1});
    QVERIFY(ReadFileText(data / "settings.xml").find("<MaxX>321</MaxX>") != std::string::npos);

    // A folder in the file's place cannot be replaced: the close says so and still closes.
    fs::remove(data / "settings.xml");
    fs::create_directory(data / "settings.xml");
    TWindow second(data);
    second.Form->show();
    second.Form->close();
    QVERIFY(!second.Form->isVisible());
    QCOMPARE(second.Errors.size(), size_t{2});  // at start-up and at shut-down
}

void TestTForm1::dropTakesMp3FilesAndTheFirstPicture() {
    TWindow w(dir_->Path());
    MakeCover(*dir_ / "b.jpg", 40, 30);
    MakeCover(*dir_ / "c.JPEG", 50, 50);
    WriteFileBytes(*dir_ / "a.MP3", ToBytes("not even audio"));
    WriteFileBytes(*dir_ / "d.txt", ToBytes("text"));
    QVERIFY(w.Drop({*dir_ / "a.MP3", *dir_ / "b.jpg", *dir_ / "c.JPEG", *dir_ / "d.txt"}));
    QCOMPARE(w.Column(0), QStringList({"a.MP3"}));
    QCOMPARE(w.Column(1), QStringList({""}));
    QCOMPARE(w.Column(2), QStringList({"Waiting..."}));
    QCOMPARE(Str(w.Form->EntryPath(0)), Str(*dir_ / "a.MP3"));
    QCOMPARE(Str(w.Form->ImagePath()), Str(*dir_ / "b.jpg"));
    QCOMPARE(w.Form->findChild<TImagePreview*>("ImgPreview")->Shown().size(), QSize(40, 30));
    QVERIFY(w.Errors.empty());

    // Sorted by full name ignoring case; the same file again is a second entry; a drop
    // without a picture keeps the picture.
    QVERIFY(w.Drop({*dir_ / "Zed.mp3", *dir_ / "b.mp3", *dir_ / "a.MP3"}));
    QCOMPARE(w.Column(0), QStringList({"a.MP3", "a.MP3", "b.mp3", "Zed.mp3"}));
    QCOMPARE(Str(w.Form->ImagePath()), Str(*dir_ / "b.jpg"));

    // Something that is not a local file is refused at the door.
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("https://example.org/x.mp3"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.Form.get(), &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(w.List()->rowCount(), 4);
}

void TestTForm1::droppedFolderAddsItsMp3FilesSorted() {
    TWindow w(dir_->Path());
    const fs::path album = *dir_ / "Album";
    fs::create_directories(album / "CD 2");
    for (const char* name : {"b.mp3", "A.MP3", "c.Mp3", "notes.txt", "CD 2/d.mp3", "front.jpg"})
        WriteFileBytes(album / name, ToBytes("x"));
    QVERIFY(w.Drop({*dir_ / "single.mp3", album}));
    QCOMPARE(w.Column(0), QStringList({"A.MP3", "b.mp3", "c.Mp3", "d.mp3", "single.mp3"}));
    QCOMPARE(Str(w.Form->EntryPath(3)), Str(album / "CD 2" / "d.mp3"));
    QVERIFY(w.Form->ImagePath().empty());  // pictures inside a folder are not loaded
}

void TestTForm1::dialogFilesKeepTheirOrderAndTheListButtonsWork() {
    TFormDialogs dialogs;
    QStringList answer = {"/music/b.mp3", "/music/a.mp3", "/music/b.mp3", "/music/c.mp3", "/music/d.mp3"};
    const fs::path Cover = MakeCover(*dir_ / "cover.jpg", 30, 30);
    struct Shown {
        QString Name;
        QStringList Filters;
        QFileDialog::FileMode Mode;
    };
    std::vector<Shown> dialogsShown;
    dialogs.RunFileDialog = [&](QFileDialog& Dialog) {
        dialogsShown.push_back({Dialog.objectName(), Dialog.nameFilters(), Dialog.fileMode()});
        return Dialog.objectName() == QLatin1String("OpenDialog1") ? answer : QStringList{Str(Cover)};
    };
    TWindow w(dir_->Path(), dialogs);
    w.Click("btn_addFiles");
    QCOMPARE(dialogsShown.size(), size_t{1});
    QCOMPARE(dialogsShown[0].Name, QStringLiteral("OpenDialog1"));
    QCOMPARE(dialogsShown[0].Filters, QStringList({"Mp3-files (*.mp3)"}));
    QCOMPARE(dialogsShown[0].Mode, QFileDialog::ExistingFiles);  // several files at once
    QCOMPARE(w.Column(0), QStringList({"b.mp3", "a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    QCOMPARE(Str(w.Form->EntryPath(1)), Str(fs::path("/music/a.mp3")));

    // "Remove files" with nothing selected changes nothing; with rows 0, 2 and 4 selected
    // it removes all three.
    w.List()->clearSelection();
    w.Click("btn_delFiles");
    QCOMPARE(w.List()->rowCount(), 5);
    for (int row : {0, 2, 4})
        w.List()->selectionModel()->select(w.List()->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.Click("btn_delFiles");
    QCOMPARE(w.Column(0), QStringList({"a.mp3", "c.mp3"}));
    QCOMPARE(Str(w.Form->EntryPath(1)), Str(fs::path("/music/c.mp3")));

    w.Click("btn_clearList");
    QCOMPARE(w.List()->rowCount(), 0);

    // "Load image..." and "Close image".
    w.Click("BitBtn1");
    QCOMPARE(dialogsShown.back().Name, QStringLiteral("OpenDialog2"));
    QCOMPARE(dialogsShown.back().Filters, QStringList({"Jpeg-Files (*.jpg *.jpeg)"}));
    QCOMPARE(dialogsShown.back().Mode, QFileDialog::ExistingFile);  // one file
    QCOMPARE(Str(w.Form->ImagePath()), Str(Cover));
    QVERIFY(!w.Form->findChild<TImagePreview*>("ImgPreview")->Shown().isNull());
    w.Click("BitBtn2");
    QVERIFY(w.Form->ImagePath().empty());
    QVERIFY(w.Form->findChild<TImagePreview*>("ImgPreview")->Shown().isNull());

    // A dialog that was cancelled changes nothing.
    answer.clear();
    w.Click("btn_addFiles");
    QCOMPARE(w.List()->rowCount(), 0);
    QVERIFY(w.Errors.empty());
}

void TestTForm1::fullPathIsKeptByteForByte() {
    TWindow w(dir_->Path());
    const fs::path odd = *dir_ / "caf\xE9 \xFF.mp3";  // Latin-1 bytes: not UTF-8
    const fs::path utf8 = *dir_ / "Caf\xC3\xA9 \xE2\x80\x94 \xD0\x96.mp3";
    w.Form->WMDropFiles({odd, utf8});
    QCOMPARE(w.List()->rowCount(), 2);
    // The byte that is not UTF-8 sorts as U+FFFD, after "é".
    QVERIFY(w.Form->EntryPath(0) == utf8);
    QVERIFY(w.Form->EntryPath(1) == odd);
    QCOMPARE(w.Cell(0, 0), QString::fromUtf8("Caf\xC3\xA9 \xE2\x80\x94 \xD0\x96.mp3"));
}

void TestTForm1::previewCentresAndShrinksNearestNeighbour() {
    TWindow w(dir_->Path());
    TImagePreview* preview = w.Form->findChild<TImagePreview*>("ImgPreview");
    auto loaded = [](const fs::path& File) { return DecodeJpegFile(File); };

    // Within the area: shown at scale 1, pixel for pixel what our loader decoded, centred.
    const fs::path small = MakeCover(*dir_ / "small.jpg", 100, 50);
    w.Form->LoadImage(small);
    const TRgbImage source = loaded(small);
    QImage shown = preview->Shown();
    QCOMPARE(shown.size(), QSize(100, 50));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint8_t* p = &source.Pixels[(static_cast<size_t>(y) * 100 + x) * 3];
            QCOMPARE(shown.pixel(x, y), qRgb(p[0], p[1], p[2]));
        }
    const QImage screen = preview->grab().toImage();
    QCOMPARE(screen.size(), QSize(228, 226));
    QCOMPARE(QColor(screen.pixel(63, 112)), QColor(Qt::white));  // left of the picture
    QCOMPARE(screen.pixel(64, 88), shown.pixel(0, 0));           // its top-left corner
    QCOMPARE(screen.pixel(163, 137), shown.pixel(99, 49));       // its bottom-right corner
    QCOMPARE(QColor(screen.pixel(164, 137)), QColor(Qt::white));
    QCOMPARE(QColor(screen.pixel(114, 87)), QColor(Qt::white));

    // Twice the area: every second pixel of every second row, no smoothing.
    const fs::path big = MakeCover(*dir_ / "big.jpg", 456, 452);
    w.Form->LoadImage(big);
    const TRgbImage bigSource = loaded(big);
    shown = preview->Shown();
    QCOMPARE(shown.size(), QSize(228, 226));
    for (int y = 0; y < 226; ++y)
        for (int x = 0; x < 228; ++x) {
            const uint8_t* p = &bigSource.Pixels[(static_cast<size_t>(2 * y) * 456 + 2 * x) * 3];
            if (shown.pixel(x, y) != qRgb(p[0], p[1], p[2]))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        }

    // Wide: the aspect ratio is kept and the picture centred vertically.
    w.Form->LoadImage(MakeCover(*dir_ / "wide.jpg", 912, 452));
    QCOMPARE(preview->Shown().size(), QSize(228, 113));
    const QImage wideScreen = preview->grab().toImage();
    QCOMPARE(QColor(wideScreen.pixel(114, 55)), QColor(Qt::white));
    QVERIFY(QColor(wideScreen.pixel(10, 60)).red() > 200);  // the red quadrant starts at row 56
    QCOMPARE(QColor(wideScreen.pixel(114, 169)), QColor(Qt::white));

    // The preview shows the loaded file, also after a run replaced the picture by temp.jpg.
    w.Form->CloseImage();
    QVERIFY(preview->Shown().isNull());
    QCOMPARE(QColor(preview->grab().toImage().pixel(114, 113)), QColor(Qt::white));
}

void TestTForm1::startAddsThePictureToRealFiles() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(3);
    const fs::path cover = MakeCover(*dir_ / "cover.jpg", 300, 200);
    const Bytes audio = test::MpegAudioBytes(files[0]);
    TWindow w(dir_->Path());
    w.Form->WMDropFiles({files[0], files[1], files[2], cover});
    w.Choose("ComboBox2", 2);  // Cover (back): type 4
    w.Choose("ComboBox1", 2);  // Id3v2.4 UTF-8
    w.Form->show();
    w.Click("btn_start");
    QVERIFY2(w.Errors.empty(), w.Errors.empty() ? "" : qPrintable(w.Errors[0]));
    QCOMPARE(w.Column(2), QStringList({"OK", "OK", "OK"}));
    QCOMPARE(w.Column(1), QStringList({"", "", ""}));
    const std::string coverHash = test::Sha256OfFile(cover);
    for (const fs::path& file : files) {
        const test::JsonValue dump = test::MutagenDump(file);
        QCOMPARE(QString::fromStdString(dump["id3v2"]["version"].Str()), QStringLiteral("2.4.0"));
        QVERIFY(Pictures(file) == (std::vector<std::pair<int, std::string>>{{4, coverHash}}));
        QCOMPARE(test::FramesWithId(dump, "TXXX").size(), size_t{1});  // other frames stay
        QCOMPARE(QString::fromStdString(test::FramesWithId(dump, "TIT2").at(0)["text"][0].Str()),
                 QStringLiteral("Song"));
    }
    QVERIFY(test::MpegAudioBytes(files[0]) == audio);
    QCOMPARE(Str(w.Form->ImagePath()), Str(cover));  // within the limits: embedded as it is
    QVERIFY(!fs::exists(*dir_ / "temp.jpg"));
    QVERIFY(w.Control<QPushButton>("btn_start")->isEnabled());

    // A second run replaces the picture of the same kind; the other kind is added.
    w.Choose("ComboBox2", 1);
    w.Click("btn_start");
    QCOMPARE(w.Column(2), QStringList({"OK", "OK", "OK"}));
    QVERIFY(Pictures(files[1]) == (std::vector<std::pair<int, std::string>>{{4, coverHash}, {3, coverHash}}));
}

void TestTForm1::largePictureIsScaledIntoTempJpg() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(1);
    const fs::path cover = MakeCover(*dir_ / "cover.jpg", 1200, 900);
    TWindow w(dir_->Path());
    w.Form->WMDropFiles({files[0], cover});
    w.Control<QSpinBox>("EdtMaxX")->setValue(400);
    w.Control<QScrollBar>("scr_jpeg")->setValue(50);
    w.Click("btn_start");
    QCOMPARE(w.Column(2), QStringList({"OK"}));
    const fs::path temp = *dir_ / "temp.jpg";
    QCOMPARE(Str(w.Form->ImagePath()), Str(temp));
    const TRgbImage scaled = DecodeJpegFile(temp);
    QCOMPARE(scaled.Width, 400);
    QCOMPARE(scaled.Height, 300);
    QVERIFY(Pictures(files[0]) == (std::vector<std::pair<int, std::string>>{{3, test::Sha256OfFile(temp)}}));
    // The preview still shows the loaded picture.
    QCOMPARE(w.Form->findChild<TImagePreview*>("ImgPreview")->Shown().size(), QSize(228, 171));
}

void TestTForm1::removeModeDeletesPicturesAndScrollsAlong() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(14);
    const fs::path cover = MakeCover(*dir_ / "cover.jpg", 60, 60);
    TWindow w(dir_->Path());
    w.Form->WMDropFiles(std::vector<fs::path>(files.begin(), files.begin() + 2));
    w.Form->LoadImage(cover);
    w.Click("btn_start");
    QCOMPARE(Pictures(files[0]).size(), size_t{1});

    w.Click("btn_clearList");
    w.Form->WMDropFiles(files);
    w.Form->show();
    w.Control<QCheckBox>("cbx_delpics")->click();
    w.Click("btn_start");
    QVERIFY(w.Errors.empty());
    QCOMPARE(w.Column(2), QStringList(14, QStringLiteral("Deleted")));
    QVERIFY(Pictures(files[0]).empty());
    QVERIFY(Pictures(files[1]).empty());
    QCOMPARE(Str(w.Form->ImagePath()), Str(cover));  // the picture is not used in remove mode
    // The row of the last file finished is in view.
    const QRect last = w.List()->visualItemRect(w.List()->item(13, 2));
    QVERIFY(w.List()->viewport()->rect().contains(last));
    QVERIFY(!w.List()->viewport()->rect().intersects(w.List()->visualItemRect(w.List()->item(0, 2))));
}

void TestTForm1::nothingToDoDoesNothing() {
    TWindow w(dir_->Path());
    // An empty list, with and without a picture.
    w.Click("btn_start");
    w.Form->LoadImage(MakeCover(*dir_ / "cover.jpg", 30, 30));
    w.Click("btn_start");
    // Files but no picture, in add mode.
    w.Form->CloseImage();
    WriteFileBytes(*dir_ / "a.mp3", ToBytes("untouched"));
    w.Form->WMDropFiles({*dir_ / "a.mp3"});
    w.Click("btn_start");
    QVERIFY(w.Errors.empty());
    QCOMPARE(w.Column(2), QStringList({"Waiting..."}));
    QCOMPARE(ReadFileText(*dir_ / "a.mp3"), std::string("untouched"));
    QVERIFY(!fs::exists(*dir_ / "temp.jpg"));
}

void TestTForm1::damagedPictureShowsTheErrorAndTouchesNoFile() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(2);
    const Bytes before = ReadFileBytes(files[0]);
    WriteFileBytes(*dir_ / "bad.jpg", ToBytes("\xFF\xD8\xFF\xE0 this is no picture"));
    TWindow w(dir_->Path());
    QVERIFY(w.Drop({files[0], files[1], *dir_ / "bad.jpg"}));
    // Loading says what is wrong, and the picture stays chosen with a white preview.
    QCOMPARE(w.Errors.size(), size_t{1});
    QVERIFY(!w.Errors[0].isEmpty());
    QCOMPARE(Str(w.Form->ImagePath()), Str(*dir_ / "bad.jpg"));
    QVERIFY(w.Form->findChild<TImagePreview*>("ImgPreview")->Shown().isNull());
    // The run ends before the first file with the same kind of message.
    w.Click("btn_start");
    QCOMPARE(w.Errors.size(), size_t{2});
    QVERIFY(w.Errors[1].contains(QStringLiteral("bad.jpg")));
    QCOMPARE(w.Column(2), QStringList({"Waiting...", "Waiting..."}));
    QVERIFY(ReadFileBytes(files[0]) == before);
    QVERIFY(w.Control<QPushButton>("btn_start")->isEnabled());
}

void TestTForm1::aFileThatFailsSaysWhy() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(1);
    TWindow w(dir_->Path());
    w.Form->AddFile(*dir_ / "gone.mp3");
    w.Form->AddFile(files[0]);
    w.Form->LoadImage(MakeCover(*dir_ / "cover.jpg", 30, 30));
    w.Click("btn_start");
    QCOMPARE(w.Column(2), QStringList({"Error", "OK"}));
    QVERIFY(!w.List()->item(0, 2)->toolTip().isEmpty());  // the reason, on the status
    QVERIFY(w.List()->item(1, 2)->toolTip().isEmpty());
    QVERIFY(!fs::exists(*dir_ / "gone.mp3"));
}

void TestTForm1::secondStartAndListChangesAreRefusedDuringARun() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(3);
    TWindow w(dir_->Path());
    w.Form->WMDropFiles({files[0], files[1], files[2], MakeCover(*dir_ / "cover.jpg", 30, 30)});
    w.Form->show();
    struct Seen {
        bool Ran = false, Running = false, StartEnabled = true, ListButtonsEnabled = true, DropTaken = true;
        QString LastStatusAfterSecondStart;
        int RowsAfterChanges = -1;
        uint8_t FormatDuringRun = 99;
    } during;
    QTimer::singleShot(0, w.Form.get(), [&] {  // runs while the run lets events through
        during.Ran = true;
        during.Running = w.Form->Running();
        during.StartEnabled = w.Control<QPushButton>("btn_start")->isEnabled();
        during.ListButtonsEnabled = false;
        for (const char* name : {"btn_addFiles", "btn_delFiles", "btn_clearList", "BitBtn1", "BitBtn2"})
            during.ListButtonsEnabled |= w.Control<QPushButton>(name)->isEnabled();
        w.Choose("ComboBox1", 2);  // counts from the next run
        during.FormatDuringRun = w.Form->Facade().ID3v2Format;
        w.Form->btn_startClick();  // as a click that got through would
        during.LastStatusAfterSecondStart = w.Cell(2, 2);
        during.DropTaken = w.Drop({*dir_ / "late.mp3"});
        w.Form->WMDropFiles({*dir_ / "late.mp3"});
        w.Form->btn_clearListClick();
        w.List()->selectAll();
        w.Form->btn_delFilesClick();
        during.RowsAfterChanges = w.List()->rowCount();
    });
    w.Click("btn_start");
    QVERIFY(during.Ran);
    QVERIFY(during.Running);
    QVERIFY(!during.StartEnabled);
    QVERIFY(!during.ListButtonsEnabled);
    QCOMPARE(during.LastStatusAfterSecondStart, QStringLiteral("Waiting..."));  // no second run inside
    QVERIFY(!during.DropTaken);
    QCOMPARE(during.RowsAfterChanges, 3);
    QCOMPARE(w.Column(2), QStringList({"OK", "OK", "OK"}));
    QCOMPARE(during.FormatDuringRun, uint8_t{0});
    for (const fs::path& file : files)  // one run, one format
        QCOMPARE(QString::fromStdString(test::MutagenDump(file)["id3v2"]["version"].Str()),
                 QStringLiteral("2.3.0"));
    QCOMPARE(w.Form->Facade().ID3v2Format, uint8_t{2});
    QVERIFY(!w.Form->Running());
    for (const char* name :
         {"btn_start", "btn_addFiles", "btn_delFiles", "btn_clearList", "BitBtn1", "BitBtn2"})
        QVERIFY2(w.Control<QPushButton>(name)->isEnabled(), name);
    QVERIFY(w.Drop({*dir_ / "late.mp3"}));
    QCOMPARE(w.List()->rowCount(), 4);
}

void TestTForm1::closingDuringARunStopsAfterTheCurrentFile() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> files = Mp3Copies(3);
    const Bytes untouched = ReadFileBytes(files[1]);
    TWindow w(dir_->Path());
    w.Form->WMDropFiles({files[0], files[1], files[2], MakeCover(*dir_ / "cover.jpg", 30, 30)});
    w.Control<QSpinBox>("EdtMaxX")->setValue(777);
    w.Form->show();
    bool stillOpen = false;
    QTimer::singleShot(0, w.Form.get(), [&] {
        w.Form->close();  // the title bar's close button, say
        stillOpen = w.Form->isVisible();
    });
    w.Click("btn_start");
    QVERIFY(stillOpen);  // until the file being written is done
    QVERIFY(!w.Form->isVisible());
    QCOMPARE(w.Column(2), QStringList({"OK", "Waiting...", "Waiting..."}));
    QVERIFY(ReadFileBytes(files[1]) == untouched);
    QVERIFY(w.Errors.empty());
    QCOMPARE(Lines(*dir_ / "settings.xml").size(), 13);
    QVERIFY(ReadFileText(*dir_ / "settings.xml").find("<MaxX>777</MaxX>") != std::string::npos);
}

void TestTForm1::filesOtherTaggersWroteAreTaggedOrLeftAlone() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const fs::path corpus = test::SourceDir().parent_path() / "shared" / "corpus";
    if (!fs::is_directory(corpus))
        QSKIP("the corpus of other projects' test files (../shared/corpus) is not here");
    // peers1 here; COVRILO_CORPUS_SETS="peers1 peers2" runs the whole corpus (README).
    const QStringList sets = qEnvironmentVariable("COVRILO_CORPUS_SETS", QStringLiteral("peers1"))
                                 .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // Every MP3 file and bare ID3v2 tag (as an .mp3 copy), each in a run of its own so that
    // a file that ends its run cannot hide what the others do.
    std::vector<fs::path> sources;
    for (const QString& set : sets) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(corpus / set.toStdString(), ec)) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".mp3" || extension == ".id3") sources.push_back(entry.path());
        }
    }
    std::sort(sources.begin(), sources.end());
    QVERIFY(!sources.empty());
    const fs::path cover = MakeCover(*dir_ / "cover.jpg", 120, 120);
    const std::string coverHash = test::Sha256OfFile(cover);
    TWindow w(dir_->Path());
    w.Form->LoadImage(cover);
    int tagged = 0;
    for (const fs::path& source : sources) {
        const fs::path file = *dir_ / (source.stem().string() + ".mp3");
        fs::copy_file(source, file, fs::copy_options::overwrite_existing);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
        const Bytes before = ReadFileBytes(file);
        w.Click("btn_clearList");
        w.Form->AddFile(file);
        const size_t errorsBefore = w.Errors.size();
        w.Click("btn_start");
        const QString status = w.Cell(0, 2);
        const QByteArray what =
            QByteArray::fromStdString(source.filename().string() + ": " + status.toStdString());
        if (status == QLatin1String("OK")) {
            ++tagged;
            // Tagged correctly: the audio is untouched and a peer finds the picture.
            QVERIFY2(test::MpegAudioRange(ReadFileBytes(file)).Size() == test::MpegAudioRange(before).Size(),
                     what);
            bool found = false;
            for (const auto& [Type, Hash] : Pictures(file)) found |= Type == 3 && Hash == coverHash;
            QVERIFY2(found, what);
        } else {
            // Refused (Error), or the run ended with its message shown (still Waiting...):
            // the file is exactly as it was.
            QVERIFY2(status == QLatin1String("Error") || w.Errors.size() == errorsBefore + 1, what);
            QVERIFY2(ReadFileBytes(file) == before, what);
        }
    }
    QVERIFY(tagged > 0);
}

void TestTForm1::commandLineOfTheProgram() {
    QCOMPARE(FindInfoRequest({"a.mp3", "--help"}), TInfoRequest::irHelp);
    QCOMPARE(FindInfoRequest({"-h"}), TInfoRequest::irHelp);
    QCOMPARE(FindInfoRequest({"--version", "--help"}), TInfoRequest::irVersion);
    QCOMPARE(FindInfoRequest({"--", "--help"}), TInfoRequest::irNone);
    QVERIFY(ParseFileArguments({"a.mp3", "/x/../y/b.jpg", "--", "-odd.mp3", "sub/"}, "/home/u") ==
            (std::vector<fs::path>{"/home/u/a.mp3", "/y/b.jpg", "/home/u/-odd.mp3", "/home/u/sub/"}));
    QVERIFY_THROWS_EXCEPTION(EUsageError, ParseFileArguments({"--recursive"}, "/"));

    // The program answers --help and --version without a display.
    const test::ToolRun help = test::RunSeparately("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                                   test::ShellQuote(COVRILO_GUI_PROGRAM) + " --help");
    QCOMPARE(help.ExitCode, 0);
    QVERIFY(help.Out.starts_with("Usage: covrilo [FILE|FOLDER]..."));
    QVERIFY(help.Out.find("settings.xml") != std::string::npos);
    const test::ToolRun version = test::RunSeparately(test::ShellQuote(COVRILO_GUI_PROGRAM) + " --version");
    QCOMPARE(QString::fromStdString(version.Out), QStringLiteral("covrilo 2.0.1\n"));
    const test::ToolRun bad = test::RunSeparately("QT_QPA_PLATFORM=offscreen " +
                                                  test::ShellQuote(COVRILO_GUI_PROGRAM) + " --bogus");
    QCOMPARE(bad.ExitCode, 2);
    QVERIFY(bad.Err.find("unknown option '--bogus'") != std::string::npos);
}

}  // namespace covrilo

QTEST_MAIN(covrilo::TestTForm1)
#include "test_TForm1.moc"
