#pragma once

// What the window tests share: a window as main() makes it, the clips they
// play, opening paused, the window's log, the slider and drop helpers.

#include "childwidget.h"
#include "clips.h"
#include "mainwindow.h"
#include "myframe.h"
#include "playbacksession.h"
#include "waitfor.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QSlider>
#include <QtTest>

#include <cmath>
#include <memory>

namespace windowtest {

// A shown window on folder (its database and settings), watching every
// event as main() arranges; null when it never showed.
inline std::unique_ptr<MainWindow> makeWindow(const QString &folder, MainWindow::MapView map = MainWindow::MapView::None,
                                              const QSize &size = QSize(1280, 800))
{
    auto window = std::make_unique<MainWindow>(nullptr, map, folder);
    window->resize(size);
    qApp->installEventFilter(window.get());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

inline void closeWindow(std::unique_ptr<MainWindow> &window)
{
    if (window)
        qApp->removeEventFilter(window.get());
    window.reset();
}

// Once an open has settled: paused or playing on its first picture, or failed.
inline bool settled(MainWindow &window, int timeoutMs = 10000)
{
    return waitFor([&] { return !window.session()->isOpening(); }, timeoutMs);
}

// Opens path and waits for it to stand paused with its length on the slider.
inline bool openPaused(MainWindow &window, const QString &path)
{
    window.slotOpenRecording(path, false);
    return settled(window) && window.playState() == PlaybackSession::Paused
           && waitFor([&] { return child<QSlider>(window, "horizontalSlider")->maximum() < 99; });
}

// An x that the window maps to second v (where one exists at this width).
inline int sliderX(QSlider *slider, int v)
{
    const double perPixel = double(slider->maximum() - slider->minimum()) / slider->width();
    return int(std::ceil((v - slider->minimum() - 0.5) / perPixel));
}

// Drags the URLs onto the window and drops them; false when the drag was refused.
inline bool dropUrls(QWidget *window, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &dropped);
    return true;
}

// The time of the picture on the window's surface, s.
inline double shownPts(MainWindow &window)
{
    return child<MyFrame>(window, "frameVideo")->image().text(QStringLiteral("pts")).toDouble();
}

} // namespace windowtest
