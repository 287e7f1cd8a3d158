// SPDX-License-Identifier: MIT
#include "app/gui/main.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <exception>
#include <utility>

#include "app/BatchRun.h"
#include "app/CoverImage.h"
#include "app/DataDir.h"
#include "app/FileSelection.h"
#include "app/Settings.h"
#include "app/gui/ImagePreview.h"
#include "app/gui/ProgramInfo.h"

namespace covrilo {

namespace {

constexpr int kClientWidth = 667;
constexpr int kClientHeight = 575;
constexpr int kColumnStatus = 2;
const QColor kLightYellow(255, 255, 225);

// Tahoma is not on Linux: Liberation Sans (metrics of Arial) or DejaVu Sans at the same
// 11-pixel height; the captions are laid out for it.
QFont WindowFont(int PixelSize, bool Bold = false) {
    QFont font;
    font.setFamilies(
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(PixelSize);
    font.setBold(Bold);
    return font;
}

void SetTextColour(QWidget* Widget, const QColor& Colour) {
    QPalette palette = Widget->palette();
    palette.setColor(QPalette::WindowText, Colour);
    Widget->setPalette(palette);
}

// A file name as it is on disk (bytes) and as it is shown (decoded the way Qt decodes
// file names), so that a name which is not valid UTF-8 still reaches the tag code intact.
QByteArray PathBytes(const std::filesystem::path& Path) { return QByteArray(Path.c_str()); }
QString DisplayName(const std::filesystem::path& Path) { return QFile::decodeName(PathBytes(Path)); }
std::filesystem::path PathOf(const QString& Name) {
    return std::filesystem::path(QFile::encodeName(Name).toStdString());
}

template <class Widget>
Widget* Make(QWidget* Parent, const char* Name, int Left, int Top, int Width, int Height) {
    auto* control = new Widget(Parent);
    control->setObjectName(QString::fromLatin1(Name));
    control->setGeometry(Left, Top, Width, Height);
    return control;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Caption, int Left, int Top, int Width,
                  int Height, Qt::Alignment Alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = Make<QLabel>(Parent, Name, Left, Top, Width, Height);
    label->setText(Caption);
    label->setAlignment(Alignment);
    return label;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const QString& Caption,
                        QStyle::StandardPixmap Icon, int Left, int Top, int Width, int Height) {
    auto* button = Make<QPushButton>(Parent, Name, Left, Top, Width, Height);
    button->setText(Caption);
    button->setIcon(Parent->style()->standardIcon(Icon));
    button->setIconSize(QSize(16, 16));
    return button;
}

void DefaultShowError(QWidget* Parent, const QString& Message) {
    QMessageBox::critical(Parent, QCoreApplication::applicationName(), Message);
}

QStringList DefaultRunFileDialog(QFileDialog& Dialog) {
    return Dialog.exec() == QDialog::Accepted ? Dialog.selectedFiles() : QStringList();
}

QFileDialog* MakeOpenDialog(QWidget* Parent, const char* Name, const QString& Title, const QString& Filter,
                            QFileDialog::FileMode Mode) {
    auto* dialog = new QFileDialog(Parent, Title, QString(), Filter);
    dialog->setObjectName(QString::fromLatin1(Name));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(Mode);
    return dialog;
}

}  // namespace

// The window as the batch run sees it: the list, the check box, the picture, the
// settings variables and the event loop.
class TForm1::TWindowHost : public IBatchHost {
   public:
    explicit TWindowHost(TForm1& Form) : form_(Form) {}
    int EntryCount() override { return form_.lst_files->rowCount(); }
    std::filesystem::path EntryPath(int Index) override { return form_.EntryPath(Index); }
    void SetEntryStatus(int Index, const std::string& Status) override {
        form_.SetEntryStatus(Index, Status, {});
    }
    // The reason of an Error, shown over its status (it may come some files after the file:
    // a save is reported once it is durable).
    void ReportFileError(int Index, const std::string& Reason) override {
        form_.SetEntryStatus(Index, kStatusError, Reason);
    }
    bool RemoveMode() override { return form_.cbx_delpics->isChecked(); }
    std::filesystem::path ImagePath() override { return form_.imagePath_; }
    void SetImagePath(const std::filesystem::path& Path) override { form_.imagePath_ = Path; }
    TBatchSettings Settings() override { return CurrentBatchSettings(); }
    std::filesystem::path DataDir() override { return form_.exeDir_; }
    // The new status is painted and clicks are handled before the next file.
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    bool StopRequested() override { return form_.stopRequested_; }

