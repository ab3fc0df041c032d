#pragma once
// The About box: name and version, two product texts, the maker's address and
// a button that starts the system-information tool.

#include <QDialog>

#include "app/mainwindow/system_info_tool.h"

class QFrame;
class QLabel;
class QPushButton;

namespace kovrin {

class FormAbout : public QDialog {
    Q_OBJECT
public:
    explicit FormAbout(QWidget* parent = nullptr, SystemInfoTool tool = DefaultSystemInfoTool());

    // Shows the box modeless; one box at a time, created again after it was closed.
    static FormAbout* ShowAbout(QWidget* parent = nullptr, SystemInfoTool tool = DefaultSystemInfoTool());

    // "Kovrin 4.1.2": the program's name and the version of this build.
    static QString NameAndVersion();

    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* Frame1 = nullptr;
    QFrame* Frame2 = nullptr;
    QPushButton* cmdInfo = nullptr;
    QPushButton* cmdExit = nullptr;

public slots:
    void cmdExit_Click();
    void cmdInfo_Click();

private:
    void Form_Load();

    SystemInfoTool tool_;
};

}  // namespace kovrin
