// SPDX-License-Identifier: MIT
// The window driven as a user drives it: start-up from settings files, drops, the list
// buttons, runs on real MP3 files (made by lame, read back by mutagen), errors seen through
// the window's error-box seam, closing. Runs on Qt's offscreen platform.
#include "app/CoverImage.h"
#include "app/Settings.h"
#include "app/gui/CommandLine.h"
#include "app/gui/ImagePreview.h"
#include "app/gui/main.h"

#include "InteropUtil.h"

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
    auto Item = [](const char* Key, int Value) {
        return std::string("    <") + Key + ">" + std::to_string(Value) + "</" + Key + ">\r\n";
    };
    return "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
           "<!-- Generator: TXMLINI 1.x -->\r\n"
           "<xmlini>\r\n"
           "  <ImageSettings>\r\n" +
           Item("JpegQuality", Quality) + Item("MaxY", MaxYValue) + Item("MaxX", MaxXValue) +
           "  </ImageSettings>\r\n"
           "  <Id3Settings>\r\n" +
           Item("TextEncoding", Encoding) + Item("KindOfPic", Kind) +
           "  </Id3Settings>\r\n"
           "</xmlini>\r\n";
}

// A picture in four quadrants (red, green / blue, white), made by our encoder.
fs::path MakeCover(const fs::path& File, int Width, int Height) {
    TRgbImage Image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width) * Height * 3)};
    for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < Width; ++X) {
            uint8_t* P = &Image.Pixels[(static_cast<size_t>(Y) * Width + X) * 3];
            const bool Right = X >= Width / 2, Bottom = Y >= Height / 2;
            P[0] = (!Bottom && !Right) || (Bottom && Right) ? 255 : 0;
            P[1] = (!Bottom && Right) || (Bottom && Right) ? 255 : 0;
            P[2] = Bottom ? 255 : 0;
        }
    WriteFileBytes(File, EncodeJpeg(Image, 95));
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
        T* Found = Form->findChild<T*>(QString::fromLatin1(Name));
        if (!Found) qFatal("no control %s", Name);
        return Found;
    }
    QTableWidget* List() const { return Control<QTableWidget>("lst_files"); }
    QString Cell(int Row, int Column) const {
        const QTableWidgetItem* Item = List()->item(Row, Column);
        return Item ? Item->text() : QStringLiteral("<none>");
    }
    QStringList Column(int Column) const {
        QStringList Texts;
        for (int Row = 0; Row < List()->rowCount(); ++Row) Texts << Cell(Row, Column);
        return Texts;
    }
    void Click(const char* Button) const { Control<QPushButton>(Button)->click(); }
    // Chooses entry Index of a drop-down list as the user does.
    void Choose(const char* Combo, int Index) const {
        QComboBox* Box = Control<QComboBox>(Combo);
        Box->setCurrentIndex(Index);
        Q_EMIT Box->activated(Index);
    }
    // Drags Files over the window and drops them; answers whether the window took them.
    bool Drop(const std::vector<fs::path>& Files) const {
        QMimeData Data;
        QList<QUrl> Urls;
        for (const auto& File : Files) Urls << QUrl::fromLocalFile(QString::fromStdString(File.string()));
        Data.setUrls(Urls);
        const QPoint Where(300, 400);
        QDragEnterEvent Enter(Where, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &Enter);
        if (!Enter.isAccepted()) return false;
        QDropEvent DropEvent(QPointF(Where), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &DropEvent);
        QCoreApplication::processEvents();  // the drop is handled once it is over
        return DropEvent.isAccepted();
    }

    std::vector<QString> Errors;
    std::unique_ptr<TForm1> Form;
};

QString Str(const fs::path& Path) { return QString::fromStdString(Path.string()); }

QStringList Lines(const fs::path& File) {
    QStringList Result = QString::fromStdString(ReadFileText(File)).split(QStringLiteral("\r\n"));
    if (!Result.isEmpty() && Result.back().isEmpty()) Result.pop_back();
    return Result;
}

// The pictures mutagen finds in a file: (type, sha256) pairs.
std::vector<std::pair<int, std::string>> Pictures(const fs::path& File) {
    std::vector<std::pair<int, std::string>> Found;
    for (const auto& Frame : test::FramesWithId(test::MutagenDump(File), "APIC"))
        Found.emplace_back(static_cast<int>(Frame["type"].Int()), Frame["sha256"].Str());
    return Found;
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
    std::vector<fs::path> Files;
    for (int I = 0; I < Count; ++I) {
        const fs::path File = *dir_ / ("song " + std::to_string(I + 10) + ".mp3");
        fs::copy_file(*fixtures_ / "plain.mp3", File);
        Files.push_back(File);
    }
    return Files;
}

