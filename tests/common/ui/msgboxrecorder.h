#pragma once

#include "cmsgbox.h"

#include <QList>
#include <QStringList>

// Stands in for every message box while it lives. The test says which texts it
// expects and what to answer; any other box is recorded as unexpected and answered
// with its default, so a test can fail on it in cleanup():
//     QVERIFY2(recorder.Unexpected().isEmpty(), qPrintable(recorder.Unexpected().join('\n')));
class MsgBoxRecorder
{
public:
    MsgBoxRecorder();
    ~MsgBoxRecorder();
    MsgBoxRecorder(const MsgBoxRecorder &) = delete;
    MsgBoxRecorder &operator=(const MsgBoxRecorder &) = delete;

    // The next box must show exactly strText; it is answered with eAnswer.
    void Expect(const QString &strText, QMessageBox::StandardButton eAnswer = QMessageBox::Ok);

    QList<CMsgBox::T_Request> Shown() const { return m_shown; }
    QStringList Unexpected() const { return m_unexpected; }
    int PendingExpectations() const { return m_expected.size(); }
    void Reset();

private:
    QMessageBox::StandardButton Answer(const CMsgBox::T_Request &stRequest);

    struct T_Expectation {
        QString strText;
        QMessageBox::StandardButton eAnswer;
    };
    QList<T_Expectation> m_expected;
    QList<CMsgBox::T_Request> m_shown;
    QStringList m_unexpected;
};

#define VERIFY_NO_UNEXPECTED_BOX(recorder)                                                                             \
    QVERIFY2((recorder).Unexpected().isEmpty(), qPrintable(QStringLiteral("unexpected message box: ") +                \
                                                           (recorder).Unexpected().join(QLatin1String(" | "))))
