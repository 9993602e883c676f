#pragma once

#include <QDialog>
#include <QIcon>
#include <QPixmap>

class QLabel;

// Our own drawing of a drum pad with a sample waveform, at any size.
QPixmap drawApplicationPicture(int size);
QIcon makeApplicationIcon();

// The about box: picture, program name and version.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QString versionText() const;

private:
    QLabel* m_versionText;
};
