#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

// Every message the operator sees goes through here: a modal, plain-text box
// (device texts must never be read as rich text). Tests replace the box with
// a recorder that checks the exact text and gives the answer.
class CMsgBox
{
public:
    struct T_Request {
        QMessageBox::Icon eIcon = QMessageBox::NoIcon;
        QString strTitle;
        QString strText;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        QMessageBox::StandardButton eDefault = QMessageBox::NoButton;
    };
    using Handler = std::function<QMessageBox::StandardButton(const T_Request &)>;

    static QMessageBox::StandardButton Show(QWidget *parent, QMessageBox::Icon eIcon, const QString &strTitle,
                                            const QString &strText,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                            QMessageBox::StandardButton eDefault = QMessageBox::NoButton);
    static QMessageBox::StandardButton Information(QWidget *parent, const QString &strTitle, const QString &strText,
                                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                   QMessageBox::StandardButton eDefault = QMessageBox::NoButton);
    static QMessageBox::StandardButton Warning(QWidget *parent, const QString &strTitle, const QString &strText);
    static QMessageBox::StandardButton Question(QWidget *parent, const QString &strTitle, const QString &strText,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Yes |
                                                                                       QMessageBox::No,
                                                QMessageBox::StandardButton eDefault = QMessageBox::NoButton);

    // Tests only: answer boxes without showing them. An empty handler restores real boxes.
    static void SetHandler(Handler handler);
};
