// velmora_bench SCENARIO [options]; what it measures runs in child
// processes: its own modes (--child KIND ...), mpv, ffplay or ffmpeg.

#include "bench.h"
#include "mapbridge.h"

#include <QDateTime>
#include <QSysInfo>

#include <cstring>

using namespace bench;

namespace {

const Scenario *const kScenarios[] = {&kPlayback, &kOpen, &kGpsPass, &kFileList, &kTelemetry, &kDrive};

enum class Gui { None, Engine, Window }; // what the child's process sets up as the viewer's main() does

const struct
{
    const char *kind;
    int (*run)(const QStringList &args);
    Gui gui;
} kChildren[] = {{"engine", childEngine, Gui::Engine},
                 {"floor", childFloor, Gui::None},
                 {"window", childWindowOpen, Gui::Window},
                 {"telemetry", childTelemetryWindow, Gui::Window},
                 {"drive", childDrive, Gui::Window}};

int child(int argc, char **argv)
{
    QStringList args;
    for (int i = 3; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    for (const auto &c : kChildren) {
        if (std::strcmp(argv[2], c.kind))
            continue;
        quietLogs();
        std::unique_ptr<QApplication> app(c.gui == Gui::None ? nullptr : new QApplication(argc, argv));
        if (app)
            initPlayback();
        if (c.gui == Gui::Window)
            chooseMapRenderer();
        return c.run(args);
    }
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && !std::strcmp(argv[1], "--child"))
        return child(argc, argv);
    for (const Scenario *s : kScenarios) {
        if (argc < 2 || std::strcmp(argv[1], s->name))
            continue;
        if (s->display == Display::Offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (s->display == Display::X && qEnvironmentVariableIsEmpty("DISPLAY")) {
            out() << "no DISPLAY: run it with bench/run.sh\n";
            return 2;
        }
        // A GUI application where it looks at the screen (where mpv's picture is).
        const std::unique_ptr<QCoreApplication> app(s->display == Display::None ? new QCoreApplication(argc, argv)
                                                                                : new QApplication(argc, argv));
        Options options;
        QString error;
        if (!options.parse(app->arguments().mid(2), s->options, &error)) {
            out() << error << "\n";
            return 2;
        }
        quietLogs();
        out() << "velmora_bench " << s->name << ", " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", "
              << std::thread::hardware_concurrency() << " cores, " << QSysInfo::prettyProductName() << ", kernel "
              << QSysInfo::kernelVersion() << "; load average " << loadAverage() << Qt::endl;
        const int rc = s->run(options);
        out() << "load average at the end: " << loadAverage() << Qt::endl;
        return rc;
    }
    out() << "velmora_bench SCENARIO [options]   (bench/run.sh SCENARIO [options] builds it and runs it)\n";
    for (const Scenario *s : kScenarios) {
        out() << "\n" << s->name << ": " << s->what << "\n";
        for (const Option &o : s->options)
            out() << "  --" << o.name << (o.value ? " (%1)"_s.arg(QLatin1String(o.value)) : QString()) << "  " << o.help << "\n";
    }
    return 2;
}
