#include "crolloutfields.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace
{
constexpr int MAX_COUNT = 99999;

int Count(const QLineEdit *pEdit, int i32Max)
{
    return qBound(0, pEdit->text().trimmed().toInt(), i32Max);
}
} // namespace

CRolloutFields::CRolloutFields(QLineEdit *pMaxParallel, QLineEdit *pCanary, QLineEdit *pWave, QLineEdit *pMaxFailures,
                               QLineEdit *pRetries)
    : m_pMaxParallel(pMaxParallel), m_pCanary(pCanary), m_pWave(pWave), m_pMaxFailures(pMaxFailures),
      m_pRetries(pRetries)
{
    for (QLineEdit *pEdit : {m_pMaxParallel, m_pCanary, m_pWave})
        pEdit->setValidator(new QIntValidator(0, MAX_COUNT, pEdit));
    m_pRetries->setValidator(new QIntValidator(0, MAX_RETRIES, m_pRetries));
    // A count of failures, or a share of the devices tried so far.
    m_pMaxFailures->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\d{1,5}|(\\d{1,2}|100)%")), m_pMaxFailures));
}

T_RolloutOptions CRolloutFields::Options() const
{
    T_RolloutOptions st;
    st.i32MaxParallel = Count(m_pMaxParallel, MAX_COUNT);
    st.i32Canary = Count(m_pCanary, MAX_COUNT);
    st.i32Wave = Count(m_pWave, MAX_COUNT);
    st.i32Retries = Count(m_pRetries, MAX_RETRIES);
    const QString strFailures = m_pMaxFailures->text().trimmed();
    if (strFailures.endsWith(QLatin1Char('%'))) {
        // More than this share stops the rollout, as the console program's percentage does.
        st.i32MaxFailPercent = qBound(0, strFailures.chopped(1).toInt(), 100);
    } else if (!strFailures.isEmpty()) {
        // "Stop after 3 failures": the third failure stops it, so two are allowed.
        st.i32MaxFailures = qMax(0, strFailures.toInt() - 1);
    }
    return st;
}
