// velmora_bench SCENARIO [options]; what it measures runs in child
// processes: its own modes (--child KIND ...), mpv, ffplay or ffmpeg.

#include "bench.h"
#include "mapbridge.h"
#include "videoplayer.h"

#include <QDateTime>
#include <QSysInfo>

using namespace bench;

namespace {

const Scenario *const kScenarios[] = {&kPlayback, &kOpen, &kGpsPass, &kFileList, &kTelemetry, &kDrive, &kLean, &kLaunch};

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
                 {"drive", childDrive, Gui::Window},
                 {"layout", childLayout, Gui::Window},
                 {"drops", childDrops, Gui::Window}};

bool parse(const QStringList &args, const Scenario &s, Values &values)
{
    const QByteArray dir = QByteArray("/tmp/velmora_bench_") + s.dir;
    std::vector<Option> known = s.options;
    known.insert(known.end(), {{"dir", dir.constData(), "recordings and child logs, reused"},
                               {"regenerate", nullptr, "make the recordings again"}});
    for (const Option &o : known)
        if (o.value)
            values.insert(o.name, o.value);
    for (int i = 0; i < args.size(); ++i) {
        const auto it = std::find_if(known.begin(), known.end(), [&](const Option &o) { return args[i] == "--"_s + o.name; });
        if (it == known.end() || (it->value && i + 1 >= args.size())) {
            out() << "unknown option or missing value: " << args[i] << "\n";
            return false;
        }
        values.insert(it->name, it->value ? args[++i] : QString());
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const QString name = argc > 1 ? argv[1] : "";
    for (const auto &c : kChildren) {
        if (name != "--child" || argc < 3 || qstrcmp(argv[2], c.kind))
            continue;
        quietLogs();
        // As the viewer's main() sets itself up.
        if (c.gui == Gui::Window)
            avoidSoftwareOpenGl();
        std::unique_ptr<QApplication> app(c.gui == Gui::None ? nullptr : new QApplication(argc, argv));
        if (app)
            initPlayback();
        if (c.gui == Gui::Window)
            chooseMapRenderer();
        QStringList args;
        for (int i = 3; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        return c.run(args);
    }
    for (const Scenario *s : kScenarios) {
        if (name != s->name)
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
        if (!parse(app->arguments().mid(2), *s, options.values))
            return 2;
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
            out() << "  --" << o.name << (o.value ? " (%1)"_s.arg(o.value) : QString()) << "  " << o.help << "\n";
        out() << "  --dir (/tmp/velmora_bench_" << s->dir
              << "), --regenerate  the recordings and child logs, reused; made again\n";
    }
    return 2;
}
