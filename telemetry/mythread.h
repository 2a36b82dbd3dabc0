#pragma once

#include "needlesweep.h"

#include <QThread>

// Sweeps the speed gauge's needle; each intermediate angle goes out by
// sig_updateDashboard. Stops and waits for itself when destroyed.
class mythread : public QThread
{
    Q_OBJECT

public:
    explicit mythread(QObject *parent = nullptr);
    ~mythread() override;

    // Degrees clockwise from the dial's 0 mark (speedToAngle).
    void setTargetAngle(int angle);
    void requestStop();

signals:
    void sig_updateDashboard(int curAngle);

protected:
    void run() override;

private:
    NeedleSweep mSweep;
};
