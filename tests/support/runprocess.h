#pragma once

// Runs a program to its end and keeps what it printed; one that hangs is
// killed after timeoutMs (a failure bound, never a timing assertion).

#include <QProcess>
#include <QString>

struct ProcessRun
{
    bool finished = false; // ended by itself in time, not by a signal
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProcessRun runProcess(const QString &program, const QStringList &args,
                             const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                             const QString &workDir = QString(), int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, args);
    ProcessRun run;
    run.finished = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// For a failure message.
inline QString describe(const ProcessRun &run)
{
    return QStringLiteral("finished %1, exit %2\nstdout: %3\nstderr: %4")
        .arg(run.finished)
        .arg(run.exitCode)
        .arg(run.out, run.err);
}