   private:
    TForm1& form_;
};

TForm1::TForm1(std::filesystem::path ExeDir, TFormDialogs Dialogs, QWidget* Parent)
    : QWidget(Parent), exeDir_(std::move(ExeDir)), dialogs_(std::move(Dialogs)) {
    if (!dialogs_.ShowError) dialogs_.ShowError = DefaultShowError;
    if (!dialogs_.RunFileDialog) dialogs_.RunFileDialog = DefaultRunFileDialog;
    CreateControls();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Covrilo %1 Light [%2]")
                       .arg(QString::fromLatin1(kProgramVersion), QString::fromLatin1(kWebAddress)));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(WindowFont(11));

    Panel3 = Make<QFrame>(this, "Panel3", 0, 0, kClientWidth, 41);
    Panel3->setAutoFillBackground(true);
    {
        QPalette palette = Panel3->palette();
        palette.setColor(QPalette::Window, Qt::white);
        Panel3->setPalette(palette);
    }
    Label4 = MakeLabel(Panel3, "Label4", QStringLiteral("Covrilo 2.0.1 Light"), 12, 0, 400, 41);
    Label4->setFont(WindowFont(19));
    SetTextColour(Label4, Qt::red);

    Panel1 = Make<QFrame>(this, "Panel1", 8, 47, 649, 289);
    Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);

    Panel2 = Make<QFrame>(Panel1, "Panel2", 9, 11, 232, 230);
    Panel2->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    ImgPreview = Make<TImagePreview>(Panel2, "ImgPreview", 2, 2, 228, 226);

    pnl_resize = Make<QFrame>(Panel1, "pnl_resize", 247, 11, 393, 230);
    pnl_resize->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pnl_resize->setAutoFillBackground(true);
    {
        QPalette palette = pnl_resize->palette();
        palette.setColor(QPalette::Window, kLightYellow);
        pnl_resize->setPalette(palette);
    }
    // The two groups of settings, one caption and its rows each; labels right-aligned
    // against their controls.
    constexpr int kLabelLeft = 16, kLabelWidth = 112, kFieldLeft = 134, kFieldWidth = 243, kRowHeight = 22;
    lbl_resize = MakeLabel(pnl_resize, "lbl_resize", tr("Image settings:"), 10, 8, 200, 18);
    lbl_resize->setFont(WindowFont(11, true));
    SetTextColour(lbl_resize, Qt::red);
    lbl_maxWidth = MakeLabel(pnl_resize, "lbl_maxWidth", tr("Maximum width:"), kLabelLeft, 32, kLabelWidth,
                             kRowHeight, Qt::AlignRight | Qt::AlignVCenter);
    EdtMaxX = Make<QSpinBox>(pnl_resize, "EdtMaxX", kFieldLeft, 32, 80, kRowHeight);
    lbl_maxHeight = MakeLabel(pnl_resize, "lbl_maxHeight", tr("Maximum height:"), kLabelLeft, 60, kLabelWidth,
                              kRowHeight, Qt::AlignRight | Qt::AlignVCenter);
    EdtMaxY = Make<QSpinBox>(pnl_resize, "EdtMaxY", kFieldLeft, 60, 80, kRowHeight);
    for (QSpinBox* edit : {EdtMaxX, EdtMaxY}) {
        edit->setRange(kMinPictureSide, kMaxPictureSide);
        edit->setValue(500);
    }
    lbl_jpeg = MakeLabel(pnl_resize, "lbl_jpeg", tr("Jpeg-Quality: ---"), kLabelLeft, 88, kLabelWidth,
                         kRowHeight, Qt::AlignRight | Qt::AlignVCenter);
    scr_jpeg = Make<QScrollBar>(pnl_resize, "scr_jpeg", kFieldLeft, 91, kFieldWidth, 17);
    scr_jpeg->setOrientation(Qt::Horizontal);
    scr_jpeg->setRange(kMinJpegQuality, kMaxJpegQuality);
    scr_jpeg->setPageStep(10);
    scr_jpeg->setValue(1);

