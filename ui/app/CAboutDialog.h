#pragma once

#include <QDialog>

// "About Calvoria": the program, its version, the machine's memory and the encoder's credit.
class CAboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    // Total and available physical memory in kilobytes; false when unknown.
    static bool ReadMemory(qint64& totalKb, qint64& availableKb);
};
