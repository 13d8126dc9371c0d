#pragma once

#include <QTextCodec>

#include <memory>

class QByteArray;
class QPlainTextEdit;

// A device log as it downloads, shown in a text view: each chunk goes on where the last one
// ended, as the bytes came (a chunk boundary is no line break, and a character whose bytes
// straddle two chunks is decoded whole).
class CLogView
{
public:
    explicit CLogView(QPlainTextEdit *pView);
    ~CLogView();

    // Empties the view; the next chunk is the start of a new log.
    void Clear();
    void Append(const QByteArray &baChunk);

private:
    QPlainTextEdit *m_pView;
    std::unique_ptr<QTextDecoder> m_pDecoder;
};