    Bevel1 = Make<QFrame>(pnl_resize, "Bevel1", 8, 120, 377, 2);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    Label3 = MakeLabel(pnl_resize, "Label3", tr("Id3-Tag settings:"), 10, 130, 200, 18);
    Label3->setFont(WindowFont(11, true));
    SetTextColour(Label3, Qt::red);
    Label2 = MakeLabel(pnl_resize, "Label2", tr("Kind of picture:"), kLabelLeft, 156, kLabelWidth, kRowHeight,
                       Qt::AlignRight | Qt::AlignVCenter);
    ComboBox2 = Make<QComboBox>(pnl_resize, "ComboBox2", kFieldLeft, 156, kFieldWidth, kRowHeight);
    ComboBox2->addItems({tr("Other"), tr("Cover (front)"), tr("Cover (back)"), tr("Leaflet page"),
                         tr("Media (e.g. label side of CD)"), tr("Lead artist/lead performer/soloist"),
                         tr("Artist/performer"), tr("Conductor"), tr("Band/Orchestra"), tr("Composer"),
                         tr("Lyricist/text writer"), tr("Recording Location"), tr("During recording"),
                         tr("During performance"), tr("Movie/video screen capture"),
                         tr("A bright coloured fish"), tr("Illustration"), tr("Band/artist logotype"),
                         tr("Publisher/Studio logotype")});
    ComboBox2->setMaxVisibleItems(19);
    Label1 = MakeLabel(pnl_resize, "Label1", tr("Text encoding:"), kLabelLeft, 186, kLabelWidth, kRowHeight,
                       Qt::AlignRight | Qt::AlignVCenter);
    ComboBox1 = Make<QComboBox>(pnl_resize, "ComboBox1", kFieldLeft, 186, kFieldWidth, kRowHeight);
    ComboBox1->addItems({QStringLiteral("Id3v2.3 ISO-8859-1"), QStringLiteral("Id3v2.3 UTF-16"),
                         QStringLiteral("Id3v2.4 UTF-8")});

    BitBtn1 =
        MakeButton(Panel1, "BitBtn1", tr("Load image..."), QStyle::SP_DialogOpenButton, 9, 247, 114, 34);
    BitBtn2 =
        MakeButton(Panel1, "BitBtn2", tr("Close image"), QStyle::SP_DialogCloseButton, 129, 247, 114, 34);
    cbx_delpics = new QCheckBox(tr("Remove all images from listed files"), Panel1);
    cbx_delpics->setObjectName(QStringLiteral("cbx_delpics"));
    cbx_delpics->adjustSize();
    cbx_delpics->move(326, 257);

