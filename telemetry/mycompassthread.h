#pragma once

#include "needlesweep.h"

#include <QThread>

// Sweeps the compass needle; each intermediate angle goes out by
// sig_updateCompass. Stops and waits for itself when destroyed.
class mycompassthread : public QThread
{
    Q_OBJECT

public:
    explicit mycompassthread(QObject *parent = nullptr);
    ~mycompassthread() override;

    // Degrees clockwise from the needle image's own slant (headingToCompassAngle).
    void setTargetAngle(int angle);
    void requestStop();

signals:
    void sig_updateCompass(int curAngle);

protected:
    void run() override;

private:
    NeedleSweep mSweep;
};
