// velmora_bench SCENARIO [options]: one benchmark program, its scenarios
// picked by name; what it measures runs in child processes, its own child
// modes (velmora_bench --child KIND ...), mpv, ffplay or ffmpeg. Every
// figure is measured in the run that prints it, beside its anchors.

#include "scenarios.h"
#include "window.h"

#include <QApplication>
#include <QDateTime>
#include <QSysInfo>

#include <cstring>
#include <memory>
#include <thread>

using namespace bench;

namespace {

const Scenario *const kScenarios[] = {&kPlayback, &kOpen, &kGpsPass, &kFileList, &kTelemetry};

const struct
{
    const char *kind;
    int (*run)(int argc, char **argv, const QStringList &args);
} kChildren[] = {{"first", childFirstPicture},   {"play", childPlay},
                 {"seek", childSeeks},           {"idle", childIdle},
                 {"screen", childScreen},        {"floor", childDecodeFloor},
                 {"open-steps", childOpenSteps}, {"seek-floor", childSeekFloor},
                 {"window", childWindowOpen},    {"telemetry", childTelemetryWindow}};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && !std::strcmp(argv[1], "--child")) {
        QStringList args;
        for (int i = 3; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        for (const auto &c : kChildren)
            if (!std::strcmp(argv[2], c.kind))
                return c.run(argc, argv, args);
    }
    for (const Scenario *s : kScenarios) {
        if (argc < 2 || std::strcmp(argv[1], s->name))
            continue;
        if (s->display == Display::Offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        const std::unique_ptr<QCoreApplication> app(s->display == Display::Offscreen ? new QApplication(argc, argv)
                                                                                     : new QCoreApplication(argc, argv));
        Options options;
        QString error;
        if (!options.parse(app->arguments().mid(2), s->options, &error)
            || (s->display == Display::X && qEnvironmentVariableIsEmpty("DISPLAY"))) {
            out() << (error.isEmpty() ? "no DISPLAY: run it with bench/run.sh" : error) << "\n";
            break;
        }
        quietLogs();
        watchXServer(findXServer());
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
