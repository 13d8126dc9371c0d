#include "msgboxrecorder.h"

MsgBoxRecorder::MsgBoxRecorder()
{
    CMsgBox::SetHandler([this](const CMsgBox::T_Request &stRequest) { return Answer(stRequest); });
}

MsgBoxRecorder::~MsgBoxRecorder()
{
    CMsgBox::SetHandler(CMsgBox::Handler());
}

void MsgBoxRecorder::Expect(const QString &strText, QMessageBox::StandardButton eAnswer)
{
    m_expected.append({strText, eAnswer});
}

void MsgBoxRecorder::Reset()
{
    m_expected.clear();
    m_shown.clear();
    m_unexpected.clear();
}

QMessageBox::StandardButton MsgBoxRecorder::Answer(const CMsgBox::T_Request &stRequest)
{
    m_shown.append(stRequest);
    if (!m_expected.isEmpty() && m_expected.first().strText == stRequest.strText)
        return m_expected.takeFirst().eAnswer;
    m_unexpected.append(stRequest.strText);
    if (stRequest.eDefault != QMessageBox::NoButton)
        return stRequest.eDefault;
    return QMessageBox::Cancel;
}
