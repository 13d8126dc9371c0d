#pragma once

#include "batch/crollout.h"

class QLineEdit;

// The batch form's Rollout group: what the operator typed, as the engine's options. An empty
// field keeps the engine's default, so an untouched group runs the plain batch (everything
// at once, no canary, one wave, no limit, no retries). No rule of the rollout is decided
// here; the fields only take numbers.
class CRolloutFields
{
public:
    // The fields are the form's; they get their validators here.
    CRolloutFields(QLineEdit *pMaxParallel, QLineEdit *pCanary, QLineEdit *pWave, QLineEdit *pMaxFailures,
                   QLineEdit *pRetries);

    T_RolloutOptions Options() const;

    static constexpr int MAX_RETRIES = 10;

private:
    QLineEdit *m_pMaxParallel;
    QLineEdit *m_pCanary;
    QLineEdit *m_pWave;
    QLineEdit *m_pMaxFailures;
    QLineEdit *m_pRetries;
};
