#include "cmsgbox.h"

#include "common/vlog.h"

namespace
{
CMsgBox::Handler &CurrentHandler()
{
    static CMsgBox::Handler s_handler;
    return s_handler;
}
} // namespace

void CMsgBox::SetHandler(Handler handler)
{
    CurrentHandler() = std::move(handler);
}

QMessageBox::StandardButton CMsgBox::Show(QWidget *parent, QMessageBox::Icon eIcon, const QString &strTitle,
                                          const QString &strText, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton eDefault)
{
    VLOG(lcUi) << strTitle << strText;
    if (CurrentHandler()) {
        T_Request stRequest;
        stRequest.eIcon = eIcon;
        stRequest.strTitle = strTitle;
        stRequest.strText = strText;
        stRequest.buttons = buttons;
        stRequest.eDefault = eDefault;
        return CurrentHandler()(stRequest);
    }
    QMessageBox box(eIcon, strTitle, strText, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (eDefault != QMessageBox::NoButton)
        box.setDefaultButton(eDefault);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton CMsgBox::Information(QWidget *parent, const QString &strTitle, const QString &strText,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton eDefault)
{
    return Show(parent, QMessageBox::Information, strTitle, strText, buttons, eDefault);
}

QMessageBox::StandardButton CMsgBox::Warning(QWidget *parent, const QString &strTitle, const QString &strText)
{
    return Show(parent, QMessageBox::Warning, strTitle, strText);
}

QMessageBox::StandardButton CMsgBox::Question(QWidget *parent, const QString &strTitle, const QString &strText,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton eDefault)
{
    return Show(parent, QMessageBox::Question, strTitle, strText, buttons, eDefault);
}
