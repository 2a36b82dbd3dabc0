#pragma once

#include <QString>

#include <functional>

class QWidget;

// The web half of the map view: a web view showing the embedded map page.
// It lives in a module of its own, loaded when the map is first shown, so
// that the web engine's libraries (over 130 MB, relocated at load) cost
// nothing at start. Plain C++ across the module's edge: no Qt meta-object
// of ours is shared with it.
class MapEngine
{
public:
    struct Events
    {
        std::function<void(bool ok)> loadFinished;
        // Checked by the module: finite, a latitude, a tolerance in range.
        std::function<void(double latitude, double longitude, double toleranceMeters)> clicked;
    };

    virtual ~MapEngine() = default;
    // The view; null once something else deleted it (its parent).
    virtual QWidget *view() const = 0;
    // Loads the page afresh with `tileUrl` (quoted by the module) set before its scripts run.
    virtual void load(const QString &tileUrl) = 0;
    virtual void run(const QString &script) = 0;
    virtual QString pageUrl() const = 0;
};

// The module's one entry, a child view of viewParent (placed in its layout
// if it has one). The name carries the interface's version: a module of
// another build is refused rather than called wrongly.
#define VELMORA_MAP_ENGINE_ENTRY "velmora_create_map_engine_v1"
using CreateMapEngine = MapEngine *(*)(QWidget *viewParent, const QString &userAgent, const QString &cacheFolder,
                                       MapEngine::Events events);
