#pragma once

#include <QWidget>
#include <QtGlobal>

// A named child of a window, with a warning naming what a renamed form lost.
template<typename T = QWidget>
T *child(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no child named %s", name);
    return found;
}

template<typename T = QWidget>
T *child(const QObject &parent, const char *name)
{
    return child<T>(&parent, name);
}