    Panel4 = Make<QFrame>(this, "Panel4", 8, 342, 649, 188);
    Panel4->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    lst_files = Make<QTableWidget>(Panel4, "lst_files", 9, 8, 631, 169);
    lst_files->setColumnCount(3);
    lst_files->setHorizontalHeaderLabels({tr("Filename"), tr("Tag informations"), tr("Satus")});
    lst_files->setColumnWidth(0, 400);
    lst_files->setColumnWidth(1, 120);
    lst_files->setColumnWidth(2, 70);
    lst_files->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lst_files->horizontalHeader()->setHighlightSections(false);
    lst_files->verticalHeader()->hide();
    lst_files->verticalHeader()->setDefaultSectionSize(lst_files->fontMetrics().height() + 4);
    lst_files->setSelectionBehavior(QAbstractItemView::SelectRows);
    lst_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lst_files->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lst_files->setShowGrid(true);
    lst_files->setWordWrap(false);
    lst_files->setTextElideMode(Qt::ElideMiddle);
    // The Delete key does what "Remove files" does.
    auto* removeAction = new QAction(lst_files);
    removeAction->setShortcut(QKeySequence::Delete);
    removeAction->setShortcutContext(Qt::WidgetShortcut);
    lst_files->addAction(removeAction);
    connect(removeAction, &QAction::triggered, this, [this] {
        if (!running_) btn_delFilesClick();
    });

    btn_addFiles = MakeButton(this, "btn_addFiles", tr("Add files..."), QStyle::SP_FileIcon, 8, 536, 121, 33);
    btn_delFiles =
        MakeButton(this, "btn_delFiles", tr("Remove files"), QStyle::SP_TrashIcon, 136, 536, 121, 33);
    btn_clearList =
        MakeButton(this, "btn_clearList", tr("Clear list"), QStyle::SP_DialogResetButton, 264, 536, 105, 33);
    btn_start = MakeButton(this, "btn_start", tr("Start"), QStyle::SP_MediaPlay, 409, 536, 137, 33);
    btn_close = MakeButton(this, "btn_close", tr("Close"), QStyle::SP_DialogCloseButton, 552, 536, 105, 33);

    // Files are dropped on the window as a whole, never into a text field.
    for (QWidget* child : findChildren<QWidget*>()) child->setAcceptDrops(false);

    connect(btn_addFiles, &QPushButton::clicked, this, &TForm1::btn_addFilesClick);
    connect(btn_delFiles, &QPushButton::clicked, this, &TForm1::btn_delFilesClick);
    connect(btn_clearList, &QPushButton::clicked, this, &TForm1::btn_clearListClick);
    connect(btn_start, &QPushButton::clicked, this, &TForm1::btn_startClick);
    connect(btn_close, &QPushButton::clicked, this, &TForm1::btn_closeClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(cbx_delpics, &QCheckBox::clicked, this, &TForm1::cbx_delpicsClick);
    // Only the user's choice counts (as the toolkit's change events do); selecting an
    // entry from the settings must not write the selection back.
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &TForm1::ComboBox2Change);
    connect(EdtMaxX, &QSpinBox::valueChanged, this, &TForm1::EdtMaxXChange);
    connect(EdtMaxY, &QSpinBox::valueChanged, this, &TForm1::EdtMaxYChange);
    connect(scr_jpeg, &QScrollBar::valueChanged, this, &TForm1::scr_jpegChange);
}

void TForm1::FormCreate() {
    // The facade (tagger_) is already set up: MPEG files are read and written as
    // ID3v1 + ID3v2, ID3v2Format 0.
    setAcceptDrops(true);
    try {
        LoadSettings(SettingsFile());
    } catch (const std::exception& e) {
        // The defaults are used; shut-down tries again to write the file.
        ShowError(tr("The settings could not be read:\n%1").arg(QString::fromStdString(e.what())));
    }
    ComboBox1->setCurrentIndex(TextEncoding >= 0 && TextEncoding < ComboBox1->count() ? TextEncoding : -1);
    ApplyTextEncoding();
    ComboBox2->setCurrentIndex(KindOfPic >= 0 && KindOfPic < ComboBox2->count() ? KindOfPic : -1);
    // The controls bring the values into their ranges, and the handlers write them back.
    scr_jpeg->setValue(JpegQuality);
    scr_jpegChange();
    EdtMaxX->setValue(MaxX);
    EdtMaxXChange();
    EdtMaxY->setValue(MaxY);
    EdtMaxYChange();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
}

