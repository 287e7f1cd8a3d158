// SPDX-License-Identifier: MIT
// TForm1, the window of covrilo: the picture and ID3 settings, the list of files and the
// buttons that fill it and start the batch run. The window owns the tag front end for the
// program's whole life, loads the settings when it is created and saves them when it closes.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/MultitagTagger.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QTableWidget;

namespace covrilo {

class TImagePreview;

// How the window shows its modal dialogs. Each one left empty is the standard one; tests
// put in their own, so that no test waits for a dialog on the screen.
struct TFormDialogs {
    // The error box (QMessageBox::critical).
    std::function<void(QWidget* Parent, const QString& Message)> ShowError;
    // Runs an open dialog (OpenDialog1 or OpenDialog2) and answers the chosen files, none
    // when it was cancelled.
    std::function<QStringList(QFileDialog& Dialog)> RunFileDialog;
};

class TForm1 : public QWidget {
    Q_OBJECT

   public:
    // ExeDir is where settings.xml and temp.jpg live (the data directory). Runs FormCreate.
    explicit TForm1(std::filesystem::path ExeDir, TFormDialogs Dialogs = {}, QWidget* Parent = nullptr);
    ~TForm1() override;

    // Appends one entry ("Waiting...") for FileName; no check for duplicates or existence.
    void AddFile(const std::filesystem::path& FileName);
    // Makes FileName the cover picture and shows it; a picture that cannot be read stays
    // the cover picture (the run then reports it) and its error is shown.
    void LoadImage(const std::filesystem::path& FileName);
    void CloseImage();
    void ApplyTextEncoding();
    // Files dropped on the window, or given on its command line: the ".mp3" files (folders
    // stand for the ".mp3" files inside them) are added sorted, the first ".jpg"/".jpeg" is
    // loaded as the picture, the rest is ignored. Nothing happens while a run goes on.
    void WMDropFiles(const std::vector<std::filesystem::path>& Names);

    // The handlers of the controls.
    void btn_addFilesClick();
    void btn_delFilesClick();
    void btn_clearListClick();
    void btn_startClick();
    void btn_closeClick();
    void Button2Click();
    void BitBtn2Click();
    void cbx_delpicsClick();
    void ComboBox1Change();
    void ComboBox2Change();
    void EdtMaxXChange();
    void EdtMaxYChange();
    void scr_jpegChange();

    const std::filesystem::path& ExeDir() const { return exeDir_; }
    const std::filesystem::path& ImagePath() const { return imagePath_; }
    // The full path kept with row Row of the list (empty for no such row).
    std::filesystem::path EntryPath(int Row) const;
    bool Running() const { return running_; }
    const Tqmx_multitag& Facade() const { return tagger_.Facade; }
    // The open dialogs of "Add files..." (several ".mp3" files) and "Load image..." (one
    // JPEG), made when first used; each remembers its folder.
    QFileDialog& OpenDialog1();
    QFileDialog& OpenDialog2();

   protected:
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

   private:
    class TWindowHost;

    void CreateControls();
    void FormCreate();
    void FormClose();
    void AddFiles(const std::vector<std::filesystem::path>& FileNames);
    void SetEntryStatus(int Row, const std::string& Status, const std::string& Reason);
    void SetRunning(bool Running);
    void ShowError(const QString& Message);
    std::filesystem::path SettingsFile() const;

    QFrame* Panel3 = nullptr;
    QLabel* Label4 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    TImagePreview* ImgPreview = nullptr;
    QFrame* pnl_resize = nullptr;
    QLabel* lbl_resize = nullptr;
    QLabel* lbl_maxWidth = nullptr;
    QSpinBox* EdtMaxX = nullptr;
    QLabel* lbl_maxHeight = nullptr;
    QSpinBox* EdtMaxY = nullptr;
    QLabel* lbl_jpeg = nullptr;
    QScrollBar* scr_jpeg = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QCheckBox* cbx_delpics = nullptr;
    QFrame* Panel4 = nullptr;
    QTableWidget* lst_files = nullptr;
    QPushButton* btn_addFiles = nullptr;
    QPushButton* btn_delFiles = nullptr;
    QPushButton* btn_clearList = nullptr;
    QPushButton* btn_start = nullptr;
    QPushButton* btn_close = nullptr;

    std::filesystem::path exeDir_;
    std::filesystem::path imagePath_;
    TMultitagTagger tagger_;  // the tag front end, set up for MPEG files as ID3v1 + ID3v2
    TFormDialogs dialogs_;
    QFileDialog* openDialog1_ = nullptr;
    QFileDialog* openDialog2_ = nullptr;
    bool running_ = false;
    bool stopRequested_ = false;  // the window was closed during the run
    bool closeAfterRun_ = false;
};

}  // namespace covrilo
