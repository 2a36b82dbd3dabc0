#pragma once

#include <functional>

class QObject;

// How the viewer's process ends. SIGTERM and SIGINT (a desktop's logout,
// Ctrl+C in a terminal) close the window as its close button does, so what
// it saves then is saved; a second one ends the process at once. Once the
// window is closed, a worker stuck in a read (a slow card, a FIFO) cannot
// keep the process alive.

// Catches both signals from now on; before any thread starts.
void catchTermination();
// close runs on context's thread for each signal caught, one caught before
// this call included.
void onTermination(QObject *context, std::function<void()> close);
// The process ends with code at the latest ms from now, whatever it still
// waits for then (a thread joined, a pool's workers). Later calls change nothing.
void endWithin(int code, int ms);
