#include "clogview.h"

#include <QPlainTextEdit>
#include <QTextCursor>

CLogView::CLogView(QPlainTextEdit *pView) : m_pView(pView)
{
    Clear();
}

CLogView::~CLogView() = default;

void CLogView::Clear()
{
    m_pView->clear();
    m_pDecoder.reset(QTextCodec::codecForName("UTF-8")->makeDecoder());
}

void CLogView::Append(const QByteArray &baChunk)
{
    const QString strText = m_pDecoder->toUnicode(baChunk);
    if (strText.isEmpty())
        return;
    QTextCursor cursor(m_pView->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(strText);
}