void TForm1::FormClose() {
    try {
        ReopenSettings(SettingsFile());
        SaveSettings();
    } catch (const std::exception& e) {
        ShowError(tr("The settings could not be saved:\n%1").arg(QString::fromStdString(e.what())));
    }
}

std::filesystem::path TForm1::SettingsFile() const { return exeDir_ / kSettingsFileName; }

void TForm1::ShowError(const QString& Message) { dialogs_.ShowError(this, Message); }

std::filesystem::path TForm1::EntryPath(int Row) const {
    const QTableWidgetItem* item = lst_files->item(Row, 0);
    if (!item) return {};
    return std::filesystem::path(item->data(Qt::UserRole).toByteArray().toStdString());
}

void TForm1::AddFile(const std::filesystem::path& FileName) { AddFiles({FileName}); }

void TForm1::AddFiles(const std::vector<std::filesystem::path>& FileNames) {
    if (FileNames.empty()) return;
    lst_files->setUpdatesEnabled(false);
    int row = lst_files->rowCount();
    lst_files->setRowCount(row + static_cast<int>(FileNames.size()));
    for (const auto& fileName : FileNames) {
        auto* name = new QTableWidgetItem(DisplayName(fileName.filename()));
        name->setData(Qt::UserRole, PathBytes(fileName));
        name->setToolTip(DisplayName(fileName));
        lst_files->setItem(row, 0, name);
        lst_files->setItem(row, 1, new QTableWidgetItem(QString()));
        lst_files->setItem(row, kColumnStatus, new QTableWidgetItem(QString::fromLatin1(kStatusWaiting)));
        ++row;
    }
    lst_files->setUpdatesEnabled(true);
}

void TForm1::SetEntryStatus(int Row, const std::string& Status, const std::string& Reason) {
    QTableWidgetItem* item = lst_files->item(Row, kColumnStatus);
    if (!item) return;
    item->setText(QString::fromStdString(Status));
    item->setToolTip(QString::fromStdString(Reason));
    lst_files->scrollToItem(item);
}

