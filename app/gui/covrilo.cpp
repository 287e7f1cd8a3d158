// SPDX-License-Identifier: MIT
// covrilo: the program file of the window. Starts the toolkit, titles the application
// "Covrilo Light", creates the main window and runs the event loop until it closes.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <exception>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/DataDir.h"
#include "app/gui/CommandLine.h"
#include "app/gui/ProgramInfo.h"
#include "app/gui/main.h"

namespace {

// The window handles its own errors; an exception that still leaves an event handler is
// shown in an error box here instead of ending the program.
class TApplication : public QApplication {
   public:
    using QApplication::QApplication;
    bool notify(QObject* Receiver, QEvent* Event) override {
        try {
            return QApplication::notify(Receiver, Event);
        } catch (const std::exception& e) {
            ShowError(QString::fromStdString(e.what()));
        } catch (...) {
            ShowError(QStringLiteral("Unknown error"));
        }
        return false;
    }

   private:
    static void ShowError(const QString& Message) {
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), Message);
    }
};

std::vector<std::string> Arguments(int Argc, char** Argv) {
    return Argc > 1 ? std::vector<std::string>(Argv + 1, Argv + Argc) : std::vector<std::string>();
}

int Run(int Argc, char** Argv) {
    using namespace covrilo;
    switch (FindInfoRequest(Arguments(Argc, Argv))) {
        case TInfoRequest::irHelp:
            std::cout << HelpText();
            return 0;
        case TInfoRequest::irVersion:
            std::cout << VersionText();
            return 0;
        case TInfoRequest::irNone:
            break;
    }

    TApplication application(Argc, Argv);  // takes the toolkit's own options out of argv
    QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("covrilo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("covrilo")));

    std::vector<std::filesystem::path> files;
    try {
        std::error_code ec;
        files = ParseFileArguments(Arguments(Argc, Argv), std::filesystem::current_path(ec));
    } catch (const EUsageError& e) {
        std::cerr << "covrilo: " << e.what() << "\nTry 'covrilo --help' for more information.\n";
        return 2;
    }

    TForm1 form1(DataDir());
    form1.show();
    if (!files.empty()) form1.WMDropFiles(files);
    return QApplication::exec();
}

}  // namespace

int main(int Argc, char** Argv) {
    try {
        return Run(Argc, Argv);
    } catch (const std::exception& e) {
        // Last line of defence: the window shows its own errors; this is for start-up.
        std::cerr << "covrilo: " << e.what() << "\n";
        return 1;
    }
}
