#include "mycompassthread.h"

mycompassthread::mycompassthread(QObject *parent)
    : QThread(parent)
    , mSweep(true)
{
}

mycompassthread::~mycompassthread()
{
    requestStop();
    wait();
    mSweep.afterRun();
}

void mycompassthread::setTargetAngle(int angle)
{
    mSweep.setTargetAngle(angle);
}

void mycompassthread::requestStop()
{
    mSweep.requestStop();
}

void mycompassthread::run()
{
    mSweep.run([this](int angle) { emit sig_updateCompass(angle); });
}