void TestTForm1::freshStartUpShowsTheDefaults() {
    TWindow W(dir_->path());
    QVERIFY(W.Errors.empty());
    QCOMPARE(W.Control<QComboBox>("ComboBox1")->currentIndex(), 0);
    QCOMPARE(W.Control<QComboBox>("ComboBox1")->currentText(), QStringLiteral("Id3v2.3 ISO-8859-1"));
    QCOMPARE(W.Control<QComboBox>("ComboBox2")->currentIndex(), 1);
    QCOMPARE(W.Control<QComboBox>("ComboBox2")->currentText(), QStringLiteral("Cover (front)"));
    QCOMPARE(W.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: 70"));
    QCOMPARE(W.Control<QScrollBar>("scr_jpeg")->value(), 70);
    QCOMPARE(W.Control<QSpinBox>("EdtMaxX")->value(), 500);
    QCOMPARE(W.Control<QSpinBox>("EdtMaxY")->value(), 500);
    QVERIFY(!W.Control<QCheckBox>("cbx_delpics")->isChecked());
    QCOMPARE(W.List()->rowCount(), 0);
    QVERIFY(W.Form->ImagePath().empty());
    QCOMPARE(W.Form->Facade().ID3v2Format, uint8_t{0});
    QCOMPARE(int{W.Form->Facade().MpegReadTags}, int{tsID3v1ID3v2});
    QCOMPARE(int{W.Form->Facade().MpegWriteTags}, int{tsID3v1ID3v2});
    QVERIFY(W.Form->acceptDrops());
    // The missing settings file is created at once as the empty document.
    QCOMPARE(Lines(*dir_ / "settings.xml"),
             QStringList({R"(<?xml version="1.0" encoding="windows-1250" ?>)", "<!-- Generator: TXMLINI 1.x -->",
                          "<xmlini>", "</xmlini>"}));
}

void TestTForm1::everyControlHasItsNamePlaceAndCaption() {
    TWindow W(dir_->path());
    TForm1& F = *W.Form;
    QVERIFY(F.windowTitle().startsWith(QStringLiteral("Covrilo 2.0.1 Light [")));
    QVERIFY(F.windowTitle().endsWith(QStringLiteral("]")));
    QVERIFY(F.windowTitle().size() > 23);  // an address stands in the brackets
    QCOMPARE(F.size(), QSize(667, 575));
    QCOMPARE(F.minimumSize(), QSize(667, 575));
    QCOMPARE(F.maximumSize(), QSize(667, 575));
    QVERIFY(!(F.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(F.font().pixelSize(), 11);

    struct Place { const char* Name; const char* Parent; QRect Rect; };
    const Place Places[] = {
        {"Panel1", "Form1", {8, 47, 649, 289}},          {"Panel2", "Panel1", {9, 11, 232, 230}},
        {"ImgPreview", "Panel2", {2, 2, 228, 226}},       {"pnl_resize", "Panel1", {247, 11, 393, 230}},
        {"BitBtn1", "Panel1", {9, 247, 114, 34}},         {"BitBtn2", "Panel1", {129, 247, 114, 34}},
        {"Panel4", "Form1", {8, 342, 649, 188}},          {"lst_files", "Panel4", {9, 8, 631, 169}},
        {"btn_addFiles", "Form1", {8, 536, 121, 33}},     {"btn_delFiles", "Form1", {136, 536, 121, 33}},
        {"btn_clearList", "Form1", {264, 536, 105, 33}},  {"btn_start", "Form1", {409, 536, 137, 33}},
        {"btn_close", "Form1", {552, 536, 105, 33}},      {"Panel3", "Form1", {0, 0, 667, 41}},
    };
    for (const Place& P : Places) {
        const QWidget* Control = W.Control<QWidget>(P.Name);
        QVERIFY2(Control->parentWidget()->objectName() == QLatin1String(P.Parent), P.Name);
        QVERIFY2(Control->geometry() == P.Rect, P.Name);
    }
    QCOMPARE(W.Control<QCheckBox>("cbx_delpics")->pos(), QPoint(326, 257));
    QCOMPARE(W.Control<QWidget>("pnl_resize")->palette().color(QPalette::Window), QColor(255, 255, 225));
    QCOMPARE(W.Control<QWidget>("Panel3")->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(W.Control<QLabel>("Label4")->font().pixelSize(), 19);
    QCOMPARE(W.Control<QLabel>("Label4")->palette().color(QPalette::WindowText), QColor(Qt::red));
    for (const char* Bold : {"lbl_resize", "Label3"}) {
        QVERIFY2(W.Control<QLabel>(Bold)->font().bold(), Bold);
        QVERIFY2(W.Control<QLabel>(Bold)->palette().color(QPalette::WindowText) == QColor(Qt::red), Bold);
    }
    for (const char* Right : {"lbl_maxWidth", "lbl_maxHeight"})
        QVERIFY2(W.Control<QLabel>(Right)->alignment() & Qt::AlignRight, Right);

    struct Caption { const char* Name; const char* Text; };
    const Caption Captions[] = {
        {"Label4", "Covrilo 2.0.1 Light"},   {"lbl_resize", "Image settings:"}, {"lbl_maxWidth", "Maximum width:"},
        {"lbl_maxHeight", "Maximum height:"}, {"Label3", "Id3-Tag settings:"}, {"Label2", "Kind of picture:"},
        {"Label1", "Text encoding:"},
    };
    for (const Caption& C : Captions) QCOMPARE(W.Control<QLabel>(C.Name)->text(), QString::fromUtf8(C.Text));
    const Caption Buttons[] = {
        {"BitBtn1", "Load image..."},   {"BitBtn2", "Close image"}, {"btn_addFiles", "Add files..."},
        {"btn_delFiles", "Remove files"}, {"btn_clearList", "Clear list"}, {"btn_start", "Start"},
        {"btn_close", "Close"},
    };
    for (const Caption& C : Buttons) {
        QCOMPARE(W.Control<QPushButton>(C.Name)->text(), QString::fromUtf8(C.Text));
        QVERIFY2(!W.Control<QPushButton>(C.Name)->icon().isNull(), C.Name);  // buttons with pictures
    }
    QCOMPARE(W.Control<QCheckBox>("cbx_delpics")->text(), QStringLiteral("Remove all images from listed files"));

    QStringList Kinds;
    for (int I = 0; I < W.Control<QComboBox>("ComboBox2")->count(); ++I)
        Kinds << W.Control<QComboBox>("ComboBox2")->itemText(I);
    QCOMPARE(Kinds, QStringList({"Other", "Cover (front)", "Cover (back)", "Leaflet page",
                                 "Media (e.g. label side of CD)", "Lead artist/lead performer/soloist",
                                 "Artist/performer", "Conductor", "Band/Orchestra", "Composer",
                                 "Lyricist/text writer", "Recording Location", "During recording",
                                 "During performance", "Movie/video screen capture", "A bright coloured fish",
                                 "Illustration", "Band/artist logotype", "Publisher/Studio logotype"}));
    QCOMPARE(W.Control<QComboBox>("ComboBox1")->count(), 3);
    QCOMPARE(W.Control<QComboBox>("ComboBox1")->itemText(1), QStringLiteral("Id3v2.3 UTF-16"));
    QCOMPARE(W.Control<QComboBox>("ComboBox1")->itemText(2), QStringLiteral("Id3v2.4 UTF-8"));
    for (const char* Combo : {"ComboBox1", "ComboBox2"})
        QVERIFY2(!W.Control<QComboBox>(Combo)->isEditable(), Combo);
    for (const char* Spin : {"EdtMaxX", "EdtMaxY"}) {
        QCOMPARE(W.Control<QSpinBox>(Spin)->minimum(), 20);
        QCOMPARE(W.Control<QSpinBox>(Spin)->maximum(), 9999);
    }
    QCOMPARE(W.Control<QScrollBar>("scr_jpeg")->orientation(), Qt::Horizontal);
    QCOMPARE(W.Control<QScrollBar>("scr_jpeg")->minimum(), 1);
    QCOMPARE(W.Control<QScrollBar>("scr_jpeg")->maximum(), 100);

    QTableWidget* List = W.List();
    QCOMPARE(List->columnCount(), 3);
    const char* Headers[] = {"Filename", "Tag informations", "Satus"};
    const int Widths[] = {400, 120, 70};
    for (int C = 0; C < 3; ++C) {
        QCOMPARE(List->horizontalHeaderItem(C)->text(), QString::fromLatin1(Headers[C]));
        QCOMPARE(List->columnWidth(C), Widths[C]);
    }
    QCOMPARE(List->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(List->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(List->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(List->showGrid());
    QVERIFY(List->verticalHeader()->isHidden());
}

void TestTForm1::noCaptionIsCutOff() {
    TWindow W(dir_->path());
    W.Form->show();
    for (const QLabel* Label : W.Form->findChildren<QLabel*>()) {
        if (Label->window() != W.Form.get()) continue;  // inside a dialog
        const int Needed = Label->fontMetrics().horizontalAdvance(Label->text());
        QVERIFY2(Needed <= Label->contentsRect().width(), qPrintable(Label->objectName()));
        QVERIFY2(Label->fontMetrics().height() <= Label->contentsRect().height(), qPrintable(Label->objectName()));
    }
    for (const QPushButton* Button : W.Form->findChildren<QPushButton*>())
        if (Button->window() == W.Form.get()) QVERIFY2(Button->sizeHint().width() <= Button->width(), qPrintable(Button->objectName()));
    const QCheckBox* Box = W.Control<QCheckBox>("cbx_delpics");
    QVERIFY(Box->sizeHint().width() <= Box->width());
    QVERIFY(Box->geometry().right() < Box->parentWidget()->width());
    for (const char* Name : {"ComboBox1", "ComboBox2"}) {
        const QComboBox* Combo = W.Control<QComboBox>(Name);
        QVERIFY2(Combo->sizeHint().width() <= Combo->width(), Name);  // the longest entry fits
    }
    const QHeaderView* Header = W.List()->horizontalHeader();
    for (int C = 0; C < 3; ++C) {
        const QString Text = W.List()->horizontalHeaderItem(C)->text();
        QVERIFY2(Header->fontMetrics().horizontalAdvance(Text) + 8 <= Header->sectionSize(C), qPrintable(Text));
    }
    const QSpinBox* Spin = W.Control<QSpinBox>("EdtMaxX");
    QVERIFY(Spin->fontMetrics().horizontalAdvance(QStringLiteral("9999")) + 24 <= Spin->width());
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
    auto Doc = [](int X, int Y, int Q, int K, int E) { return QString::fromStdString(SettingsDocument(X, Y, Q, K, E)); };
    QTest::newRow("TextEncoding 2") << Doc(640, 480, 85, 4, 2) << 640 << 480 << 85 << 4 << 2 << 2
                                    << Doc(640, 480, 85, 4, 2);
    QTest::newRow("below the ranges") << Doc(5, 19, 0, 0, 1) << 20 << 20 << 1 << 0 << 1 << 1 << Doc(20, 20, 1, 0, 1);
    QTest::newRow("above the ranges") << Doc(100000, 10000, 250, 18, 0) << 9999 << 9999 << 100 << 18 << 0 << 0
                                      << Doc(9999, 9999, 100, 18, 0);
    QTest::newRow("quality 1, the scroll bar's start") << Doc(500, 500, 1, 1, 0) << 500 << 500 << 1 << 1 << 0 << 0
                                                       << Doc(500, 500, 1, 1, 0);
    // No entry selected; the values stay as they were stored and the facade keeps 2.3 Latin-1.
    QTest::newRow("kind and encoding out of range") << Doc(500, 500, 70, 19, 3) << 500 << 500 << 70 << -1 << -1 << 0
                                                    << Doc(500, 500, 70, 19, 3);
    QTest::newRow("letters") << QString::fromStdString(std::string("<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
                                                                   "<!-- Generator: TXMLINI 1.x -->\r\n<xmlini>\r\n"
                                                                   "  <ImageSettings>\r\n    <MaxX>wide</MaxX>\r\n"
                                                                   "  </ImageSettings>\r\n</xmlini>\r\n"))
                             << 500 << 500 << 70 << 1 << 0 << 0 << Doc(500, 500, 70, 1, 0);
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
    TWindow W(dir_->path());
    QVERIFY(W.Errors.empty());
    QCOMPARE(W.Control<QSpinBox>("EdtMaxX")->value(), MaxXShown);
    QCOMPARE(W.Control<QSpinBox>("EdtMaxY")->value(), MaxYShown);
    QCOMPARE(W.Control<QScrollBar>("scr_jpeg")->value(), QualityShown);
    QCOMPARE(W.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: %1").arg(QualityShown));
    QCOMPARE(W.Control<QComboBox>("ComboBox2")->currentIndex(), KindIndex);
    QCOMPARE(W.Control<QComboBox>("ComboBox1")->currentIndex(), EncodingIndex);
    QCOMPARE(int{W.Form->Facade().ID3v2Format}, Format);
    // The run reads the variables: they hold the values in range.
    QCOMPARE(MaxX, MaxXShown);
    QCOMPARE(MaxY, MaxYShown);
    QCOMPARE(JpegQuality, QualityShown);
    W.Form->close();
    QCOMPARE(QString::fromStdString(ReadFileText(*dir_ / "settings.xml")), Saved);
}

void TestTForm1::closingWritesTheThirteenLines() {
    TWindow W(dir_->path());
    W.Control<QScrollBar>("scr_jpeg")->setValue(85);
    QCOMPARE(W.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: 85"));
    QCOMPARE(JpegQuality, 85);
    W.Control<QSpinBox>("EdtMaxX")->setValue(640);
    W.Control<QSpinBox>("EdtMaxY")->setValue(480);
    W.Choose("ComboBox2", 15);
    W.Choose("ComboBox1", 1);
    QCOMPARE(W.Form->Facade().ID3v2Format, uint8_t{1});
    W.Form->show();
    W.Click("btn_close");
    QVERIFY(!W.Form->isVisible());
    QVERIFY(W.Errors.empty());
    const QStringList Expected = {R"(<?xml version="1.0" encoding="windows-1250" ?>)",
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
    QCOMPARE(Lines(*dir_ / "settings.xml"), Expected);
    QVERIFY(ReadFileText(*dir_ / "settings.xml").ends_with("</xmlini>\r\n"));
}

void TestTForm1::unwritableSettingsAreReportedAndSavedLater() {
    // The data folder vanishes before start-up: the error is shown, the defaults are used,
    // and shut-down writes the file once it can.
    const fs::path Data = *dir_ / "data";
    TWindow W(Data);
    QCOMPARE(W.Errors.size(), size_t{1});
    QVERIFY(W.Errors[0].contains(QStringLiteral("settings.xml")));
    QCOMPARE(W.Control<QLabel>("lbl_jpeg")->text(), QStringLiteral("Jpeg-Quality: 70"));
    W.Control<QSpinBox>("EdtMaxX")->setValue(321);
    fs::create_directory(Data);
    W.Form->close();
    QCOMPARE(W.Errors.size(), size_t{1});
    QVERIFY(ReadFileText(Data / "settings.xml").find("<MaxX>321</MaxX>") != std::string::npos);

    // A folder in the file's place cannot be replaced: the close says so and still closes.
    fs::remove(Data / "settings.xml");
    fs::create_directory(Data / "settings.xml");
    TWindow Second(Data);
    Second.Form->show();
    Second.Form->close();
    QVERIFY(!Second.Form->isVisible());
    QCOMPARE(Second.Errors.size(), size_t{2});  // at start-up and at shut-down
}

void TestTForm1::dropTakesMp3FilesAndTheFirstPicture() {
    TWindow W(dir_->path());
    MakeCover(*dir_ / "b.jpg", 40, 30);
    MakeCover(*dir_ / "c.JPEG", 50, 50);
    WriteFileBytes(*dir_ / "a.MP3", ToBytes("not even audio"));
    WriteFileBytes(*dir_ / "d.txt", ToBytes("text"));
    QVERIFY(W.Drop({*dir_ / "a.MP3", *dir_ / "b.jpg", *dir_ / "c.JPEG", *dir_ / "d.txt"}));
    QCOMPARE(W.Column(0), QStringList({"a.MP3"}));
    QCOMPARE(W.Column(1), QStringList({""}));
    QCOMPARE(W.Column(2), QStringList({"Waiting..."}));
    QCOMPARE(Str(W.Form->EntryPath(0)), Str(*dir_ / "a.MP3"));
    QCOMPARE(Str(W.Form->ImagePath()), Str(*dir_ / "b.jpg"));
    QCOMPARE(W.Form->findChild<TImagePreview*>("ImgPreview")->Shown().size(), QSize(40, 30));
    QVERIFY(W.Errors.empty());

    // Sorted by full name ignoring case; the same file again is a second entry; a drop
    // without a picture keeps the picture.
    QVERIFY(W.Drop({*dir_ / "Zed.mp3", *dir_ / "b.mp3", *dir_ / "a.MP3"}));
    QCOMPARE(W.Column(0), QStringList({"a.MP3", "a.MP3", "b.mp3", "Zed.mp3"}));
    QCOMPARE(Str(W.Form->ImagePath()), Str(*dir_ / "b.jpg"));

    // Something that is not a local file is refused at the door.
    QMimeData Data;
    Data.setUrls({QUrl(QStringLiteral("https://example.org/x.mp3"))});
    QDragEnterEvent Enter(QPoint(10, 10), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(W.Form.get(), &Enter);
    QVERIFY(!Enter.isAccepted());
    QCOMPARE(W.List()->rowCount(), 4);
}

void TestTForm1::droppedFolderAddsItsMp3FilesSorted() {
    TWindow W(dir_->path());
    const fs::path Album = *dir_ / "Album";
    fs::create_directories(Album / "CD 2");
    for (const char* Name : {"b.mp3", "A.MP3", "c.Mp3", "notes.txt", "CD 2/d.mp3", "front.jpg"})
        WriteFileBytes(Album / Name, ToBytes("x"));
    QVERIFY(W.Drop({*dir_ / "single.mp3", Album}));
    QCOMPARE(W.Column(0), QStringList({"A.MP3", "b.mp3", "c.Mp3", "d.mp3", "single.mp3"}));
    QCOMPARE(Str(W.Form->EntryPath(3)), Str(Album / "CD 2" / "d.mp3"));
    QVERIFY(W.Form->ImagePath().empty());  // pictures inside a folder are not loaded
}

void TestTForm1::dialogFilesKeepTheirOrderAndTheListButtonsWork() {
    TFormDialogs Dialogs;
    QStringList Answer = {"/music/b.mp3", "/music/a.mp3", "/music/b.mp3", "/music/c.mp3", "/music/d.mp3"};
    const fs::path Cover = MakeCover(*dir_ / "cover.jpg", 30, 30);
    struct Shown { QString Name; QStringList Filters; QFileDialog::FileMode Mode; };
    std::vector<Shown> DialogsShown;
    Dialogs.RunFileDialog = [&](QFileDialog& Dialog) {
        DialogsShown.push_back({Dialog.objectName(), Dialog.nameFilters(), Dialog.fileMode()});
        return Dialog.objectName() == QLatin1String("OpenDialog1") ? Answer
                                                                   : QStringList{Str(Cover)};
    };
    TWindow W(dir_->path(), Dialogs);
    W.Click("btn_addFiles");
    QCOMPARE(DialogsShown.size(), size_t{1});
    QCOMPARE(DialogsShown[0].Name, QStringLiteral("OpenDialog1"));
    QCOMPARE(DialogsShown[0].Filters, QStringList({"Mp3-files (*.mp3)"}));
    QCOMPARE(DialogsShown[0].Mode, QFileDialog::ExistingFiles);  // several files at once
    QCOMPARE(W.Column(0), QStringList({"b.mp3", "a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    QCOMPARE(Str(W.Form->EntryPath(1)), Str(fs::path("/music/a.mp3")));

    // "Remove files" with nothing selected changes nothing; with rows 0, 2 and 4 selected
    // it removes all three.
    W.List()->clearSelection();
    W.Click("btn_delFiles");
    QCOMPARE(W.List()->rowCount(), 5);
    for (int Row : {0, 2, 4})
        W.List()->selectionModel()->select(W.List()->model()->index(Row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    W.Click("btn_delFiles");
    QCOMPARE(W.Column(0), QStringList({"a.mp3", "c.mp3"}));
    QCOMPARE(Str(W.Form->EntryPath(1)), Str(fs::path("/music/c.mp3")));

    W.Click("btn_clearList");
    QCOMPARE(W.List()->rowCount(), 0);

    // "Load image..." and "Close image".
    W.Click("BitBtn1");
    QCOMPARE(DialogsShown.back().Name, QStringLiteral("OpenDialog2"));
    QCOMPARE(DialogsShown.back().Filters, QStringList({"Jpeg-Files (*.jpg *.jpeg)"}));
    QCOMPARE(DialogsShown.back().Mode, QFileDialog::ExistingFile);  // one file
    QCOMPARE(Str(W.Form->ImagePath()), Str(Cover));
    QVERIFY(!W.Form->findChild<TImagePreview*>("ImgPreview")->Shown().isNull());
    W.Click("BitBtn2");
    QVERIFY(W.Form->ImagePath().empty());
    QVERIFY(W.Form->findChild<TImagePreview*>("ImgPreview")->Shown().isNull());

    // A dialog that was cancelled changes nothing.
    Answer.clear();
    W.Click("btn_addFiles");
    QCOMPARE(W.List()->rowCount(), 0);
    QVERIFY(W.Errors.empty());
}

void TestTForm1::fullPathIsKeptByteForByte() {
    TWindow W(dir_->path());
    const fs::path Odd = *dir_ / "caf\xE9 \xFF.mp3";  // Latin-1 bytes: not UTF-8
    const fs::path Utf8 = *dir_ / "Caf\xC3\xA9 \xE2\x80\x94 \xD0\x96.mp3";
    W.Form->WMDropFiles({Odd, Utf8});
    QCOMPARE(W.List()->rowCount(), 2);
    // The byte that is not UTF-8 sorts as U+FFFD, after "é".
    QVERIFY(W.Form->EntryPath(0) == Utf8);
    QVERIFY(W.Form->EntryPath(1) == Odd);
    QCOMPARE(W.Cell(0, 0), QString::fromUtf8("Caf\xC3\xA9 \xE2\x80\x94 \xD0\x96.mp3"));
}

void TestTForm1::previewCentresAndShrinksNearestNeighbour() {
    TWindow W(dir_->path());
    TImagePreview* Preview = W.Form->findChild<TImagePreview*>("ImgPreview");
    auto Loaded = [](const fs::path& File) { return DecodeJpegFile(File); };

    // Within the area: shown at scale 1, pixel for pixel what our loader decoded, centred.
    const fs::path Small = MakeCover(*dir_ / "small.jpg", 100, 50);
    W.Form->LoadImage(Small);
    const TRgbImage Source = Loaded(Small);
    QImage Shown = Preview->Shown();
    QCOMPARE(Shown.size(), QSize(100, 50));
    for (int Y = 0; Y < 50; ++Y)
        for (int X = 0; X < 100; ++X) {
            const uint8_t* P = &Source.Pixels[(static_cast<size_t>(Y) * 100 + X) * 3];
            QCOMPARE(Shown.pixel(X, Y), qRgb(P[0], P[1], P[2]));
        }
    const QImage Screen = Preview->grab().toImage();
    QCOMPARE(Screen.size(), QSize(228, 226));
    QCOMPARE(QColor(Screen.pixel(63, 112)), QColor(Qt::white));  // left of the picture
    QCOMPARE(Screen.pixel(64, 88), Shown.pixel(0, 0));            // its top-left corner
    QCOMPARE(Screen.pixel(163, 137), Shown.pixel(99, 49));        // its bottom-right corner
    QCOMPARE(QColor(Screen.pixel(164, 137)), QColor(Qt::white));
    QCOMPARE(QColor(Screen.pixel(114, 87)), QColor(Qt::white));

    // Twice the area: every second pixel of every second row, no smoothing.
    const fs::path Big = MakeCover(*dir_ / "big.jpg", 456, 452);
    W.Form->LoadImage(Big);
    const TRgbImage BigSource = Loaded(Big);
    Shown = Preview->Shown();
    QCOMPARE(Shown.size(), QSize(228, 226));
    for (int Y = 0; Y < 226; ++Y)
        for (int X = 0; X < 228; ++X) {
            const uint8_t* P = &BigSource.Pixels[(static_cast<size_t>(2 * Y) * 456 + 2 * X) * 3];
            if (Shown.pixel(X, Y) != qRgb(P[0], P[1], P[2])) QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(X).arg(Y)));
        }

    // Wide: the aspect ratio is kept and the picture centred vertically.
    W.Form->LoadImage(MakeCover(*dir_ / "wide.jpg", 912, 452));
    QCOMPARE(Preview->Shown().size(), QSize(228, 113));
    const QImage WideScreen = Preview->grab().toImage();
    QCOMPARE(QColor(WideScreen.pixel(114, 55)), QColor(Qt::white));
    QVERIFY(QColor(WideScreen.pixel(10, 60)).red() > 200);  // the red quadrant starts at row 56
    QCOMPARE(QColor(WideScreen.pixel(114, 169)), QColor(Qt::white));

    // The preview shows the loaded file, also after a run replaced the picture by temp.jpg.
    W.Form->CloseImage();
    QVERIFY(Preview->Shown().isNull());
    QCOMPARE(QColor(Preview->grab().toImage().pixel(114, 113)), QColor(Qt::white));
}

void TestTForm1::startAddsThePictureToRealFiles() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(3);
    const fs::path Cover = MakeCover(*dir_ / "cover.jpg", 300, 200);
    const Bytes Audio = test::MpegAudioBytes(Files[0]);
    TWindow W(dir_->path());
    W.Form->WMDropFiles({Files[0], Files[1], Files[2], Cover});
    W.Choose("ComboBox2", 2);  // Cover (back): type 4
    W.Choose("ComboBox1", 2);  // Id3v2.4 UTF-8
    W.Form->show();
    W.Click("btn_start");
    QVERIFY2(W.Errors.empty(), W.Errors.empty() ? "" : qPrintable(W.Errors[0]));
    QCOMPARE(W.Column(2), QStringList({"OK", "OK", "OK"}));
    QCOMPARE(W.Column(1), QStringList({"", "", ""}));
    const std::string CoverHash = test::Sha256OfFile(Cover);
    for (const fs::path& File : Files) {
        const test::JsonValue Dump = test::MutagenDump(File);
        QCOMPARE(QString::fromStdString(Dump["id3v2"]["version"].Str()), QStringLiteral("2.4.0"));
        QVERIFY(Pictures(File) == (std::vector<std::pair<int, std::string>>{{4, CoverHash}}));
        QCOMPARE(test::FramesWithId(Dump, "TXXX").size(), size_t{1});  // other frames stay
        QCOMPARE(QString::fromStdString(test::FramesWithId(Dump, "TIT2").at(0)["text"][0].Str()),
                 QStringLiteral("Song"));
    }
    QVERIFY(test::MpegAudioBytes(Files[0]) == Audio);
    QCOMPARE(Str(W.Form->ImagePath()), Str(Cover));  // within the limits: embedded as it is
    QVERIFY(!fs::exists(*dir_ / "temp.jpg"));
    QVERIFY(W.Control<QPushButton>("btn_start")->isEnabled());

    // A second run replaces the picture of the same kind; the other kind is added.
    W.Choose("ComboBox2", 1);
    W.Click("btn_start");
    QCOMPARE(W.Column(2), QStringList({"OK", "OK", "OK"}));
    QVERIFY(Pictures(Files[1]) == (std::vector<std::pair<int, std::string>>{{4, CoverHash}, {3, CoverHash}}));
}

void TestTForm1::largePictureIsScaledIntoTempJpg() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(1);
    const fs::path Cover = MakeCover(*dir_ / "cover.jpg", 1200, 900);
    TWindow W(dir_->path());
    W.Form->WMDropFiles({Files[0], Cover});
    W.Control<QSpinBox>("EdtMaxX")->setValue(400);
    W.Control<QScrollBar>("scr_jpeg")->setValue(50);
    W.Click("btn_start");
    QCOMPARE(W.Column(2), QStringList({"OK"}));
    const fs::path Temp = *dir_ / "temp.jpg";
    QCOMPARE(Str(W.Form->ImagePath()), Str(Temp));
    const TRgbImage Scaled = DecodeJpegFile(Temp);
    QCOMPARE(Scaled.Width, 400);
    QCOMPARE(Scaled.Height, 300);
    QVERIFY(Pictures(Files[0]) == (std::vector<std::pair<int, std::string>>{{3, test::Sha256OfFile(Temp)}}));
    // The preview still shows the loaded picture.
    QCOMPARE(W.Form->findChild<TImagePreview*>("ImgPreview")->Shown().size(), QSize(228, 171));
}

void TestTForm1::removeModeDeletesPicturesAndScrollsAlong() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(14);
    const fs::path Cover = MakeCover(*dir_ / "cover.jpg", 60, 60);
    TWindow W(dir_->path());
    W.Form->WMDropFiles(std::vector<fs::path>(Files.begin(), Files.begin() + 2));
    W.Form->LoadImage(Cover);
    W.Click("btn_start");
    QCOMPARE(Pictures(Files[0]).size(), size_t{1});

    W.Click("btn_clearList");
    W.Form->WMDropFiles(Files);
    W.Form->show();
    W.Control<QCheckBox>("cbx_delpics")->click();
    W.Click("btn_start");
    QVERIFY(W.Errors.empty());
    QCOMPARE(W.Column(2), QStringList(14, QStringLiteral("Deleted")));
    QVERIFY(Pictures(Files[0]).empty());
    QVERIFY(Pictures(Files[1]).empty());
    QCOMPARE(Str(W.Form->ImagePath()), Str(Cover));  // the picture is not used in remove mode
    // The row of the last file finished is in view.
    const QRect Last = W.List()->visualItemRect(W.List()->item(13, 2));
    QVERIFY(W.List()->viewport()->rect().contains(Last));
    QVERIFY(!W.List()->viewport()->rect().intersects(W.List()->visualItemRect(W.List()->item(0, 2))));
}

void TestTForm1::nothingToDoDoesNothing() {
    TWindow W(dir_->path());
    // An empty list, with and without a picture.
    W.Click("btn_start");
    W.Form->LoadImage(MakeCover(*dir_ / "cover.jpg", 30, 30));
    W.Click("btn_start");
    // Files but no picture, in add mode.
    W.Form->CloseImage();
    WriteFileBytes(*dir_ / "a.mp3", ToBytes("untouched"));
    W.Form->WMDropFiles({*dir_ / "a.mp3"});
    W.Click("btn_start");
    QVERIFY(W.Errors.empty());
    QCOMPARE(W.Column(2), QStringList({"Waiting..."}));
    QCOMPARE(ReadFileText(*dir_ / "a.mp3"), std::string("untouched"));
    QVERIFY(!fs::exists(*dir_ / "temp.jpg"));
}

void TestTForm1::damagedPictureShowsTheErrorAndTouchesNoFile() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(2);
    const Bytes Before = ReadFileBytes(Files[0]);
    WriteFileBytes(*dir_ / "bad.jpg", ToBytes("\xFF\xD8\xFF\xE0 this is no picture"));
    TWindow W(dir_->path());
    QVERIFY(W.Drop({Files[0], Files[1], *dir_ / "bad.jpg"}));
    // Loading says what is wrong, and the picture stays chosen with a white preview.
    QCOMPARE(W.Errors.size(), size_t{1});
    QVERIFY(!W.Errors[0].isEmpty());
    QCOMPARE(Str(W.Form->ImagePath()), Str(*dir_ / "bad.jpg"));
    QVERIFY(W.Form->findChild<TImagePreview*>("ImgPreview")->Shown().isNull());
    // The run ends before the first file with the same kind of message.
    W.Click("btn_start");
    QCOMPARE(W.Errors.size(), size_t{2});
    QVERIFY(W.Errors[1].contains(QStringLiteral("bad.jpg")));
    QCOMPARE(W.Column(2), QStringList({"Waiting...", "Waiting..."}));
    QVERIFY(ReadFileBytes(Files[0]) == Before);
    QVERIFY(W.Control<QPushButton>("btn_start")->isEnabled());
}

void TestTForm1::aFileThatFailsSaysWhy() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(1);
    TWindow W(dir_->path());
    W.Form->AddFile(*dir_ / "gone.mp3");
    W.Form->AddFile(Files[0]);
    W.Form->LoadImage(MakeCover(*dir_ / "cover.jpg", 30, 30));
    W.Click("btn_start");
    QCOMPARE(W.Column(2), QStringList({"Error", "OK"}));
    QVERIFY(!W.List()->item(0, 2)->toolTip().isEmpty());  // the reason, on the status
    QVERIFY(W.List()->item(1, 2)->toolTip().isEmpty());
    QVERIFY(!fs::exists(*dir_ / "gone.mp3"));
}

void TestTForm1::secondStartAndListChangesAreRefusedDuringARun() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(3);
    TWindow W(dir_->path());
    W.Form->WMDropFiles({Files[0], Files[1], Files[2], MakeCover(*dir_ / "cover.jpg", 30, 30)});
    W.Form->show();
    struct Seen {
        bool Ran = false, Running = false, StartEnabled = true, ListButtonsEnabled = true, DropTaken = true;
        QString LastStatusAfterSecondStart;
        int RowsAfterChanges = -1;
        uint8_t FormatDuringRun = 99;
    } During;
    QTimer::singleShot(0, W.Form.get(), [&] {  // runs while the run lets events through
        During.Ran = true;
        During.Running = W.Form->Running();
        During.StartEnabled = W.Control<QPushButton>("btn_start")->isEnabled();
        During.ListButtonsEnabled = false;
        for (const char* Name : {"btn_addFiles", "btn_delFiles", "btn_clearList", "BitBtn1", "BitBtn2"})
            During.ListButtonsEnabled |= W.Control<QPushButton>(Name)->isEnabled();
        W.Choose("ComboBox1", 2);  // counts from the next run
        During.FormatDuringRun = W.Form->Facade().ID3v2Format;
        W.Form->btn_startClick();  // as a click that got through would
        During.LastStatusAfterSecondStart = W.Cell(2, 2);
        During.DropTaken = W.Drop({*dir_ / "late.mp3"});
        W.Form->WMDropFiles({*dir_ / "late.mp3"});
        W.Form->btn_clearListClick();
        W.List()->selectAll();
        W.Form->btn_delFilesClick();
        During.RowsAfterChanges = W.List()->rowCount();
    });
    W.Click("btn_start");
    QVERIFY(During.Ran);
    QVERIFY(During.Running);
    QVERIFY(!During.StartEnabled);
    QVERIFY(!During.ListButtonsEnabled);
    QCOMPARE(During.LastStatusAfterSecondStart, QStringLiteral("Waiting..."));  // no second run inside
    QVERIFY(!During.DropTaken);
    QCOMPARE(During.RowsAfterChanges, 3);
    QCOMPARE(W.Column(2), QStringList({"OK", "OK", "OK"}));
    QCOMPARE(During.FormatDuringRun, uint8_t{0});
    for (const fs::path& File : Files)  // one run, one format
        QCOMPARE(QString::fromStdString(test::MutagenDump(File)["id3v2"]["version"].Str()), QStringLiteral("2.3.0"));
    QCOMPARE(W.Form->Facade().ID3v2Format, uint8_t{2});
    QVERIFY(!W.Form->Running());
    for (const char* Name : {"btn_start", "btn_addFiles", "btn_delFiles", "btn_clearList", "BitBtn1", "BitBtn2"})
        QVERIFY2(W.Control<QPushButton>(Name)->isEnabled(), Name);
    QVERIFY(W.Drop({*dir_ / "late.mp3"}));
    QCOMPARE(W.List()->rowCount(), 4);
}

void TestTForm1::closingDuringARunStopsAfterTheCurrentFile() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const std::vector<fs::path> Files = Mp3Copies(3);
    const Bytes Untouched = ReadFileBytes(Files[1]);
    TWindow W(dir_->path());
    W.Form->WMDropFiles({Files[0], Files[1], Files[2], MakeCover(*dir_ / "cover.jpg", 30, 30)});
    W.Control<QSpinBox>("EdtMaxX")->setValue(777);
    W.Form->show();
    bool StillOpen = false;
    QTimer::singleShot(0, W.Form.get(), [&] {
        W.Form->close();  // the title bar's close button, say
        StillOpen = W.Form->isVisible();
    });
    W.Click("btn_start");
    QVERIFY(StillOpen);  // until the file being written is done
    QVERIFY(!W.Form->isVisible());
    QCOMPARE(W.Column(2), QStringList({"OK", "Waiting...", "Waiting..."}));
    QVERIFY(ReadFileBytes(Files[1]) == Untouched);
    QVERIFY(W.Errors.empty());
    QCOMPARE(Lines(*dir_ / "settings.xml").size(), 13);
    QVERIFY(ReadFileText(*dir_ / "settings.xml").find("<MaxX>777</MaxX>") != std::string::npos);
}

void TestTForm1::filesOtherTaggersWroteAreTaggedOrLeftAlone() {
    if (!HavePeers()) QSKIP("lame and mutagen (/usr/bin/python3 with python3-mutagen) are needed");
    const fs::path Corpus = test::SourceDir().parent_path() / "shared" / "corpus";
    if (!fs::is_directory(Corpus)) QSKIP("the corpus of other projects' test files (../shared/corpus) is not here");
    // peers1 here; COVRILO_CORPUS_SETS="peers1 peers2" runs the whole corpus (README).
    const QStringList Sets = qEnvironmentVariable("COVRILO_CORPUS_SETS", QStringLiteral("peers1"))
                                 .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // Every MP3 file and bare ID3v2 tag (as an .mp3 copy), each in a run of its own so that
    // a file that ends its run cannot hide what the others do.
    std::vector<fs::path> Sources;
    for (const QString& Set : Sets) {
        std::error_code Ec;
        for (const auto& Entry : fs::directory_iterator(Corpus / Set.toStdString(), Ec)) {
            const std::string Extension = Entry.path().extension().string();
            if (Extension == ".mp3" || Extension == ".id3") Sources.push_back(Entry.path());
        }
    }
    std::sort(Sources.begin(), Sources.end());
    QVERIFY(!Sources.empty());
    const fs::path Cover = MakeCover(*dir_ / "cover.jpg", 120, 120);
    const std::string CoverHash = test::Sha256OfFile(Cover);
    TWindow W(dir_->path());
    W.Form->LoadImage(Cover);
    int Tagged = 0;
    for (const fs::path& Source : Sources) {
        const fs::path File = *dir_ / (Source.stem().string() + ".mp3");
        fs::copy_file(Source, File, fs::copy_options::overwrite_existing);
        fs::permissions(File, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
        const Bytes Before = ReadFileBytes(File);
        W.Click("btn_clearList");
        W.Form->AddFile(File);
        const size_t ErrorsBefore = W.Errors.size();
        W.Click("btn_start");
        const QString Status = W.Cell(0, 2);
        const QByteArray What = QByteArray::fromStdString(Source.filename().string() + ": " + Status.toStdString());
        if (Status == QLatin1String("OK")) {
            ++Tagged;
            // Tagged correctly: the audio is untouched and a peer finds the picture.
            QVERIFY2(test::MpegAudioRange(ReadFileBytes(File)).size() == test::MpegAudioRange(Before).size(), What);
            bool Found = false;
            for (const auto& [Type, Hash] : Pictures(File)) Found |= Type == 3 && Hash == CoverHash;
            QVERIFY2(Found, What);
        } else {
            // Refused (Error), or the run ended with its message shown (still Waiting...):
            // the file is exactly as it was.
            QVERIFY2(Status == QLatin1String("Error") || W.Errors.size() == ErrorsBefore + 1, What);
            QVERIFY2(ReadFileBytes(File) == Before, What);
        }
    }
    QVERIFY(Tagged > 0);
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
    const test::ToolRun Help = test::RunSeparately("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                                   test::ShellQuote(COVRILO_GUI_PROGRAM) + " --help");
    QCOMPARE(Help.exitCode, 0);
    QVERIFY(Help.out.starts_with("Usage: covrilo [FILE|FOLDER]..."));
    QVERIFY(Help.out.find("settings.xml") != std::string::npos);
    const test::ToolRun Version = test::RunSeparately(test::ShellQuote(COVRILO_GUI_PROGRAM) + " --version");
    QCOMPARE(QString::fromStdString(Version.out), QStringLiteral("covrilo 2.0.1\n"));
    const test::ToolRun Bad =
        test::RunSeparately("QT_QPA_PLATFORM=offscreen " + test::ShellQuote(COVRILO_GUI_PROGRAM) + " --bogus");
    QCOMPARE(Bad.exitCode, 2);
    QVERIFY(Bad.err.find("unknown option '--bogus'") != std::string::npos);
}

}  // namespace covrilo

QTEST_MAIN(covrilo::TestTForm1)
#include "test_TForm1.moc"