void TForm1::LoadImage(const std::filesystem::path& FileName) {
    CloseImage();
    imagePath_ = FileName;
    try {
        ImgPreview->SetPicture(DecodeJpegFile(FileName));
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
}

void TForm1::CloseImage() {
    ImgPreview->Clear();
    imagePath_.clear();
}

void TForm1::ApplyTextEncoding() { tagger_.ApplyTextEncoding(TextEncoding); }

void TForm1::WMDropFiles(const std::vector<std::filesystem::path>& Names) {
    if (running_) return;
    const TDroppedFiles dropped = SortDroppedFiles(Names);
    if (!dropped.Picture.empty()) LoadImage(dropped.Picture);
    AddFiles(dropped.Mp3Files);
}

QFileDialog& TForm1::OpenDialog1() {
    if (!openDialog1_) {
        openDialog1_ = MakeOpenDialog(this, "OpenDialog1", tr("Add files"),
                                      QStringLiteral("Mp3-files (*.mp3)"), QFileDialog::ExistingFiles);
    }
    return *openDialog1_;
}

QFileDialog& TForm1::OpenDialog2() {
    if (!openDialog2_) {
        openDialog2_ = MakeOpenDialog(this, "OpenDialog2", tr("Load image"),
                                      QStringLiteral("Jpeg-Files (*.jpg *.jpeg)"), QFileDialog::ExistingFile);
    }
    return *openDialog2_;
}

void TForm1::btn_addFilesClick() {
    if (running_) return;
    const QStringList names = dialogs_.RunFileDialog(OpenDialog1());
    if (names.isEmpty()) return;
    std::vector<std::filesystem::path> files;
    files.reserve(static_cast<size_t>(names.size()));
    for (const QString& name : names) files.push_back(PathOf(name));
    AddFiles(files);
}

void TForm1::btn_delFilesClick() {
    if (running_) return;
    const QItemSelectionModel* selection = lst_files->selectionModel();
    for (int row = lst_files->rowCount() - 1; row >= 0; --row)
        if (selection->isRowSelected(row, QModelIndex())) lst_files->removeRow(row);
}

void TForm1::btn_clearListClick() {
    if (running_) return;
    lst_files->setRowCount(0);
}

void TForm1::btn_startClick() {
    // The run lets events through after every file; a second "Start" then is refused.
    if (running_) return;
    SetRunning(true);
    TWindowHost host(*this);
    const TBatchResult result = RunBatch(host, tagger_);
    SetRunning(false);
    ApplyTextEncoding();
    if (result.Outcome == TBatchOutcome::boFailed) ShowError(QString::fromStdString(result.Message));
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

void TForm1::btn_closeClick() { close(); }

void TForm1::Button2Click() {
    if (running_) return;
    const QStringList names = dialogs_.RunFileDialog(OpenDialog2());
    if (names.isEmpty()) return;
    LoadImage(PathOf(names.front()));
}

void TForm1::BitBtn2Click() {
    if (running_) return;
    CloseImage();
}

void TForm1::cbx_delpicsClick() {
    // Nothing to do: the run reads the check box for every file.
}

void TForm1::ComboBox1Change() {
    TextEncoding = ComboBox1->currentIndex();
    // A run writes all its files in one format, as it uses one size, quality and kind: a
    // choice made while it goes on counts from the next run.
    if (!running_) ApplyTextEncoding();
}

void TForm1::ComboBox2Change() { KindOfPic = ComboBox2->currentIndex(); }

void TForm1::EdtMaxXChange() { MaxX = EdtMaxX->value(); }

void TForm1::EdtMaxYChange() { MaxY = EdtMaxY->value(); }

void TForm1::scr_jpegChange() {
    JpegQuality = scr_jpeg->value();
    lbl_jpeg->setText(tr("Jpeg-Quality: %1").arg(JpegQuality));
}

void TForm1::SetRunning(bool Running) {
    running_ = Running;
    if (Running) stopRequested_ = false;
    for (QPushButton* button : {btn_start, btn_addFiles, btn_delFiles, btn_clearList, BitBtn1, BitBtn2})
        button->setEnabled(!Running);
}

void TForm1::closeEvent(QCloseEvent* Event) {
    if (running_) {
        // The file being written is finished first; then the run stops and the window
        // closes (btn_startClick), saving the settings as any close does.
        stopRequested_ = true;
        closeAfterRun_ = true;
        Event->ignore();
        return;
    }
    FormClose();
    Event->accept();
}

namespace {

std::vector<std::filesystem::path> LocalFiles(const QMimeData* Data) {
    std::vector<std::filesystem::path> files;
    if (!Data || !Data->hasUrls()) return files;
    for (const QUrl& url : Data->urls())
        if (url.isLocalFile()) files.push_back(PathOf(url.toLocalFile()));
    return files;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* Event) {
    if (!running_ && !LocalFiles(Event->mimeData()).empty()) {
        Event->acceptProposedAction();
    } else {
        Event->ignore();
    }
}

void TForm1::dragMoveEvent(QDragMoveEvent* Event) {
    if (running_) {
        Event->ignore();
    } else {
        Event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* Event) {
    std::vector<std::filesystem::path> files = LocalFiles(Event->mimeData());
    if (running_ || files.empty()) {
        Event->ignore();
        return;
    }
    Event->acceptProposedAction();
    // Handled once the drop is over, so an error box about the picture does not keep the
    // file manager waiting for the end of the drag.
    QTimer::singleShot(0, this, [this, files = std::move(files)] { WMDropFiles(files); });
}

}  // namespace covrilo
