#include "mythread.h"

mythread::mythread(QObject *parent)
    : QThread(parent)
{
}

mythread::~mythread()
{
    requestStop();
    wait();
    mSweep.afterRun();
}

void mythread::setTargetAngle(int angle)
{
    mSweep.setTargetAngle(angle);
}

void mythread::requestStop()
{
    mSweep.requestStop();
}

void mythread::run()
{
    mSweep.run([this](int angle) { emit sig_updateDashboard(angle); });
}
